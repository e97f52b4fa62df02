#include "platform/linux_echo_probe.h"

#include "core/echo_status.h"
#include "core/mac_format.h"

#include <QRandomGenerator>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <cstring>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace varnetix {

namespace {

constexpr int kEchoTimeoutMs = 1000;
constexpr std::array<std::uint8_t, 5> kEchoData{'h', 'e', 'l', 'l', 'o'};
constexpr std::size_t kIcmpHeaderSize = 8;
constexpr std::size_t kMinIpHeaderSize = 20;
// A flood of foreign ICMP traffic must not hold the UI thread; the notifier fires again for
// whatever is left.
constexpr int kMaxReadsPerWakeup = 64;

std::uint16_t readBigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
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

// The status an ICMP error message stands for; nothing for messages that end no echo
// (redirects, information messages).
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

} // namespace

LinuxEchoProbe::LinuxEchoProbe(QObject* parent) : LinuxEchoProbe(SocketKind::None, parent) {}

LinuxEchoProbe::LinuxEchoProbe(SocketKind only, QObject* parent) : EchoProbe(parent), m_only(only) {
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] {
        if (m_busy)
            finish({kEchoTimedOut, 0});
    });
}

LinuxEchoProbe::~LinuxEchoProbe() {
    closeSocket();
}

bool LinuxEchoProbe::StartSockets() {
    if (m_fd >= 0)
        return true;
    if (m_only != SocketKind::None)
        return openSocket(m_only);
    // The datagram socket needs no privilege beyond the ping group range; raw needs CAP_NET_RAW.
    return openSocket(SocketKind::Datagram) || openSocket(SocketKind::Raw);
}

void LinuxEchoProbe::StopSockets() {
    closeSocket();
    if (m_busy) {
        m_timeout.stop();
        finishLater({kEchoGeneralFailure, 0});
    }
}

bool LinuxEchoProbe::openSocket(SocketKind kind) {
    const int type = kind == SocketKind::Datagram ? SOCK_DGRAM : SOCK_RAW;
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return false;
    if (kind == SocketKind::Datagram) {
        // ICMP errors about our requests reach a datagram socket only through its error queue.
        const int on = 1;
        if (::setsockopt(fd, SOL_IP, IP_RECVERR, &on, sizeof(on)) < 0) {
            ::close(fd);
            return false;
        }
        m_identifier = 0; // the kernel puts the socket's own identifier in every request
    } else {
        // A raw socket sees every host's echo traffic: the identifier tells ours apart.
        m_identifier = static_cast<std::uint16_t>(QRandomGenerator::global()->bounded(0x10000));
    }
    m_fd = fd;
    m_kind = kind;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &LinuxEchoProbe::onReadable);
    return true;
}

void LinuxEchoProbe::closeSocket() {
    if (m_notifier) {
        // May run inside the notifier's own activation (a finished handler closing the socket).
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_kind = SocketKind::None;
}

bool LinuxEchoProbe::start(const QString& address) {
    if (m_busy)
        return false;
    m_busy = true;
    ++m_generation;

    const std::uint32_t value = ParseIpAddress(address.toStdString());
    // 0 is 0.0.0.0, all ones is the broadcast address or no address at all: neither names a host.
    if (value == 0 || value == kInvalidIpAddress || m_fd < 0) {
        finishLater({kEchoUnknown, 0});
        return true;
    }
    m_target = htonl(value);
    ++m_sequence;
    drainSocket();

    std::array<std::uint8_t, kIcmpHeaderSize + kEchoData.size()> packet{};
    packet[0] = ICMP_ECHO;
    packet[4] = static_cast<std::uint8_t>(m_identifier >> 8);
    packet[5] = static_cast<std::uint8_t>(m_identifier & 0xFF);
    packet[6] = static_cast<std::uint8_t>(m_sequence >> 8);
    packet[7] = static_cast<std::uint8_t>(m_sequence & 0xFF);
    std::memcpy(packet.data() + kIcmpHeaderSize, kEchoData.data(), kEchoData.size());
    const std::uint16_t checksum = internetChecksum(packet.data(), packet.size());
    packet[2] = static_cast<std::uint8_t>(checksum >> 8);
    packet[3] = static_cast<std::uint8_t>(checksum & 0xFF);

    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = m_target;
    m_sentAt.start();
    ssize_t sent = -1;
    do {
        sent = ::sendto(m_fd, packet.data(), packet.size(), 0,
                        reinterpret_cast<const sockaddr*>(&destination), sizeof(destination));
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        finishLater({statusForSendError(errno), 0});
        return true;
    }
    m_notifier->setEnabled(true);
    m_timeout.start(kEchoTimeoutMs);
    return true;
}

void LinuxEchoProbe::drainSocket() {
    // Answers to an earlier request that came after its time-out must not be taken for this one.
    std::array<std::uint8_t, 1500> scratch{};
    for (int i = 0; i < kMaxReadsPerWakeup; ++i) {
        if (::recv(m_fd, scratch.data(), scratch.size(), MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            break;
    }
    for (int i = 0; i < kMaxReadsPerWakeup; ++i) {
        if (::recv(m_fd, scratch.data(), scratch.size(), MSG_DONTWAIT) < 0 && errno == EAGAIN)
            break;
    }
}

void LinuxEchoProbe::onReadable() {
    for (int i = 0; i < kMaxReadsPerWakeup && m_busy && m_fd >= 0; ++i) {
        if (m_kind == SocketKind::Datagram && readErrorQueue())
            continue;
        if (!readDatagram())
            return;
    }
}

// Datagram socket only: one queued error; true when there was one.
bool LinuxEchoProbe::readErrorQueue() {
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
    const ssize_t received = ::recvmsg(m_fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (received < 0)
        return false;

    std::optional<sock_extended_err> error;
    for (cmsghdr* part = CMSG_FIRSTHDR(&message); part; part = CMSG_NXTHDR(&message, part)) {
        if (part->cmsg_level == SOL_IP && part->cmsg_type == IP_RECVERR &&
            part->cmsg_len >= CMSG_LEN(sizeof(sock_extended_err))) {
            error.emplace();
            std::memcpy(&*error, CMSG_DATA(part), sizeof(sock_extended_err));
        }
    }
    // The name is the destination of the request the error is about.
    if (!error || original.sin_addr.s_addr != m_target)
        return true;
    if (error->ee_origin == SO_EE_ORIGIN_ICMP) {
        // The payload is our request's ICMP header as the kernel sent it.
        const auto length = static_cast<std::size_t>(received);
        if (length < kIcmpHeaderSize || data[0] != ICMP_ECHO ||
            readBigEndian16(data.data() + 6) != m_sequence)
            return true;
        if (const auto status = statusForIcmpError(error->ee_type, error->ee_code))
            finish({*status, 0});
    } else if (error->ee_origin == SO_EE_ORIGIN_LOCAL) {
        // Refused on this machine before it left (for example larger than the path MTU).
        finish({statusForSendError(static_cast<int>(error->ee_errno)), 0});
    }
    return true;
}

// One received datagram; false when there was none.
bool LinuxEchoProbe::readDatagram() {
    std::array<std::uint8_t, 1500> buffer{};
    sockaddr_in from{};
    socklen_t fromLength = sizeof(from);
    const ssize_t received = ::recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (received < 0)
        // A pending socket error is consumed by this call too; only "nothing left" stops.
        return errno != EAGAIN;

    const std::uint8_t* icmp = buffer.data();
    auto length = static_cast<std::size_t>(received);
    if (m_kind == SocketKind::Raw) {
        // Raw sockets deliver the IP header as well.
        if (length < kMinIpHeaderSize)
            return true;
        const std::size_t headerSize = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
        if (headerSize < kMinIpHeaderSize || length < headerSize)
            return true;
        icmp += headerSize;
        length -= headerSize;
    }
    if (length < kIcmpHeaderSize)
        return true;

    const bool ours = readBigEndian16(icmp + 6) == m_sequence &&
                      (m_kind == SocketKind::Datagram || readBigEndian16(icmp + 4) == m_identifier);
    if (icmp[0] == ICMP_ECHOREPLY) {
        if (ours && from.sin_addr.s_addr == m_target)
            finish({kEchoSuccess, static_cast<std::uint32_t>(m_sentAt.elapsed())});
        return true;
    }
    if (m_kind != SocketKind::Raw)
        return true;

    // An ICMP error carries the IP header and the first 8 bytes of the packet it is about.
    const auto status = statusForIcmpError(icmp[0], icmp[1]);
    const std::uint8_t* inner = icmp + kIcmpHeaderSize;
    const std::size_t innerLength = length - kIcmpHeaderSize;
    if (!status || innerLength < kMinIpHeaderSize)
        return true;
    const std::size_t innerHeaderSize = static_cast<std::size_t>(inner[0] & 0x0F) * 4;
    if (innerHeaderSize < kMinIpHeaderSize || innerLength < innerHeaderSize + kIcmpHeaderSize)
        return true;
    const std::uint8_t* innerIcmp = inner + innerHeaderSize;
    const bool aboutOurRequest =
        inner[9] == IPPROTO_ICMP && std::memcmp(inner + 16, &m_target, sizeof(m_target)) == 0 &&
        innerIcmp[0] == ICMP_ECHO && readBigEndian16(innerIcmp + 4) == m_identifier &&
        readBigEndian16(innerIcmp + 6) == m_sequence;
    if (aboutOurRequest)
        finish(EchoReply{*status, 0});
    return true;
}

void LinuxEchoProbe::finishLater(EchoReply reply) {
    const quint64 generation = m_generation;
    QTimer::singleShot(0, this, [this, generation, reply] {
        if (m_busy && generation == m_generation)
            finish(reply);
    });
}

void LinuxEchoProbe::finish(EchoReply reply) {
    m_busy = false;
    m_timeout.stop();
    if (m_notifier)
        m_notifier->setEnabled(false);
    emit finished(reply);
}

} // namespace varnetix
