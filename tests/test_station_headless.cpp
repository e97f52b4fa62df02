// The station with no widget at all: a discovery, a configuration exchange, the watch, an end
// during a discovery and the silence watch against the element simulator on loopback, a
// configuration answer killed while it is stored, and the metrics endpoint.
#include <QScopeGuard>
#include <QSignalSpy>

#include "core/discovery_answers.h"
#include "core/ini_store.h"
#include "killed_writers.h"
#include "station/alarm_list.h"
#include "station/configuration_exchange.h"
#include "station/discovery.h"
#include "station/element_model.h"
#include "station/element_watch.h"
#include "station/silence_watch.h"
#include "station/spare_replacement.h"
#include "station/station.h"
#include "station/station_metrics.h"
#include "station_fixture.h"
#include "tools/element_sim/simulator_options.h"

#include <QTcpServer>
#include <cmath>

using namespace Qt::Literals::StringLiterals;
using varnetix::EditedConfiguration;

namespace {

// The fields a headless face sends: set by the test, nothing shown.
struct PlainEditor : varnetix::ElementEditor {
    EditedConfiguration edited;
    EditedConfiguration editedConfiguration() const override { return edited; }
    void showStoredFields(const varnetix::StoredFields&) override {}
    void setAttenuation(std::optional<int>) override {}
    void setBufferSize(std::optional<int>) override {}
    void showSerialNumber(const QString&) override {}
    void showVersion(const QString&) override {}
    void clearFields() override {}
    void arrange(varnetix::ElementRole) override {}
};

// How often the network check has shown its findings.
struct CountingFindings : varnetix::FindingsView {
    int shown = 0;
    void showFindings(const std::vector<varnetix::Finding>&) override { ++shown; }
};

// The whole answer of the endpoint at address:port to a GET of the path; empty when it refuses.
QByteArray fetch(const QString& address, const QString& port, const QByteArray& path) {
    QTcpSocket client;
    QByteArray reply;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { reply += client.readAll(); });
    client.connectToHost(address, port.toUShort());
    client.write("GET " + path + " HTTP/1.1\r\nHost: station\r\n\r\n");
    (void)QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; });
    return reply;
}

} // namespace

class TestStationHeadless : public QObject {
    Q_OBJECT

    Station m_s;
    PlainEditor m_editor;
    CountingFindings m_findings;

    void startStation() {
        m_s.station = std::make_unique<varnetix::Station>(m_s.settings, m_s.dialogs, m_s.resolver,
                                                          m_s.probe, &m_s.sweeper);
        m_s.station->attachViews({.editor = &m_editor, .findings = &m_findings});
        QVERIFY(m_s.station->start());
        m_s.dialogs.boxes.clear();
    }

private slots:
    void discoveryExchangeAndWatch() {
        QCommandLineParser parser;
        varnetix::sim::addSimulatorOptions(parser);
        varnetix::sim::SimulatorOptions options;
        QVERIFY(parser.parse(u"sim --bind 127.0.0.1 --paging-port 0 --config-port 0 "
                             u"--command-port 0 --name studio"_s.split(u' ')));
        QVERIFY(varnetix::sim::readSimulatorOptions(parser, options, nullptr));
        varnetix::sim::ElementSimulator element(options);
        QVERIFY(element.start(nullptr));
        m_s.settings.pagingPort = element.pagingPort();
        m_s.settings.configPort = element.configPort();
        m_s.resolver.macs["127.0.0.1"] = kEncoderKey.toStdString();
        m_s.sweeper.answering[u"127.0.0.1"_s] = 1;
        startStation();

        m_s.dialogs.answers.enqueue(true);
        m_s.station->discovery().confirmDiscovery();
        const std::string path = m_s.settings.databasePath;
        QCOMPARE(varnetix::ReadFromINI("001A2B3C4D5E", "name", path), "STUDIO");
        QCOMPARE(m_findings.shown, 2); // at the start, and once the run has changed the database

        m_s.station->selection().select(kEncoderKey);
        m_editor.edited = {u"Varnetix"_s,
                           u"127.0.0.1"_s,
                           u"255.255.255.0"_s,
                           u"127.0.0.1"_s,
                           u"0.0.0.0"_s,
                           1,
                           0,
                           0};
        m_s.dialogs.answers.enqueue(true);
        m_s.station->exchange().sendConfiguration();
        QTRY_COMPARE(m_s.dialogs.boxes.size(), 3); // discovery, send, answer
        QCOMPARE(m_s.dialogs.boxes.last(), answerBox(kSuccess));
        QCOMPARE(varnetix::ReadFromINI("001A2B3C4D5E", "name", path), "VARNETIX");
        QCOMPARE(varnetix::ReadFromINI("001A2B3C4D5E", "input", path), "1");
        QCOMPARE(m_findings.shown, 3);

        QTRY_COMPARE(m_s.station->watch()->stateWord("001A2B3C4D5E"), u"online"_s);

        // A change the station writes outside the operator's rebuilds is followed; one that
        // leaves the elements as they are does not disturb what the tree shows.
        QSignalSpy resets(&m_s.station->elements(), &QAbstractItemModel::modelReset);
        QVERIFY(m_s.station->database().writeValue("001A2B3C4D5E", "atten", "5").ok());
        QCOMPARE(resets.size(), 0);
        QVERIFY(m_s.station->database().writeSection("00AABBCCDDEE", {{"ip", "127.0.0.2"}}).ok());
        QCOMPARE(m_s.station->elements().rowCount(), 2);
        QCOMPARE(m_s.station->watch()->stateWord("00AABBCCDDEE"), u"unknown"_s);
        QCOMPARE(m_findings.shown, 5);

        // Ended by a signal while a discovery waits: the database it replaced comes back, with
        // an element that does not answer.
        QVERIFY(m_s.station->database().writeValue("02000000000A", "NAME", "GONE").ok());
        const QByteArray before = m_s.database();
        m_s.dialogs.answers.enqueue(true);
        QTimer::singleShot(200, m_s.station.get(), [this] { m_s.station->end(u"SIGTERM"_s); });
        m_s.station->discovery().confirmDiscovery();
        QCOMPARE(m_s.database(), before);
        QCOMPARE(m_s.logged("discovery").last(),
                 u" Discovery interrupted: the previous database has been put back"_s);
        QCOMPARE(m_s.logged("station").mid(m_s.logged("station").size() - 2),
                 (QStringList{u" SIGTERM"_s, u" Station ended"_s}));
    }

    // Two encoders and a decoder, each on a loopback address of its own; the first encoder
    // sends silence. Level datagrams from another host change nothing, and a rewritten
    // database keeps what is known.
    void silenceWatch() {
        QUdpSocket free; // a port free on loopback, which both encoders take on their addresses
        QVERIFY(free.bind(QHostAddress::LocalHost, 0));
        m_s.settings.commandPort = free.localPort();
        free.close();
        std::unique_ptr<varnetix::sim::ElementSimulator> encoders[2];
        const auto play = [&](int i, bool silence) {
            varnetix::sim::SimulatorOptions options;
            options.bindAddress = QHostAddress(i ? u"127.0.0.13"_s : u"127.0.0.11"_s);
            options.pagingPort = options.configPort = 0;
            options.commandPort = m_s.settings.commandPort;
            options.silentAudio = silence;
            encoders[i] = std::make_unique<varnetix::sim::ElementSimulator>(options);
            return encoders[i]->start(nullptr);
        };
        QVERIFY(play(0, true) && play(1, false));
        m_s.settings.audioSecondMs = 200; // silent after 400 ms, restored after 200 ms
        QVERIFY(varnetix::PreferencesFile(QString::fromStdString(m_s.settings.preferencesPath))
                    .save({0, 3, 1024, 5, 1, -50, 2, 1}));
        m_s.writeDatabase(
            recordText("001A2B3C4D5E", replaced(kEncoderEntries, {"IP=127.0.0.11"})) +
            recordText("00000000000D", replaced(kDecoderEntries, {"IP=127.0.0.12"})) +
            recordText("00000000000E", replaced(kEncoderEntries, {"NAME=E3", "IP=127.0.0.13"})));
        startStation();
        varnetix::SilenceWatch& watch = m_s.station->silence();
        QSignalSpy silent(&watch, &varnetix::SilenceWatch::audioSilent);
        const auto described = [this](const char* section) { // the network check's aside
            return m_s.station->elements()
                .indexOf(section)
                .data(Qt::AccessibleDescriptionRole)
                .toString()
                .remove(u", warning"_s);
        };
        QTRY_COMPARE(described("001A2B3C4D5E"), u"unknown, silent"_s);
        QCOMPARE(described("00000000000E"), u"unknown"_s);
        QVERIFY(watch.state("00000000000E") == varnetix::AudioState::Audio);
        QCOMPARE(silent.size(), 1);
        // The silence is an alarm, and the metrics say so.
        const auto alarmOf = [this](varnetix::AlarmKind kind) {
            const auto& alarms = m_s.station->alarms().alarms();
            const auto found =
                std::find_if(alarms.begin(), alarms.end(),
                             [kind](const auto& alarm) { return alarm.kind == kind; });
            return found == alarms.end()
                       ? u"none"_s
                       : found->mac + (found->active() ? u" active"_s : u" cleared"_s);
        };
        const auto silentAlarm = [&] { return alarmOf(varnetix::AlarmKind::Silent); };
        QCOMPARE(silentAlarm(), u"00:1A:2B:3C:4D:5E active"_s);
        const auto exposed = [this](const std::string& line) {
            return m_s.station->metrics().exposition().find(line + '\n') != std::string::npos;
        };
        QVERIFY(exposed("varnetix_encoder_audio_silent{mac=\"001A2B3C4D5E\"} 1"));
        QVERIFY(exposed("varnetix_encoder_audio_peak_dbfs{mac=\"001A2B3C4D5E\"} -Inf"));
        QVERIFY(exposed("varnetix_encoder_audio_silent{mac=\"00000000000E\"} 0"));
        QVERIFY(exposed("varnetix_alarms{kind=\"silent\",acknowledged=\"false\"} 1"));

        encoders[0].reset(); // while the encoder is away, another host sends audio
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress(u"127.0.0.99"_s), 0));
        for (int i = 0; i < 10; ++i) { // longer than the restore time
            other.writeDatagram(encoders[1]->audioDatagram(), QHostAddress::LocalHost,
                                m_s.station->endpoint().localPort());
            QTest::qWait(50);
        }
        QVERIFY(play(0, true));
        QCOMPARE(watch.foreignDatagrams(), 10u);
        QVERIFY(m_s.station->database().writeValue("00000000000D", "name", "D2").ok());
        QCOMPARE(described("001A2B3C4D5E"), u"unknown, silent"_s);
        QCOMPARE(described("00000000000E"), u"unknown"_s);

        encoders[0]->setSilentAudio(false);
        QTRY_COMPARE_WITH_TIMEOUT(described("001A2B3C4D5E"), u"unknown"_s, 5000);
        const QStringList logged = m_s.logged("level");
        QCOMPARE(logged.size(), 2);
        QVERIFY2(
            QRegularExpression(u"^00:1A:2B:3C:4D:5E Audio silent on E1 \\[00:1A:2B:3C:4D:5E\\] "
                               u"since \\d\\d:\\d\\d:\\d\\d$"_s)
                .match(logged[0])
                .hasMatch(),
            qPrintable(logged[0]));
        QCOMPARE(m_s.logged("level", varnetix::EventSeverity::Error), logged.mid(0, 1));
        const auto after = QRegularExpression(u"^00:1A:2B:3C:4D:5E Audio restored on E1 "
                                              u"\\[00:1A:2B:3C:4D:5E\\] after (\\d+) s$"_s)
                               .match(logged[1]);
        QVERIFY2(after.hasMatch() && after.captured(1).toInt() >= 2, qPrintable(logged[1]));
        QCOMPARE(silent.size(), 1);
        QCOMPARE(silentAlarm(), u"00:1A:2B:3C:4D:5E cleared"_s);
        QVERIFY(exposed("varnetix_encoder_audio_silent{mac=\"001A2B3C4D5E\"} 0"));

        // An encoder that answers its echoes but no level request for the silence time is dead
        // air too, and has no level in the metrics.
        m_s.sweeper.answering[u"127.0.0.11"_s] = 1;
        varnetix::StationPreferences preferences = m_s.station->preferences();
        preferences.watchIntervalSeconds = 1;
        m_s.station->changePreferences(preferences);
        QTRY_COMPARE(m_s.station->watch()->stateWord("001A2B3C4D5E"), u"online"_s);
        encoders[0].reset();
        QTRY_COMPARE(alarmOf(varnetix::AlarmKind::NoLevel), u"00:1A:2B:3C:4D:5E active"_s);
        QVERIFY(exposed("varnetix_alarms{kind=\"no-level\",acknowledged=\"false\"} 1"));
        QVERIFY(!exposed("varnetix_encoder_audio_silent{mac=\"001A2B3C4D5E\"} 0"));
    }

    // Every family and sample of a station with known elements, exactly, and promtool takes them.
    // The endpoint listens only where it is told, says once that its port is taken, and has
    // nothing but /metrics.
    void metricsEndpoint() {
        m_s.station.reset(); // and the echoes its watch left queued with it
        QTest::qWait(0);
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        const QString port = QString::number(taken.serverPort());
        // One element's section again in lower case, and a section that is no element.
        m_s.writeDatabase(
            recordText("001A2B3C4D5E", replaced(kEncoderEntries, {"NAME=E\x1B\"\\"})) +
            recordText("00000000000D", replaced(kDecoderEntries, {"IP=127.0.0.2"})) +
            recordText("00000000000d", kDecoderEntries) + recordText("NOTES", {}));
        m_s.sweeper.answering = {{u"127.0.0.1"_s, 3}};
        // An earlier run's answers: none, at a known time.
        QFile answers(
            QString::fromStdString(varnetix::DiscoveryAnswersPath(m_s.settings.databasePath)));
        QVERIFY(answers.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                answers.setFileTime(QDateTime::fromSecsSinceEpoch(1767312000),
                                    QFileDevice::FileModificationTime));
        answers.close();
        varnetix::StationPreferences preferences{
            1, 1, 1024, 5, 0, -50, 15, 3, "127.0.0.1:" + port.toStdString()};
        QVERIFY(varnetix::PreferencesFile(QString::fromStdString(m_s.settings.preferencesPath))
                    .save(preferences));
        startStation();
        QCOMPARE(m_s.station->notices(),
                 QStringList{u"Metrics not served at 127.0.0.1:%1: The bound address is already "
                             u"in use"_s.arg(port)});
        taken.close();
        preferences.metricsEndpoint = port.toStdString(); // the same address, written short
        m_s.station->changePreferences(preferences);
        QCOMPARE(m_s.station->notices(), QStringList());
        auto& metrics = m_s.station->metrics();
        metrics.setAudioReader([](const std::string& section) {
            return section == "001A2B3C4D5E"
                       ? std::optional(varnetix::EncoderAudio{true, -INFINITY})
                       : std::nullopt;
        });
        metrics.setAlarmCounter([](std::string_view kind, bool acknowledged) {
            return kind == "offline" && !acknowledged ? 1 : 0;
        });
        m_s.sendToStation(QByteArray(100, 'x'));
        QTRY_COMPARE(m_s.station->unroutedDatagrams(), 1u);
        QTRY_COMPARE(m_s.station->watch()->stateWord("00000000000D"), u"offline"_s);

        const QByteArray reply = fetch(u"127.0.0.1"_s, port, "/metrics");
        const QByteArray body = reply.mid(reply.indexOf("\r\n\r\n") + 4);
        QVERIFY2(reply.startsWith("HTTP/1.1 200 OK\r\nContent-Type: text/plain; version=0.0.4; "
                                  "charset=utf-8\r\n"),
                 reply.constData());
        QStringList families, samples;
        for (const QByteArray& line : body.split('\n')) {
            if (line.startsWith("# HELP "))
                families << QString::fromLatin1(line.split(' ')[2]);
            else if (!line.startsWith('#') && !line.isEmpty())
                samples << QString::fromUtf8(line);
        }
        const QString v = u"varnetix_"_s, element = u"{mac=\"001A2B3C4D5E\"}"_s,
                      decoder = u"{mac=\"00000000000D\"}"_s;
        // The families are those the shipped rules and dashboard may name, in that order.
        QStringList listed;
        for (const QByteArray& line :
             readFile(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../packaging/prometheus/metrics.txt"))
                 .split('\n'))
            if (line.startsWith(v.toLatin1()))
                listed << QString::fromLatin1(line.split(' ').first());
        QCOMPARE(families, listed);
        static const QRegularExpression now(u"(timestamp_seconds\\S+) 1\\d{9}(\\.\\d+)?$"_s);
        QStringList expected = {
            v + u"element_up"_s + element + u" 1"_s,
            v + u"element_up"_s + decoder + u" 0"_s,
            v + u"element_info{mac=\"001A2B3C4D5E\",name=\"E\\\\x1B\\\"\\\\\\\\\",address=\"127.0."
                u"0.1\","
                u"role=\"encoder\"} 1"_s,
            v + u"element_info{mac=\"00000000000D\",name=\"D1\",address=\"127.0.0.2\","
                u"role=\"decoder\"} 1"_s,
            v + u"element_round_trip_seconds"_s + element + u" 0.003"_s,
            v + u"element_last_answer_timestamp_seconds"_s + element + u" NOW"_s,
            v + u"encoder_audio_silent"_s + element + u" 1"_s,
            v + u"encoder_audio_peak_dbfs"_s + element + u" -Inf"_s,
            v + u"network_check_findings{severity=\"error\"} 2"_s,
            v + u"network_check_findings{severity=\"warning\"} 1"_s};
        for (const QString& kind : {u"offline"_s, u"silent"_s, u"no-level"_s, u"network"_s}) {
            for (const QString& acknowledged : {u"false"_s, u"true"_s})
                expected << v + u"alarms{kind=\"%1\",acknowledged=\"%2\"} %3"_s.arg(
                                    kind, acknowledged,
                                    kind + acknowledged == u"offlinefalse" ? u"1"_s : u"0"_s);
        }
        expected << v + u"elements 2"_s << v + u"discovery_last_timestamp_seconds 1767312000"_s
                 << v + u"build_info{version=\"3.0.0\"} 1"_s;
        for (const QString& reason :
             {u"length"_s, u"level-sender"_s, u"pending-limit"_s, u"no-room"_s, u"echo-reply"_s})
            expected << v + u"datagrams_dropped_total{reason=\"%1\"} %2"_s.arg(
                                reason, reason == u"length" ? u"1"_s : u"0"_s);
        expected << v + u"event_log_lines_dropped_total 0"_s;
        QCOMPARE(samples.replaceInStrings(now, u"\\1 NOW"_s), expected);

        QVERIFY(fetch(u"127.0.0.1"_s, port, "/metrics/").startsWith("HTTP/1.1 404 Not Found\r\n"));
        QCOMPARE(fetch(u"127.0.0.2"_s, port, "/metrics"), QByteArray());
        const QString promtool = QStandardPaths::findExecutable(u"promtool"_s);
        if (promtool.isEmpty())
            QSKIP("promtool is not installed (Debian's prometheus package)");
        QProcess check;
        check.start(promtool, {u"check"_s, u"metrics"_s});
        check.write(body);
        check.closeWriteChannel();
        QVERIFY(check.waitForFinished(10000));
        QVERIFY2(check.exitCode() == 0, check.readAllStandardError().constData());
    }

    // A spare decoder D1 takes the place of GONE, missing since the last discovery's backup.
    // Nothing is sent while GONE's address answers a ping or ARP; only the spare's own MAC,
    // asked afresh (the neighbour table names the spare there too), may answer; a refused or
    // missing answer leaves the database byte for byte.
    void spareReplacement_data() {
        QTest::addColumn<int>("echo");        // the status of every echo to GONE's address
        QTest::addColumn<QString>("before");  // who answers ARP for it before the send
        QTest::addColumn<QString>("after");   // and after: the answer's MAC
        QTest::addColumn<QString>("outcome"); // the last box
        const QString gone = u"127.0.0.2 of GONE [00:00:00:00:00:AA] still answers "_s;
        const QString refused = u"\rTwo elements on one address would be worse than one that "
                                u"is gone.\rNothing has been sent."_s;
        const QString unchanged = u"\rThe database has not been changed."_s;
        const QString other = u"02:00:00:00:00:99"_s;
        QTest::newRow("address answers a ping")
            << 0 << QString() << QString() << gone + u"a ping."_s + refused;
        QTest::newRow("address answers ARP")
            << 11010 << other << QString()
            << gone + u"ARP requests (from 02:00:00:00:00:99)."_s + refused;
        QTest::newRow("answer from another MAC")
            << 11010 << QString() << other
            << u"The response received does not match the spare D1 [00:00:00:00:00:0D]: "
               u"02:00:00:00:00:99 answers for 127.0.0.2."_s +
                   unchanged;
        QTest::newRow("no answer")
            << 11010 << QString() << QString()
            << u"Waiting for a response from the spare D1 [00:00:00:00:00:0D] has timed out!"_s +
                   unchanged;
        QTest::newRow("replaced") << 11010 << QString() << kDecoderKey
                                  << u"The spare D1 [00:00:00:00:00:0D] has replaced GONE "
                                     u"[00:00:00:00:00:AA] at 127.0.0.2."_s;
    }
    void spareReplacement() {
        QFETCH(int, echo);
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QString, outcome);
        const QString backup = m_s.dir.filePath(u"nms.ini.29991231T235959Z.bak"_s);
        const auto cleanup = qScopeGuard([&] { QFile::remove(backup); });
        m_s.writeDatabase(recordText(
            "0000000000AA", replaced(kDecoderEntries, {"NAME=GONE", "IP=127.0.0.2", "ATT=100"})));
        QVERIFY(QFile::rename(m_s.databasePath(), backup));
        m_s.writeDatabase(recordText("00000000000D", kDecoderEntries));
        const QByteArray stored = m_s.database();
        m_s.probe.reply = {echo, 0};
        m_s.resolver.macs["127.0.0.2"] = kDecoderKey.toStdString();
        m_s.resolver.fresh.erase("127.0.0.2");
        if (!before.isEmpty())
            m_s.resolver.fresh["127.0.0.2"] = before.toStdString();
        m_s.settings.configPort = m_s.configPeer.localPort();
        QUdpSocket gonePort; // the attenuation goes to the address the spare takes
        QVERIFY(gonePort.bind(QHostAddress(u"127.0.0.2"_s), m_s.settings.commandPort));
        startStation();
        m_s.dialogs.answers.enqueue(true);
        varnetix::SpareReplacement& replacement = m_s.station->replacement();
        replacement.replace("0000000000AA", "00000000000D");
        const bool sends = echo != 0 && before.isEmpty();
        QCOMPARE(Station::receive(m_s.configPeer, sends ? 2000 : 300).data(),
                 sends ? QByteArray::fromHex("7f000002 ff000000 7f000001 00000000 000000") +
                             "GONE            "
                       : QByteArray());
        if (!after.isEmpty()) {
            m_s.resolver.fresh["127.0.0.2"] = after.toStdString();
            varnetix::FeedbackRecord r;
            r.ElementIP = "127.0.0.2", r.ElementMask = "255.0.0.0", r.ElementGW = "127.0.0.1";
            r.RemoteIP = "0.0.0.0", r.ElementName = "GONE", r.ElementRole = 2;
            r.SerialNumber = 77, r.Attenuation = 200;
            QVERIFY(m_s.deliver(packet(r, 45)));
        }
        QTRY_VERIFY(!replacement.busy());
        QCOMPARE(m_s.dialogs.boxes.last().text, outcome);
        const bool done = after == kDecoderKey;
        QCOMPARE(m_s.database(),
                 done ? recordText("00000000000D", replaced(kDecoderEntries,
                                                            {"NAME=GONE            ",
                                                             "IP=127.0.0.2", "VER=2.1", "ATT=100"}))
                      : stored);
        QCOMPARE(Station::receive(gonePort, done ? 2000 : 0).data(),
                 done ? QByteArray("\x64\x00", 2) : QByteArray());
    }

    // A child stores two answers in turn and is killed at random moments: the record is always
    // one of them, whole.
    void killedAnswerLeavesOldOrNew() {
        m_s.writeDatabase({});
        startStation();
        m_s.station->selection().select(kEncoderKey);
        const EditedConfiguration configs[] = {
            {u"E1"_s, u"127.0.0.1"_s, u"255.255.255.0"_s, u"127.0.0.254"_s, u"10.0.0.9"_s, 1, 1, 0},
            {u"E2"_s, u"127.0.0.2"_s, u"255.0.0.0"_s, u"127.0.0.1"_s, u"10.0.0.8"_s, 0, 0, 1}};
        const auto apply = [&](int which) {
            const EditedConfiguration& c = configs[which];
            m_editor.edited = c;
            varnetix::FeedbackRecord answer;
            answer.ElementMAC = kEncoderKey.toStdString(),
            answer.ElementName = c.name.toStdString();
            answer.ElementIP = c.ip.toStdString(), answer.ElementMask = c.mask.toStdString();
            answer.ElementGW = c.gateway.toStdString(), answer.RemoteIP = c.remote.toStdString();
            answer.AudioInput = std::uint8_t(c.audioInput),
            answer.AudioType = std::uint8_t(c.audioType);
            answer.TxType = std::uint8_t(c.txType), answer.ElementRole = 1;
            answer.SerialNumber = which ? 4321 : 1234;
            m_s.station->exchange().applyConfigurationAnswer(answer);
        };
        apply(1);
        const QByteArray b = m_s.database();
        apply(0);
        const QByteArray a = m_s.database();
        QVERIFY(a != b);
        killWritersAtRandom(
            [&](int i) { apply(1 - i % 2); },
            [&](int round) {
                const QByteArray now = m_s.database();
                QVERIFY2(now == a || now == b,
                         qPrintable(u"round %1: %2"_s.arg(round).arg(QString::fromLatin1(now))));
            });
    }
};

QTEST_GUILESS_MAIN(TestStationHeadless)
#include "test_station_headless.moc"
