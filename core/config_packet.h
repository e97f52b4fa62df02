// The 35-byte configuration packet built from the element panel's values.
#pragma once

#include <string>

namespace varnetix {

inline constexpr int kConfigPort = 2976;
inline constexpr std::size_t kConfigPacketSize = 35;

struct ConfigFields {
    std::string ip, mask, gateway, remote; // dotted quads, checked by IsValidIp beforehand
    int audioInput = 0;                    // list indexes, one byte each on the wire
    int audioType = 0;
    int txType = 0;
    std::string name; // one byte per character (the low 8 bits of each character)
};

// Offsets 0-15 the four addresses first octet first, 16-18 the indexes, 19-34 the name as
// PadElementName gives it. Parts that are not numbers give 0; larger numbers keep their low byte.
std::string BuildConfigPacket(const ConfigFields& fields);

} // namespace varnetix
