#include "tools/element_sim/simulator_options.h"

#include "core/address_bytes.h"
#include "core/commands.h"
#include "core/config_packet.h"
#include "core/paging_request.h"
#include "core/text_procedures.h"

#include <QStringList>

#include <array>
#include <cmath>

namespace varnetix::sim {

namespace {

QCommandLineOption valueOption(const char* name, const QString& description,
                               const char* valueName) {
    return QCommandLineOption(QLatin1String(name), description, QLatin1String(valueName));
}

QCommandLineOption flagOption(const char* name, const QString& description) {
    return QCommandLineOption(QLatin1String(name), description);
}

// Reads the unsigned number of an option that is set, within [low, high].
bool readNumber(const QCommandLineParser& parser, const char* name, qulonglong low, qulonglong high,
                qulonglong& value, QString* error) {
    const QString text = parser.value(QLatin1String(name));
    bool ok = false;
    const qulonglong number = text.toULongLong(&ok, 10);
    if (!ok || number < low || number > high) {
        *error = QStringLiteral("--%1 takes a whole number from %2 to %3, not '%4'")
                     .arg(QLatin1String(name))
                     .arg(low)
                     .arg(high)
                     .arg(text);
        return false;
    }
    value = number;
    return true;
}

template <typename Byte>
bool readInteger(const QCommandLineParser& parser, const char* name, qulonglong low,
                 qulonglong high, Byte& target, QString* error) {
    if (!parser.isSet(QLatin1String(name)))
        return true;
    qulonglong value = 0;
    if (!readNumber(parser, name, low, high, value, error))
        return false;
    target = static_cast<Byte>(value);
    return true;
}

// Dotted text of the four bytes, so that "010.1.1.1" is reported as 10.1.1.1.
std::string normalisedAddress(const std::string& text) {
    const std::array<std::uint8_t, 4> octets = detail::AddressBytes(text);
    return std::to_string(octets[0]) + '.' + std::to_string(octets[1]) + '.' +
           std::to_string(octets[2]) + '.' + std::to_string(octets[3]);
}

bool readAddress(const QCommandLineParser& parser, const char* name, std::string& target,
                 QString* error) {
    if (!parser.isSet(QLatin1String(name)))
        return true;
    const std::string text = parser.value(QLatin1String(name)).toStdString();
    if (!IsValidIp(text)) {
        *error = QStringLiteral("--%1 takes a dotted IPv4 address, not '%2'")
                     .arg(QLatin1String(name), QString::fromStdString(text));
        return false;
    }
    target = normalisedAddress(text);
    return true;
}

bool readField(const QCommandLineParser& parser, const char* name, Field excluded, Field& target,
               QString* error) {
    if (!parser.isSet(QLatin1String(name)))
        return true;
    const QString text = parser.value(QLatin1String(name));
    const std::optional<Field> field = fieldFromName(text);
    if (!field || *field == excluded) {
        *error = QStringLiteral("--%1 does not know the field '%2'").arg(QLatin1String(name), text);
        return false;
    }
    target = *field;
    return true;
}

bool readVersion(const QCommandLineParser& parser, SimulatorOptions& options, QString* error) {
    if (parser.isSet(QStringLiteral("version-parts"))) {
        const QStringList parts = parser.value(QStringLiteral("version-parts")).split(u',');
        bool firstOk = false;
        bool secondOk = false;
        const uint first = parts.value(0).toUInt(&firstOk);
        const uint second = parts.value(1).toUInt(&secondOk);
        if (parts.size() != 2 || !firstOk || !secondOk || first > 255 || second > 255) {
            *error = QStringLiteral("--version-parts takes two bytes joined by a comma, not '%1'")
                         .arg(parser.value(QStringLiteral("version-parts")));
            return false;
        }
        options.versionFirst = static_cast<std::uint8_t>(first);
        options.versionSecond = static_cast<std::uint8_t>(second);
        return true;
    }
    if (!parser.isSet(QStringLiteral("version")))
        return true;
    const auto parts = versionParts(parser.value(QStringLiteral("version")));
    if (!parts) {
        *error = QStringLiteral("--version takes a number from 0 to 255 with at most one decimal, "
                                "not '%1'; use --version-parts for others")
                     .arg(parser.value(QStringLiteral("version")));
        return false;
    }
    options.versionFirst = parts->first;
    options.versionSecond = parts->second;
    return true;
}

bool readPorts(const QCommandLineParser& parser, SimulatorOptions& options, QString* error) {
    return readInteger(parser, "paging-port", 0, 65535, options.pagingPort, error) &&
           readInteger(parser, "config-port", 0, 65535, options.configPort, error) &&
           readInteger(parser, "command-port", 0, 65535, options.commandPort, error);
}

bool readFaults(const QCommandLineParser& parser, SimulatorOptions& options, QString* error) {
    // A name is any 16 bytes, and the role cannot come back different from a configuration
    // packet that does not carry it.
    if (!readField(parser, "fault-answer-differs", Field::Role, options.answerDiffers, error) ||
        !readField(parser, "fault-invalid", Field::Name, options.invalidField, error))
        return false;
    options.zeroSerial = parser.isSet(QStringLiteral("fault-zero-serial"));
    options.silent = parser.isSet(QStringLiteral("fault-silent"));
    std::string forged;
    if (!readAddress(parser, "fault-forge-echo", forged, error))
        return false;
    if (!forged.empty())
        options.forgeEchoFrom = QHostAddress(QString::fromStdString(forged));
    if (parser.isSet(QStringLiteral("fault-short")))
        options.faultLength = 39;
    if (parser.isSet(QStringLiteral("fault-length"))) {
        qulonglong length = 0;
        if (!readNumber(parser, "fault-length", 0, 1400, length, error))
            return false;
        options.faultLength = static_cast<int>(length);
    }
    return true;
}

} // namespace

QString simulatorDescription() {
    return QStringLiteral(
        "Emulates one Varnetix network element (an encoder or a decoder) for the station.\n"
        "\n"
        "Listens on UDP port 1901 for the paging request, on 2976 for configuration packets "
        "and on 2977 for attenuation commands and audio-level requests, and answers each to "
        "the sender's address and port, from the port the request came in on:\n"
        "  paging request (the exact 32 bytes)  -> the feedback packet\n"
        "  35-byte configuration packet         -> adopts ip, mask, gw, remote, input, type, "
        "tx and the 16 name bytes as sent, then answers with the feedback packet\n"
        "  2-byte attenuation command           -> a decoder adopts the step (no answer); an "
        "encoder only prints it\n"
        "  \"VOL\"                                -> 1440 bytes: 480 big-endian 24-bit samples "
        "of a 1 kHz sine at --level-dbfs. Decoders answer as well, as if reporting the "
        "audio they play out.\n"
        "Everything else is printed and ignored. One line is printed per datagram received "
        "and sent.\n"
        "\n"
        "An adopted IP address is taken as a unit takes it: sockets bound to a single address "
        "are bound to the new one (same ports), and with --move-address the address moves on "
        "the network interface that held the old one. Bind 0.0.0.0 (the default) to hear the "
        "paging broadcast; a socket bound to a single address does not receive datagrams sent "
        "to 255.255.255.255.");
}

void addSimulatorOptions(QCommandLineParser& parser) {
    parser.addOptions({
        valueOption("bind",
                    QStringLiteral("Local address the three ports are bound to (default 0.0.0.0)."),
                    "address"),
        flagOption("move-address",
                   QStringLiteral("When a configuration gives the element another address, move "
                                  "it on the network interface that holds the old one (the old "
                                  "one removed, the new one added with the new mask). Needs "
                                  "CAP_NET_ADMIN; meant for a network namespace of the "
                                  "simulator's own, as the lab gives it.")),
        valueOption("paging-port",
                    QStringLiteral("Paging port (default %1; 0 = any free port).").arg(kPagingPort),
                    "port"),
        valueOption(
            "config-port",
            QStringLiteral("Configuration port (default %1; 0 = any free port).").arg(kConfigPort),
            "port"),
        valueOption("command-port",
                    QStringLiteral("Attenuation and audio-level port (default %1; 0 = any free "
                                   "port).")
                        .arg(kCommandPort),
                    "port"),
        valueOption("role", QStringLiteral("encoder or decoder (default encoder)."), "role"),
        valueOption("name",
                    QStringLiteral("Element name, padded with spaces or cut to 16 characters, "
                                   "case kept (default SIM ENCODER or SIM DECODER)."),
                    "text"),
        valueOption("ip",
                    QStringLiteral("Element address it reports (default: the --bind address, or "
                                   "127.0.0.1 when bound to 0.0.0.0)."),
                    "address"),
        valueOption("mask", QStringLiteral("Network mask (default 255.255.255.0)."), "address"),
        valueOption("gw",
                    QStringLiteral("Gateway (default: the element address with last octet 1)."),
                    "address"),
        valueOption("remote", QStringLiteral("Remote IP address (default 0.0.0.0)."), "address"),
        valueOption("input", QStringLiteral("Audio input: 0 Digital, 1 Analog (default 0)."),
                    "code"),
        valueOption("type", QStringLiteral("Audio type: 0 Left/Right, 1 MPX (default 0)."), "code"),
        valueOption("tx", QStringLiteral("TX type: 0 Unicast, 1 Multicast (default 0)."), "code"),
        valueOption("serial",
                    QStringLiteral("Serial number, 1 to 4294967295 (default 12345; numbers above "
                                   "2147483647 have the top bit set on the wire)."),
                    "number"),
        valueOption("version",
                    QStringLiteral("Version with at most one decimal, sent as its integer part "
                                   "and its decimal digit: 2.1 -> parts 2 and 1 (default 2.1)."),
                    "x.y"),
        valueOption("version-parts",
                    QStringLiteral("The two version bytes as sent, e.g. 1,12 (the station reads "
                                   "11.2); overrides --version."),
                    "a,b"),
        valueOption("sfn", QStringLiteral("SFN option byte, 0 off, 1 on (default 0)."), "byte"),
        valueOption("buffer",
                    QStringLiteral("Buffer size byte, normally 0 to 8 (default 0 for an encoder, "
                                   "1 for a decoder)."),
                    "byte"),
        valueOption("attenuation",
                    QStringLiteral("Decoder output attenuation byte: 14 mute, 15 to 255 in 0.5 dB "
                                   "steps, 255 = 0 dB (default 255)."),
                    "byte"),
        valueOption("level-dbfs",
                    QStringLiteral("Peak level of the audio answered to \"VOL\", in dB relative "
                                   "to full scale, -138 to 0 (default -6). The station shows it "
                                   "to one decimal; below about -100 the 24-bit rounding of the "
                                   "peak moves the shown value."),
                    "dB"),
        flagOption("silent-audio",
                   QStringLiteral("Answer \"VOL\" with 1440 zero bytes. SIGUSR1 switches between "
                                  "silence and the sine of --level-dbfs while it runs.")),
        valueOption("length",
                    QStringLiteral("Feedback packet length: 40, 41, 44 or 45 (default 44 for an "
                                   "encoder, 45 for a decoder)."),
                    "bytes"),
        valueOption("fault-answer-differs",
                    QStringLiteral("Answer a configuration with another value than was sent for "
                                   "FIELD, and keep that value: name (first letter changed), ip, "
                                   "mask, gw, remote (last octet + 1), input, type, tx (0 and 1 "
                                   "swapped)."),
                    "field"),
        valueOption("fault-invalid",
                    QStringLiteral("Report FIELD out of range in every feedback: input, type, tx "
                                   "as 2, role as 3; four address bytes always read as a valid "
                                   "address, so ip and remote are sent as 0.0.0.0, mask as "
                                   "0.255.0.255 and gw as 255.255.255.255."),
                    "field"),
        flagOption("fault-zero-serial", QStringLiteral("Report serial number 0.")),
        flagOption("fault-short", QStringLiteral("Send feedback packets of 39 bytes.")),
        valueOption("fault-length",
                    QStringLiteral("Send feedback packets of exactly N bytes (0 to 1400; beyond 45 "
                                   "padded with zeros), e.g. 42 or 46."),
                    "n"),
        flagOption("fault-silent",
                   QStringLiteral("Never answer (configurations are still adopted).")),
        valueOption("fault-forge-echo",
                    QStringLiteral("Answer every ICMP echo request this element gets with forged "
                                   "echo replies from ADDRESS as well, for the request's sequence "
                                   "number and the 64 either side of it, with the request's "
                                   "identifier and data: a host covering for another that is "
                                   "down. Needs root (raw sockets)."),
                    "address"),
    });
}

bool readSimulatorOptions(const QCommandLineParser& parser, SimulatorOptions& options,
                          QString* error) {
    QString ignored;
    if (!error)
        error = &ignored;

    const QString role = parser.value(QStringLiteral("role"));
    bool decoder = false;
    if (role == QLatin1String("decoder")) {
        decoder = true;
    } else if (!role.isEmpty() && role != QLatin1String("encoder")) {
        *error = QStringLiteral("--role is encoder or decoder, not '%1'").arg(role);
        return false;
    }
    FeedbackRecord& e = options.element;
    e.ElementRole = decoder ? kDecoderRole : kEncoderRole;
    options.length = decoder ? 45 : 44;
    e.BufferSize = decoder ? 1 : 0;
    e.Attenuation = kAttenuationMaximum;
    e.SerialNumber = 12345;

    if (parser.isSet(QStringLiteral("bind"))) {
        const QHostAddress bind(parser.value(QStringLiteral("bind")));
        if (bind.protocol() != QAbstractSocket::IPv4Protocol) {
            *error = QStringLiteral("--bind takes a local IPv4 address, not '%1'")
                         .arg(parser.value(QStringLiteral("bind")));
            return false;
        }
        options.bindAddress = bind;
    }
    e.ElementIP = options.bindAddress == QHostAddress(QHostAddress::AnyIPv4)
                      ? std::string("127.0.0.1")
                      : options.bindAddress.toString().toStdString();
    if (!readAddress(parser, "ip", e.ElementIP, error))
        return false;
    e.ElementMask = "255.255.255.0";
    e.ElementGW = normalisedAddress(e.ElementIP);
    e.ElementGW.replace(e.ElementGW.rfind('.'), std::string::npos, ".1");
    e.RemoteIP = "0.0.0.0";
    if (!readAddress(parser, "mask", e.ElementMask, error) ||
        !readAddress(parser, "gw", e.ElementGW, error) ||
        !readAddress(parser, "remote", e.RemoteIP, error))
        return false;

    const QString name =
        parser.isSet(QStringLiteral("name"))
            ? parser.value(QStringLiteral("name"))
            : (decoder ? QStringLiteral("SIM DECODER") : QStringLiteral("SIM ENCODER"));
    e.ElementName = name.toLatin1().left(16).toStdString();
    e.ElementName.resize(16, ' ');

    qulonglong serial = 0;
    if (parser.isSet(QStringLiteral("serial"))) {
        if (!readNumber(parser, "serial", 1, 4294967295ULL, serial, error))
            return false;
        e.SerialNumber = static_cast<std::int32_t>(static_cast<std::uint32_t>(serial));
    }

    if (!readInteger(parser, "input", 0, 1, e.AudioInput, error) ||
        !readInteger(parser, "type", 0, 1, e.AudioType, error) ||
        !readInteger(parser, "tx", 0, 1, e.TxType, error) ||
        !readInteger(parser, "sfn", 0, 255, e.SfnOption, error) ||
        !readInteger(parser, "buffer", 0, 255, e.BufferSize, error) ||
        !readInteger(parser, "attenuation", 0, 255, e.Attenuation, error) ||
        !readVersion(parser, options, error) || !readPorts(parser, options, error))
        return false;

    if (parser.isSet(QStringLiteral("length"))) {
        const QString text = parser.value(QStringLiteral("length"));
        const uint length = text.toUInt();
        if (!IsFeedbackLength(length)) {
            *error = QStringLiteral("--length is 40, 41, 44 or 45, not '%1'").arg(text);
            return false;
        }
        options.length = length;
    }

    if (parser.isSet(QStringLiteral("level-dbfs"))) {
        bool ok = false;
        const double level = parser.value(QStringLiteral("level-dbfs")).toDouble(&ok);
        if (!ok || !std::isfinite(level) || level > 0.0 || level < -138.0) {
            *error = QStringLiteral("--level-dbfs takes a number from -138 to 0, not '%1'")
                         .arg(parser.value(QStringLiteral("level-dbfs")));
            return false;
        }
        options.levelDbfs = level;
    }
    options.silentAudio = parser.isSet(QStringLiteral("silent-audio"));
    options.moveAddress = parser.isSet(QStringLiteral("move-address"));
    return readFaults(parser, options, error);
}

} // namespace varnetix::sim
