// End to end: the station's own code, with the Linux ARP lookup and ICMP echo, against
// simulated elements in a lab of network namespaces (tools/lab), over the real ports 2976,
// 2977 and 1901 and the paging broadcast to 255.255.255.255. Only the message boxes are
// scripted. Each element's simulator logs every datagram it gets, with its bytes in hex, and
// the tests read what the elements saw from those logs.
#include "platform/linux_echo_probe.h"
#include "platform/linux_echo_sweeper.h"
#include "station/alarm_list.h"
#include "station/level_monitor.h"
#include "station/spare_replacement.h"
#include "station_fixture.h"
#include "tools/lab_session.h"
#include "ui/station_startup.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QProcess>
#include <QScopeGuard>
#include <csignal>
#include <optional>
#include <sched.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kElements = 4;    // encoder 1 -> decoder 2, encoder 3 -> decoder 4
constexpr int kLabElements = 5; // element 5, an encoder, keeps silent until a test lets it answer
// Options every simulator of this lab gets on top of the lab's own: a version whose two parts
// are not the digits of the number, and the SFN option on.
const std::vector<std::string> kCommonOptions = {"--version-parts", "1,12", "--sfn", "1"};

QString address(int k) {
    return u"198.18.0.%1"_s.arg(10 + k);
}

// What element k reports at discovery, as the lab starts it with kCommonOptions.
QByteArrayList discoveredRecord(int k) {
    const bool encoder = k % 2 == 1;
    const QString name = u"LAB %1 %2"_s.arg(encoder ? u"ENCODER"_s : u"DECODER"_s).arg(k);
    const QString record = u"NAME=%1|IP=%2|MASK=255.255.255.0|GW=198.18.0.1|REMOTE=%3|INPUT=0|"
                           u"TYPE=0|TX=0|ROLE=%4|SN=%5|VER=11.2|SFN=1|BUF=%6"_s.arg(
                               name.leftJustified(16), address(k), address(encoder ? k + 1 : k - 1),
                               encoder ? u"1"_s : u"2"_s, QString::number(1000 + k),
                               encoder ? u"0"_s : u"3|ATT=240"_s);
    return record.toLatin1().split('|');
}

// One section of the file as it stands there, up to the next section.
QByteArray sectionText(const QByteArray& file, const QByteArray& section) {
    const qsizetype start = file.indexOf('[' + section + "]\r\n");
    const qsizetype end = file.indexOf("\r\n[", start);
    return start < 0 ? QByteArray() : file.mid(start, end < 0 ? -1 : end + 2 - start);
}

// A program's standard output; nothing when it ended with another exit status or ran for more
// than 30 s (its QProcess then ends it).
std::optional<QString> run(const QString& program, const QStringList& args, int status = 0) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, args);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != status)
        return {};
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}
std::optional<QString> ip(const QString& args) {
    return run(QString::fromStdString(varnetix::lab::findIpTool()), args.split(u' '));
}
QString inElement(int k) {
    return u"-n "_s + QString::fromStdString(varnetix::lab::elementNamespace(k)) + u' ';
}
QString macOf(const QString& where) { // "ip -br link": name, state, MAC
    const QString link = ip(where + u"-br link show dev eth0"_s).value_or(QString());
    return link.simplified().section(u' ', 2, 2).toUpper();
}
bool restartElement(int k, const QStringList& options) {
    return run(QString::fromStdString(varnetix::lab::labScript()),
               QStringList{u"restart"_s, QString::number(k), u"--"_s} + options)
        .has_value();
}

// A datagram to the station from element k's namespace; a socket stays where it was made.
bool sendFromElement(int k, const QByteArray& data) {
    QFile own(u"/proc/self/ns/net"_s);
    QFile other(u"/run/netns/"_s + QString::fromStdString(varnetix::lab::elementNamespace(k)));
    QUdpSocket socket;
    const bool made = own.open(QIODevice::ReadOnly) && other.open(QIODevice::ReadOnly) &&
                      ::setns(other.handle(), CLONE_NEWNET) == 0 && socket.bind();
    return ::setns(own.handle(), CLONE_NEWNET) == 0 && made &&
           socket.writeDatagram(data, QHostAddress(u"198.18.0.1"_s), 2976) == data.size();
}

// The datagrams of a size that element k received on a port, each "peer hex" (no hex for those
// longer than the log shows), from its simulator's log:
// "10:00:00.123 recv :2976 <- 198.18.0.1:2976 35 bytes configuration, ... [c6 12 ...]".
QStringList received(int k, int port, qsizetype bytes) {
    const QRegularExpression pattern(
        u"^\\S+ recv :%1 <- (\\S+) %2 bytes .*?(?: \\[([0-9a-f ]+)\\])?$"_s.arg(port).arg(bytes));
    QStringList found;
    for (const QByteArray& line :
         readFile(QString::fromStdString(varnetix::lab::elementLog(k))).split('\n'))
        if (const auto m = pattern.match(QString::fromLatin1(line)); m.hasMatch())
            found << m.captured(1) + u' ' + m.captured(2);
    return found;
}

// Element k has received `count` datagrams of the size of `bytes` on `port`, the last from the
// station's port 2976 and with these bytes.
void expectLast(int k, int port, qsizetype count, const QByteArray& bytes) {
    const QStringList all = received(k, port, bytes.size());
    QCOMPARE(all.size(), count);
    QCOMPARE(all.last(), u"198.18.0.1:2976 "_s + QString::fromLatin1(bytes.toHex(' ')));
}

// Each element's last varnetix_element_up as the Prometheus server's HTTP API answers, by MAC.
QMap<QString, QString> upByMac() {
    QNetworkAccessManager api;
    api.setProxy(QNetworkProxy::NoProxy);
    std::unique_ptr<QNetworkReply> reply(api.get(
        QNetworkRequest(QUrl(u"http://127.0.0.1:9090/api/v1/query?query=varnetix_element_up"_s))));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    QMap<QString, QString> up;
    if (!finished.wait(5000))
        return up;
    const QJsonDocument answer = QJsonDocument::fromJson(reply->readAll());
    for (const QJsonValue sample : answer[u"data"_s][u"result"_s].toArray())
        up[sample[u"metric"_s][u"mac"_s].toString()] = sample[u"value"_s][1].toString();
    return up;
}

// A process ended by its PID, at once if it does not end when asked.
void end(QProcess& process) {
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(5000);
}

} // namespace

class E2eLab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        for (int k = 1; k <= kLabElements; ++k)
            m_macs << macOf(inElement(k));
        QCOMPARE(m_macs.join(QString()).size(), 17 * kLabElements);
        QVERIFY(restartElement(5, {u"--fault-silent"_s}));
        m_s.settings = varnetix::StationSettings();
        m_s.settings.databasePath = m_s.dir.filePath(u"nms.ini"_s).toStdString();
        // Every element watched each second, offline after two missed echoes; the level
        // requests counted are the display's alone.
        m_s.settings.preferencesPath = m_s.dir.filePath(u"varnetix-nms.conf"_s).toStdString();
        QVERIFY(varnetix::PreferencesFile(QString::fromStdString(m_s.settings.preferencesPath))
                    .save({1, 2, 1024, 5, 0}));
        m_instance = std::make_unique<varnetix::SingleInstance>(m_s.settings.databasePath,
                                                                m_s.settings.localPort);
        int exitCode = -1;
        auto started = varnetix::startStation(m_s.settings, m_s.dialogs, m_resolver, m_probe,
                                              *m_instance, exitCode, &m_sweeper);
        m_s.station = std::move(started.station);
        m_s.window = std::move(started.window);
        QVERIFY2(m_s.window, "the station did not start (port 2976 taken?)");
        QCOMPARE(m_s.stationPort(), quint16(2976));
        m_s.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_s.window.get()));
    }
    void cleanupTestCase() {
        m_s.window.reset();
        m_s.station.reset();
    }
    // Every element hears one request per run and is stored exactly, and nothing else is; no MAC
    // or feedback error comes from the elements.
    void discovery() {
        const qsizetype requests = received(1, 1901, 32).size(); // as many for every element
        m_s.dialogs.boxes.clear();
        m_s.discover();                        // returns when frmPaging has closed
        QCOMPARE(m_s.dialogs.boxes.size(), 1); // the question
        qsizetype size = 0;
        for (int k = 1; k <= kElements; ++k) {
            expectLast(k, 1901, requests + 1, "IPMPXSTL HALVOREN PAGING REQUEST");
            QCOMPARE(stored(k), recordText(section(k), discoveredRecord(k)));
            size += stored(k).size();
        }
        QCOMPARE(m_s.database().size(), size);
    }
    // The operator's settings go to encoder 1, which runs with them and answers; they are stored.
    void configuration() {
        select(1);
        m_s.edit({u"txtElementName=studio a"_s, u"cmbAudioInput=1"_s, u"cmbAudioType=1"_s,
                  u"cmbAudioTX=0"_s, u"txtRemoteIP=198.18.0.14"_s});
        const qsizetype before = received(1, 2976, 35).size();
        m_s.dialogs.boxes.clear();
        m_s.dialogs.answers.enqueue(true);
        m_s.button(4)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(m_s.dialogs.boxes.size() >= 2 && m_s.feedback()->idle(), 10000);
        expectLast(1, 2976, before + 1,
                   QByteArray::fromHex("c612000b ffffff00 c6120001 c612000e 01 01 00") +
                       "STUDIO A        ");
        QCOMPARE(m_s.dialogs.boxes.mid(1), QList{answerBox(kSuccess)});
        QCOMPARE(stored(1),
                 recordText(section(1), replaced(discoveredRecord(1),
                                                 {"NAME=STUDIO A        ", "REMOTE=198.18.0.14",
                                                  "INPUT=1", "TYPE=1"})));
    }
    void pingLiveElement() {
        m_s.dialogs.boxes.clear();
        select(1);
        auto* ping = m_s.find<QLabel>("lblPing");
        auto* shape = m_s.find<varnetix::ShapeIndicator>("shpPing");
        QTest::mouseClick(ping, Qt::LeftButton);
        static const QRegularExpression roundTrip(u"^\\d+ ms$"_s);
        QTRY_VERIFY2_WITH_TIMEOUT(roundTrip.match(ping->text()).hasMatch(),
                                  qPrintable(ping->text()), 5000);
        QCOMPARE(shape->fillColor(), QColor(0, 255, 0));
        QCOMPARE(m_s.dialogs.texts(), QStringList());
    }

    // An element whose link goes down turns offline within the missed echoes (two here) and the
    // interval (one second), and online again when it returns; the node, the status bar and the
    // log agree. Its offline alarm, acknowledged while it lasts, leaves when the element is back.
    void watchSeesAnElementLeaveAndReturn() {
        const auto alarm = [this] {
            for (const varnetix::Alarm& a : m_s.station->alarms().alarms())
                if (a.kind == varnetix::AlarmKind::Offline && a.mac == m_macs[1])
                    return a;
            return varnetix::Alarm();
        };
        QTRY_COMPARE_WITH_TIMEOUT(state(2), u"online"_s, 5000);
        QVERIFY(ip(inElement(2) + u"link set eth0 down"_s));
        // (misses + 1) x interval + 1 s, and room for a busy machine.
        QTRY_COMPARE_WITH_TIMEOUT(state(2), u"offline"_s, 6000);
        QCOMPARE(m_s.text("lblWatchSummary"), u"3 online, 1 offline, 0 unknown - every 1 s"_s);
        QCOMPARE(varnetix::alarmStateWords(alarm()), u"active, unacknowledged"_s);
        m_s.station->alarms().acknowledge(alarm().id);
        QCOMPARE(varnetix::alarmStateWords(alarm()), u"active, acknowledged"_s);
        QVERIFY(ip(inElement(2) + u"link set eth0 up"_s));
        QTRY_COMPARE_WITH_TIMEOUT(state(2), u"online"_s, 6000);
        QCOMPARE(alarm().id, 0u);
        const QString label = u"%1 LAB DECODER 2 [%1]"_s.arg(m_macs[1]);
        const QStringList changes = m_s.logged("status").filter(label);
        QCOMPARE(changes.mid(changes.size() - 2),
                 (QStringList{label + u" is offline (was online)"_s,
                              label + u" is online (was offline)"_s}));
    }
    // A neighbour that answers in the name of an element whose link is down, for the sequence
    // numbers around the echoes it gets itself and with their data, does not keep it online.
    void watchIgnoresForgedAnswers() {
        const auto restore = qScopeGuard([this] {
            ip(inElement(2) + u"link set eth0 up"_s);
            restartElement(3, {});
        });
        QVERIFY(restartElement(3, {u"--fault-forge-echo"_s, address(2)}));
        QTRY_COMPARE_WITH_TIMEOUT(state(2), u"online"_s, 5000);
        QVERIFY(ip(inElement(2) + u"link set eth0 down"_s));
        QTRY_COMPARE_WITH_TIMEOUT(state(2), u"offline"_s, 6000);
        QVERIFY(readFile(QString::fromStdString(varnetix::lab::elementLog(3)))
                    .contains(" forge <- 198.18.0.1 echo request "));
    }
    // A discovery after one element left and another came marks one missing and one new.
    void discoveryMarksTheMissingAndTheNew() {
        QVERIFY(restartElement(4, {u"--fault-silent"_s}) && restartElement(5, {}));
        m_s.discover();
        QCOMPARE(m_s.text("lblDiscoverySummary"),
                 u"Discovery: 4 elements, 1 new, 1 missing, 0 changed"_s);
        QVERIFY(m_s.described(m_macs[4]).contains(u", new"_s));
        QVERIFY(m_s.logged("discovery")
                    .contains(
                        u"%1 Missing element LAB DECODER 4 [%1] at 198.18.0.14"_s.arg(m_macs[3])));
    }
    // The lab's database with two elements misconfigured by the test (a decoder that reports its
    // neighbour's address, an encoder that sends to no decoder): exactly those findings, in the
    // window and from the command line. An element that reports the broadcast address has no MAC
    // the station accepts (the kernel's entry for it is the paging broadcast's, not ARP's): it
    // is not stored, and no record stands for every element on the LAN.
    void networkCheckFindsTheMisconfiguration() {
        QVERIFY(restartElement(1, {})); // as the lab made it, before the configuration test
        QVERIFY(restartElement(4, {u"--ip"_s, address(2)}));
        QVERIFY(restartElement(3, {u"--remote"_s, u"198.18.0.99"_s}));
        QVERIFY(restartElement(5, {u"--ip"_s, u"255.255.255.255"_s}));
        m_s.discover();
        const QString program = m_s.dir.filePath(u"varnetix-nms"_s);
        QVERIFY(
            QFile::copy(qEnvironmentVariable("VARNETIX_BUILD_BIN") + u"/varnetix-nms"_s, program));
        const QStringList lines = run(program, {u"--check-network"_s}, 1)
                                      .value_or(u"exit status not 1"_s)
                                      .split(u'\n', Qt::SkipEmptyParts);
        // Both answer with element 2's address. Whether the database holds both under it or one
        // (and the answers the other) follows the station's ARP lookups, and the order with it.
        const QString noDecoder = u"error [no-decoder] %1: "_s.arg(QString::fromLatin1(section(3)));
        const qsizetype at = lines.value(0).startsWith(noDecoder) ? 0 : 1;
        const QString duplicate = lines.value(1 - at);
        QVERIFY2(lines.size() == 2 && lines[at].startsWith(noDecoder) &&
                     duplicate.startsWith(u"error [duplicate-ip] "_s) &&
                     (duplicate.contains(QLatin1String(section(2))) ||
                      duplicate.contains(QLatin1String(section(4)))),
                 qPrintable(lines.join(u'\n')));
        auto* findings = m_s.find<QTreeWidget>("lstFindings");
        QCOMPARE(findings->topLevelItemCount(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(findings->topLevelItem(i)->text(2), lines[i].section(u": "_s, 1));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_s.dialogs.texts().contains(u"An error occured while retrieving 'Element MAC':\r"
                                         u"Feedback is corrupted."_s),
            10000);
        QVERIFY(!m_s.database().contains("[FFFFFFFFFFFF]"));
        QVERIFY(restartElement(3, {}) && restartElement(4, {}) &&
                restartElement(5, {u"--fault-silent"_s}));
    }
    // "VOL" goes to the encoder until the display stops, and only the encoder's answers move
    // its bar (the simulator's tone peaks at -6 dBFS), not 1440 bytes from another host.
    void audioLevelPolling() {
        QVERIFY(restartElement(1, {u"--fault-silent"_s})); // its answers come later
        m_s.dialogs.boxes.clear();
        select(1);
        m_s.button(6)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(received(1, 2977, 3).size() > 0, 5000);
        auto* level = m_s.station->findChild<varnetix::LevelMonitor*>();
        QSignalSpy arrived(m_s.find<varnetix::UdpEndpoint>("udpClient"),
                           &varnetix::UdpEndpoint::datagramReceived);
        QVERIFY(sendFromElement(2, QByteArray(1440, '\x7f'))); // near full scale
        QVERIFY(arrived.wait(5000));                           // and handled
        QCOMPARE(m_s.text("lblVolume"), u"-oodBFS"_s);
        QCOMPARE(level->foreignDatagrams(), 1u);
        QVERIFY(restartElement(1, {}));
        QTRY_COMPARE_WITH_TIMEOUT(m_s.text("lblVolume"), u"-6dBFS"_s, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(received(1, 2977, 3).size() >= 20, 10000);
        m_s.button(7)->trigger();
        const QStringList requests = received(1, 2977, 3);
        QCOMPARE(requests, QStringList(requests.size(), u"198.18.0.1:2976 56 4f 4c"_s));
        // At most a request already on its way arrives after the stop.
        QVERIFY(!QTest::qWaitFor([&] { return received(1, 2977, 3).size() > requests.size() + 1; },
                                 500));
        QCOMPARE(m_s.dialogs.texts(), QStringList());
    }
    // Encoder 3 sends silence: it alone is marked silent and alarmed, and audio that decoder 4
    // sends the station does not restore it; its own audio does (SIGUSR1 to its simulator), and
    // the log says after how long.
    void silenceWatch() {
        QVERIFY(restartElement(3, {u"--silent-audio"_s}));
        varnetix::StationPreferences preferences = m_s.station->preferences();
        preferences.audioIntervalSeconds = 1, preferences.silenceSeconds = 2;
        preferences.restoreSeconds = 1;
        m_s.station->changePreferences(preferences);
        const auto off = qScopeGuard([&] {
            preferences.audioIntervalSeconds = 0;
            m_s.station->changePreferences(preferences);
        });
        const auto described = [this](int k) { return m_s.described(m_macs.at(k - 1)); };
        QTRY_VERIFY_WITH_TIMEOUT(described(3).contains(u", silent"_s), 10000);
        QVERIFY(!described(1).contains(u"silent"_s) && !described(1).contains(u"level"_s));
        for (int i = 0; i < 20; ++i) { // twice the restore time
            QVERIFY(sendFromElement(4, QByteArray(1440, '\x7f')));
            QTest::qWait(100);
        }
        QVERIFY(described(3).contains(u", silent"_s));
        // Its alarm, acknowledged while the silence lasts, leaves the list when audio is back.
        const auto alarm = [this] {
            for (const varnetix::Alarm& a : m_s.station->alarms().alarms())
                if (a.kind == varnetix::AlarmKind::Silent && a.mac == m_macs[2])
                    return a;
            return varnetix::Alarm();
        };
        QCOMPARE(varnetix::alarmStateWords(alarm()), u"active, unacknowledged"_s);
        m_s.station->alarms().acknowledge(alarm().id);
        const int pid = readFile(QString::fromStdString(varnetix::lab::labRunDir()) + u"/e3.pid"_s)
                            .trimmed()
                            .toInt();
        QVERIFY(pid > 0 && ::kill(pid, SIGUSR1) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!described(3).contains(u"silent"_s), 5000);
        QCOMPARE(alarm().id, 0u);
        const QStringList logged = m_s.logged("level").filter(m_macs.at(2));
        QCOMPARE(logged.size(), 2);
        QVERIFY2(logged[0].contains(
                     QRegularExpression(u"Audio silent on LAB ENCODER 3 +\\[%1\\] "
                                        u"since \\d\\d:\\d\\d:\\d\\d$"_s.arg(m_macs.at(2)))),
                 qPrintable(logged[0]));
        QVERIFY2(
            logged[1].contains(QRegularExpression(u"Audio restored on LAB ENCODER 3 +"
                                                  u"\\[%1\\] after \\d+ s$"_s.arg(m_macs.at(2)))),
            qPrintable(logged[1]));
    }

    // Decoder 4 fails and a spare decoder (element 5, multicast until now) is connected; a
    // discovery finds one missing and one new. The replace moves decoder 4's address, settings,
    // name and attenuation to the spare, which then answers a ping and a discovery there and is
    // stored under its own MAC.
    void spareReplacesAFailedDecoder() {
        const auto restore = qScopeGuard([this] {
            ip(inElement(4) + u"link set eth0 up"_s);
            restartElement(5, {u"--fault-silent"_s});
        });
        m_s.discover();
        QVERIFY(ip(inElement(4) + u"link set eth0 down"_s));
        QVERIFY(restartElement(5, {u"--role"_s, u"decoder"_s, u"--name"_s, u"LAB SPARE 5"_s}));
        m_s.discover();
        QCOMPARE(m_s.text("lblDiscoverySummary"),
                 u"Discovery: 4 elements, 1 new, 1 missing, 0 changed"_s);
        // The station's neighbour table still names the failed decoder for its address.
        QVERIFY(ip(u"neigh replace 198.18.0.14 lladdr %1 dev eth0 nud stale"_s.arg(m_macs[3])));
        m_s.dialogs.boxes.clear();
        m_s.dialogs.answers.enqueue(true);
        varnetix::SpareReplacement& replacement = m_s.station->replacement();
        replacement.replace(section(4).toStdString(), section(5).toStdString());
        QTRY_VERIFY_WITH_TIMEOUT(!replacement.busy() && m_s.feedback()->idle(), 15000);
        QCOMPARE(m_s.dialogs.texts().mid(1),
                 QStringList(u"The spare LAB SPARE 5 [%1] has replaced LAB DECODER 4 [%2] at "
                             u"198.18.0.14."_s.arg(m_macs[4], m_macs[3])));
        expectLast(5, 2976, 1,
                   QByteArray::fromHex("c612000e ffffff00 c6120001 c612000d 00 00 00") +
                       "LAB DECODER 4   ");
        expectLast(5, 2977, 1, QByteArray("\xf0\x00", 2));
        const QByteArray spare =
            recordText(section(5), replaced(discoveredRecord(4), {"SN=1005", "BUF=1"}));
        QCOMPARE(stored(5), spare);
        QVERIFY(!m_s.database().contains(section(4)));
        QSignalSpy echoed(&m_probe, &varnetix::EchoProbe::finished);
        QVERIFY(m_probe.StartSockets() && m_probe.start(address(4)));
        QVERIFY(echoed.wait(3000));
        m_probe.StopSockets();
        QCOMPARE(echoed.first().first().value<varnetix::EchoReply>().status, 0);
        m_s.discover();
        QCOMPARE(stored(5), spare);
        QVERIFY(m_s.logged("config").contains(
            u"%1 The spare LAB SPARE 5 [%1] replaced LAB DECODER 4 [%2] at 198.18.0.14"_s.arg(
                m_macs[4], m_macs[3])));
    }

    // Last, as it ends the window's station. A discovery from the command line is refused while
    // a station holds the database; in an empty folder it stores and prints the three elements
    // that answer; when none answers, it leaves the folder as it found it, database or none.
    void discoverFromTheCommandLine() {
        // "status\n" and what it printed; SIGTERM a second into the run when it is interrupted.
        const auto discover = [this](const QString& dir, bool interrupted = false) {
            QProcess process;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (const QString& name : {u"XDG_STATE_HOME"_s, u"XDG_CONFIG_HOME"_s})
                environment.insert(name, m_s.dir.path()); // its event log and preferences
            process.setProcessEnvironment(environment);
            process.setProcessChannelMode(QProcess::MergedChannels);
            process.start(qEnvironmentVariable("VARNETIX_BUILD_BIN") + u"/varnetix-nms"_s,
                          {u"--discover"_s, u"--database"_s, dir + u"/nms.ini"_s});
            if (interrupted && process.waitForStarted()) {
                QTest::qWait(1000);
                process.terminate(); // our own child
            }
            process.waitForFinished(30000);
            return u"%1\n"_s.arg(process.exitCode()) + QString::fromUtf8(process.readAll());
        };
        const auto files = [](const QString& dir) {
            QStringList found;
            for (const QFileInfo& file : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden))
                found << file.fileName() + u' ' + QString::fromLatin1(readFile(file.filePath()));
            return found;
        };
        QCOMPARE(discover(m_s.dir.path()),
                 u"2\nvarnetix-nms: a station is running with the database %1/nms.ini or UDP port "
                 u"2976; a discovery needs both to itself\n"_s.arg(m_s.dir.path()));
        m_s.window.reset();
        m_s.station.reset();
        m_instance.reset();
        QVERIFY(restartElement(4, {u"--fault-silent"_s}));
        QTemporaryDir filled, empty;
        QString found = u"0\n"_s;
        for (int k = 1; k <= 3; ++k)
            found +=
                u"%1\tLAB %2 %3\t%4\t%2\n"_s.arg(m_macs[k - 1], k % 2 ? u"ENCODER"_s : u"DECODER"_s)
                    .arg(k)
                    .arg(address(k));
        QCOMPARE(discover(filled.path()),
                 found + u"Discovery: 3 elements, no earlier database to compare\n"_s);
        const QByteArray database = readFile(filled.filePath(u"nms.ini"_s));
        qsizetype size = 0;
        for (int k = 1; k <= 3; ++k) {
            QCOMPARE(sectionText(database, section(k)),
                     recordText(section(k), discoveredRecord(k)));
            size += sectionText(database, section(k)).size();
        }
        QCOMPARE(database.size(), size);
        for (int k = 1; k <= 3; ++k)
            QVERIFY(restartElement(k, {u"--fault-silent"_s}));
        for (const QTemporaryDir* dir : {&filled, &empty}) {
            const QStringList before = dir == &filled ? files(dir->path()) : QStringList();
            QCOMPARE(discover(dir->path()),
                     u"1\nvarnetix-nms: no element answered; the database %1/nms.ini is left as it "
                     u"was\n"_s.arg(dir->path()));
            QCOMPARE(files(dir->path()),
                     before.isEmpty() ? QStringList{u"nms.ini.lock "_s} : before);
        }
        const QStringList before = files(filled.path());
        QCOMPARE(discover(filled.path(), true),
                 u"2\nvarnetix-nms: the discovery was interrupted; the database %1/nms.ini is left "
                 u"as it was\n"_s.arg(filled.path()));
        QCOMPARE(files(filled.path()), before);
    }

    // Last, as it needs the port and the lock of the window's station: the station without a
    // display watches elements 1 to 3 and tells standard error with the journal's priorities,
    // starts a new log on SIGHUP, refuses a second one; SIGTERM ends it, and a window with a box
    // open, with the end line in the log.
    void headlessStation() {
        m_s.window.reset();
        m_s.station.reset();
        m_instance.reset();
        QTemporaryDir dir;
        QVERIFY(varnetix::PreferencesFile(dir.filePath(u"config/Halvoren/varnetix-nms.ini"_s))
                    .save({1, 2, 1024, 5, 1, -50, 2, 1}));
        // Encoder 3 sends silence until SIGUSR1.
        QVERIFY(restartElement(3, {u"--silent-audio"_s}));
        QFile database(dir.filePath(u"nms.ini"_s));
        QVERIFY(database.open(QIODevice::WriteOnly));
        for (int k = 1; k <= 3; ++k)
            database.write(recordText(section(k), discoveredRecord(k)));
        database.close();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
            environment.remove(name);
        environment.insert(u"XDG_CONFIG_HOME"_s, dir.filePath(u"config"_s));
        environment.insert(u"XDG_STATE_HOME"_s, dir.filePath(u"state"_s));
        const QString program = qEnvironmentVariable("VARNETIX_BUILD_BIN") + u"/varnetix-nms"_s;
        const QStringList arguments{u"--headless"_s, u"--database"_s, database.fileName()};
        QProcess second;
        second.setProcessEnvironment(environment);
        environment.insert(u"JOURNAL_STREAM"_s, u"8:1234"_s);
        QProcess station;
        station.setProcessEnvironment(environment);
        station.start(program, arguments);
        // Standard error has told this line, its time aside.
        QString told;
        const auto tells = [&](const QString& priority, const QString& fields) {
            told += QString::fromUtf8(station.readAllStandardError());
            const QStringList lines = told.split(u'\n');
            return std::any_of(lines.begin(), lines.end(), [&](const QString& line) {
                return line.startsWith(priority) && line.section(u'\t', 1) == fields;
            });
        };
        const QString decoder = u"status\t%1\tLAB DECODER 2 [%1] is "_s.arg(m_macs[1]);
        QTRY_VERIFY_WITH_TIMEOUT(tells(u"<6>"_s, u"info\t"_s + decoder + u"online (was unknown)"_s),
                                 10000);
        QVERIFY(ip(inElement(2) + u"link set eth0 down"_s));
        // (misses + 1) x interval + 1 s, and room for a busy machine.
        QTRY_VERIFY_WITH_TIMEOUT(
            tells(u"<4>"_s, u"warning\t"_s + decoder + u"offline (was online)"_s), 6000);
        QVERIFY(ip(inElement(2) + u"link set eth0 up"_s));
        QTRY_VERIFY_WITH_TIMEOUT(tells(u"<6>"_s, u"info\t"_s + decoder + u"online (was offline)"_s),
                                 6000);
        const auto heard = [&](const QString& pattern) {
            tells({}, {});
            return told.contains(
                QRegularExpression(pattern.arg(m_macs[2]), QRegularExpression::MultilineOption));
        };
        QTRY_VERIFY_WITH_TIMEOUT(
            heard(u"^<3>[^\t]*\terror\tlevel\t%1\tAudio silent on LAB ENCODER 3 "
                  u"+\\[%1\\] since \\d\\d:\\d\\d:\\d\\d$"_s),
            10000);
        QVERIFY(!told.contains(u"Audio silent on LAB ENCODER 1"_s));
        const int encoder =
            readFile(QString::fromStdString(varnetix::lab::labRunDir()) + u"/e3.pid"_s)
                .trimmed()
                .toInt();
        QVERIFY(encoder > 0 && ::kill(encoder, SIGUSR1) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(heard(u"^<6>[^\t]*\tinfo\tlevel\t%1\tAudio restored on LAB "
                                       u"ENCODER 3 +\\[%1\\] after \\d+ s$"_s),
                                 5000);

        // SIGHUP after a rotation by others: a new log, and the station goes on.
        const QString log = dir.filePath(u"state/Halvoren/varnetix-nms/events.log"_s);
        QVERIFY(QFile::rename(log, log + u".1"_s));
        QCOMPARE(::kill(station.processId(), SIGHUP), 0);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).contains("\tPreferences read from "), 5000);

        second.start(program, arguments);
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.readAllStandardError(),
                 "Halvoren Varnetix NMS is already running (check the icon in system tray)!\n");
        QCOMPARE(second.exitCode(), 1);

        // SIGTERM ends it, and a window too while the box of its empty database is open.
        const auto endsOnSigterm = [&](QProcess& process) {
            process.terminate(); // our own child
            QVERIFY(process.waitForFinished(10000));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 0);
            QVERIFY(readFile(log).endsWith("\tinfo\tstation\t-\tStation ended\n"));
        };
        endsOnSigterm(station);
        QProcess window;
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        window.setProcessEnvironment(environment);
        window.start(program, {u"--database"_s, dir.filePath(u"empty.ini"_s)});
        QTRY_VERIFY_WITH_TIMEOUT(readFile(log).contains("Local database is empty."), 10000);
        endsOnSigterm(window);
    }

    // Debian's Prometheus server scrapes a station of its own watching elements 1 to 3 every
    // second: all three up, then element 2 down once its link is. Last: the station of the other
    // tests gives up the lab's port for it.
    void prometheusScrapesTheWatch() {
        const QString prometheus = QStandardPaths::findExecutable(u"prometheus"_s);
        if (prometheus.isEmpty())
            QSKIP("Debian's prometheus package is not installed");
        m_s.window.reset();
        m_s.station.reset();
        m_instance.reset();
        const QString dir = m_s.dir.filePath(u"metrics"_s);
        QVERIFY(QDir().mkpath(dir));
        QFile database(dir + u"/nms.ini"_s);
        QVERIFY(database.open(QIODevice::WriteOnly));
        for (int k = 1; k <= 3; ++k)
            database.write(recordText(section(k), discoveredRecord(k)));
        database.close();
        // Every element watched each second, offline after two missed echoes.
        QVERIFY(varnetix::PreferencesFile(dir + u"/config/Halvoren/varnetix-nms.ini"_s)
                    .save({1, 2, 1024, 5}));
        QFile config(dir + u"/prometheus.yml"_s);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("global:\n  scrape_interval: 1s\nscrape_configs:\n  - job_name: varnetix\n"
                     "    static_configs:\n      - targets: ['127.0.0.1:9464']\n");
        config.close();

        QProcess station, server;
        const auto ended = qScopeGuard([&] {
            end(server);
            end(station);
            ip(inElement(2) + u"link set eth0 up"_s);
        });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(u"DISPLAY"_s);
        environment.insert(u"XDG_CONFIG_HOME"_s, dir + u"/config"_s);
        environment.insert(u"XDG_STATE_HOME"_s, dir + u"/state"_s);
        station.setProcessEnvironment(environment);
        station.setStandardErrorFile(dir + u"/station.log"_s);
        station.start(
            qEnvironmentVariable("VARNETIX_BUILD_BIN") + u"/varnetix-nms"_s,
            {u"--headless"_s, u"--database"_s, database.fileName(), u"--metrics"_s, u"9464"_s});
        server.setStandardOutputFile(dir + u"/prometheus.log"_s);
        server.setStandardErrorFile(dir + u"/prometheus.log"_s);
        server.start(prometheus, {u"--config.file="_s + config.fileName(),
                                  u"--storage.tsdb.path="_s + dir + u"/tsdb"_s,
                                  u"--web.listen-address=127.0.0.1:9090"_s});
        QVERIFY(station.waitForStarted() && server.waitForStarted());

        QMap<QString, QString> up{{QString::fromLatin1(section(1)), u"1"_s},
                                  {QString::fromLatin1(section(2)), u"1"_s},
                                  {QString::fromLatin1(section(3)), u"1"_s}};
        QTRY_COMPARE_WITH_TIMEOUT(upByMac(), up, 30000);
        QVERIFY(ip(inElement(2) + u"link set eth0 down"_s));
        up[QString::fromLatin1(section(2))] = u"0"_s;
        QTRY_COMPARE_WITH_TIMEOUT(upByMac(), up, 15000);
    }

private:
    // The state element k's node names first.
    QString state(int k) const { return m_s.described(m_macs.at(k - 1)).section(u',', 0, 0); }
    QByteArray section(int k) const { return QString(m_macs.at(k - 1)).remove(u':').toLatin1(); }
    QByteArray stored(int k) const { return sectionText(m_s.database(), section(k)); }
    void select(int k) {
        QVERIFY2(m_s.selectNode(m_macs.at(k - 1)), qPrintable(u"element %1"_s.arg(k)));
    }

    Station m_s; // its window runs with the station's own settings and the Linux adapters
    varnetix::LinuxMacResolver m_resolver;
    varnetix::LinuxEchoProbe m_probe;
    varnetix::LinuxEchoSweeper m_sweeper;
    std::unique_ptr<varnetix::SingleInstance> m_instance;
    QStringList m_macs; // [k - 1]: element k's MAC in colon form
};

int main(int argc, char** argv) {
    if (!varnetix::lab::insideLab()) {
        varnetix::lab::LabPlan plan;
        plan.elements = kLabElements;
        plan.simulatorOptions = kCommonOptions;
        return varnetix::lab::runOutside(argc, argv, plan);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    E2eLab test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_e2e_lab.moc"
