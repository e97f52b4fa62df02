// Hardware and IPv4 address conversions used by the MAC lookup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace varnetix {

inline constexpr const char* kMacFormatError = "(error building MAC address)";

// Six bytes as two-digit upper-case hexadecimal groups joined by the delimiter; "" for any
// other number of bytes.
std::string FormatMac(const std::vector<std::uint8_t>& bytes, const std::string& delimiter);

inline constexpr std::uint32_t kInvalidIpAddress = 0xFFFFFFFFu;
// A valid dotted quad as a 32-bit value, first octet most significant; kInvalidIpAddress for
// any other text (so 255.255.255.255 and garbage look the same, as the platform's call does).
std::uint32_t ParseIpAddress(const std::string& text);

} // namespace varnetix
