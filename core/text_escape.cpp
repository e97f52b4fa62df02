#include "core/text_escape.h"

#include <optional>

namespace varnetix {

namespace {

// Bytes of the well-formed UTF-8 sequence the text starts with (RFC 3629: no overlong forms,
// no surrogates, nothing above U+10FFFF); 0 when it starts with none.
std::size_t sequenceLength(std::string_view text) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF)
            return 0;
    }
    return length;
}

struct Piece {
    std::size_t length;
    std::optional<unsigned> control; // the value to escape, nullopt for a printable character
};

Piece pieceAt(std::string_view text) {
    const std::size_t length = sequenceLength(text);
    const auto lead = static_cast<unsigned char>(text[0]);
    if (length == 0)
        return {1, lead};
    if (length == 1 && (lead < 0x20 || lead == 0x7F))
        return {1, lead};
    const auto second = length == 2 ? static_cast<unsigned char>(text[1]) : 0;
    if (lead == 0xC2 && second < 0xA0)
        return {2, second};
    return {length, std::nullopt};
}

void appendHex(std::string& out, const char* prefix, unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += prefix;
    out += kDigits[(value >> 4) & 0xF];
    out += kDigits[value & 0xF];
}

} // namespace

std::string EscapeControls(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    while (!text.empty()) {
        const Piece piece = pieceAt(text);
        if (piece.control)
            appendHex(escaped, "\\x", *piece.control);
        else
            escaped.append(text.substr(0, piece.length));
        text.remove_prefix(piece.length);
    }
    return escaped;
}

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    json.reserve(text.size() + 2);
    while (!text.empty()) {
        const Piece piece = pieceAt(text);
        if (piece.control)
            appendHex(json, "\\u00", *piece.control);
        else if (text[0] == '"' || text[0] == '\\')
            (json += '\\') += text[0];
        else
            json.append(text.substr(0, piece.length));
        text.remove_prefix(piece.length);
    }
    return json + '"';
}

} // namespace varnetix
