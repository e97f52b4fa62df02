// The ICMP echo socket of Linux as the ping probe and the echo sweeper both use it: opening
// it, the request bytes, and what one message read from it says about a request of ours.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace varnetix {

// Datagram: an unprivileged ICMP socket, open to the groups in net.ipv4.ping_group_range; the
// kernel sets the identifier and hands it only the replies to it. Raw: needs CAP_NET_RAW and
// sees every host's ICMP traffic.
enum class IcmpSocketKind { None, Datagram, Raw };

inline constexpr std::size_t kIcmpHeaderSize = 8;
inline constexpr std::array<std::uint8_t, 5> kEchoData{'h', 'e', 'l', 'l', 'o'};
using EchoRequestBytes = std::array<std::uint8_t, kIcmpHeaderSize + kEchoData.size()>;

// A non-blocking socket of the kind (not None), or -1 with errno set.
int openIcmpSocket(IcmpSocketKind kind);
std::uint16_t internetChecksum(const std::uint8_t* bytes, std::size_t length);
EchoRequestBytes echoRequest(std::uint16_t identifier, std::uint16_t sequence);
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
};

enum class IcmpRead { Empty, Skipped, Event };

// One entry of a datagram socket's error queue.
IcmpRead readIcmpErrorQueue(int fd, EchoEvent& event);
// One received datagram: an echo reply, or on a raw socket an ICMP error about an echo request.
IcmpRead readIcmpDatagram(int fd, IcmpSocketKind kind, EchoEvent& event);

} // namespace varnetix
