// Dotted address text to the four bytes that go on the wire; shared by the packet builders.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace varnetix::detail {

// Part k of the text at index k, first written octet first. A part that is no digit string
// gives 0, a larger number keeps its low byte, and missing parts are 0: the packet is always
// complete even if the caller skipped the address check.
std::array<std::uint8_t, 4> AddressBytes(const std::string& dotted);

} // namespace varnetix::detail
