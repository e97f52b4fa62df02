#include "core/mac_format.h"

#include "core/text_procedures.h"

namespace varnetix {

std::string FormatMac(const std::vector<std::uint8_t>& bytes, const std::string& delimiter) {
    constexpr std::size_t kMacBytes = 6;
    if (bytes.size() != kMacBytes)
        return {};
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < kMacBytes; ++i) {
        if (i > 0)
            text += delimiter;
        text += kHexDigits[bytes[i] >> 4];
        text += kHexDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::uint32_t ParseIpAddress(const std::string& text) {
    if (!IsValidIp(text))
        return kInvalidIpAddress;
    std::uint32_t value = 0;
    for (const std::string& part : IpOctets(text)) {
        std::uint32_t octet = 0;
        for (char c : part)
            octet = octet * 10 + static_cast<std::uint32_t>(c - '0');
        value = (value << 8) | octet;
    }
    return value;
}

} // namespace varnetix
