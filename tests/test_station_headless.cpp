// The station with no widget at all: a discovery, a configuration exchange and the watch against
// the element simulator on loopback, and a configuration answer killed while it is stored.
#include <QScopeGuard>
#include <QSignalSpy>

#include "core/ini_store.h"
#include "killed_writers.h"
#include "station/configuration_exchange.h"
#include "station/discovery.h"
#include "station/element_model.h"
#include "station/element_watch.h"
#include "station/spare_replacement.h"
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
