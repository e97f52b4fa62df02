#include "core/number_text.h"

#include "core/text_procedures.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <system_error>

namespace varnetix {

namespace {

// Fixed notation of the largest double has 309 integer digits; the smallest subnormal needs
// some 330 characters after the point.
using NumberBuffer = std::array<char, 512>;

// A formatted zero of a negative input ("-0", "-0.0") reads as plain zero.
std::string withoutNegativeZero(std::string text) {
    if (!text.empty() && text.front() == '-' &&
        text.find_first_of("123456789", 1) == std::string::npos &&
        text.find_first_of("0", 1) != std::string::npos) {
        text.erase(0, 1);
    }
    return text;
}

template <typename Number> std::string shortestFixed(Number value) {
    NumberBuffer buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed);
    if (result.ec != std::errc{})
        return "0";
    return withoutNegativeZero(std::string(buffer.data(), result.ptr));
}

std::string fixedDecimals(double value, int decimals) {
    NumberBuffer buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, decimals);
    if (result.ec != std::errc{})
        return "0";
    return withoutNegativeZero(std::string(buffer.data(), result.ptr));
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number at the start of the text, read the way the database's old readers did: leading
// blanks skipped, an optional sign, digits, and one "." or "," as the decimal separator.
// Reading stops at the first character that does not fit; no digits at all reads as 0.
double leadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    std::string number;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        if (text[i] == '-')
            number += '-';
        ++i;
    }
    bool anyDigit = false;
    bool separatorSeen = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (isDigit(c)) {
            number += c;
            anyDigit = true;
        } else if ((c == '.' || c == ',') && !separatorSeen) {
            number += '.';
            separatorSeen = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return 0.0;
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::fixed);
    // A digit string too long for a double counts as no number rather than as infinity.
    if (result.ec != std::errc{})
        return 0.0;
    return value;
}

} // namespace

std::optional<int> WholeNumber(const std::string& text) {
    const std::string trimmed = TrimSpaces(text);
    int value = 0;
    const char* end = trimmed.data() + trimmed.size();
    const auto [ptr, ec] = std::from_chars(trimmed.data(), end, value);
    if (trimmed.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

std::string PlainNumber(double value) {
    return shortestFixed(value);
}

std::string StoredVersion(float version) {
    return shortestFixed(version);
}

std::string VersionOneDecimal(float version) {
    return fixedDecimals(version, 1);
}

std::string VersionTwoDecimals(const std::string& storedText) {
    return fixedDecimals(leadingNumber(storedText), 2);
}

} // namespace varnetix
