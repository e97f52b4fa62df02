// End to end: the station's own code, with the Linux ARP lookup and ICMP echo, against
// simulated elements in a lab of network namespaces (tools/lab), over the real ports 2976,
// 2977 and 1901 and the paging broadcast to 255.255.255.255. Only the message boxes are
// scripted. Each element's simulator logs every datagram it gets, with its bytes in hex, and
// the tests read what the elements saw from those logs.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <cmath>
#include <memory>

#include "fake_dialogs.h"
#include "platform/linux_echo_probe.h"
#include "platform/mac_resolver.h"
#include "station/discovery.h"
#include "station/element_view.h"
#include "station/feedback_handler.h"
#include "tools/lab_session.h"
#include "ui/main_window.h"
#include "ui/station_startup.h"

namespace {

using varnetix::lab::elementLog;
using varnetix::lab::elementNamespace;

constexpr int kElements = 4; // encoder 1 -> decoder 2, encoder 3 -> decoder 4
const QString kStation = QStringLiteral("198.18.0.1");
const QString kGhost = QStringLiteral("198.18.0.250");
const QString kAppTitle = QStringLiteral("Halvoren Varnetix Manager");
const QString kPagingHex =
    QStringLiteral("49 50 4d 50 58 53 54 4c 20 48 41 4c 56 4f 52 45 4e 20 50 41 47 49 4e 47 20 "
                   "52 45 51 55 45 53 54");

// Options every simulator of this lab gets on top of the lab's own: a version whose two parts
// are not the digits of the number, and the SFN option on.
const std::vector<std::string> kCommonOptions = {"--version-parts", "1,12", "--sfn", "1"};

QString elementAddress(int k) {
    return QStringLiteral("198.18.0.%1").arg(10 + k);
}
bool isEncoder(int k) {
    return k % 2 == 1;
}

QString padded(const QString& name) {
    return name.leftJustified(16, QLatin1Char(' '), true);
}

QString hexOf(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' '));
}

// The entries of one section as the file holds them (key, "=", value, nothing trimmed).
QStringList sectionLines(const QByteArray& file, const QString& section) {
    QStringList lines;
    bool inside = false;
    for (const QByteArray& raw : file.split('\n')) {
        QString line = QString::fromLatin1(raw);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1Char('['))) {
            inside = line == QLatin1Char('[') + section + QLatin1Char(']');
            continue;
        }
        if (inside && !line.isEmpty())
            lines << line;
    }
    return lines;
}

QStringList sectionNames(const QByteArray& file) {
    QStringList names;
    static const QRegularExpression header(QStringLiteral("^\\[(.*)\\]\\r?$"));
    for (const QByteArray& raw : file.split('\n')) {
        const auto match = header.match(QString::fromLatin1(raw));
        if (match.hasMatch())
            names << match.captured(1);
    }
    return names;
}

// What element k reports at discovery, as the lab starts it (tools/lab) with kCommonOptions.
QStringList discoveredRecord(int k) {
    const bool encoder = isEncoder(k);
    QString remote = elementAddress(encoder ? k + 1 : k - 1);
    QString tx = QStringLiteral("0");
    if (encoder && k == kElements) { // an encoder without a partner sends multicast
        remote = QStringLiteral("239.18.0.%1").arg(k);
        tx = QStringLiteral("1");
    }
    QStringList lines = {
        QStringLiteral("NAME=") +
            padded(QStringLiteral("LAB %1 %2")
                       .arg(encoder ? QStringLiteral("ENCODER") : QStringLiteral("DECODER"))
                       .arg(k)),
        QStringLiteral("IP=") + elementAddress(k),
        QStringLiteral("MASK=255.255.255.0"),
        QStringLiteral("GW=") + kStation,
        QStringLiteral("REMOTE=") + remote,
        QStringLiteral("INPUT=0"),
        QStringLiteral("TYPE=0"),
        QStringLiteral("TX=") + tx,
        QStringLiteral("ROLE=%1").arg(encoder ? 1 : 2),
        QStringLiteral("SN=%1").arg(1000 + k),
        QStringLiteral("VER=11.2"),
        QStringLiteral("SFN=1"),
        QStringLiteral("BUF=%1").arg(encoder ? 0 : 3),
    };
    if (!encoder)
        lines << QStringLiteral("ATT=240");
    return lines;
}

bool runIp(const QStringList& args, QString* output = nullptr) {
    QProcess ip;
    ip.start(QString::fromStdString(varnetix::lab::findIpTool()), args);
    if (!ip.waitForFinished(10000)) {
        ip.kill(); // our own child
        ip.waitForFinished(2000);
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(ip.readAllStandardOutput());
    return ip.exitStatus() == QProcess::NormalExit && ip.exitCode() == 0;
}

// The MAC address of element k's interface, in the station's colon form.
QString realMac(int k) {
    QString out;
    runIp({QStringLiteral("-n"), QString::fromStdString(elementNamespace(k)), QStringLiteral("-br"),
           QStringLiteral("link"), QStringLiteral("show"), QStringLiteral("dev"),
           QStringLiteral("eth0")},
          &out);
    const QStringList fields = out.simplified().split(QLatin1Char(' '));
    return fields.size() >= 3 ? fields.at(2).toUpper() : QString();
}

QString sectionOf(const QString& colonMac) {
    return QString(colonMac).remove(QLatin1Char(':'));
}

// One line of a simulator's log:
// "10:00:00.123 recv :2976 <- 198.18.0.1:2976 35 bytes configuration, now ... [c6 12 ...]"
struct LogLine {
    QTime time;
    QString direction;
    int localPort = 0;
    QString peer;
    int peerPort = 0;
    int bytes = 0;
    QString meaning;
    QString hex; // empty for datagrams longer than the log shows
};

QList<LogLine> readLog(int k) {
    QList<LogLine> lines;
    QFile file(QString::fromStdString(elementLog(k)));
    if (!file.open(QIODevice::ReadOnly))
        return lines;
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d) (\\w+) :(\\d+) (?:<-|->) "
                       "([\\d.]+):(\\d+) (\\d+) bytes "
                       "(.*?)(?: \\[([0-9a-f ]+)\\])?$"));
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const auto m = pattern.match(QString::fromLatin1(raw));
        if (!m.hasMatch())
            continue;
        lines.append({QTime::fromString(m.captured(1), QStringLiteral("HH:mm:ss.zzz")),
                      m.captured(2), m.captured(3).toInt(), m.captured(4), m.captured(5).toInt(),
                      m.captured(6).toInt(), m.captured(7), m.captured(8)});
    }
    return lines;
}

QList<LogLine> received(int k, int localPort, int bytes) {
    QList<LogLine> found;
    for (const LogLine& line : readLog(k)) {
        if (line.direction == QLatin1String("recv") && line.localPort == localPort &&
            line.bytes == bytes)
            found << line;
    }
    return found;
}

} // namespace

class E2eLab : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void discoveryStoresEveryElementUnderItsMac();
    void configurationRoundTrip();
    void differingAnswerIsReported();
    void attenuationCommand();
    void audioLevelPolling();
    void pingLiveElementAndGhost();
    void discoveryKeepsAnswersQueuedBeforeABadOne();
    void cleanupTestCase();

private:
    varnetix::WindowControls& c() { return m_window->controls(); }
    QByteArray database() const;
    void select(int k);
    void sendConfiguration();
    bool restartElement(int k, const QStringList& options);
    void waitForFeedbackHandled();

    QTemporaryDir m_dir;
    FakeDialogs m_dialogs;
    varnetix::LinuxMacResolver m_resolver;
    varnetix::LinuxEchoProbe m_probe;
    varnetix::StationSettings m_settings;
    std::unique_ptr<varnetix::SingleInstance> m_instance;
    std::unique_ptr<varnetix::MainWindow> m_window;
    QStringList m_macs; // [k - 1]: element k's MAC in colon form
};

QByteArray E2eLab::database() const {
    QFile file(QString::fromStdString(m_settings.databasePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void E2eLab::initTestCase() {
    QVERIFY(m_dir.isValid());
    for (int k = 1; k <= kElements; ++k) {
        const QString mac = realMac(k);
        QVERIFY2(mac.size() == 17, qPrintable(QStringLiteral("no MAC for element %1").arg(k)));
        m_macs << mac;
    }
    // The station's own settings, except where its database lives.
    m_settings.databasePath = m_dir.filePath(QStringLiteral("nms.ini")).toStdString();
    m_instance = std::make_unique<varnetix::SingleInstance>(m_dir.path(), m_dir.path());
    int exitCode = -1;
    m_window =
        varnetix::startStation(m_settings, m_dialogs, m_resolver, m_probe, *m_instance, exitCode);
    QVERIFY2(m_window, "the station did not start (port 2976 taken?)");
    QCOMPARE(m_window->udpClient().localPort(), quint16(2976));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_dialogs.boxes.clear();
}

void E2eLab::cleanupTestCase() {
    if (m_window)
        m_window->close();
    m_window.reset();
}

void E2eLab::waitForFeedbackHandled() {
    QTRY_VERIFY_WITH_TIMEOUT(m_window->feedback().idle(), 10000);
}

void E2eLab::select(int k) {
    // The tree has the focus when a node is clicked, so loading sends nothing.
    c().TreeView1->setFocus();
    const QString key = m_macs.at(k - 1);
    bool found = false;
    for (int i = 0; i < c().TreeView1->topLevelItemCount(); ++i)
        found = found || c().TreeView1->topLevelItem(i)->data(0, Qt::UserRole).toString() == key;
    QVERIFY2(found, qPrintable(QStringLiteral("element %1 is not in the tree").arg(k)));
    m_window->elementView().NodeClick(key);
    QCOMPARE(c().lblElementMAC->caption(), key);
}

void E2eLab::sendConfiguration() {
    m_dialogs.boxes.clear();
    m_dialogs.answers.enqueue(true);
    m_window->toolbarClicked(varnetix::kButtonSave);
    QVERIFY(c().timerRemoteSent->isActive());
}

bool E2eLab::restartElement(int k, const QStringList& options) {
    QProcess lab;
    lab.setProcessChannelMode(QProcess::ForwardedChannels);
    lab.start(QString::fromStdString(varnetix::lab::labScript()),
              QStringList{QStringLiteral("restart"), QString::number(k), QStringLiteral("--")} +
                  options);
    if (!lab.waitForFinished(30000)) {
        lab.kill(); // our own child
        lab.waitForFinished(2000);
        return false;
    }
    return lab.exitStatus() == QProcess::NormalExit && lab.exitCode() == 0;
}

void E2eLab::discoveryStoresEveryElementUnderItsMac() {
    QElapsedTimer clock;
    clock.start();
    m_dialogs.answers.enqueue(true);
    m_window->toolbarClicked(varnetix::kButtonDiscover); // returns when frmPaging has closed
    const qint64 waited = clock.elapsed();
    QVERIFY2(waited >= m_settings.pagingWaitMs - 50,
             qPrintable(QStringLiteral("the paging window closed after %1 ms").arg(waited)));
    QCOMPARE(m_window->linkState().AutoDiscoverAwaiting, false);

    QCOMPARE(m_dialogs.boxes.size(), 1); // the confirmation only: no MAC or feedback errors
    QCOMPARE(m_dialogs.boxes[0].icon, RecordedBox::Question);
    QCOMPARE(m_dialogs.boxes[0].title, QStringLiteral("Auto Discovery"));
    QCOMPARE(m_dialogs.boxes[0].text,
             QStringLiteral("Performing an 'Auto Discovery' will delete the local database in "
                            "your computer\rand create a new one, based on the Network Elements "
                            "found (if any). \rAre you sure?"));

    // Every element heard exactly one request, from the station's port 2976.
    for (int k = 1; k <= kElements; ++k) {
        const QList<LogLine> paging = received(k, 1901, 32);
        QCOMPARE(paging.size(), 1);
        QCOMPARE(paging[0].peer, kStation);
        QCOMPARE(paging[0].peerPort, 2976);
        QCOMPARE(paging[0].hex, kPagingHex);
    }

    const QByteArray file = database();
    QStringList expectedSections;
    for (const QString& mac : std::as_const(m_macs))
        expectedSections << sectionOf(mac);
    QStringList sections = sectionNames(file);
    sections.sort();
    expectedSections.sort();
    QCOMPARE(sections, expectedSections);
    for (int k = 1; k <= kElements; ++k) {
        // The lab gives each element a fixed, locally administered MAC ending in its address.
        QCOMPARE(
            m_macs[k - 1],
            QStringLiteral("02:76:78:00:00:%1").arg(10 + k, 2, 16, QLatin1Char('0')).toUpper());
        QCOMPARE(sectionLines(file, sectionOf(m_macs[k - 1])), discoveredRecord(k));
    }

    QCOMPARE(c().TreeView1->topLevelItemCount(), kElements);
    QCOMPARE(c().frmTreeView->title(), QStringLiteral("Select element: (%1 items)").arg(kElements));
    QCOMPARE(c().lstHidden->count(), kElements);
    QCOMPARE(c().cmbEncoders->count(), 1 + kElements / 2); // "<None>" and the encoders
    for (int i = 0; i < c().TreeView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* node = c().TreeView1->topLevelItem(i);
        const QString key = node->data(0, Qt::UserRole).toString();
        const int k = int(m_macs.indexOf(key)) + 1;
        QVERIFY2(k > 0, qPrintable(key));
        QCOMPARE(node->text(0),
                 QStringLiteral("LAB %1 %2 [%3]")
                     .arg(isEncoder(k) ? QStringLiteral("ENCODER") : QStringLiteral("DECODER"))
                     .arg(k)
                     .arg(key));
    }
}

void E2eLab::configurationRoundTrip() {
    select(1);
    QCOMPARE(c().lblElementType->caption(), QStringLiteral("ENCODER"));
    QCOMPARE(c().txtElementIP->text(), elementAddress(1));
    c().txtElementName->setText(QStringLiteral("studio a"));
    c().cmbAudioInput->setCurrentIndex(1); // Analog
    c().cmbAudioType->setCurrentIndex(1);  // MPX
    c().cmbAudioTX->setCurrentIndex(0);    // Unicast
    c().txtRemoteIP->setText(elementAddress(4));
    const qsizetype seenBefore = received(1, 2976, 35).size();

    sendConfiguration();
    QTRY_VERIFY_WITH_TIMEOUT(m_dialogs.boxes.size() >= 2, 8000);
    waitForFeedbackHandled();

    const QList<LogLine> packets = received(1, 2976, 35);
    QCOMPARE(packets.size(), seenBefore + 1);
    QCOMPARE(packets.last().peer, kStation);
    QCOMPARE(packets.last().peerPort, 2976);
    QCOMPARE(packets.last().hex,
             hexOf(QByteArray::fromHex("c612000b ffffff00 c6120001 c612000e 01 01 00") +
                   QByteArray("STUDIO A        ")));

    QCOMPARE(m_dialogs.boxes.size(), 2);
    QCOMPARE(m_dialogs.boxes[0].title, QStringLiteral("Send configuration"));
    QCOMPARE(m_dialogs.boxes[1].icon, RecordedBox::Information);
    QCOMPARE(m_dialogs.boxes[1].title, QStringLiteral("Configuration changed"));
    QCOMPARE(m_dialogs.boxes[1].text,
             QStringLiteral("New configuration has been sucessfuly saved and loaded!"));
    QVERIFY(!c().timerRemoteSent->isActive());

    QStringList expected = discoveredRecord(1);
    expected[0] = QStringLiteral("NAME=STUDIO A        ");
    expected[4] = QStringLiteral("REMOTE=") + elementAddress(4);
    expected[5] = QStringLiteral("INPUT=1");
    expected[6] = QStringLiteral("TYPE=1");
    QCOMPARE(sectionLines(database(), sectionOf(m_macs[0])), expected);
    QCOMPARE(c().lblSerialNumber->caption(), QStringLiteral("1001"));
    QCOMPARE(c().lblVersion->caption(), QStringLiteral("11.2"));
    QCOMPARE(c().lblElementType->caption(), QStringLiteral("ENCODER"));
    QCOMPARE(c().TreeView1->topLevelItemCount(), kElements); // rebuilt after the answer
}

void E2eLab::differingAnswerIsReported() {
    // Element 3 now keeps an address of its own (the one sent, last octet + 1). The panel asks
    // for the address just below its real one, so that the address it reports is its own
    // again and the station's ARP lookup finds it.
    QVERIFY(restartElement(3, {QStringLiteral("--fault-answer-differs"), QStringLiteral("ip")}));
    select(3);
    c().txtElementIP->setText(elementAddress(2));

    sendConfiguration();
    QTRY_VERIFY_WITH_TIMEOUT(m_dialogs.boxes.size() >= 2, 8000);
    waitForFeedbackHandled();

    // The packet went to the address the database holds, not to the one in the panel.
    const QList<LogLine> packets = received(3, 2976, 35);
    QCOMPARE(packets.size(), 1);
    QCOMPARE(packets[0].peer, kStation);
    QCOMPARE(packets[0].hex,
             hexOf(QByteArray::fromHex("c612000c ffffff00 c6120001 c612000e 00 00 00") +
                   QByteArray("LAB ENCODER 3   ")));

    QCOMPARE(m_dialogs.boxes.size(), 2); // no success message
    QCOMPARE(m_dialogs.boxes[1].icon, RecordedBox::Critical);
    QCOMPARE(m_dialogs.boxes[1].title, kAppTitle);
    QCOMPARE(m_dialogs.boxes[1].text,
             QStringLiteral("An error occured while saving 'Element IP':\rFeedback is corrupted."));
    // The other settings agreed and were written again; the address stays the stored one.
    QCOMPARE(sectionLines(database(), sectionOf(m_macs[2])), discoveredRecord(3));
}

void E2eLab::attenuationCommand() {
    QVERIFY(restartElement(3, {})); // element 3 as the lab made it, for what follows
    m_dialogs.boxes.clear();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    const qsizetype commandsBefore = received(2, 2977, 2).size();
    select(2);
    QCOMPARE(c().lblElementType->caption(), QStringLiteral("DECODER"));
    QCOMPARE(c().scrlAtten->value(), 240);
    QCOMPARE(c().lblAttenDB->text(), QStringLiteral("-7.5 dB"));

    // The operator takes the scroll bar: each new value goes to the decoder and the database.
    c().scrlAtten->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(c().scrlAtten));
    struct Step {
        int value;
        const char* hex;
        const char* readout;
    };
    const Step steps[] = {
        {200, "c8 00", "-27.5 dB"}, {14, "0e 00", "Mute"}, {255, "ff 00", "0 dB"}};
    qsizetype expectedCount = commandsBefore;
    for (const Step& step : steps) {
        c().scrlAtten->setValue(step.value);
        ++expectedCount;
        QTRY_COMPARE_WITH_TIMEOUT(received(2, 2977, 2).size(), expectedCount, 5000);
        const LogLine line = received(2, 2977, 2).last();
        QCOMPARE(line.peer, kStation);
        QCOMPARE(line.peerPort, 2976);
        QCOMPARE(line.hex, QLatin1String(step.hex));
        QCOMPARE(c().lblAttenDB->text(), QLatin1String(step.readout));
        QCOMPARE(sectionLines(database(), sectionOf(m_macs[1])).last(),
                 QStringLiteral("ATT=%1").arg(step.value));
    }
    QCOMPARE(received(2, 2977, 2).size(), commandsBefore + qsizetype(std::size(steps)));
    QCOMPARE(m_dialogs.texts(), QStringList());
}

void E2eLab::audioLevelPolling() {
    select(1);
    QVERIFY(c().button(varnetix::kButtonStartLevel)->isEnabled());
    const qsizetype requestsBefore = received(1, 2977, 3).size();
    m_window->toolbarClicked(varnetix::kButtonStartLevel);
    QVERIFY(c().tmrVolume->isActive());
    QCOMPARE(c().tmrVolume->interval(), m_settings.volumeMs);

    // The simulator's tone peaks at -6 dBFS: 2^23 * 10^(-6/20), rounded.
    const double peak = std::round(8388608.0 * std::pow(10.0, -6.0 / 20.0));
    QTRY_COMPARE_WITH_TIMEOUT(c().lblVolume->text(), QStringLiteral("-6dBFS"), 5000);
    QCOMPARE(c().VUMeter->levelWidth(), qRound(2100.0 * peak / 8388608.0));
    // A second of polling.
    QTRY_VERIFY_WITH_TIMEOUT(received(1, 2977, 3).size() >= requestsBefore + 20, 10000);
    m_window->toolbarClicked(varnetix::kButtonStopLevel);
    QCOMPARE(c().lblVolume->text(), QStringLiteral("-oodBFS"));
    QCOMPARE(c().VUMeter->levelWidth(), 0);

    const QList<LogLine> all = received(1, 2977, 3);
    const QList<LogLine> requests = all.mid(requestsBefore);
    for (const LogLine& request : requests) {
        QCOMPARE(request.hex, QStringLiteral("56 4f 4c"));
        QCOMPARE(request.peer, kStation);
        QCOMPARE(request.peerPort, 2976);
    }
    // The typical gap between two requests is the polling interval (the simulator's clock,
    // so the station's scheduling and the lab's delivery are in it).
    QList<int> gaps;
    for (qsizetype i = 1; i < requests.size(); ++i)
        gaps << int(requests[i - 1].time.msecsTo(requests[i].time));
    std::sort(gaps.begin(), gaps.end());
    const int median = gaps.at(gaps.size() / 2);
    QVERIFY2(median >= m_settings.volumeMs - 10 && median <= m_settings.volumeMs * 2,
             qPrintable(QStringLiteral("median gap %1 ms").arg(median)));

    int answers = 0;
    for (const LogLine& line : readLog(1)) {
        if (line.direction == QLatin1String("sent") && line.bytes == 1440) {
            QCOMPARE(line.meaning,
                     QStringLiteral("audio level -6dBFS (peak %1)").arg(qint64(peak)));
            ++answers;
        }
    }
    QVERIFY(answers >= 20);

    // Polling has stopped: at most a request already on its way arrives after the stop.
    const qsizetype atStop = received(1, 2977, 3).size();
    QVERIFY(!QTest::qWaitFor([&] { return received(1, 2977, 3).size() > atStop + 1; }, 500));
    QCOMPARE(m_dialogs.texts(), QStringList());
}

void E2eLab::pingLiveElementAndGhost() {
    select(1);
    QCOMPARE(c().lblPing->caption(), QStringLiteral("<Click to test>"));
    emit c().lblPing->clicked();
    static const QRegularExpression roundTrip(QStringLiteral("^\\d+ ms$"));
    QTRY_VERIFY2_WITH_TIMEOUT(roundTrip.match(c().lblPing->caption()).hasMatch(),
                              qPrintable(c().lblPing->caption()), 5000);
    QCOMPARE(c().shpPing->fillColor(), QColor(0, 255, 0));
    QVERIFY(!c().tmrRetryPing->isActive());

    // Nobody has the ghost's address: no ARP answer, no echo reply.
    c().txtElementIP->setText(kGhost);
    emit c().lblPing->clicked();
    QTRY_COMPARE_WITH_TIMEOUT(c().lblPing->caption(), QStringLiteral("Request Timed Out"), 5000);
    QCOMPARE(c().shpPing->fillColor(), QColor(255, 0, 0));
    QVERIFY(c().tmrRetryPing->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(c().lblPing->caption(), QStringLiteral("Retrying in 2 seconds..."),
                              5000);
    emit c().lblPing->clicked();
    QCOMPARE(c().lblPing->caption(), QStringLiteral("<Stopped>"));
    QVERIFY(!c().tmrRetryPing->isActive());
    QCOMPARE(m_dialogs.texts(), QStringList());
}

void E2eLab::discoveryKeepsAnswersQueuedBeforeABadOne() {
    // The elements know the station's MAC for good and the station knows none of theirs: every
    // answer then waits for the station's own ARP lookup, the answers of the burst queue up,
    // and a packet that fails its checks arrives behind them.
    QString stationLink;
    QVERIFY(runIp({QStringLiteral("-br"), QStringLiteral("link"), QStringLiteral("show"),
                   QStringLiteral("dev"), QStringLiteral("eth0")},
                  &stationLink));
    const QString stationMac = stationLink.simplified().split(QLatin1Char(' ')).value(2);
    for (int k = 1; k <= kElements; ++k) {
        QVERIFY(
            runIp({QStringLiteral("-n"), QString::fromStdString(elementNamespace(k)),
                   QStringLiteral("neigh"), QStringLiteral("replace"), kStation,
                   QStringLiteral("lladdr"), stationMac, QStringLiteral("nud"),
                   QStringLiteral("permanent"), QStringLiteral("dev"), QStringLiteral("eth0")}));
    }
    QVERIFY(runIp({QStringLiteral("neigh"), QStringLiteral("flush"), QStringLiteral("all")}));
    QByteArray zeroSerial = QByteArray::fromHex("c612000b ffffff00 c6120001 c612000c 00 00 00");
    zeroSerial += QByteArray(16, 'X') + QByteArray::fromHex("01 00000000");
    QCOMPARE(zeroSerial.size(), 40);
    QUdpSocket injector;
    const auto connection =
        connect(&m_window->discovery(), &varnetix::Discovery::windowShown, this, [&] {
            QTimer::singleShot(20, &injector, [&] {
                injector.writeDatagram(zeroSerial, QHostAddress(kStation), 2976);
            });
        });
    m_dialogs.boxes.clear();
    m_dialogs.answers.enqueue(true);
    m_window->toolbarClicked(varnetix::kButtonDiscover);
    disconnect(connection);

    QCOMPARE(m_dialogs.boxes.size(), 2);
    QCOMPARE(m_dialogs.boxes[0].title, QStringLiteral("Auto Discovery"));
    QCOMPARE(m_dialogs.boxes[1].icon, RecordedBox::Critical);
    QCOMPARE(m_dialogs.boxes[1].title, kAppTitle);
    QCOMPARE(m_dialogs.boxes[1].text,
             QStringLiteral("An error occured while retrieving 'Serial Number':\rFeedback is "
                            "corrupted."));
    // Every element's answer is stored, also those still waiting when the bad one came.
    QStringList sections = sectionNames(database());
    sections.sort();
    QStringList expected;
    for (const QString& mac : std::as_const(m_macs))
        expected << sectionOf(mac);
    expected.sort();
    QCOMPARE(sections, expected);
    QCOMPARE(c().TreeView1->topLevelItemCount(), kElements);
}

int main(int argc, char** argv) {
    if (!varnetix::lab::insideLab()) {
        varnetix::lab::LabPlan plan;
        plan.elements = kElements;
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
