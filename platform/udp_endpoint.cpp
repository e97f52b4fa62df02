#include "platform/udp_endpoint.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QVariant>

#include "core/mac_format.h"
#include "core/text_procedures.h"

namespace varnetix {

UdpEndpoint::UdpEndpoint(QObject* parent) : QObject(parent) {
    m_socket.setObjectName(QStringLiteral("udpClient"));
    connect(&m_socket, &QUdpSocket::readyRead, this, &UdpEndpoint::readPending);
}

bool UdpEndpoint::bind(quint16 localPort) {
    // Qt permits broadcast on every UDP socket, which discovery needs.
    if (!m_socket.bind(QHostAddress::AnyIPv4, localPort, QAbstractSocket::DontShareAddress))
        return false;
    // Room for the answers of a whole network arriving at once (the kernel caps the request).
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption,
                             QVariant(4 * 1024 * 1024));
    return true;
}

void UdpEndpoint::close() {
    m_socket.close();
}

bool UdpEndpoint::isBound() const {
    return m_socket.state() == QAbstractSocket::BoundState;
}

quint16 UdpEndpoint::localPort() const {
    return m_socket.localPort();
}

void UdpEndpoint::readPending() {
    // Every pending datagram is delivered, an empty one included; one that cannot be read is
    // skipped.
    while (m_socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_socket.receiveDatagram();
        if (!datagram.isValid())
            continue;
        emit datagramReceived(datagram.data(), datagram.senderAddress());
    }
}

bool UdpEndpoint::sendDatagram(const QByteArray& data, const QString& host, quint16 port) {
    // Only a plain dotted quad: the short and hexadecimal forms Qt would also read (4294967295
    // is 255.255.255.255) would slip past the callers' check of the destination.
    const std::string dotted = host.toStdString();
    if (!isBound() || !IsValidIp(dotted))
        return false;
    const QHostAddress address(ParseIpAddress(dotted));
    return m_socket.writeDatagram(data, address, port) == data.size();
}

bool UdpEndpoint::sendBroadcast(const QByteArray& data, const QString& destination, quint16 port,
                                bool everyInterface) {
    QHostAddress address;
    if (!isBound() || !address.setAddress(destination))
        return false;
    if (!everyInterface)
        return m_socket.writeDatagram(data, address, port) == data.size();

    // A datagram to the limited broadcast address leaves by one routed interface only (and by
    // none without a default route), so it is sent once on every interface that can carry it.
    bool sentOnAny = false;
    bool anyInterface = false;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& nic : interfaces) {
        const auto flags = nic.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning) ||
            !flags.testFlag(QNetworkInterface::CanBroadcast) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        bool hasIpv4 = false;
        for (const QNetworkAddressEntry& entry : nic.addressEntries())
            hasIpv4 = hasIpv4 || entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
        if (!hasIpv4)
            continue;
        anyInterface = true;
        QNetworkDatagram datagram(data, address, port);
        datagram.setInterfaceIndex(static_cast<uint>(nic.index()));
        sentOnAny = m_socket.writeDatagram(datagram) == data.size() || sentOnAny;
    }
    if (!anyInterface)
        return m_socket.writeDatagram(data, address, port) == data.size();
    return sentOnAny;
}

} // namespace varnetix
