#include "tools/element_sim/echo_forger.h"

#include "platform/linux_icmp_socket.h"

#include <QSocketNotifier>
#include <QTime>

#include <array>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varnetix::sim {

namespace {

constexpr std::size_t kIpHeaderSize = 20;
constexpr std::size_t kLargestEcho = 1472; // ICMP bytes of an echo in one Ethernet frame
constexpr int kMaxReadsPerWakeup = 64;

std::uint16_t sequenceOf(const std::uint8_t* icmp) {
    return static_cast<std::uint16_t>((icmp[6] << 8) | icmp[7]);
}

} // namespace

EchoForger::EchoForger(const QHostAddress& forgedSource, QObject* parent)
    : QObject(parent), m_source(htonl(forgedSource.toIPv4Address())) {}

EchoForger::~EchoForger() {
    for (const int fd : {m_listener, m_sender}) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool EchoForger::start(QString* error) {
    m_listener = ::socket(AF_INET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
    // IPPROTO_RAW implies IP_HDRINCL: the source address is ours to write.
    m_sender = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    if (m_listener < 0 || m_sender < 0) {
        if (error)
            *error = QStringLiteral("--fault-forge-echo needs raw sockets (root): %1")
                         .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    auto* notifier = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &EchoForger::readRequests);
    return true;
}

void EchoForger::readRequests() {
    std::array<std::uint8_t, 1500> packet{};
    for (int i = 0; i < kMaxReadsPerWakeup; ++i) {
        const ssize_t received = ::recv(m_listener, packet.data(), packet.size(), MSG_DONTWAIT);
        if (received < 0)
            return;
        const auto length = static_cast<std::size_t>(received);
        const std::size_t headerSize = length > 0 ? (packet[0] & 0x0Fu) * 4u : 0;
        if (headerSize < kIpHeaderSize || length < headerSize + kIcmpHeaderSize ||
            length - headerSize > kLargestEcho)
            continue;
        const std::uint8_t* icmp = packet.data() + headerSize;
        if (icmp[0] != ICMP_ECHO || icmp[1] != 0)
            continue;
        std::uint32_t station = 0;
        std::memcpy(&station, packet.data() + 12, sizeof(station));
        const int sent = forge(station, icmp, length - headerSize);
        const std::uint16_t sequence = sequenceOf(icmp);
        emit logLine(QStringLiteral("%1 forge <- %2 echo request id %3 seq %4: %5 replies as %6 "
                                    "for seq %7 to %8 (--fault-forge-echo)")
                         .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")),
                              QHostAddress(ntohl(station)).toString())
                         .arg((icmp[4] << 8) | icmp[5])
                         .arg(sequence)
                         .arg(sent)
                         .arg(QHostAddress(ntohl(m_source)).toString())
                         .arg(static_cast<std::uint16_t>(sequence - kSpread))
                         .arg(static_cast<std::uint16_t>(sequence + kSpread)));
    }
}

// The replies sent: the request's identifier and data, sequence numbers around its own.
int EchoForger::forge(std::uint32_t station, const std::uint8_t* request, std::size_t length) {
    std::array<std::uint8_t, kIpHeaderSize + kLargestEcho> packet{};
    const std::size_t total = kIpHeaderSize + length;
    packet[0] = 0x45; // IPv4, no options
    packet[2] = static_cast<std::uint8_t>(total >> 8);
    packet[3] = static_cast<std::uint8_t>(total & 0xFF);
    packet[8] = 64; // time to live; the kernel fills in the identification and the checksum
    packet[9] = IPPROTO_ICMP;
    std::memcpy(packet.data() + 12, &m_source, sizeof(m_source));
    std::memcpy(packet.data() + 16, &station, sizeof(station));
    std::uint8_t* icmp = packet.data() + kIpHeaderSize;
    std::memcpy(icmp, request, length);
    icmp[0] = ICMP_ECHOREPLY;
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = station;
    int sent = 0;
    for (int delta = -kSpread; delta <= kSpread; ++delta) {
        const auto sequence = static_cast<std::uint16_t>(sequenceOf(request) + delta);
        icmp[6] = static_cast<std::uint8_t>(sequence >> 8);
        icmp[7] = static_cast<std::uint8_t>(sequence & 0xFF);
        icmp[2] = icmp[3] = 0;
        const std::uint16_t checksum = internetChecksum(icmp, length);
        icmp[2] = static_cast<std::uint8_t>(checksum >> 8);
        icmp[3] = static_cast<std::uint8_t>(checksum & 0xFF);
        if (::sendto(m_sender, packet.data(), total, 0,
                     reinterpret_cast<const sockaddr*>(&destination), sizeof(destination)) >= 0)
            ++sent;
    }
    return sent;
}

} // namespace varnetix::sim
