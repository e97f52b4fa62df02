// The element tree and what fills it: the tree built from hand-written databases (the
// empty-database boxes, node order, texts and pictures, the encoders list, the caption, the
// refresh command); the discovery run (the question, the paging request on the wire, the database
// replaced by the answers, the old one kept as a dated backup, and the end of the run however it
// comes); and the routing of received datagrams by their length.
#include "station_fixture.h"

#include "ui/pictures.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kThree = recordText("00000000000D", {"NAME=D1", "ROLE=2"}) +
                          recordText("001A2B3C4D5E", {"NAME=CORE-ENC1", "ROLE=1"}) +
                          recordText("0000000000D2", {"NAME=D2", "ROLE=0"});

const QString kOldKey = u"00:00:00:00:00:AA"_s;
const QByteArray kOld = recordText("0000000000AA", replaced(kEncoderEntries, {"NAME=OLD"}));
const RecordedBox kQuestion = {
    RecordedBox::Question, u"Auto Discovery"_s,
    u"Performing an 'Auto Discovery' will delete the local database in your computer\r"
    u"and create a new one, based on the Network Elements found (if any). \rAre you sure?"_s};
const RecordedBox kEmptyDatabase = emptyDatabaseBox(false);

} // namespace

class TestElementTree : public QObject {
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
    void emptyDatabase_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << false << QByteArray();
        QTest::newRow("empty file") << true << QByteArray();
        QTest::newRow("comments, stray lines") << true << "; nms\r\n\r\nstray=1\r\n"_ba;
    }
    void emptyDatabase() {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        m_s->start(kThree);
        exists ? m_s->writeDatabase(content) : void(QFile::remove(m_s->databasePath()));
        m_s->button(2)->trigger();
        QCOMPARE(m_s->dialogs.boxes, QList{emptyDatabaseBox(!exists)});
        QCOMPARE(tree(), (QStringList{u"Select element: (0 items)"_s, u"<None>"_s}));
        QCOMPARE(QFile::exists(m_s->databasePath()), exists);
        QCOMPARE(m_s->database(), content);
    }

    void nodesInFileOrderAndRefresh() {
        m_s->start(kThree);
        const QStringList three = {u"Select element: (3 items)"_s,
                                   u"<None>|CORE-ENC1 [00:1A:2B:3C:4D:5E]"_s,
                                   u"00:00:00:00:00:0D D1 [00:00:00:00:00:0D] decoder"_s,
                                   u"00:1A:2B:3C:4D:5E CORE-ENC1 [00:1A:2B:3C:4D:5E] encoder"_s,
                                   u"00:00:00:00:00:D2 D2 [00:00:00:00:00:D2] decoder"_s};
        QCOMPARE(tree(), three);
        QVERIFY(!m_s->tree()->currentIndex().isValid());
        m_s->button(2)->trigger();
        QCOMPARE(tree(), three); // the same again, not doubled

        // Another program changes the database; the refresh shows it.
        QVERIFY(m_s->selectNode(u"00:1A:2B:3C:4D:5E"_s));
        const QByteArray changed = recordText("0000000000E2", {"NAME=NEW-ENC", "ROLE=1"}) +
                                   recordText("00000000000D", {"NAME=D1", "ROLE=2"});
        m_s->writeDatabase(changed);
        m_s->button(2)->trigger();
        QCOMPARE(tree(), (QStringList{u"Select element: (2 items)"_s,
                                      u"<None>|NEW-ENC [00:00:00:00:00:E2]"_s,
                                      u"00:00:00:00:00:E2 NEW-ENC [00:00:00:00:00:E2] encoder"_s,
                                      u"00:00:00:00:00:0D D1 [00:00:00:00:00:0D] decoder"_s}));
        QVERIFY(!m_s->tree()->selectionModel()->hasSelection() && m_s->dialogs.boxes.isEmpty());
        QCOMPARE(m_s->database(), changed);
    }

    void routeByLength_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("route");
        for (int length : {0, 1, 40, 45})
            QTest::addRow("%d bytes", length) << length << u"feedback"_s;
        for (int length : {3, 46, 1439, 1441})
            QTest::addRow("%d bytes", length) << length << u"dropped"_s;
        QTest::newRow("1440 bytes") << 1440 << u"level"_s;
    }
    void routeByLength() {
        QFETCH(int, length);
        QFETCH(QString, route);
        // The display runs for an element at 127.0.0.1, where the datagrams come from.
        m_s->start(sampleDatabase());
        m_s->selectNode(kEncoderKey);
        m_s->button(6)->trigger();
        QCOMPARE(Station::receive(m_s->commandPeer).data(), QByteArray("VOL"));
        QSignalSpy handled(m_s->feedback(), &varnetix::FeedbackHandler::packetFinished);
        QByteArray datagram(length, '\0');
        if (length > 0)
            datagram[0] = '\x40'; // as audio samples: a peak at half of full scale
        m_s->sendToStation(datagram);
        m_s->sendToStation({}); // behind it: it has been dispatched once this is handled
        QTRY_COMPARE(handled.count(), route == u"feedback" ? 2 : 1);
        QCOMPARE(m_s->text("lblVolume"), route == u"level" ? u"-6dBFS"_s : u"-oodBFS"_s);
        QVERIFY(route == u"feedback" || m_s->dialogs.boxes.isEmpty());
    }

    void backToBackDatagramsArriveWhole() {
        m_s->start();
        QSignalSpy arrived(m_s->find<varnetix::UdpEndpoint>("udpClient"),
                           &varnetix::UdpEndpoint::datagramReceived);
        QList<QByteArray> sent;
        QUdpSocket sender;
        for (int size : {45, 1440, 0, 3, 1441, 1, 65507}) {
            sent << QByteArray(size, '\0');
            for (int i = 0; i < size; ++i)
                sent.last()[i] = char((i * 7 + size) & 0xFF);
            sender.writeDatagram(sent.last(), QHostAddress::LocalHost, m_s->stationPort());
        }
        QTRY_COMPARE(arrived.count(), sent.size());
        for (int i = 0; i < sent.size(); ++i)
            QCOMPARE(arrived[i][0].toByteArray(), sent[i]);
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
        // Each element answers twice.
        m_answers = {packet(studioEncoder(), 44, 2, 1), packet(north, 45, 2, 3)};
        m_answers += m_answers;
        auto* run = m_s->station->findChild<varnetix::Discovery*>();
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
        QCOMPARE(awaitingWhenHandled, QList<bool>(4, true));
        QCOMPARE(readFile(m_s->databasePath() + u".answers"_s),
                 QByteArray("192.168.1.10\t12345\t1\n192.168.1.30\t7\t2\n"));
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
        for (const QString& end :
             {u"wait over"_s, u"window closed"_s, u"request failed"_s, u"MAC never found"_s})
            QTest::newRow(qPrintable(end)) << end;
    }
    void runWithoutAnswers() {
        QFETCH(QString, end);
        const bool closed = end == u"window closed", failed = end == u"request failed";
        // The answer's lookup is given up after the run: nothing was stored late.
        varnetix::FeedbackRecord unknown = studioEncoder();
        unknown.ElementIP = "10.9.9.9";
        if (end == u"MAC never found")
            m_answers = {packet(unknown)}, m_s->settings.macBudgetMs = 800;
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
        QTRY_VERIFY(m_s->feedback()->idle());
        QCOMPARE(shown, closed);
        QList boxes = {kQuestion, kEmptyDatabase};
        if (!m_answers.isEmpty())
            boxes << critical(u"An error occured while retrieving 'Element MAC':\rFeedback is "
                              u"corrupted."_s);
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
    // The nodes, each as its key, text and picture, and the caption and encoders list with them.
    QStringList tree() const {
        const auto image = [](const QIcon& icon) { return icon.pixmap(16).toImage(); };
        QStringList all = {m_s->text("frmTreeView"), m_s->items("cmbEncoders").join(u'|')};
        for (int i = 0; i < m_s->rows(); ++i) {
            const QModelIndex node = m_s->row(i);
            const QImage shown = image(node.data(Qt::DecorationRole).value<QIcon>());
            all << node.data(Qt::UserRole).toString() + u' ' + node.data().toString() +
                       (shown == image(varnetix::picture(varnetix::kPictureEncoder)) ? u" encoder"_s
                        : shown == image(varnetix::picture(varnetix::kPictureDecoder))
                            ? u" decoder"_s
                            : u""_s);
        }
        return all;
    }
    // Whether a run waits, whether the level display runs, the database (whether it exists,
    // its content, its backup), the tree's nodes and the selected element.
    QVariantList state() const {
        // The newest of the dated backups a run leaves beside the database.
        const auto backups = varnetix::listDatabaseBackups(m_s->settings.databasePath);
        return {m_s->station->findChild<varnetix::Discovery*>()->awaitingAnswers(),
                m_s->timer("tmrVolume")->isActive(),
                QFile::exists(m_s->databasePath()),
                m_s->database(),
                readFile(QString::fromStdString(backups.empty() ? "" : backups.front())),
                m_s->rows(),
                m_s->text("lblElementMAC")};
    }

    std::unique_ptr<Station> m_s;
    QUdpSocket m_pagingPeer; // every element's paging port
    QList<QNetworkDatagram> m_requests;
    QList<QByteArray> m_answers; // sent back to each request
};

QTEST_MAIN(TestElementTree)
#include "test_element_tree.moc"
