#include "platform/linux_echo_sweeper.h"

#include "core/echo_status.h"
#include "core/mac_format.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSocketNotifier>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <limits>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace varnetix {

namespace {

Q_LOGGING_CATEGORY(lcEcho, "varnetix.echo", QtWarningMsg)

constexpr qint64 kNsPerMs = 1'000'000;
constexpr int kDefaultTimeoutMs = 1000;
constexpr int kMaxTimeoutMs = 30'000;
// Sends per event-loop turn: about a millisecond of work (bench_echo_watch), so a round to
// a thousand elements never holds the loop for long.
constexpr int kSendsPerTurn = 50;
// Wait before trying again when the socket buffer is full or every sequence number rests.
constexpr int kRetryMs = 5;
// Answers arriving between two turns wait in the socket; a larger buffer, where the system
// allows one, keeps a burst of them from being dropped.
constexpr int kSocketBufferBytes = 1 << 20;
constexpr int kMaxReadsPerWakeup = 256;
constexpr int kSendAttempts = 4;
// A sequence number is used again only after resting this long since it was last sent, so that
// an answer late by less than that is never taken for a newer echo. Sequence numbers are
// handed out in turn from a random start and checked a block at a time; 65,536 numbers a
// minute is the most this allows (beyond it sends wait).
constexpr qint64 kSequenceRestNs = 60'000 * kNsPerMs;
constexpr int kSequenceBlock = 1024;

} // namespace

LinuxEchoSweeper::LinuxEchoSweeper(SocketKind only, QObject* parent)
    : EchoSweeper(parent), m_only(only), m_timeoutNs(kDefaultTimeoutMs * kNsPerMs),
      m_nextSequence(randomValue<std::uint16_t>()) {
    static_assert(kSequenceBlock * std::tuple_size_v<decltype(m_blockLastSent)> == 0x10000);
    m_blockLastSent.fill(std::numeric_limits<qint64>::min() / 2);
    m_clock.start();
    m_pacer.setSingleShot(true);
    connect(&m_pacer, &QTimer::timeout, this, &LinuxEchoSweeper::sendBatch);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LinuxEchoSweeper::expire);
}

LinuxEchoSweeper::~LinuxEchoSweeper() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool LinuxEchoSweeper::open() {
    if (m_fd >= 0)
        return true;
    QStringList refusals;
    if (m_only != SocketKind::Raw) {
        if (openSocket(SocketKind::Datagram))
            return true;
        refusals << QStringLiteral("datagram socket refused (%1; see net.ipv4.ping_group_range)")
                        .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (m_only != SocketKind::Datagram) {
        if (openSocket(SocketKind::Raw))
            return true;
        refusals << QStringLiteral("raw socket refused (%1; needs CAP_NET_RAW)")
                        .arg(QString::fromLocal8Bit(std::strerror(errno)));
    }
    m_unavailableReason = QStringLiteral("No ICMP echo: ") + refusals.join(QStringLiteral(", "));
    return false;
}

bool LinuxEchoSweeper::openSocket(SocketKind kind) {
    const int fd = openIcmpSocket(kind);
    if (fd < 0)
        return false;
    // Not fatal: without it bursts of answers just have less room.
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kSocketBufferBytes, sizeof(kSocketBufferBytes));
    ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketBufferBytes, sizeof(kSocketBufferBytes));
    // A raw socket sees every host's echo traffic: the identifier tells ours apart.
    if (kind == SocketKind::Raw)
        m_identifier = static_cast<std::uint16_t>(QRandomGenerator::global()->bounded(0x10000));
    m_fd = fd;
    m_kind = kind;
    m_unavailableReason.clear();
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &LinuxEchoSweeper::readAll);
    return true;
}

void LinuxEchoSweeper::setTimeoutMs(int ms) {
    m_timeoutNs = std::clamp(ms, 1, kMaxTimeoutMs) * kNsPerMs;
}

void LinuxEchoSweeper::send(const QString& address, quint64 token) {
    const std::uint32_t value = ParseIpAddress(address.toStdString());
    // 0 is 0.0.0.0, all ones is the broadcast address or no address at all: neither names a host.
    const bool host = value != 0 && value != kInvalidIpAddress;
    m_queue.push_back({host ? htonl(value) : 0, token});
    if (!m_pacer.isActive())
        m_pacer.start(0);
}

int LinuxEchoSweeper::inFlight() const {
    return static_cast<int>(m_queue.size()) + static_cast<int>(m_echoes.size());
}

void LinuxEchoSweeper::cancelAll() {
    m_queue.clear();
    m_echoes.clear();
    m_deadlines = {};
    m_pacer.stop();
    m_timer.stop();
}

void LinuxEchoSweeper::sendBatch() {
    bool blocked = false;
    for (int i = 0; i < kSendsPerTurn && !blocked && !m_queue.empty(); ++i) {
        const Request request = m_queue.front();
        m_queue.pop_front();
        blocked = !sendOne(request);
        if (blocked)
            m_queue.push_front(request);
    }
    for (const EchoEvent& event : std::exchange(m_deferred, {}))
        handle(event);
    armTimeout();
    if (!m_queue.empty())
        m_pacer.start(blocked ? kRetryMs : 0);
}

// False when the request has to wait: the socket buffer is full or no sequence number is free.
bool LinuxEchoSweeper::sendOne(const Request& request) {
    if (request.target == 0 || m_fd < 0) {
        emit finished(request.token, {kEchoUnknown, 0});
        return true;
    }
    const qint64 now = m_clock.nsecsElapsed();
    const std::optional<std::uint16_t> sequence = takeSequence(now);
    if (!sequence)
        return false;
    EchoNonce nonce;
    fillRandom(nonce.data(), nonce.size());
    const int error = transmit(echoRequest(m_identifier, *sequence, nonce), request.target);
    if (error == EAGAIN)
        return false;
    if (error != 0) {
        emit finished(request.token, {statusForSendError(error), 0});
        return true;
    }
    m_echoes.insert(*sequence, {request.token, request.target, now, ++m_serial, nonce});
    m_deadlines.push({now + m_timeoutNs, m_serial, *sequence});
    return true;
}

// 0 once sent, else the errno that refused this echo (EAGAIN: try again later).
int LinuxEchoSweeper::transmit(std::span<const std::uint8_t> packet, std::uint32_t target) {
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = target;
    for (int attempt = 0; attempt < kSendAttempts; ++attempt) {
        ssize_t sent = -1;
        do {
            sent = ::sendto(m_fd, packet.data(), packet.size(), 0,
                            reinterpret_cast<const sockaddr*>(&destination), sizeof(destination));
        } while (sent < 0 && errno == EINTR);
        if (sent >= 0)
            return 0;
        // An ICMP error about an earlier echo leaves the socket an error that fails the next
        // send without sending anything. Such errors wait in the error queue too, so a failure
        // with nothing queued is this echo's own.
        const int error = errno;
        if (error == EAGAIN || !takeQueuedErrors())
            return error;
    }
    return EAGAIN; // a flood of errors: the pacer tries again shortly
}

// Datagram socket only: moves the queued errors to m_deferred; false when there were none.
bool LinuxEchoSweeper::takeQueuedErrors() {
    bool any = false;
    for (int i = 0; i < kMaxReadsPerWakeup; ++i) {
        EchoEvent event;
        const IcmpRead read = readIcmpErrorQueue(m_fd, event);
        if (read == IcmpRead::Empty)
            break;
        any = true;
        if (read == IcmpRead::Event)
            m_deferred.push_back(event);
    }
    return any;
}

std::optional<std::uint16_t> LinuxEchoSweeper::takeSequence(qint64 now) {
    const std::uint16_t sequence = m_nextSequence;
    const std::size_t block = sequence / kSequenceBlock;
    // Entering a block again: every number in it was last sent at or before its stamp. Time-outs
    // are shorter than the rest, so none of them is still waiting either.
    if (sequence % kSequenceBlock == 0 && now - m_blockLastSent[block] < kSequenceRestNs)
        return std::nullopt;
    m_blockLastSent[block] = now;
    ++m_nextSequence;
    return sequence;
}

void LinuxEchoSweeper::readAll() {
    for (int i = 0; i < kMaxReadsPerWakeup && m_fd >= 0; ++i) {
        EchoEvent event;
        IcmpRead read = IcmpRead::Empty;
        if (m_kind == SocketKind::Datagram)
            read = readIcmpErrorQueue(m_fd, event);
        if (read == IcmpRead::Empty)
            read = readIcmpDatagram(m_fd, m_kind, event);
        if (read == IcmpRead::Empty)
            return;
        if (read == IcmpRead::Event)
            handle(event);
    }
}

void LinuxEchoSweeper::handle(const EchoEvent& event) {
    // A refusal on this machine names no request; sendto() has reported it already.
    if (event.anySequence)
        return;
    // A raw socket sees every host's echo traffic; the rest is ours.
    if (m_kind == SocketKind::Raw && event.identifier != m_identifier)
        return;
    const auto echo = m_echoes.find(event.sequence);
    const bool reply = event.status == kEchoSuccess;
    // Errors quote only our header, so only a reply can be held to the echo's data.
    if (echo == m_echoes.end() || echo->target != event.peer ||
        (reply && !event.carries(echo->nonce))) {
        if (reply) {
            ++m_rejectedReplies;
            qCDebug(lcEcho) << "echo reply not taken: from" << QHostAddress(ntohl(event.peer))
                            << "sequence" << event.sequence << "data bytes" << event.dataSize;
        }
        return;
    }
    const qint64 roundTripMs = (m_clock.nsecsElapsed() - echo->sentAtNs) / kNsPerMs;
    const quint64 token = echo->token;
    m_echoes.erase(echo);
    const auto roundTrip =
        event.status == kEchoSuccess ? static_cast<std::uint32_t>(roundTripMs) : 0;
    emit finished(token, {event.status, roundTrip});
}

void LinuxEchoSweeper::expire() {
    // Answers that arrived while the loop was busy count before any deadline is judged.
    readAll();
    const qint64 now = m_clock.nsecsElapsed();
    while (!m_deadlines.empty() && m_deadlines.top().atNs <= now) {
        const Deadline due = m_deadlines.top();
        m_deadlines.pop();
        if (!isWaiting(due))
            continue;
        const quint64 token = m_echoes.take(due.sequence).token;
        emit finished(token, {kEchoTimedOut, 0});
    }
    armTimeout();
}

bool LinuxEchoSweeper::isWaiting(const Deadline& deadline) const {
    const auto echo = m_echoes.constFind(deadline.sequence);
    return echo != m_echoes.cend() && echo->serial == deadline.serial;
}

void LinuxEchoSweeper::armTimeout() {
    // Deadlines of echoes answered meanwhile are dropped here, so the timer wakes only for
    // echoes still waiting.
    while (!m_deadlines.empty() && !isWaiting(m_deadlines.top()))
        m_deadlines.pop();
    if (m_deadlines.empty()) {
        m_timer.stop();
        return;
    }
    const qint64 waitNs = m_deadlines.top().atNs - m_clock.nsecsElapsed();
    m_timer.start(static_cast<int>(std::max<qint64>(0, (waitNs + kNsPerMs - 1) / kNsPerMs)));
}

} // namespace varnetix
