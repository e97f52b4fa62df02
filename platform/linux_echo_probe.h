// The ICMP echo of the ping test on Linux, waiting for the answer through the event loop.
//
// The program needs one of two permissions, and tries them in this order:
//  - an unprivileged ICMP datagram socket, open to the groups in the sysctl
//    net.ipv4.ping_group_range (for example `sysctl -w net.ipv4.ping_group_range="0 2147483647"`,
//    the default of most desktop distributions);
//  - a raw ICMP socket, which needs CAP_NET_RAW: `setcap cap_net_raw+ep varnetix-nms`, or root.
// Without either, StartSockets() returns false.
#pragma once

#include "platform/echo_probe.h"
#include "platform/linux_icmp_socket.h"

#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>

class QSocketNotifier;

namespace varnetix {

class LinuxEchoProbe : public EchoProbe {
    Q_OBJECT
public:
    using SocketKind = IcmpSocketKind;

    explicit LinuxEchoProbe(QObject* parent = nullptr);
    // Restricts StartSockets() to one kind (None: try both), so each can be tried on its own.
    explicit LinuxEchoProbe(SocketKind only, QObject* parent = nullptr);
    ~LinuxEchoProbe() override;

    bool StartSockets() override;
    // Closes the socket; an echo still in flight then ends with "General Failure".
    void StopSockets() override;
    bool start(const QString& address) override;
    bool busy() const override { return m_busy; }

    // The kind of the open socket, None when none is open.
    SocketKind socketKind() const { return m_kind; }

private:
    bool openSocket(SocketKind kind);
    void closeSocket();
    void drainSocket();
    void onReadable();
    bool readErrorQueue();
    bool readDatagram();
    void finishLater(EchoReply reply);
    void finish(EchoReply reply);

    SocketKind m_only = SocketKind::None;
    SocketKind m_kind = SocketKind::None;
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_timeout;
    QElapsedTimer m_sentAt;
    bool m_busy = false;
    quint64 m_generation = 0;
    std::uint32_t m_target = 0; // network byte order
    std::uint16_t m_identifier = 0;
    std::uint16_t m_sequence = 0;
};

} // namespace varnetix
