// udpClient: the station's one UDP socket, bound to the local port for the whole run. Every
// datagram leaves from it and every answer arrives on it, whole, on the UI thread.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QUdpSocket>

#include "platform/datagram_link.h"

namespace varnetix {

class UdpEndpoint : public QObject, public DatagramLink {
    Q_OBJECT
public:
    explicit UdpEndpoint(QObject* parent = nullptr);

    // All IPv4 addresses, no address sharing: a second station on the same port must fail.
    bool bind(quint16 localPort);
    void close();
    bool isBound() const;
    quint16 localPort() const;

    bool sendDatagram(const QByteArray& data, const QString& host, quint16 port) override;
    bool sendBroadcast(const QByteArray& data, const QString& destination, quint16 port,
                       bool everyInterface) override;

signals:
    void datagramReceived(const QByteArray& datagram, const QHostAddress& sender);

private:
    void readPending();

    QUdpSocket m_socket;
};

} // namespace varnetix
