// The ICMP echo socket of Linux as the ping probe and the echo sweeper both use it: opening
// it, the request bytes, and what one message read from it says about a request of ours.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace varnetix {

// Datagram: an unprivileged ICMP socket, open to the groups in net.ipv4.ping_group_range; the
// kernel sets the identifier and hands it only the replies to it. Raw: needs CAP_NET_RAW and
// sees every host's ICMP traffic.
enum class IcmpSocketKind { None, Datagram, Raw };

inline constexpr std::size_t kIcmpHeaderSize = 8;
// The ping test's data.
inline constexpr std::array<std::uint8_t, 5> kEchoData{'h', 'e', 'l', 'l', 'o'};
// Data of the watch's echoes: random for each, so that only a host that got the echo can answer
// it, whatever it knows of our identifier and sequence numbers.
using EchoNonce = std::array<std::uint8_t, 16>;

// A non-blocking socket of the kind (not None), or -1 with errno set.
int openIcmpSocket(IcmpSocketKind kind);
std::uint16_t internetChecksum(const std::uint8_t* bytes, std::size_t length);
// Bytes no other host can predict, from the kernel's random source.
void fillRandom(void* bytes, std::size_t size);
template <typename Value> Value randomValue() {
    Value value{};
    fillRandom(&value, sizeof(value));
    return value;
}
// Writes the type, identifier, sequence number and checksum of an echo request whose data
// already follows the header.
void finishEchoRequest(std::span<std::uint8_t> packet, std::uint16_t identifier,
                       std::uint16_t sequence);
template <std::size_t DataSize>
std::array<std::uint8_t, kIcmpHeaderSize + DataSize>
echoRequest(std::uint16_t identifier, std::uint16_t sequence,
            const std::array<std::uint8_t, DataSize>& data) {
    std::array<std::uint8_t, kIcmpHeaderSize + DataSize> packet{};
    std::copy(data.begin(), data.end(), packet.begin() + kIcmpHeaderSize);
    finishEchoRequest(packet, identifier, sequence);
    return packet;
}
std::int32_t statusForSendError(int error);
// Nothing for ICMP messages that end no echo (redirects, information messages).
std::optional<std::int32_t> statusForIcmpError(std::uint8_t type, std::uint8_t code);

// What one message says about an echo request: its reply or an error about it.
struct EchoEvent {
    std::uint32_t peer = 0; // the request's destination, network byte order
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    std::int32_t status = 0;
    bool anySequence = false; // a refusal on this machine, which names no request
    // An echo reply's data: its size, and as many of its first bytes as a request of ours has.
    std::size_t dataSize = 0;
    std::array<std::uint8_t, sizeof(EchoNonce)> data{};

    bool carries(std::span<const std::uint8_t> sent) const {
        return dataSize == sent.size() && sent.size() <= data.size() &&
               std::equal(sent.begin(), sent.end(), data.begin());
    }
};
static_assert(kEchoData.size() <= sizeof(EchoNonce));

enum class IcmpRead { Empty, Skipped, Event };

// One entry of a datagram socket's error queue.
IcmpRead readIcmpErrorQueue(int fd, EchoEvent& event);
// One received datagram: an echo reply, or on a raw socket an ICMP error about an echo request.
IcmpRead readIcmpDatagram(int fd, IcmpSocketKind kind, EchoEvent& event);

} // namespace varnetix
