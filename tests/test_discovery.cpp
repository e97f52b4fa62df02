// The discovery run: the question, the paging request on the wire, the database replaced by the
// answers (the old one kept as nms.ini.bak), and the end of the run however it comes.
#include "core/database_backup.h"
#include "station_fixture.h"

#include <QtTest>

#include "ui/indicator_widgets.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kOldKey = u"00:00:00:00:00:AA"_s;
const QByteArray kOld = recordText("0000000000AA", replaced(kEncoderEntries, {"NAME=OLD"}));
const RecordedBox kQuestion = {
    RecordedBox::Question, u"Auto Discovery"_s,
    u"Performing an 'Auto Discovery' will delete the local database in your computer\r"
    u"and create a new one, based on the Network Elements found (if any). \rAre you sure?"_s};
const RecordedBox kEmptyDatabase = emptyDatabaseBox(false);

} // namespace

class TestDiscovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_pagingPeer.bind(QHostAddress::LocalHost, 0));
        connect(&m_pagingPeer, &QUdpSocket::readyRead, this, [this] {
            while (m_pagingPeer.hasPendingDatagrams()) {
                m_requests << m_pagingPeer.receiveDatagram();
                for (const QByteArray& answer : std::as_const(m_answers))
                    m_pagingPeer.writeDatagram(answer, m_requests.last().senderAddress(),
                                               quint16(m_requests.last().senderPort()));
            }
        });
    }
    void init() {
        m_s = std::make_unique<Station>();
        m_s->resolver.macs["192.168.1.10"] = "00:1A:2B:3C:4D:5E";
        m_s->resolver.macs["192.168.1.30"] = "00:1A:2B:3C:4D:60";
        m_s->settings.pagingPort = m_pagingPeer.localPort();
        m_requests.clear();
        m_answers.clear();
    }
    void answeredNoThenARunReplacesTheDatabase() {
        m_s->settings.pagingWaitMs = 1000;
        m_s->start(kOld);
        QVERIFY(m_s->selectNode(kOldKey));
        m_s->button(6)->trigger(); // the level display runs
        const QVariantList before = {false, true, true, kOld, QByteArray(), 1, kOldKey};
        QCOMPARE(state(), before);
        m_s->button(1)->trigger(); // answered No
        QCOMPARE(m_s->dialogs.boxes, QList{kQuestion});
        QCOMPARE(state(), before);
        QCOMPARE(m_s->text("txtElementName"), u"OLD"_s);

        varnetix::FeedbackRecord north = studioEncoder();
        north.ElementIP = "192.168.1.30", north.ElementName = "NORTH", north.ElementRole = 2;
        north.SerialNumber = 7, north.Attenuation = 240, north.SfnOption = 0, north.BufferSize = 3;
        m_answers = {packet(studioEncoder(), 44, 2, 1), packet(north, 45, 2, 3)};
        auto* run = m_s->window->findChild<varnetix::Discovery*>();
        QVariantList atStart;
        connect(run, &varnetix::Discovery::runStarted, this, [&] {
            atStart = state() << m_s->find<varnetix::LevelBar>("VUMeter")->levelWidth()
                              << m_s->find<QComboBox>("cmbEncoders")->count();
        });
        QList<bool> awaitingWhenHandled;
        connect(m_s->feedback(), &varnetix::FeedbackHandler::packetFinished, this,
                [&] { awaitingWhenHandled << run->awaitingAnswers(); });
        m_s->discover();

        QCOMPARE(atStart, (QVariantList{true, false, true, QByteArray(), kOld, 0, u"-"_s, 0, 1}));
        QCOMPARE(m_requests.size(), 1); // none for the No
        QCOMPARE(m_requests[0].data(), QByteArray("IPMPXSTL HALVOREN PAGING REQUEST"));
        QCOMPARE(m_requests[0].senderPort(), int(m_s->stationPort()));
        QCOMPARE(awaitingWhenHandled, (QList<bool>{true, true}));
        QCOMPARE(m_s->dialogs.boxes, (QList{kQuestion, kQuestion}));
        const QByteArray both =
            recordText("001A2B3C4D5E", kStudioEntries) +
            recordText(
                "001A2B3C4D60",
                replaced(kStudioEntries, {"NAME=NORTH           ", "IP=192.168.1.30", "ROLE=2",
                                          "SN=7", "VER=2.3", "SFN=0", "BUF=3", "ATT=240"}));
        QCOMPARE(state(), (QVariantList{false, false, true, both, kOld, 2, u"-"_s}));
    }
    void runWithoutPreviousDatabase() {
        m_s->start();
        m_answers = {packet(studioEncoder(), 44, 2, 1)};
        m_s->discover();
        QCOMPARE(state(),
                 (QVariantList{false, false, true, recordText("001A2B3C4D5E", kStudioEntries),
                               QByteArray(), 1, u"-"_s}));
    }
    void runWithoutAnswers_data() {
        QTest::addColumn<QString>("end");
        for (const QString& end : {u"wait over"_s, u"window closed"_s, u"request failed"_s})
            QTest::newRow(qPrintable(end)) << end;
    }
    void runWithoutAnswers() {
        QFETCH(QString, end);
        const bool closed = end == u"window closed", failed = end == u"request failed";
        if (closed)
            m_s->settings.pagingWaitMs = 60000;
        if (failed)
            m_s->settings.pagingDestination = "not an address";
        m_s->start(kOld);
        bool shown = false;
        if (closed)
            m_s->discover([&] { shown = m_s->find<QDialog>("frmPaging")->isVisible(); });
        else
            m_s->discover();
        QCOMPARE(shown, closed);
        QList boxes = {kQuestion, kEmptyDatabase};
        if (failed)
            boxes.insert(1, critical(u"Unable to send the paging request.\rNo Network Element can "
                                     u"answer it."_s));
        QCOMPARE(m_s->dialogs.boxes, boxes);
        QCOMPARE(m_requests.size(), failed ? 0 : 1);
        QCOMPARE(state(), (QVariantList{false, false, true, QByteArray(), kOld, 0, u"-"_s}));

        // An answer after the run is a configuration answer, and nothing is selected.
        m_s->dialogs.boxes.clear();
        QVERIFY(m_s->deliver(packet(studioEncoder())));
        QCOMPARE(m_s->dialogs.texts(), (QStringList{kMismatch, kEmptyDatabase.text}));
        QCOMPARE(m_s->database(), QByteArray());
    }

private:
    // Whether a run waits, whether the level display runs, the database (whether it exists,
    // its content, its backup), the tree's nodes and the selected element.
    QVariantList state() const {
        // The newest of the dated backups a run leaves beside the database.
        const auto backups = varnetix::listDatabaseBackups(m_s->settings.databasePath);
        return {m_s->window->findChild<varnetix::Discovery*>()->awaitingAnswers(),
                m_s->timer("tmrVolume")->isActive(),
                QFile::exists(m_s->databasePath()),
                m_s->database(),
                readFile(QString::fromStdString(backups.empty() ? "" : backups.front())),
                m_s->tree()->topLevelItemCount(),
                m_s->text("lblElementMAC")};
    }

    std::unique_ptr<Station> m_s;
    QUdpSocket m_pagingPeer; // every element's paging port
    QList<QNetworkDatagram> m_requests;
    QList<QByteArray> m_answers; // sent back to each request
};

QTEST_MAIN(TestDiscovery)
#include "test_discovery.moc"
