// The discovery run: the confirmation, the paging request on the wire, the replaced database,
// the answers stored while the window waits, and the end of the run however it comes.
#include "core/feedback_packet.h"
#include "station/discovery.h"
#include "station/feedback_handler.h"
#include "station_fixture.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using varnetix::Discovery;
using varnetix::FeedbackRecord;
using varnetix::PagingWindow;

namespace {

const QByteArray kOldDatabase = "[0000000000AA]\r\nNAME=OLD\r\nIP=127.0.0.1\r\nMASK=255.0.0.0\r\n"
                                "GW=127.0.0.1\r\nREMOTE=239.1.1.1\r\nINPUT=0\r\nTYPE=0\r\nTX=0\r\n"
                                "ROLE=1\r\nSN=1\r\nVER=2\r\nSFN=0\r\nBUF=0\r\n";

const QString kQuestion =
    u"Performing an 'Auto Discovery' will delete the local database in your computer\r"
    "and create a new one, based on the Network Elements found (if any). \r"
    "Are you sure?"_s;
const QString kEmptyDatabase =
    u"Local database is empty.\rPlease click the 'Auto Discover' icon to probe the network."_s;

FeedbackRecord northDecoder() {
    FeedbackRecord r = studioEncoder();
    r.ElementIP = "192.168.1.30";
    r.ElementName = "NORTH";
    r.ElementRole = 2;
    r.SerialNumber = 7;
    r.Attenuation = 240;
    r.SfnOption = 0;
    r.BufferSize = 3;
    return r;
}

const QByteArray kBothStored =
    "[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\nMASK=255.255.255.0\r\n"
    "GW=192.168.1.1\r\nREMOTE=192.168.1.20\r\nINPUT=1\r\nTYPE=0\r\nTX=0\r\nROLE=1\r\nSN=12345\r\n"
    "VER=2.1\r\nSFN=1\r\nBUF=5\r\n"
    "[001A2B3C4D60]\r\nNAME=NORTH           \r\nIP=192.168.1.30\r\nMASK=255.255.255.0\r\n"
    "GW=192.168.1.1\r\nREMOTE=192.168.1.20\r\nINPUT=1\r\nTYPE=0\r\nTX=0\r\nROLE=2\r\nSN=7\r\n"
    "VER=2.3\r\nSFN=0\r\nBUF=3\r\nATT=240\r\n";

} // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void answeringNoChangesNothing();
    void runReplacesTheDatabaseWithTheAnswers();
    void runWithoutPreviousDatabase();
    void runWithoutAnswersLeavesAnEmptyDatabase();
    void closingTheWindowEndsTheRun();
    void failedRequestIsReportedAndTheRunEnds();

private:
    void runDiscovery() {
        m_s->dialogs.answers.enqueue(true);
        m_s->window->toolbarClicked(varnetix::kButtonDiscover);
    }
    QString backupPath() const { return m_s->databasePath() + u".bak"_s; }
    QByteArray backup() const {
        QFile file(backupPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<Station> m_s;
    std::unique_ptr<QUdpSocket> m_pagingPeer; // every element's paging port
    QList<QNetworkDatagram> m_requests;
    QList<QByteArray> m_answers; // sent back to each request
};

void TestDiscovery::init() {
    m_s = std::make_unique<Station>();
    m_s->resolver.macs["192.168.1.10"] = "00:1A:2B:3C:4D:5E";
    m_s->resolver.macs["192.168.1.30"] = "00:1A:2B:3C:4D:60";
    m_requests.clear();
    m_answers.clear();
    m_pagingPeer = std::make_unique<QUdpSocket>();
    QVERIFY(m_pagingPeer->bind(QHostAddress::LocalHost, 0));
    m_s->settings.pagingPort = m_pagingPeer->localPort();
    connect(m_pagingPeer.get(), &QUdpSocket::readyRead, this, [this] {
        while (m_pagingPeer->hasPendingDatagrams()) {
            const QNetworkDatagram request = m_pagingPeer->receiveDatagram();
            m_requests << request;
            for (const QByteArray& answer : std::as_const(m_answers))
                m_pagingPeer->writeDatagram(answer, request.senderAddress(), request.senderPort());
        }
    });
}

void TestDiscovery::cleanup() {
    m_pagingPeer.reset();
    m_s.reset();
}

void TestDiscovery::answeringNoChangesNothing() {
    m_s->writeDatabase(kOldDatabase);
    m_s->start();
    QVERIFY(m_s->selectNode(u"00:00:00:00:00:AA"_s));
    auto& c = m_s->c();
    m_s->window->toolbarClicked(varnetix::kButtonDiscover);

    QCOMPARE(m_s->dialogs.boxes.size(), 1);
    const RecordedBox box = m_s->dialogs.boxes.first();
    QCOMPARE(box.icon, RecordedBox::Question);
    QCOMPARE(box.title, u"Auto Discovery"_s);
    QCOMPARE(box.text, kQuestion);
    QCOMPARE(m_s->database(), kOldDatabase);
    QVERIFY(!QFile::exists(backupPath()));
    QCOMPARE(c.TreeView1->topLevelItemCount(), 1);
    QCOMPARE(c.lblElementMAC->caption(), u"00:00:00:00:00:AA"_s);
    QCOMPARE(c.txtElementName->text(), u"OLD"_s);
    QVERIFY(!m_s->window->linkState().AutoDiscoverAwaiting);

    // A run that follows sends the only request the elements ever see.
    m_s->settings.pagingWaitMs = 50;
    runDiscovery();
    QTRY_VERIFY(!m_requests.isEmpty());
    QCOMPARE(m_requests.size(), 1);
}

void TestDiscovery::runReplacesTheDatabaseWithTheAnswers() {
    m_s->settings.pagingWaitMs = 1000;
    m_s->writeDatabase(kOldDatabase);
    m_s->start();
    auto& c = m_s->c();
    QVERIFY(m_s->selectNode(u"00:00:00:00:00:AA"_s));
    c.Slider1->setValue(1000);
    m_s->window->toolbarClicked(varnetix::kButtonStartLevel);
    QVERIFY(c.tmrVolume->isActive());
    m_answers = {packet(studioEncoder(), 44, 2, 1), packet(northDecoder(), 45, 2, 3)};

    struct AtStart {
        bool shown = false, awaiting = false, volumeOn = true, dbExists = false;
        QByteArray db = "x", backup;
        int nodes = -1, sections = -1, meter = -1;
        QString mac, title, label;
        QStringList encoders;
    } atStart;
    connect(&m_s->window->discovery(), &Discovery::windowShown, this, [&](PagingWindow* window) {
        atStart.shown = true;
        atStart.awaiting = m_s->window->linkState().AutoDiscoverAwaiting;
        atStart.volumeOn = c.chkGetVolume->isChecked() || c.tmrVolume->isActive();
        atStart.dbExists = QFile::exists(m_s->databasePath());
        atStart.db = m_s->database();
        atStart.backup = backup();
        atStart.nodes = c.TreeView1->topLevelItemCount();
        atStart.sections = c.lstHidden->count();
        atStart.meter = c.VUMeter->levelWidth();
        atStart.mac = c.lblElementMAC->caption();
        atStart.title = window->windowTitle();
        atStart.label = window->Label1->text();
        for (int i = 0; i < c.cmbEncoders->count(); ++i)
            atStart.encoders << c.cmbEncoders->itemText(i);
    });
    QList<bool> awaitingWhenHandled;
    connect(&m_s->window->feedback(), &varnetix::FeedbackHandler::packetFinished, this,
            [&] { awaitingWhenHandled << m_s->window->linkState().AutoDiscoverAwaiting; });

    runDiscovery();

    QVERIFY(atStart.shown);
    QVERIFY(atStart.awaiting);
    QVERIFY(!atStart.volumeOn);
    QVERIFY(atStart.dbExists);
    QCOMPARE(atStart.db, QByteArray());
    QCOMPARE(atStart.backup, kOldDatabase);
    QCOMPARE(atStart.nodes, 0);
    QCOMPARE(atStart.sections, 0);
    QCOMPARE(atStart.meter, 0);
    QCOMPARE(atStart.mac, u"-"_s);
    QCOMPARE(atStart.title, u"Paging network..."_s);
    QCOMPARE(atStart.label, u"Please wait a few seconds while paging the network..."_s);
    QCOMPARE(atStart.encoders, QStringList{u"<None>"_s});

    QCOMPARE(m_requests.size(), 1);
    QCOMPARE(m_requests.first().data(), QByteArray("IPMPXSTL HALVOREN PAGING REQUEST"));
    QCOMPARE(m_requests.first().senderPort(), int(m_s->stationPort()));
    QCOMPARE(awaitingWhenHandled, (QList<bool>{true, true}));

    QVERIFY(!m_s->window->linkState().AutoDiscoverAwaiting);
    QCOMPARE(m_s->dialogs.boxes.size(), 1); // the question only
    QCOMPARE(m_s->database(), kBothStored);
    QCOMPARE(backup(), kOldDatabase);
    QCOMPARE(c.TreeView1->topLevelItemCount(), 2);
    QCOMPARE(c.lstHidden->count(), 2);
    QVERIFY(!c.tmrVolume->isActive());
}

void TestDiscovery::runWithoutPreviousDatabase() {
    m_s->start();
    m_answers = {packet(studioEncoder(), 44, 2, 1)};
    runDiscovery();
    QVERIFY(!QFile::exists(backupPath()));
    QVERIFY(m_s->database().startsWith("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\n"));
    QCOMPARE(m_s->c().TreeView1->topLevelItemCount(), 1);
}

void TestDiscovery::runWithoutAnswersLeavesAnEmptyDatabase() {
    m_s->writeDatabase(kOldDatabase);
    m_s->start();
    runDiscovery();

    QCOMPARE(m_requests.size(), 1);
    QVERIFY(!m_s->window->linkState().AutoDiscoverAwaiting);
    QCOMPARE(m_s->dialogs.boxes.size(), 2);
    QCOMPARE(m_s->dialogs.boxes.last().icon, RecordedBox::Information);
    QCOMPARE(m_s->dialogs.boxes.last().text, kEmptyDatabase);
    QVERIFY(QFile::exists(m_s->databasePath()));
    QCOMPARE(m_s->database(), QByteArray());
    QCOMPARE(backup(), kOldDatabase);
    QCOMPARE(m_s->c().TreeView1->topLevelItemCount(), 0);

    // An answer after the run is a configuration answer.
    m_s->dialogs.boxes.clear();
    QSignalSpy finished(&m_s->window->feedback(), &varnetix::FeedbackHandler::packetFinished);
    m_s->sendToStation(packet(studioEncoder(), 44, 2, 1));
    QVERIFY(finished.wait());
    // Nothing is selected, so no element can be the one that answers.
    QCOMPARE(m_s->dialogs.texts().first(),
             u"The response received does not match the selected element.\r"
             "Cannot save this element info."_s);
    QCOMPARE(m_s->database(), QByteArray());
}

void TestDiscovery::closingTheWindowEndsTheRun() {
    m_s->settings.pagingWaitMs = 60000;
    m_s->writeDatabase(kOldDatabase);
    m_s->start();
    bool visible = false;
    connect(&m_s->window->discovery(), &Discovery::windowShown, this, [&](PagingWindow* window) {
        QTimer::singleShot(0, window, [window, &visible] {
            visible = window->isVisible();
            window->close();
        });
    });
    QElapsedTimer elapsed;
    elapsed.start();
    runDiscovery();
    QVERIFY(elapsed.elapsed() < 30000);
    QVERIFY(visible);
    QVERIFY(!m_s->window->linkState().AutoDiscoverAwaiting);
    QCOMPARE(m_s->dialogs.texts().last(), kEmptyDatabase);

    // The window's timer is gone with it: a later answer is a configuration answer.
    QSignalSpy finished(&m_s->window->feedback(), &varnetix::FeedbackHandler::packetFinished);
    m_s->sendToStation(packet(studioEncoder(), 44, 2, 1));
    QVERIFY(finished.wait());
    QCOMPARE(m_s->database(), QByteArray());
}

void TestDiscovery::failedRequestIsReportedAndTheRunEnds() {
    m_s->settings.pagingDestination = "not an address";
    m_s->writeDatabase(kOldDatabase);
    m_s->start();
    runDiscovery();
    QCOMPARE(m_s->dialogs.boxes.size(), 3);
    const RecordedBox box = m_s->dialogs.boxes.at(1);
    QCOMPARE(box.icon, RecordedBox::Critical);
    QCOMPARE(box.title, u"Halvoren Varnetix Manager"_s);
    QCOMPARE(box.text, u"Unable to send the paging request.\rNo Network Element can answer it."_s);
    QCOMPARE(m_s->dialogs.boxes.at(2).text, kEmptyDatabase);
    QVERIFY(!m_s->window->linkState().AutoDiscoverAwaiting);
    QCOMPARE(m_s->database(), QByteArray());
    QVERIFY(m_requests.isEmpty());
}

QTEST_MAIN(TestDiscovery)
#include "test_discovery.moc"
