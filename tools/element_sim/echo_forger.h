// A misbehaving host for the station's echo watch: it answers, in another host's name, the echo
// requests it gets itself, for the sequence numbers around each one and with its data, as a
// host on the LAN could to keep a dead element looking alive. Needs raw sockets (root).
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <cstdint>

namespace varnetix::sim {

class EchoForger : public QObject {
    Q_OBJECT
public:
    // Replies are forged for the request's sequence number and this many either side of it.
    static constexpr int kSpread = 64;

    explicit EchoForger(const QHostAddress& forgedSource, QObject* parent = nullptr);
    ~EchoForger() override;

    // Opens the two raw sockets; on failure says why.
    bool start(QString* error);

signals:
    void logLine(const QString& line);

private:
    void readRequests();
    int forge(std::uint32_t station, const std::uint8_t* request, std::size_t length);

    std::uint32_t m_source; // network byte order
    int m_listener = -1;    // a copy of every ICMP message that arrives
    int m_sender = -1;      // IP packets with our own header
};

} // namespace varnetix::sim
