// The element tree built from hand-written databases (the empty-database boxes, node order,
// texts and pictures, the encoders list, the caption, the refresh command), and the routing of
// received datagrams by their length.
#include "station_fixture.h"

#include <QtTest>

#include "ui/pictures.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kThree = recordText("00000000000D", {"NAME=D1", "ROLE=2"}) +
                          recordText("001A2B3C4D5E", {"NAME=CORE-ENC1", "ROLE=1"}) +
                          recordText("0000000000D2", {"NAME=D2", "ROLE=0"});

} // namespace

class TestTreeAndDispatch : public QObject {
    Q_OBJECT

    std::unique_ptr<Station> m_s;

    // The nodes, each as its key, text and picture, and the caption and encoders list with them.
    QStringList tree() const {
        const auto image = [](const QIcon& icon) { return icon.pixmap(16).toImage(); };
        QStringList all = {m_s->text("frmTreeView"), m_s->items("cmbEncoders").join(u'|')};
        for (int i = 0; i < m_s->tree()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* node = m_s->tree()->topLevelItem(i);
            const QImage shown = image(node->icon(0));
            all << node->data(0, Qt::UserRole).toString() + u' ' + node->text(0) +
                       (shown == image(varnetix::picture(varnetix::kPictureEncoder)) ? u" encoder"_s
                        : shown == image(varnetix::picture(varnetix::kPictureDecoder))
                            ? u" decoder"_s
                            : u""_s);
        }
        return all;
    }

private slots:
    void init() { m_s = std::make_unique<Station>(); }

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
        QCOMPARE(m_s->tree()->currentItem(), nullptr);
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
        QVERIFY(m_s->tree()->selectedItems().isEmpty() && m_s->dialogs.boxes.isEmpty());
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
        m_s->start();
        m_s->timer("tmrVolume")->start(24 * 3600 * 1000); // the display runs; no request leaves
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
                           &varnetix::UdpEndpoint::DataArrival);
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
};

QTEST_MAIN(TestTreeAndDispatch)
#include "test_tree_and_dispatch.moc"
