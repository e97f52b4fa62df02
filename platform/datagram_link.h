// The station's one UDP endpoint as the link controllers see it.
#pragma once

#include <QByteArray>
#include <QString>

namespace varnetix {

class DatagramLink {
public:
    virtual ~DatagramLink() = default;
    // One datagram from the local port to the dotted address; false when it could not be sent
    // (no dotted quad, unreachable network, any socket error).
    virtual bool sendDatagram(const QByteArray& data, const QString& host, quint16 port) = 0;
    // One datagram to a broadcast address; with everyInterface, once on every up,
    // broadcast-capable IPv4 interface. False when it left by no interface at all.
    virtual bool sendBroadcast(const QByteArray& data, const QString& destination, quint16 port,
                               bool everyInterface) = 0;
};

} // namespace varnetix
