// The element simulator as the station's tests use it: its feedback packets byte for byte, and
// its answers on loopback to paging requests, configurations, attenuation commands and "VOL".
#include "core/audio_level.h"
#include "core/commands.h"
#include "core/config_packet.h"
#include "core/number_text.h"
#include "core/paging_request.h"
#include "tools/element_sim/element_simulator.h"
#include "tools/element_sim/simulator_options.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using namespace varnetix;
using namespace varnetix::sim;

namespace {

QStringList words(const char* line) {
    return QString::fromLatin1(line).split(u' ', Qt::SkipEmptyParts);
}

QByteArray b(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// A simulator on loopback with free ports, configured by a command line.
std::unique_ptr<ElementSimulator> startSimulator(const QStringList& args) {
    QCommandLineParser parser;
    addSimulatorOptions(parser);
    SimulatorOptions options;
    if (!parser.parse(words("sim --bind 127.0.0.1 --paging-port 0 --config-port 0 "
                            "--command-port 0") +
                      args) ||
        !readSimulatorOptions(parser, options, nullptr))
        return nullptr;
    auto simulator = std::make_unique<ElementSimulator>(options);
    return simulator->start(nullptr) ? std::move(simulator) : nullptr;
}

struct Station {
    QUdpSocket socket;
    Station() { socket.bind(QHostAddress::LocalHost, 0); }
    void send(quint16 port, const QByteArray& data) {
        socket.writeDatagram(data, QHostAddress::LocalHost, port);
    }
    // The next datagram, or an invalid one when none came in time.
    QNetworkDatagram receive() {
        if (!socket.hasPendingDatagrams())
            QSignalSpy(&socket, &QUdpSocket::readyRead).wait(3000);
        return socket.hasPendingDatagrams() ? socket.receiveDatagram() : QNetworkDatagram();
    }
    QByteArray exchange(quint16 port, const QByteArray& request) {
        send(port, request);
        return receive().data();
    }
    // Sends and waits until the simulator has handled the datagram: an answer would be pending
    // by then, as loopback delivers within the sending call.
    bool sendHandled(ElementSimulator& simulator, quint16 port, const QByteArray& data) {
        QSignalSpy lines(&simulator, &ElementSimulator::logLine);
        send(port, data);
        return lines.wait(3000) && !socket.hasPendingDatagrams();
    }
};

QByteArray settingsText(const QByteArray& packet) {
    FeedbackRecord r;
    if (!DecodeFeedback(packet.toStdString(), r))
        return QByteArray::number(packet.size()) + " bytes";
    return b(r.ElementIP + ' ' + r.ElementMask + ' ' + r.ElementGW + ' ' + r.RemoteIP + " in" +
             std::to_string(r.AudioInput) + " type" + std::to_string(r.AudioType) + " tx" +
             std::to_string(r.TxType) + " role" + std::to_string(r.ElementRole) + " sn" +
             std::to_string(r.SerialNumber) + " check" + std::to_string(int(CheckFeedback(r))) +
             " [" + r.ElementName + ']');
}

const QByteArray kPaging = b(PagingRequest());
const QByteArray kStudioConfig =
    b(BuildConfigPacket({"10.1.2.3", "255.255.0.0", "10.1.0.1", "239.1.1.1", 1, 1, 1, "Studio"}));
const QByteArray kStudioAnswer = "10.1.2.3 255.255.0.0 10.1.0.1 239.1.1.1 in1 type1 tx1 role1 "
                                 "sn12345 check0 [STUDIO          ]";

} // namespace

class TestElementSimulator : public QObject {
    Q_OBJECT

private slots:
    void pagingAnswersEachRequester() {
        auto simulator = startSimulator(words("--serial 777"));
        QVERIFY(simulator);
        Station first;
        Station second;
        for (const QByteArray& other : {kPaging.toLower(), kPaging + ' ', kStudioConfig})
            QVERIFY(first.sendHandled(*simulator, simulator->pagingPort(), other));
        // An encoder takes no attenuation: offset 40 stays its first version part.
        QVERIFY(first.sendHandled(*simulator, simulator->commandPort(), b(AttenuationCommand(14))));
        first.send(simulator->pagingPort(), kPaging);
        second.send(simulator->pagingPort(), kPaging);
        for (Station* station : {&first, &second}) {
            const QNetworkDatagram answer = station->receive();
            QCOMPARE(answer.senderPort(), simulator->pagingPort());
            // The defaults of an encoder bound to 127.0.0.1: 44 bytes, version 2.1.
            QCOMPARE(
                answer.data().toHex(' '),
                QByteArray("7f 00 00 01 ff ff ff 00 7f 00 00 01 00 00 00 00 00 00 00 53 49 4d "
                           "20 45 4e 43 4f 44 45 52 20 20 20 20 20 01 00 00 03 09 02 01 00 00"));
            QVERIFY(!station->socket.hasPendingDatagrams());
        }
        first.send(simulator->commandPort(), b(AudioLevelRequest()));
        const QNetworkDatagram level = first.receive();
        QCOMPARE(level.senderPort(), simulator->commandPort());
        QCOMPARE(level.data().size(), 1440);
        QCOMPARE(b(EvaluateAudioLevel(level.data().toStdString()).text), QByteArray("-6dBFS"));
    }

    void adoptsConfiguration() {
        auto simulator = startSimulator(words("--role decoder"));
        QVERIFY(simulator);
        Station station;
        QVERIFY(station.sendHandled(*simulator, simulator->configPort(), kStudioConfig.left(34)));
        QByteArray config = kStudioConfig;
        config.replace(19, 16, QByteArray("low Case\351\0\177%1 en", 16)); // taken as sent
        station.send(simulator->configPort(), config);
        const QNetworkDatagram answer = station.receive();
        QCOMPARE(answer.senderPort(), simulator->configPort());
        QCOMPARE(answer.data().size(), 45);
        const QByteArray expected = QByteArray(kStudioAnswer)
                                        .replace("role1", "role2")
                                        .replace("STUDIO          ", config.mid(19, 16));
        QCOMPARE(settingsText(answer.data()), expected);
        // It keeps running with it: the next discovery finds the new settings.
        QCOMPARE(settingsText(station.exchange(simulator->pagingPort(), kPaging)), expected);
        QVERIFY(
            station.sendHandled(*simulator, simulator->commandPort(), b(AttenuationCommand(14))));
        QCOMPARE(station.exchange(simulator->pagingPort(), kPaging).at(40), '\x0e');
    }

    // Configured to another address, a simulator bound to one binds to the new one, on the same
    // ports, and answers from there.
    void takesItsNewAddress() {
        auto simulator = startSimulator({});
        QVERIFY(simulator);
        Station station;
        const QHostAddress spare(QStringLiteral("127.0.0.2"));
        station.send(simulator->configPort(),
                     b(BuildConfigPacket(
                         {"127.0.0.2", "255.0.0.0", "127.0.0.1", "0.0.0.0", 0, 0, 0, "Spare"})));
        const QNetworkDatagram answer = station.receive();
        QCOMPARE(answer.senderAddress(), spare);
        QCOMPARE(answer.senderPort(), simulator->configPort());
        station.socket.writeDatagram(kPaging, spare, simulator->pagingPort());
        QCOMPARE(station.receive().senderAddress(), spare);
    }

    // Every level that can be asked for shows as asked on the station's meter.
    void levelShowsAsConfigured() {
        for (int tenths = 0; tenths >= -1000; --tenths) {
            const std::string shown =
                EvaluateAudioLevel(sineDatagram(levelPeak(tenths / 10.0)).toStdString()).text;
            QCOMPARE(shown, PlainNumber(tenths / 10.0) + "dBFS");
        }
    }

    // Each fault changes one field of the configuration answer and of every later feedback;
    // "check" is the first check that fails, by number (0 none).
    void faults_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("answer");
        const auto row = [](const char* args, const char* from, const char* to, int check = 0) {
            QTest::newRow(args) << words(args)
                                << QByteArray(kStudioAnswer)
                                       .replace(from, to)
                                       .replace("check0", "check" + QByteArray::number(check));
        };
        row("--fault-answer-differs name", "[S", "[X");
        row("--fault-answer-differs ip", "10.1.2.3", "10.1.2.4");
        row("--fault-answer-differs input", "in1", "in0");
        // Four bytes always read as an address: an address fault passes the checks.
        row("--fault-invalid ip", "10.1.2.3", "0.0.0.0");
        row("--fault-invalid input", "in1", "in2", 5);
        row("--fault-zero-serial", "sn12345", "sn0", 9);
        row("--fault-short", kStudioAnswer.constData(), "39 bytes");
        row("--fault-length 46", kStudioAnswer.constData(), "46 bytes");
    }
    void faults() {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, answer);
        auto simulator = startSimulator(args);
        QVERIFY(simulator);
        Station station;
        QCOMPARE(settingsText(station.exchange(simulator->configPort(), kStudioConfig)), answer);
        QCOMPARE(settingsText(station.exchange(simulator->pagingPort(), kPaging)), answer);
    }

    void silentAdoptsButNeverAnswers() {
        auto simulator = startSimulator(words("--fault-silent"));
        QVERIFY(simulator);
        Station station;
        QVERIFY(station.sendHandled(*simulator, simulator->pagingPort(), kPaging));
        QVERIFY(station.sendHandled(*simulator, simulator->configPort(), kStudioConfig));
        QVERIFY(station.sendHandled(*simulator, simulator->commandPort(), b(AudioLevelRequest())));
        QCOMPARE(simulator->element().ElementIP, std::string("10.1.2.3"));
    }
};

QTEST_GUILESS_MAIN(TestElementSimulator)
#include "test_element_simulator.moc"
