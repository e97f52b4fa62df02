// Writes UDP datagrams into a capture file of the classic pcap format, each framed in Ethernet
// and IPv4 headers, so that packet analysers read them as if captured on the wire.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>

namespace varnetix::sample {

struct UdpEndpoint {
    std::array<std::uint8_t, 4> address;
    std::uint16_t port;
};

class PcapWriter {
public:
    // Writes the file header at once.
    explicit PcapWriter(std::ostream& out);

    void writeUdp(const UdpEndpoint& source, const UdpEndpoint& destination,
                  const std::string& payload);

private:
    std::ostream& m_out;
    std::uint32_t m_frames = 0;
};

} // namespace varnetix::sample
