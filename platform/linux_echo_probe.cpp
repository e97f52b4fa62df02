#include "platform/linux_echo_probe.h"

#include "core/echo_status.h"
#include "core/mac_format.h"

#include <QRandomGenerator>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varnetix {

namespace {

constexpr int kEchoTimeoutMs = 1000;
// A flood of foreign ICMP traffic must not hold the UI thread; the notifier fires again for
// whatever is left.
constexpr int kMaxReadsPerWakeup = 64;

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
    const int fd = openIcmpSocket(kind);
    if (fd < 0)
        return false;
    // The kernel puts a datagram socket's own identifier in every request; a raw socket sees
    // every host's echo traffic, and the identifier tells ours apart.
    m_identifier = kind == SocketKind::Datagram
                       ? 0
                       : static_cast<std::uint16_t>(QRandomGenerator::global()->bounded(0x10000));
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
    // The data is the fixed "hello": an unpredictable sequence number is what keeps another
    // host from answering in the target's name.
    m_sequence = randomValue<std::uint16_t>();
    drainSocket();

    const auto packet = echoRequest(m_identifier, m_sequence, kEchoData);
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
    EchoEvent event;
    const IcmpRead read = readIcmpErrorQueue(m_fd, event);
    if (read == IcmpRead::Event && event.peer == m_target &&
        (event.anySequence || event.sequence == m_sequence))
        finish({event.status, 0});
    return read != IcmpRead::Empty;
}

// One received datagram; false when there was none.
bool LinuxEchoProbe::readDatagram() {
    EchoEvent event;
    const IcmpRead read = readIcmpDatagram(m_fd, m_kind, event);
    const bool ours = read == IcmpRead::Event && event.peer == m_target &&
                      event.sequence == m_sequence &&
                      (m_kind == SocketKind::Datagram || event.identifier == m_identifier) &&
                      (event.status != kEchoSuccess || event.carries(kEchoData));
    if (ours) {
        const auto roundTrip = static_cast<std::uint32_t>(m_sentAt.elapsed());
        finish({event.status, event.status == kEchoSuccess ? roundTrip : 0});
    }
    return read != IcmpRead::Empty;
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
