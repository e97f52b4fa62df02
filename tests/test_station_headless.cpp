// The station with no widget at all: a discovery, a configuration exchange, the watch, an end
// during a discovery and the silence watch against the element simulator on loopback, and a
// configuration answer killed while it is stored.
#include <QSignalSpy>

#include "core/ini_store.h"
#include "killed_writers.h"
#include "station/configuration_exchange.h"
#include "station/discovery.h"
#include "station/element_model.h"
#include "station/element_watch.h"
#include "station/silence_watch.h"
#include "station/station.h"
#include "station_fixture.h"
#include "tools/element_sim/simulator_options.h"

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
