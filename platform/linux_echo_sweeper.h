// The echo sweeper on Linux: one ICMP socket (datagram first, raw second, with the permissions
// described in linux_echo_probe.h) carries every echo; answers are told apart by sequence
// number, identifier (raw socket only: the kernel filters a datagram socket's) and the
// address they come from, and a reply must bring back the random data of its echo. Sends are
// paced over event-loop turns, and one timer serves every time-out.
#pragma once

#include "platform/echo_sweeper.h"
#include "platform/linux_icmp_socket.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTimer>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <queue>
#include <span>
#include <vector>

namespace varnetix {

class LinuxEchoSweeper : public EchoSweeper {
    Q_OBJECT
public:
    using SocketKind = IcmpSocketKind;

    // `only` restricts open() to one kind; None tries the datagram socket, then the raw one.
    explicit LinuxEchoSweeper(SocketKind only = SocketKind::None, QObject* parent = nullptr);
    ~LinuxEchoSweeper() override;

    bool open() override;
    QString unavailableReason() const override { return m_unavailableReason; }
    void send(const QString& address, quint64 token) override;
    int inFlight() const override;
    void cancelAll() override;

    // Applies to echoes sent from now on: 1 ms to 30 s, 1000 ms unless set.
    void setTimeoutMs(int ms);
    SocketKind socketKind() const { return m_kind; }
    // Echo replies with our identifier that answered no echo in flight: late, repeated, or
    // forged by a host that never got the echo.
    quint64 rejectedReplies() const override { return m_rejectedReplies; }

private:
    struct Request {
        std::uint32_t target; // network byte order; 0 for no host
        quint64 token;
    };
    struct Echo {
        quint64 token;
        std::uint32_t target;
        qint64 sentAtNs;
        quint64 serial;
        EchoNonce nonce;
    };
    struct Deadline {
        qint64 atNs;
        quint64 serial; // tells the echo apart from a later one with the same sequence
        std::uint16_t sequence;
        auto operator<=>(const Deadline&) const = default;
    };

    bool openSocket(SocketKind kind);
    void sendBatch();
    bool sendOne(const Request& request);
    int transmit(std::span<const std::uint8_t> packet, std::uint32_t target);
    bool takeQueuedErrors();
    std::optional<std::uint16_t> takeSequence(qint64 now);
    void readAll();
    void handle(const EchoEvent& event);
    void expire();
    bool isWaiting(const Deadline& deadline) const;
    void armTimeout();

    SocketKind m_only;
    SocketKind m_kind = SocketKind::None;
    int m_fd = -1;
    QString m_unavailableReason;
    std::uint16_t m_identifier = 0;
    qint64 m_timeoutNs;
    QElapsedTimer m_clock;
    QTimer m_pacer;
    QTimer m_timer;
    std::deque<Request> m_queue;
    QHash<std::uint16_t, Echo> m_echoes;
    std::priority_queue<Deadline, std::vector<Deadline>, std::greater<>> m_deadlines;
    std::vector<EchoEvent> m_deferred; // errors read while sending, handled after the batch
    quint64 m_serial = 0;
    std::uint16_t m_nextSequence; // from a random start
    std::array<qint64, 64> m_blockLastSent{};
    quint64 m_rejectedReplies = 0;
};

} // namespace varnetix
