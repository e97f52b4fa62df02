#include "core/config_packet.h"

#include "core/address_bytes.h"
#include "core/text_procedures.h"

#include <cstddef>

namespace varnetix {

namespace detail {

std::array<std::uint8_t, 4> AddressBytes(const std::string& dotted) {
    std::array<std::uint8_t, 4> bytes{};
    const std::vector<std::string> parts = IpOctets(dotted);
    for (std::size_t k = 0; k < bytes.size() && k < parts.size(); ++k) {
        const std::string& part = parts[k];
        if (part.empty())
            continue;
        std::uint8_t value = 0;
        bool digitsOnly = true;
        for (char c : part) {
            if (c < '0' || c > '9') {
                digitsOnly = false;
                break;
            }
            // Arithmetic modulo 256 leaves exactly the low byte of the whole number.
            value = static_cast<std::uint8_t>(value * 10 + (c - '0'));
        }
        bytes[k] = digitsOnly ? value : 0;
    }
    return bytes;
}

std::string AddressText(std::string_view packet, std::size_t offset) {
    std::string text;
    for (std::size_t i = 0; i < 4; ++i) {
        if (i > 0)
            text += '.';
        text += std::to_string(static_cast<std::uint8_t>(packet[offset + i]));
    }
    return text;
}

} // namespace detail

std::string BuildConfigPacket(const ConfigFields& fields) {
    std::string packet(kConfigPacketSize, '\0');
    std::size_t offset = 0;
    for (const std::string* address : {&fields.ip, &fields.mask, &fields.gateway, &fields.remote}) {
        for (std::uint8_t octet : detail::AddressBytes(*address))
            packet[offset++] = static_cast<char>(octet);
    }
    for (int index : {fields.audioInput, fields.audioType, fields.txType})
        packet[offset++] = static_cast<char>(static_cast<std::uint8_t>(index));
    packet.replace(offset, std::string::npos, PadElementName(fields.name));
    return packet;
}

} // namespace varnetix
