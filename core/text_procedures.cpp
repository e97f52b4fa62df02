#include "core/text_procedures.h"

#include <cstddef>

namespace varnetix {

namespace {

constexpr std::size_t kMacDigits = 12;
constexpr std::size_t kMacColonForm = 17;
constexpr std::size_t kNameLength = 16;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A non-empty run of decimal digits whose value fits a byte. The value is capped while
// reading so that any number of leading zeros (or a very long part) cannot overflow.
bool isByteText(const std::string& part) {
    if (part.empty())
        return false;
    unsigned value = 0;
    for (char c : part) {
        if (!isDigit(c))
            return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 255)
            return false;
    }
    return true;
}

} // namespace

std::string ToUpperAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

std::string ToUpperLatin1(std::string s) {
    for (char& c : s) {
        const auto byte = static_cast<unsigned char>(c);
        const bool lower =
            (byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7);
        if (lower)
            c = static_cast<char>(byte - 0x20);
    }
    return s;
}

std::string TrimSpaces(const std::string& s) {
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const std::size_t last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

std::string MacWithColons(const std::string& s) {
    if (s.size() != kMacDigits)
        return {};
    std::string result;
    result.reserve(kMacColonForm);
    for (std::size_t i = 0; i < kMacDigits; i += 2) {
        if (i > 0)
            result += ':';
        result.append(s, i, 2);
    }
    return ToUpperAscii(std::move(result));
}

std::string MacWithoutColons(const std::string& s) {
    if (s.size() != kMacColonForm)
        return {};
    std::string result;
    result.reserve(kMacColonForm);
    for (char c : s) {
        if (c != ':')
            result += c;
    }
    return ToUpperAscii(std::move(result));
}

std::vector<std::string> IpOctets(const std::string& s) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = s.find('.', start);
        if (dot == std::string::npos) {
            parts.push_back(s.substr(start));
            return parts;
        }
        parts.push_back(s.substr(start, dot - start));
        start = dot + 1;
    }
}

bool IsValidIp(const std::string& s) {
    const std::vector<std::string> parts = IpOctets(s);
    if (parts.size() != 4)
        return false;
    for (const std::string& part : parts) {
        if (!isByteText(part))
            return false;
    }
    return true;
}

std::string PadElementName(const std::string& s) {
    std::string name = s.substr(0, kNameLength);
    name.resize(kNameLength, ' ');
    return ToUpperLatin1(std::move(name));
}

std::string StoredElementName(const std::string& reported) {
    std::string name = reported;
    for (char& c : name) {
        if (c == '\0' || c == '\r' || c == '\n')
            c = ' ';
    }
    return PadElementName(name);
}

bool SameElementName(const std::string& typed, const std::string& reported) {
    return TrimSpaces(StoredElementName(typed)) == TrimSpaces(StoredElementName(reported));
}

} // namespace varnetix
