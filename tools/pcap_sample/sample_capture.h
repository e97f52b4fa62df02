// The datagrams of a sample capture of the element link: every packet kind between a station
// and its elements, then datagrams of lengths that no packet has. The order is fixed, so that
// frame N of the written file is always the same datagram.
#pragma once

#include "tools/pcap_sample/pcap_writer.h"

#include <string>
#include <vector>

namespace varnetix::sample {

struct SampleDatagram {
    UdpEndpoint source;
    UdpEndpoint destination;
    std::string payload;
};

std::vector<SampleDatagram> SampleCapture();

} // namespace varnetix::sample
