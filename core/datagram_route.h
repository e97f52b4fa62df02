// Where a received datagram goes, decided by its length alone.
#pragma once

#include <cstddef>

namespace varnetix {

enum class DatagramRoute { AudioLevel, Feedback, Dropped };

constexpr DatagramRoute RouteDatagram(std::size_t length) {
    if (length == 1440)
        return DatagramRoute::AudioLevel;
    if (length < 46 && length != 3) // 3 bytes is the station's own "VOL"
        return DatagramRoute::Feedback;
    return DatagramRoute::Dropped;
}

} // namespace varnetix
