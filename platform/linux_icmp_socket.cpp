#include "platform/linux_icmp_socket.h"

#include "core/echo_status.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <random>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varnetix {

namespace {

constexpr std::size_t kMinIpHeaderSize = 20;

std::uint16_t readBigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

// The IP header's own length, or 0 when the bytes cannot hold one.
std::size_t ipHeaderSize(const std::uint8_t* bytes, std::size_t length) {
    if (length < kMinIpHeaderSize)
        return 0;
    const std::size_t size = static_cast<std::size_t>(bytes[0] & 0x0F) * 4;
    return size < kMinIpHeaderSize || length < size ? 0 : size;
}

// A raw socket's ICMP error carries the IP header and the first 8 bytes of the packet it is
// about; it counts only when that packet was an echo request.
IcmpRead readEmbeddedRequest(const std::uint8_t* icmp, std::size_t length, EchoEvent& event) {
    const auto status = statusForIcmpError(icmp[0], icmp[1]);
    const std::uint8_t* inner = icmp + kIcmpHeaderSize;
    const std::size_t innerLength = length - kIcmpHeaderSize;
    const std::size_t innerHeaderSize = ipHeaderSize(inner, innerLength);
    if (!status || innerHeaderSize == 0 || innerLength < innerHeaderSize + kIcmpHeaderSize)
        return IcmpRead::Skipped;
    const std::uint8_t* innerIcmp = inner + innerHeaderSize;
    if (inner[9] != IPPROTO_ICMP || innerIcmp[0] != ICMP_ECHO)
        return IcmpRead::Skipped;
    std::memcpy(&event.peer, inner + 16, sizeof(event.peer));
    event.identifier = readBigEndian16(innerIcmp + 4);
    event.sequence = readBigEndian16(innerIcmp + 6);
    event.status = *status;
    return IcmpRead::Event;
}

} // namespace

int openIcmpSocket(IcmpSocketKind kind) {
    const int type = kind == IcmpSocketKind::Datagram ? SOCK_DGRAM : SOCK_RAW;
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0 || kind != IcmpSocketKind::Datagram)
        return fd;
    // ICMP errors about our requests reach a datagram socket only through its error queue.
    const int on = 1;
    if (::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof(on)) < 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::uint16_t internetChecksum(const std::uint8_t* bytes, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2)
        sum += readBigEndian16(bytes + i);
    if (length % 2 != 0)
        sum += static_cast<std::uint32_t>(bytes[length - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

void fillRandom(void* bytes, std::size_t size) {
    auto* next = static_cast<std::uint8_t*>(bytes);
    std::size_t left = size;
    while (left > 0) {
        const ssize_t got = ::getrandom(next, left, 0);
        if (got < 0 && errno != EINTR)
            break;
        if (got > 0) {
            next += got;
            left -= static_cast<std::size_t>(got);
        }
    }
    // Only a kernel without getrandom (before 3.17) gets here; the library's device reads
    // /dev/urandom then.
    if (left > 0) {
        std::random_device device;
        for (; left > 0; --left)
            *next++ = static_cast<std::uint8_t>(device());
    }
}

void finishEchoRequest(std::span<std::uint8_t> packet, std::uint16_t identifier,
                       std::uint16_t sequence) {
    packet[0] = ICMP_ECHO;
    packet[1] = packet[2] = packet[3] = 0;
    packet[4] = static_cast<std::uint8_t>(identifier >> 8);
    packet[5] = static_cast<std::uint8_t>(identifier & 0xFF);
    packet[6] = static_cast<std::uint8_t>(sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(sequence & 0xFF);
    const std::uint16_t checksum = internetChecksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(checksum >> 8);
    packet[3] = static_cast<std::uint8_t>(checksum & 0xFF);
}

std::int32_t statusForSendError(int error) {
    switch (error) {
    case ENETUNREACH: // no route to the address's network
        return kEchoDestNetUnreachable;
    case EHOSTUNREACH: // an "unreachable" route, or the neighbour did not answer ARP
        return kEchoDestHostUnreachable;
    case EMSGSIZE: // larger than the path MTU with don't-fragment set
        return kEchoPacketTooBig;
    case ENOBUFS: // interface queue or socket buffer full
    case ENOMEM:
    case EAGAIN:
        return kEchoNoResources;
    default: // EACCES (broadcast, "prohibit" route), EPERM (packet filter) and the rest
        return kEchoGeneralFailure;
    }
}

std::optional<std::int32_t> statusForIcmpError(std::uint8_t type, std::uint8_t code) {
    switch (type) {
    case ICMP_DEST_UNREACH:
        switch (code) {
        case ICMP_NET_UNREACH: // no route at a router
        case ICMP_NET_UNKNOWN: // network unknown
        case ICMP_NET_ANO:     // network administratively prohibited
        case ICMP_NET_UNR_TOS: // network unreachable for this type of service
            return kEchoDestNetUnreachable;
        case ICMP_PROT_UNREACH: // the host does not speak ICMP (never seen in practice)
            return kEchoDestProtocolUnreachable;
        case ICMP_PORT_UNREACH: // meaningless for ICMP, mapped for completeness
            return kEchoDestPortUnreachable;
        case ICMP_FRAG_NEEDED: // don't-fragment set and a link too small
            return kEchoPacketTooBig;
        case ICMP_SR_FAILED: // source route failed
            return kEchoBadRoute;
        default: // host unreachable, unknown, prohibited, filtered, precedence
            return kEchoDestHostUnreachable;
        }
    case ICMP_SOURCE_QUENCH: // a router asked us to slow down (obsolete, still possible)
        return kEchoSourceQuench;
    case ICMP_TIME_EXCEEDED:
        // Code 1: the destination gave up reassembling fragments; otherwise TTL ran out on the way.
        return code == ICMP_EXC_FRAGTIME ? kEchoTtlExpiredReassembly : kEchoTtlExpiredTransit;
    case ICMP_PARAMETERPROB: // a router found our IP header malformed
        return kEchoParameterProblem;
    default:
        return std::nullopt;
    }
}

IcmpRead readIcmpErrorQueue(int fd, EchoEvent& event) {
    std::array<std::uint8_t, 576> data{};
    alignas(cmsghdr) std::array<char, 512> control{};
    sockaddr_in original{};
    iovec vector{data.data(), data.size()};
    msghdr message{};
    message.msg_name = &original;
    message.msg_namelen = sizeof(original);
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control.data();
    message.msg_controllen = control.size();
    const ssize_t received = ::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (received < 0)
        return IcmpRead::Empty;

    std::optional<sock_extended_err> error;
    for (cmsghdr* part = CMSG_FIRSTHDR(&message); part; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level == SOL_IP && part->cmsg_type == IP_RECVERR &&
            part->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
            error.emplace();
            std::memcpy(&*error, CMSG_DATA(part), sizeof(sock_extended_err));
        }
    }
    if (!error)
        return IcmpRead::Skipped;
    // The name is the destination of the request the error is about.
    event.peer = original.sin_addr.s_addr;
    if (error->ee_origin == SO_EE_ORIGIN_ICMP) {
        // The payload is our request's ICMP header as the kernel sent it.
        const auto length = static_cast<std::size_t>(received);
        const auto status = statusForIcmpError(error->ee_type, error->ee_code);
        if (length < kIcmpHeaderSize || data[0] != ICMP_ECHO || !status)
            return IcmpRead::Skipped;
        event.identifier = readBigEndian16(data.data() + 4);
        event.sequence = readBigEndian16(data.data() + 6);
        event.status = *status;
        return IcmpRead::Event;
    }
    if (error->ee_origin == SO_EE_ORIGIN_LOCAL) {
        // Refused on this machine before it left (for example larger than the path MTU).
        event.status = statusForSendError(static_cast<int>(error->ee_errno));
        event.anySequence = true;
        return IcmpRead::Event;
    }
    return IcmpRead::Skipped;
}

IcmpRead readIcmpDatagram(int fd, IcmpSocketKind kind, EchoEvent& event) {
    std::array<std::uint8_t, 1500> buffer{};
    sockaddr_in from{};
    socklen_t fromLength = sizeof(from);
    const ssize_t received = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0)
        // A pending socket error is consumed by this call too; only "nothing left" stops.
        return errno == EAGAIN ? IcmpRead::Empty : IcmpRead::Skipped;

    const std::uint8_t* icmp = buffer.data();
    auto length = static_cast<std::size_t>(received);
    if (kind == IcmpSocketKind::Raw) {
        // Raw sockets deliver the IP header as well.
        const std::size_t headerSize = ipHeaderSize(icmp, length);
        if (headerSize == 0)
            return IcmpRead::Skipped;
        icmp += headerSize;
        length -= headerSize;
    }
    if (length < kIcmpHeaderSize)
        return IcmpRead::Skipped;
    if (icmp[0] == ICMP_ECHOREPLY) {
        event.peer = from.sin_addr.s_addr;
        event.identifier = readBigEndian16(icmp + 4);
        event.sequence = readBigEndian16(icmp + 6);
        event.status = kEchoSuccess;
        event.dataSize = length - kIcmpHeaderSize;
        std::memcpy(event.data.data(), icmp + kIcmpHeaderSize,
                    std::min(event.dataSize, event.data.size()));
        return IcmpRead::Event;
    }
    // A datagram socket gets its errors through the error queue.
    if (kind != IcmpSocketKind::Raw)
        return IcmpRead::Skipped;
    return readEmbeddedRequest(icmp, length, event);
}

} // namespace varnetix
