#include "tools/pcap_sample/pcap_writer.h"

#include <cstddef>

namespace varnetix::sample {

namespace {

constexpr std::uint32_t kPcapMagic = 0xA1B2C3D4;
constexpr std::uint32_t kSnapLength = 65535;
constexpr std::uint32_t kLinkTypeEthernet = 1;
// Frames 10 ms apart from a fixed instant, so that the same program writes the same file.
constexpr std::uint32_t kFirstSecond = 1798761600; // 2027-01-01 00:00:00 UTC
constexpr std::uint32_t kFrameSpacingMicroseconds = 10000;
constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
constexpr std::uint8_t kProtocolUdp = 17;
constexpr std::size_t kIpv4HeaderSize = 20;
constexpr std::size_t kUdpHeaderSize = 8;

// The pcap headers are little-endian (the magic number tells readers so).
void appendLittle32(std::string& bytes, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>((value >> shift) & 0xFF);
}

void appendLittle16(std::string& bytes, std::uint16_t value) {
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>(value >> 8);
}

void appendBig16(std::string& bytes, std::uint16_t value) {
    bytes += static_cast<char>(value >> 8);
    bytes += static_cast<char>(value & 0xFF);
}

void appendAddress(std::string& bytes, const std::array<std::uint8_t, 4>& address) {
    for (std::uint8_t octet : address)
        bytes += static_cast<char>(octet);
}

// A locally administered unicast MAC made from the IPv4 address; the broadcast MAC for the
// limited broadcast address.
void appendMac(std::string& bytes, const std::array<std::uint8_t, 4>& address) {
    if (address == std::array<std::uint8_t, 4>{255, 255, 255, 255}) {
        bytes.append(6, static_cast<char>(0xFF));
        return;
    }
    bytes += static_cast<char>(0x02);
    bytes += '\0';
    appendAddress(bytes, address);
}

std::uint16_t ipv4Checksum(const std::string& header) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < header.size(); i += 2)
        sum +=
            (static_cast<std::uint8_t>(header[i]) << 8) | static_cast<std::uint8_t>(header[i + 1]);
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::string ipv4Header(const UdpEndpoint& source, const UdpEndpoint& destination,
                       std::size_t udpLength, std::uint16_t identification) {
    std::string header;
    header += static_cast<char>(0x45); // version 4, five 32-bit words
    header += '\0';
    appendBig16(header, static_cast<std::uint16_t>(kIpv4HeaderSize + udpLength));
    appendBig16(header, identification);
    appendBig16(header, 0);
    header += static_cast<char>(64); // time to live
    header += static_cast<char>(kProtocolUdp);
    appendBig16(header, 0);
    appendAddress(header, source.address);
    appendAddress(header, destination.address);
    const std::uint16_t checksum = ipv4Checksum(header);
    header[10] = static_cast<char>(checksum >> 8);
    header[11] = static_cast<char>(checksum & 0xFF);
    return header;
}

} // namespace

PcapWriter::PcapWriter(std::ostream& out) : m_out(out) {
    std::string header;
    appendLittle32(header, kPcapMagic);
    appendLittle16(header, 2);
    appendLittle16(header, 4);
    appendLittle32(header, 0); // time zone: UTC
    appendLittle32(header, 0); // accuracy of the time stamps
    appendLittle32(header, kSnapLength);
    appendLittle32(header, kLinkTypeEthernet);
    m_out << header;
}

void PcapWriter::writeUdp(const UdpEndpoint& source, const UdpEndpoint& destination,
                          const std::string& payload) {
    const std::size_t udpLength = kUdpHeaderSize + payload.size();
    std::string frame;
    appendMac(frame, destination.address);
    appendMac(frame, source.address);
    appendBig16(frame, kEtherTypeIpv4);
    frame += ipv4Header(source, destination, udpLength, static_cast<std::uint16_t>(m_frames + 1));
    appendBig16(frame, source.port);
    appendBig16(frame, destination.port);
    appendBig16(frame, static_cast<std::uint16_t>(udpLength));
    appendBig16(frame, 0); // no checksum, as IPv4 allows
    frame += payload;

    const std::uint32_t microseconds = m_frames * kFrameSpacingMicroseconds;
    std::string record;
    appendLittle32(record, kFirstSecond + microseconds / 1000000);
    appendLittle32(record, microseconds % 1000000);
    appendLittle32(record, static_cast<std::uint32_t>(frame.size()));
    appendLittle32(record, static_cast<std::uint32_t>(frame.size()));
    m_out << record << frame;
    ++m_frames;
}

} // namespace varnetix::sample
