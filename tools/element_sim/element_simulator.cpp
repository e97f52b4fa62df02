#include "tools/element_sim/element_simulator.h"

#include "core/address_bytes.h"
#include "core/audio_level.h"
#include "core/commands.h"
#include "core/paging_request.h"
#include "tools/element_sim/address_mover.h"
#include "tools/element_sim/echo_forger.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace varnetix::sim {

namespace {

constexpr qsizetype kConfigSize = 35;
constexpr qsizetype kNameOffset = 19;
constexpr qsizetype kNameLength = 16;
constexpr qsizetype kLongestFeedback = 45;
constexpr qsizetype kLongestHexDump = 64;
constexpr std::int32_t kLargestSample = 8388607;
constexpr double kFullScale = 8388608.0;
constexpr int kSamples = 480;
constexpr int kSamplesPerPeriod = 48;

struct FieldName {
    Field field;
    const char* name;
};

constexpr std::array<FieldName, 9> kFieldNames{{
    {Field::Name, "name"},
    {Field::Ip, "ip"},
    {Field::Mask, "mask"},
    {Field::Gw, "gw"},
    {Field::Remote, "remote"},
    {Field::Input, "input"},
    {Field::Type, "type"},
    {Field::Tx, "tx"},
    {Field::Role, "role"},
}};

std::string addressAt(const QByteArray& packet, qsizetype offset) {
    return detail::AddressText(
        std::string_view(packet.constData(), static_cast<std::size_t>(packet.size())),
        static_cast<std::size_t>(offset));
}

// Another address than the one given: the last octet moved on by one.
std::string otherAddress(const std::string& address) {
    std::array<std::uint8_t, 4> octets = detail::AddressBytes(address);
    octets[3] = static_cast<std::uint8_t>(octets[3] + 1);
    return detail::AddressText(
        std::string_view(reinterpret_cast<const char*>(octets.data()), octets.size()), 0);
}

QString qText(const std::string& s) {
    return QString::fromStdString(s);
}

QString latin1(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString roleText(std::uint8_t role) {
    return role == kDecoderRole ? QStringLiteral("decoder") : QStringLiteral("encoder");
}

QString hexDump(const QByteArray& data) {
    if (data.isEmpty() || data.size() > kLongestHexDump)
        return {};
    return QStringLiteral(" [%1]").arg(QString::fromLatin1(data.toHex(' ')));
}

QByteArray toBytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

QString configurationText(const FeedbackRecord& e) {
    return QStringLiteral("ip %1 mask %2 gw %3 remote %4 input %5 type %6 tx %7 name '%8'")
        .arg(qText(e.ElementIP), qText(e.ElementMask), qText(e.ElementGW), qText(e.RemoteIP))
        .arg(e.AudioInput)
        .arg(e.AudioType)
        .arg(e.TxType)
        .arg(latin1(e.ElementName));
}

} // namespace

std::optional<Field> fieldFromName(const QString& name) {
    for (const FieldName& entry : kFieldNames) {
        if (name == QLatin1String(entry.name))
            return entry.field;
    }
    return std::nullopt;
}

QString fieldName(Field field) {
    for (const FieldName& entry : kFieldNames) {
        if (entry.field == field)
            return QLatin1String(entry.name);
    }
    return QStringLiteral("none");
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> versionParts(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() > 2)
        return std::nullopt;
    const auto isDigits = [](const QString& s) {
        return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        });
    };
    if (!isDigits(parts[0]) || parts[0].size() > 3)
        return std::nullopt;
    const int whole = parts[0].toInt();
    int tenth = 0;
    if (parts.size() == 2) {
        // More than one decimal cannot survive the division by ten on the station's side.
        if (parts[1].size() != 1 || !isDigits(parts[1]))
            return std::nullopt;
        tenth = parts[1].toInt();
    }
    if (whole > 255)
        return std::nullopt;
    return std::pair{static_cast<std::uint8_t>(whole), static_cast<std::uint8_t>(tenth)};
}

std::int32_t levelPeak(double dbfs) {
    if (std::isnan(dbfs))
        return 0;
    const double peak = std::round(kFullScale * std::pow(10.0, dbfs / 20.0));
    return static_cast<std::int32_t>(std::clamp(peak, 0.0, static_cast<double>(kLargestSample)));
}

QByteArray sineDatagram(std::int32_t peak) {
    QByteArray data;
    data.reserve(kSamples * 3);
    for (int k = 0; k < kSamples; ++k) {
        const double phase = 2.0 * std::numbers::pi * (k % kSamplesPerPeriod) / kSamplesPerPeriod;
        const auto sample = static_cast<std::int32_t>(std::lround(peak * std::sin(phase)));
        // Two's complement in 24 bits: the low three bytes of the 32-bit value.
        const auto bits = static_cast<std::uint32_t>(sample);
        data.append(static_cast<char>((bits >> 16) & 0xFF));
        data.append(static_cast<char>((bits >> 8) & 0xFF));
        data.append(static_cast<char>(bits & 0xFF));
    }
    return data;
}

ElementSimulator::ElementSimulator(const SimulatorOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_element(options.element) {
    m_element.ElementName.resize(kNameLength, ' ');
    setSilentAudio(options.silentAudio);
}

void ElementSimulator::setSilentAudio(bool silent) {
    m_silentAudio = silent;
    m_audio =
        silent ? QByteArray(kSamples * 3, '\0') : sineDatagram(levelPeak(m_options.levelDbfs));
}

ElementSimulator::~ElementSimulator() = default;

bool ElementSimulator::start(QString* error) {
    if (!bindSockets(m_options.bindAddress,
                     {m_options.pagingPort, m_options.configPort, m_options.commandPort}, error))
        return false;
    if (m_options.forgeEchoFrom.isNull())
        return true;
    m_forger = new EchoForger(m_options.forgeEchoFrom, this);
    connect(m_forger, &EchoForger::logLine, this, &ElementSimulator::logLine);
    return m_forger->start(error);
}

bool ElementSimulator::bindSockets(const QHostAddress& address, const std::array<quint16, 3>& ports,
                                   QString* error) {
    const std::array<const char*, 3> what = {"paging", "configuration", "command"};
    std::array<QUdpSocket*, 3> bound{};
    for (std::size_t i = 0; i < bound.size(); ++i) {
        auto* socket = new QUdpSocket(this);
        if (!socket->bind(address, ports[i])) {
            if (error) {
                *error = QStringLiteral("cannot bind the %1 port %2 on %3: %4")
                             .arg(QLatin1String(what[i]))
                             .arg(ports[i])
                             .arg(address.toString(), socket->errorString());
            }
            delete socket;
            for (QUdpSocket* other : bound)
                delete other;
            return false;
        }
        bound[i] = socket;
    }
    // The old sockets may be the one whose datagram is being handled: they go from the loop.
    for (QUdpSocket* old : {m_paging, m_config, m_command}) {
        if (old) {
            old->close();
            old->deleteLater();
        }
    }
    m_paging = bound[0];
    m_config = bound[1];
    m_command = bound[2];
    const std::array<Channel, 3> channels = {Channel::Paging, Channel::Config, Channel::Command};
    for (std::size_t i = 0; i < bound.size(); ++i) {
        QUdpSocket* socket = bound[i];
        const Channel channel = channels[i];
        connect(socket, &QUdpSocket::readyRead, this,
                [this, socket, channel] { readPending(socket, channel); });
    }
    m_options.bindAddress = address;
    return true;
}

quint16 ElementSimulator::pagingPort() const {
    return m_paging ? m_paging->localPort() : 0;
}
quint16 ElementSimulator::configPort() const {
    return m_config ? m_config->localPort() : 0;
}
quint16 ElementSimulator::commandPort() const {
    return m_command ? m_command->localPort() : 0;
}

QString ElementSimulator::summary() const {
    // The name comes last: it may hold "%" and must not be taken for a placeholder.
    return QStringLiteral("%1 ip %2 serial %3 listening on %4: paging %5, configuration %6, "
                          "commands %7, name '%8'")
        .arg(roleText(m_element.ElementRole), qText(m_element.ElementIP))
        .arg(static_cast<std::uint32_t>(m_element.SerialNumber))
        .arg(m_options.bindAddress.toString())
        .arg(pagingPort())
        .arg(configPort())
        .arg(commandPort())
        .arg(latin1(m_element.ElementName));
}

QByteArray ElementSimulator::feedbackPacket() const {
    FeedbackRecord reported = m_element;
    if (m_options.zeroSerial)
        reported.SerialNumber = 0;
    // Four bytes always decode to a well-formed dotted address, so the address faults send
    // values no element could run with instead.
    switch (m_options.invalidField) {
    case Field::Ip:
        reported.ElementIP = "0.0.0.0";
        break;
    case Field::Mask:
        reported.ElementMask = "0.255.0.255";
        break;
    case Field::Gw:
        reported.ElementGW = "255.255.255.255";
        break;
    case Field::Remote:
        reported.RemoteIP = "0.0.0.0";
        break;
    case Field::Input:
        reported.AudioInput = 2;
        break;
    case Field::Type:
        reported.AudioType = 2;
        break;
    case Field::Tx:
        reported.TxType = 2;
        break;
    case Field::Role:
        reported.ElementRole = 3;
        break;
    case Field::Name:
    case Field::None:
        break;
    }
    const qsizetype length = m_options.faultLength >= 0 ? m_options.faultLength
                                                        : static_cast<qsizetype>(m_options.length);
    QByteArray packet = toBytes(EncodeFeedback(reported, static_cast<std::size_t>(length),
                                               m_options.versionFirst, m_options.versionSecond));
    if (length > kLongestFeedback)
        packet.append(QByteArray(length - kLongestFeedback, '\0'));
    return packet;
}

void ElementSimulator::readPending(QUdpSocket* socket, Channel channel) {
    // A new address replaces the sockets of the old one.
    while ((socket == m_paging || socket == m_config || socket == m_command) &&
           socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            continue;
        switch (channel) {
        case Channel::Paging:
            handlePaging(socket, datagram);
            break;
        case Channel::Config:
            handleConfig(socket, datagram);
            break;
        case Channel::Command:
            handleCommand(socket, datagram);
            break;
        }
    }
}

void ElementSimulator::handlePaging(QUdpSocket* socket, const QNetworkDatagram& datagram) {
    const QByteArray data = datagram.data();
    if (data != toBytes(PagingRequest())) {
        logDatagram(QStringLiteral("recv"), socket->localPort(), datagram.senderAddress(),
                    static_cast<quint16>(datagram.senderPort()), data,
                    QStringLiteral("ignored: not a paging request"));
        return;
    }
    logDatagram(QStringLiteral("recv"), socket->localPort(), datagram.senderAddress(),
                static_cast<quint16>(datagram.senderPort()), data,
                QStringLiteral("paging request"));
    answer(socket, datagram, feedbackPacket(), QStringLiteral("feedback"));
}

void ElementSimulator::handleConfig(QUdpSocket* socket, const QNetworkDatagram& datagram) {
    const QByteArray data = datagram.data();
    if (data.size() != kConfigSize) {
        logDatagram(QStringLiteral("recv"), socket->localPort(), datagram.senderAddress(),
                    static_cast<quint16>(datagram.senderPort()), data,
                    QStringLiteral("ignored: not a configuration packet"));
        return;
    }
    const std::string previous = m_element.ElementIP;
    adoptConfiguration(data);
    logDatagram(QStringLiteral("recv"), socket->localPort(), datagram.senderAddress(),
                static_cast<quint16>(datagram.senderPort()), data,
                QStringLiteral("configuration, now running ") + configurationText(m_element));
    if (m_element.ElementIP != previous)
        takeAddress(previous);
    // From the new address, where it has one.
    answer(m_config, datagram, feedbackPacket(), QStringLiteral("feedback"));
}

void ElementSimulator::takeAddress(const std::string& previous) {
    const QString address = qText(m_element.ElementIP);
    const auto note = [this](const QString& text) {
        emit logLine(QStringLiteral("%1 addr %2")
                         .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")), text));
    };
    if (m_options.moveAddress) {
        const QString failure =
            moveInterfaceAddress(previous, m_element.ElementIP, m_element.ElementMask);
        note(failure.isEmpty()
                 ? QStringLiteral("moved %1 -> %2 on the interface").arg(qText(previous), address)
                 : QStringLiteral("not moved %1 -> %2: %3").arg(qText(previous), address, failure));
    }
    // Bound to any address, the sockets hear the new one already.
    if (m_options.bindAddress == QHostAddress(QHostAddress::AnyIPv4))
        return;
    QString error;
    if (bindSockets(QHostAddress(address), {pagingPort(), configPort(), commandPort()}, &error))
        note(QStringLiteral("listening on %1").arg(address));
    else
        note(QStringLiteral("still listening on %1: %2")
                 .arg(m_options.bindAddress.toString(), error));
}

void ElementSimulator::adoptConfiguration(const QByteArray& packet) {
    m_element.ElementIP = addressAt(packet, 0);
    m_element.ElementMask = addressAt(packet, 4);
    m_element.ElementGW = addressAt(packet, 8);
    m_element.RemoteIP = addressAt(packet, 12);
    m_element.AudioInput = static_cast<std::uint8_t>(packet.at(16));
    m_element.AudioType = static_cast<std::uint8_t>(packet.at(17));
    m_element.TxType = static_cast<std::uint8_t>(packet.at(18));
    m_element.ElementName = packet.mid(kNameOffset, kNameLength).toStdString();

    // The element keeps a value of its own instead of the one it was sent.
    switch (m_options.answerDiffers) {
    case Field::Name:
        m_element.ElementName[0] = m_element.ElementName[0] == 'X' ? 'Y' : 'X';
        break;
    case Field::Ip:
        m_element.ElementIP = otherAddress(m_element.ElementIP);
        break;
    case Field::Mask:
        m_element.ElementMask = otherAddress(m_element.ElementMask);
        break;
    case Field::Gw:
        m_element.ElementGW = otherAddress(m_element.ElementGW);
        break;
    case Field::Remote:
        m_element.RemoteIP = otherAddress(m_element.RemoteIP);
        break;
    case Field::Input:
        m_element.AudioInput ^= 1;
        break;
    case Field::Type:
        m_element.AudioType ^= 1;
        break;
    case Field::Tx:
        m_element.TxType ^= 1;
        break;
    case Field::Role:
    case Field::None:
        break;
    }
}

void ElementSimulator::handleCommand(QUdpSocket* socket, const QNetworkDatagram& datagram) {
    const QByteArray data = datagram.data();
    const auto peer = datagram.senderAddress();
    const auto peerPort = static_cast<quint16>(datagram.senderPort());
    const bool decoder = m_element.ElementRole == kDecoderRole;

    if (data == toBytes(AudioLevelRequest())) {
        logDatagram(QStringLiteral("recv"), socket->localPort(), peer, peerPort, data,
                    QStringLiteral("audio-level request"));
        const AudioLevel level = EvaluateAudioLevel(
            std::string_view(m_audio.constData(), static_cast<std::size_t>(m_audio.size())));
        answer(socket, datagram, m_audio,
               QStringLiteral("audio level %1 (peak %2)").arg(qText(level.text)).arg(level.peak));
        return;
    }
    if (data.size() == 2) {
        const auto step = static_cast<std::uint8_t>(data.at(0));
        QString meaning =
            QStringLiteral("attenuation %1 (%2)").arg(step).arg(qText(AttenuationReadout(step)));
        if (data.at(1) != '\0')
            meaning += QStringLiteral(", second byte not 0");
        if (decoder)
            m_element.Attenuation = step;
        else
            meaning += QStringLiteral(", ignored by an encoder");
        logDatagram(QStringLiteral("recv"), socket->localPort(), peer, peerPort, data, meaning);
        return;
    }
    logDatagram(QStringLiteral("recv"), socket->localPort(), peer, peerPort, data,
                QStringLiteral("ignored: unknown command"));
}

void ElementSimulator::answer(QUdpSocket* socket, const QNetworkDatagram& request,
                              const QByteArray& data, const QString& meaning) {
    const auto peer = request.senderAddress();
    const auto peerPort = static_cast<quint16>(request.senderPort());
    if (m_options.silent) {
        logDatagram(QStringLiteral("mute"), socket->localPort(), peer, peerPort, data,
                    meaning + QStringLiteral(" not sent (--fault-silent)"));
        return;
    }
    const qint64 written = socket->writeDatagram(data, peer, peerPort);
    if (written != data.size()) {
        logDatagram(QStringLiteral("fail"), socket->localPort(), peer, peerPort, data,
                    meaning + QStringLiteral(" not sent: ") + socket->errorString());
        return;
    }
    logDatagram(QStringLiteral("sent"), socket->localPort(), peer, peerPort, data, meaning);
}

void ElementSimulator::logDatagram(const QString& direction, quint16 localPort,
                                   const QHostAddress& peer, quint16 peerPort,
                                   const QByteArray& data, const QString& meaning) {
    const bool incoming = direction == QLatin1String("recv");
    emit logLine(QStringLiteral("%1 %2 :%3 %4 %5:%6 %7 bytes %8%9")
                     .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")), direction)
                     .arg(localPort)
                     .arg(incoming ? QStringLiteral("<-") : QStringLiteral("->"), peer.toString())
                     .arg(peerPort)
                     .arg(data.size())
                     .arg(meaning, hexDump(data)));
}

} // namespace varnetix::sim
