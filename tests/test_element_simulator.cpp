// The element simulator as the station sees it: its packets byte for byte, and its answers on
// loopback to paging requests, configurations, attenuation commands and "VOL".
#include "core/audio_level.h"
#include "core/commands.h"
#include "core/config_packet.h"
#include "core/feedback_packet.h"
#include "core/number_text.h"
#include "core/paging_request.h"
#include "tools/element_sim/element_simulator.h"
#include "tools/element_sim/simulator_options.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <functional>
#include <memory>

using namespace varnetix;
using namespace varnetix::sim;

namespace {

constexpr int kWaitMs = 3000;

// A command line written as one text.
QStringList words(const char* line) {
    return QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts);
}

QByteArray bytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

bool parse(const QStringList& args, SimulatorOptions& options, QString* error) {
    QCommandLineParser parser;
    addSimulatorOptions(parser);
    if (!parser.parse(QStringList{QStringLiteral("varnetix-element-sim")} + args)) {
        *error = parser.errorText();
        return false;
    }
    return readSimulatorOptions(parser, options, error);
}

// A simulator on loopback with free ports, configured by a command line.
std::unique_ptr<ElementSimulator> startSimulator(const QStringList& args) {
    SimulatorOptions options;
    QString error;
    const QStringList loopback =
        words("--bind 127.0.0.1 --paging-port 0 --config-port 0 --command-port 0");
    if (!parse(loopback + args, options, &error)) {
        qWarning() << error;
        return nullptr;
    }
    auto simulator = std::make_unique<ElementSimulator>(options);
    if (!simulator->start(&error)) {
        qWarning() << error;
        return nullptr;
    }
    return simulator;
}

struct Station {
    QUdpSocket socket;
    Station() { socket.bind(QHostAddress::LocalHost, 0); }

    void send(quint16 port, const QByteArray& data) {
        socket.writeDatagram(data, QHostAddress::LocalHost, port);
    }
    // The next datagram, or an invalid one when none came in time.
    QNetworkDatagram receive() {
        if (!socket.hasPendingDatagrams()) {
            QSignalSpy ready(&socket, &QUdpSocket::readyRead);
            ready.wait(kWaitMs);
        }
        return socket.hasPendingDatagrams() ? socket.receiveDatagram() : QNetworkDatagram();
    }
    QByteArray exchange(quint16 port, const QByteArray& request) {
        send(port, request);
        return receive().data();
    }
};

// Waits until the simulator has handled one more datagram. Loopback delivers a datagram
// within the sending call, so an answer would be pending by then.
bool handled(ElementSimulator& simulator, const std::function<void()>& send) {
    QSignalSpy lines(&simulator, &ElementSimulator::logLine);
    send();
    return lines.wait(kWaitMs);
}

QString settingsText(const FeedbackRecord& r) {
    return QStringLiteral("%1 %2 %3 %4 in%5 type%6 tx%7 role%8 sn%9 [%10]")
        .arg(QString::fromStdString(r.ElementIP), QString::fromStdString(r.ElementMask),
             QString::fromStdString(r.ElementGW), QString::fromStdString(r.RemoteIP))
        .arg(r.AudioInput)
        .arg(r.AudioType)
        .arg(r.TxType)
        .arg(r.ElementRole)
        .arg(r.SerialNumber)
        .arg(QString::fromLatin1(r.ElementName.data(),
                                 static_cast<qsizetype>(r.ElementName.size())));
}

FeedbackRecord decoded(const QByteArray& packet) {
    FeedbackRecord record;
    DecodeFeedback(std::string_view(packet.constData(), static_cast<std::size_t>(packet.size())),
                   record);
    return record;
}

const QByteArray kStudioConfig = bytes(
    BuildConfigPacket({"10.1.2.3", "255.255.0.0", "10.1.0.1", "239.1.1.1", 1, 1, 1, "Studio"}));

} // namespace

class TestElementSimulator : public QObject {
    Q_OBJECT
private slots:
    void packetBytes_data();
    void packetBytes();
    void rejectedCommandLines_data();
    void rejectedCommandLines();
    void pagingAnswersEachRequesterOnItsPort();
    void pagingIgnoresOtherDatagrams();
    void adoptsConfiguration();
    void adoptsNameBytesAsSent();
    void attenuationCommand_data();
    void attenuationCommand();
    void audioLevel_data();
    void audioLevel();
    void levelShowsAsConfigured();
    void answerDiffers_data();
    void answerDiffers();
    void invalidFeedback_data();
    void invalidFeedback();
    void silentAdoptsButNeverAnswers();
};

void TestElementSimulator::packetBytes_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("expected");

    const char* const studio = "--name STUDIO --ip 192.168.1.10 --mask 255.255.255.0 "
                               "--gw 192.168.1.1 --remote 192.168.1.20 --input 1 --serial 12345 ";
    const QByteArray head = "c0a8010a ffffff00 c0a80101 c0a80114 010000 53545544494f"
                            "20202020202020202020";
    const QStringList encoder = words(studio) + words("--version 2.1 --sfn 1 --buffer 5");
    const QStringList decoder =
        words(studio) + words("--role decoder --attenuation 240 --version 2.3 --buffer 3");
    const QByteArray encoderHead = head + "01 00003039";
    const QByteArray decoderHead = head + "02 00003039";
    const auto row = [](const char* name, const QStringList& args, const QByteArray& expected) {
        QTest::newRow(name) << args << expected;
    };

    row("encoder 44 by default", encoder, encoderHead + "02010105");
    row("encoder 45", encoder + words("--length 45"), encoderHead + "0201010500");
    row("encoder 41", encoder + words("--length 41"), encoderHead + "02");
    row("encoder 40", encoder + words("--length 40"), encoderHead);
    row("version parts 1,12", words(studio) + words("--version-parts 1,12 --sfn 1 --buffer 5"),
        encoderHead + "010c0105");
    row("version 11.2", words(studio) + words("--version 11.2"), encoderHead + "0b020000");
    row("version 3", words(studio) + words("--version 3"), encoderHead + "03000000");
    row("decoder 45 by default", decoder, decoderHead + "f002030003");
    row("decoder 44", decoder + words("--length 44"), decoderHead + "f0020300");
    row("decoder 41", decoder + words("--length 41"), decoderHead + "f0");
    row("decoder 40", decoder + words("--length 40"), decoderHead);
    row("serial with top bit", words(studio) + words("--serial 2147483648 --length 40"),
        head + "01 80000000");
    row("name cut to 16, case kept", words("--name abcdefghijklmnopq --ip 1.2.3.4 --length 40"),
        "01020304 ffffff00 01020301 00000000 000000"
        "6162636465666768696a6b6c6d6e6f70 01 00003039");
    row("defaults: ip of the bound address, gateway .1", words("--bind 127.0.0.1 --length 40"),
        "7f000001 ffffff00 7f000001 00000000 000000"
        "53494d20454e434f4445522020202020 01 00003039");
    row("fault short", encoder + words("--fault-short"), encoderHead.left(encoderHead.size() - 2));
    row("fault length 46", encoder + words("--fault-length 46"), encoderHead + "020101050000");
    row("fault zero serial", encoder + words("--fault-zero-serial"), head + "01 00000000 02010105");
}

void TestElementSimulator::packetBytes() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, expected);
    SimulatorOptions options;
    QString error;
    QVERIFY2(parse(args, options, &error), qPrintable(error));
    QCOMPARE(ElementSimulator(options).feedbackPacket().toHex(),
             QByteArray::fromHex(expected).toHex());
}

void TestElementSimulator::rejectedCommandLines_data() {
    QTest::addColumn<QString>("args");
    QTest::newRow("role") << QStringLiteral("--role router");
    QTest::newRow("length 42") << QStringLiteral("--length 42");
    QTest::newRow("ip octet 256") << QStringLiteral("--ip 1.2.3.256");
    QTest::newRow("bind name") << QStringLiteral("--bind localhost");
    QTest::newRow("version with two decimals") << QStringLiteral("--version 2.13");
    QTest::newRow("version 256") << QStringLiteral("--version 256");
    QTest::newRow("version parts one") << QStringLiteral("--version-parts 1");
    QTest::newRow("serial 0") << QStringLiteral("--serial 0");
    QTest::newRow("serial beyond 32 bits") << QStringLiteral("--serial 4294967296");
    QTest::newRow("level above full scale") << QStringLiteral("--level-dbfs 1");
    QTest::newRow("invalid name") << QStringLiteral("--fault-invalid name");
    QTest::newRow("differing role") << QStringLiteral("--fault-answer-differs role");
    QTest::newRow("unknown option") << QStringLiteral("--colour blue");
}

void TestElementSimulator::rejectedCommandLines() {
    QFETCH(QString, args);
    SimulatorOptions options;
    QString error;
    QVERIFY(!parse(args.split(u' '), options, &error));
    QVERIFY(!error.isEmpty());
}

void TestElementSimulator::pagingAnswersEachRequesterOnItsPort() {
    auto simulator = startSimulator(words("--serial 777"));
    QVERIFY(simulator);
    Station first;
    Station second;
    first.send(simulator->pagingPort(), bytes(PagingRequest()));
    second.send(simulator->pagingPort(), bytes(PagingRequest()));
    for (Station* station : {&first, &second}) {
        const QNetworkDatagram answer = station->receive();
        QCOMPARE(answer.data(), simulator->feedbackPacket());
        QCOMPARE(answer.senderPort(), simulator->pagingPort());
        QCOMPARE(decoded(answer.data()).SerialNumber, 777);
        QVERIFY(!station->socket.hasPendingDatagrams());
    }
}

void TestElementSimulator::pagingIgnoresOtherDatagrams() {
    auto simulator = startSimulator({});
    QVERIFY(simulator);
    Station station;
    const QByteArray request = bytes(PagingRequest());
    for (const QByteArray& other :
         {request.toLower(), request.left(31), request + ' ', QByteArray(), kStudioConfig})
        station.send(simulator->pagingPort(), other);
    QCOMPARE(station.exchange(simulator->pagingPort(), request).size(), 44);
    QVERIFY(!station.socket.hasPendingDatagrams());
}

void TestElementSimulator::adoptsConfiguration() {
    auto simulator = startSimulator(words("--role decoder"));
    QVERIFY(simulator);
    Station station;
    QVERIFY(handled(*simulator,
                    [&] { station.send(simulator->configPort(), kStudioConfig.left(34)); }));
    QVERIFY(!station.socket.hasPendingDatagrams());

    const QNetworkDatagram answer = [&] {
        station.send(simulator->configPort(), kStudioConfig);
        return station.receive();
    }();
    QCOMPARE(answer.senderPort(), simulator->configPort());
    const QString expected = QStringLiteral(
        "10.1.2.3 255.255.0.0 10.1.0.1 239.1.1.1 in1 type1 tx1 role2 sn12345 [STUDIO          ]");
    QCOMPARE(answer.data().size(), 45);
    QCOMPARE(settingsText(decoded(answer.data())), expected);
    // It keeps running with it: the next discovery finds the new settings.
    QCOMPARE(
        settingsText(decoded(station.exchange(simulator->pagingPort(), bytes(PagingRequest())))),
        expected);
}

void TestElementSimulator::adoptsNameBytesAsSent() {
    auto simulator = startSimulator({});
    QVERIFY(simulator);
    Station station;
    QByteArray config = kStudioConfig;
    const QByteArray name("low Case\xe9\x00\x7f%1 en", 16);
    config.replace(19, 16, name);
    QCOMPARE(station.exchange(simulator->configPort(), config).mid(19, 16), name);
}

void TestElementSimulator::attenuationCommand_data() {
    QTest::addColumn<QString>("role");
    QTest::addColumn<int>("reported");
    QTest::newRow("decoder takes it") << QStringLiteral("decoder") << 0x0E;
    QTest::newRow("encoder ignores it") << QStringLiteral("encoder") << 2; // version, first part
}

void TestElementSimulator::attenuationCommand() {
    QFETCH(QString, role);
    QFETCH(int, reported);
    auto simulator = startSimulator({QStringLiteral("--role"), role});
    QVERIFY(simulator);
    Station station;
    QVERIFY(handled(*simulator, [&] {
        station.send(simulator->commandPort(), bytes(AttenuationCommand(14)));
    }));
    QVERIFY(!station.socket.hasPendingDatagrams());
    const QByteArray packet = station.exchange(simulator->pagingPort(), bytes(PagingRequest()));
    QCOMPARE(static_cast<int>(static_cast<std::uint8_t>(packet.at(40))), reported);
}

void TestElementSimulator::audioLevel_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("shown");
    QTest::newRow("default -6") << QStringList{} << QStringLiteral("-6dBFS");
    QTest::newRow("-24.1") << words("--level-dbfs=-24.1") << QStringLiteral("-24.1dBFS");
    QTest::newRow("-0.5 from a decoder")
        << words("--level-dbfs=-0.5 --role decoder") << QStringLiteral("-0.5dBFS");
    QTest::newRow("full scale") << words("--level-dbfs=0") << QStringLiteral("0dBFS");
    QTest::newRow("silent") << words("--silent-audio") << QStringLiteral("-oodBFS");
}

void TestElementSimulator::audioLevel() {
    QFETCH(QStringList, args);
    QFETCH(QString, shown);
    auto simulator = startSimulator(args);
    QVERIFY(simulator);
    Station station;
    const QNetworkDatagram answer = [&] {
        station.send(simulator->commandPort(), bytes(AudioLevelRequest()));
        return station.receive();
    }();
    QCOMPARE(answer.senderPort(), simulator->commandPort());
    const QByteArray data = answer.data();
    QCOMPARE(data.size(), 1440);
    const AudioLevel level = EvaluateAudioLevel(
        std::string_view(data.constData(), static_cast<std::size_t>(data.size())));
    QCOMPARE(QString::fromStdString(level.text), shown);
}

void TestElementSimulator::levelShowsAsConfigured() {
    for (int tenths = 0; tenths >= -1000; --tenths) {
        const double dbfs = tenths / 10.0;
        const QByteArray data = sineDatagram(levelPeak(dbfs));
        const std::string shown =
            EvaluateAudioLevel(
                std::string_view(data.constData(), static_cast<std::size_t>(data.size())))
                .text;
        QCOMPARE(shown, PlainNumber(dbfs) + "dBFS");
    }
}

void TestElementSimulator::answerDiffers_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("answered");
    const QString sent = QStringLiteral(
        "10.1.2.3 255.255.0.0 10.1.0.1 239.1.1.1 in1 type1 tx1 role1 sn12345 [STUDIO          ]");
    const auto row = [&](const char* field, const char* from, const char* to) {
        QTest::newRow(field) << QString::fromLatin1(field)
                             << QString(sent).replace(QLatin1String(from), QLatin1String(to));
    };
    row("name", "[S", "[X");
    row("ip", "10.1.2.3", "10.1.2.4");
    row("mask", "0.0 ", "0.1 ");
    row("gw", "10.1.0.1", "10.1.0.2");
    row("remote", "239.1.1.1", "239.1.1.2");
    row("input", "in1", "in0");
    row("type", "type1", "type0");
    row("tx", "tx1", "tx0");
}

void TestElementSimulator::answerDiffers() {
    QFETCH(QString, field);
    QFETCH(QString, answered);
    auto simulator = startSimulator({QStringLiteral("--fault-answer-differs"), field});
    QVERIFY(simulator);
    Station station;
    QCOMPARE(settingsText(decoded(station.exchange(simulator->configPort(), kStudioConfig))),
             answered);
}

void TestElementSimulator::invalidFeedback_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("check");
    QTest::addColumn<QString>("reported");
    const QString normal = QStringLiteral("127.0.0.1 255.255.255.0 127.0.0.1 10.9.9.9 in0 type0 "
                                          "tx0 role1 sn12345 [SIM ENCODER     ]");
    const auto row = [&](const char* field, FeedbackCheck check, const char* from, const char* to) {
        QTest::newRow(field) << QString::fromLatin1(field) << static_cast<int>(check)
                             << QString(normal).replace(QLatin1String(from), QLatin1String(to));
    };
    row("ip", FeedbackCheck::Passed, "127.0.0.1 255", "0.0.0.0 255");
    row("mask", FeedbackCheck::Passed, "255.255.255.0", "0.255.0.255");
    row("gw", FeedbackCheck::Passed, "0 127.0.0.1", "0 255.255.255.255");
    row("remote", FeedbackCheck::Passed, "10.9.9.9", "0.0.0.0");
    row("input", FeedbackCheck::AudioInput, "in0", "in2");
    row("type", FeedbackCheck::AudioType, "type0", "type2");
    row("tx", FeedbackCheck::TxType, "tx0", "tx2");
    row("role", FeedbackCheck::ElementType, "role1", "role3");
}

void TestElementSimulator::invalidFeedback() {
    QFETCH(QString, field);
    QFETCH(int, check);
    QFETCH(QString, reported);
    auto simulator = startSimulator(QStringList{QStringLiteral("--fault-invalid"), field} +
                                    words("--remote 10.9.9.9"));
    QVERIFY(simulator);
    Station station;
    for (const auto& [port, request] : {std::pair{simulator->pagingPort(), bytes(PagingRequest())},
                                        std::pair{simulator->configPort(), kStudioConfig}}) {
        const FeedbackRecord record = decoded(station.exchange(port, request));
        QCOMPARE(static_cast<int>(CheckFeedback(record)), check);
        if (port == simulator->pagingPort())
            QCOMPARE(settingsText(record), reported);
    }
    // The element itself still runs with what it adopted.
    QCOMPARE(simulator->element().ElementIP, std::string("10.1.2.3"));
}

void TestElementSimulator::silentAdoptsButNeverAnswers() {
    auto simulator = startSimulator(words("--fault-silent"));
    QVERIFY(simulator);
    Station station;
    for (const auto& [port, request] :
         {std::pair{simulator->pagingPort(), bytes(PagingRequest())},
          std::pair{simulator->configPort(), kStudioConfig},
          std::pair{simulator->commandPort(), bytes(AudioLevelRequest())}}) {
        QVERIFY(handled(*simulator, [&] { station.send(port, request); }));
        QVERIFY(!station.socket.hasPendingDatagrams());
    }
    QCOMPARE(simulator->element().ElementIP, std::string("10.1.2.3"));
}

QTEST_GUILESS_MAIN(TestElementSimulator)
#include "test_element_simulator.moc"
