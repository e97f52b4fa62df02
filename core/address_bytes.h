// Conversions between dotted address text and the four bytes on the wire; shared by the packet
// builders, the decoder and the element simulator.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnetix::detail {

// Part k of the text at index k, first written octet first. A part that is no digit string
// gives 0, a larger number keeps its low byte, and missing parts are 0: the packet is always
// complete even if the caller skipped the address check.
std::array<std::uint8_t, 4> AddressBytes(const std::string& dotted);

// The four bytes at the offset as dotted decimal without leading zeros; the caller makes sure
// they are there.
std::string AddressText(std::string_view packet, std::size_t offset);

} // namespace varnetix::detail
