// One network element on the station's side of the wire: answers paging requests and
// configuration packets with its feedback packet, takes attenuation commands and answers
// audio-level requests, so that the station can be exercised without hardware.
#pragma once

#include "core/feedback_packet.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

class QNetworkDatagram;
class QUdpSocket;

namespace varnetix::sim {

class EchoForger;

inline constexpr std::uint8_t kEncoderRole = 1;
inline constexpr std::uint8_t kDecoderRole = 2;

// The settings a fault option can single out.
enum class Field { None, Name, Ip, Mask, Gw, Remote, Input, Type, Tx, Role };

std::optional<Field> fieldFromName(const QString& name);
QString fieldName(Field field);

struct SimulatorOptions {
    // What the element runs with and reports; ElementMAC is not used.
    FeedbackRecord element;
    std::uint8_t versionFirst = 2;
    std::uint8_t versionSecond = 1;

    QHostAddress bindAddress{QHostAddress::AnyIPv4};
    quint16 pagingPort = 1901; // 0 binds any free port (tests)
    quint16 configPort = 2976;
    quint16 commandPort = 2977;

    // A configuration that gives another address moves it on the network interface (needs
    // CAP_NET_ADMIN: for network namespaces of its own, as the lab's).
    bool moveAddress = false;

    std::size_t length = 44; // 40, 41, 44 or 45
    double levelDbfs = -6.0;
    bool silentAudio = false;

    // Faults, for exercising the station's checks.
    Field answerDiffers = Field::None; // a configuration answer reports another value
    Field invalidField = Field::None;  // every feedback carries an out-of-range value
    bool zeroSerial = false;
    int faultLength = -1; // every feedback is cut (or zero-padded) to this many bytes
    bool silent = false;  // receives and adopts, never answers
    // Not null: answers the echo requests it gets in this address's name as well (EchoForger).
    QHostAddress forgeEchoFrom;
};

// "2.1" -> {2, 1}: the integer part and one decimal digit, so that the station's decoding
// (the two parts' decimal texts joined, divided by ten) gives the same number back.
std::optional<std::pair<std::uint8_t, std::uint8_t>> versionParts(const QString& text);

// The positive peak of a sine at the level: 2^23 * 10^(dBFS/20), rounded, at most 2^23 - 1.
std::int32_t levelPeak(double dbfs);
// 480 big-endian 24-bit samples of a 1 kHz sine at 48 kHz with that peak (1440 bytes).
QByteArray sineDatagram(std::int32_t peak);

class ElementSimulator : public QObject {
    Q_OBJECT
public:
    explicit ElementSimulator(const SimulatorOptions& options, QObject* parent = nullptr);
    ~ElementSimulator() override;

    // Binds the three sockets (and opens the forger's raw sockets); on failure says why.
    bool start(QString* error);
    // The address the three sockets are bound to now.
    QHostAddress boundAddress() const { return m_options.bindAddress; }

    quint16 pagingPort() const;
    quint16 configPort() const;
    quint16 commandPort() const;

    const FeedbackRecord& element() const { return m_element; }
    // The feedback packet as it would leave now, faults applied.
    QByteArray feedbackPacket() const;
    QByteArray audioDatagram() const { return m_audio; }
    // Switches the audio answered to "VOL" between silence and the sine of --level-dbfs while
    // it runs (SIGUSR1 in the program), so that a station's silence watch can be tried.
    void setSilentAudio(bool silent);
    bool silentAudio() const { return m_silentAudio; }
    // "encoder ip 198.18.0.11 serial 1011 listening on 0.0.0.0: paging 1901, ..."
    QString summary() const;

signals:
    void logLine(const QString& line);

private:
    enum class Channel { Paging, Config, Command };

    void readPending(QUdpSocket* socket, Channel channel);
    void handlePaging(QUdpSocket* socket, const QNetworkDatagram& datagram);
    void handleConfig(QUdpSocket* socket, const QNetworkDatagram& datagram);
    void handleCommand(QUdpSocket* socket, const QNetworkDatagram& datagram);
    void adoptConfiguration(const QByteArray& packet);
    // A configuration gave the element another address: it takes it, as a unit does.
    void takeAddress(const std::string& previous);
    // The three sockets on the address and ports; false (nothing changed) when one cannot bind.
    bool bindSockets(const QHostAddress& address, const std::array<quint16, 3>& ports,
                     QString* error);
    void answer(QUdpSocket* socket, const QNetworkDatagram& request, const QByteArray& data,
                const QString& meaning);
    void logDatagram(const QString& direction, quint16 localPort, const QHostAddress& peer,
                     quint16 peerPort, const QByteArray& data, const QString& meaning);

    SimulatorOptions m_options;
    FeedbackRecord m_element;
    QByteArray m_audio;
    bool m_silentAudio = false;
    QUdpSocket* m_paging = nullptr;
    QUdpSocket* m_config = nullptr;
    QUdpSocket* m_command = nullptr;
    EchoForger* m_forger = nullptr;
};

} // namespace varnetix::sim
