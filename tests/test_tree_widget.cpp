// The element tree of the window built from hand-written databases: the empty-database boxes,
// node order, texts and pictures, the encoders list, the caption, and the refresh command.
#include "station/element_tree_controller.h"
#include "station_fixture.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kThreeElements = "[00000000000D]\r\nNAME=D1\r\nIP=127.0.0.1\r\nROLE=2\r\n"
                                  "[001A2B3C4D5E]\r\nNAME=CORE-ENC1\r\nIP=127.0.0.1\r\nROLE=1\r\n"
                                  "[0000000000D2]\r\nNAME=D2\r\nIP=127.0.0.1\r\nROLE=0\r\n";

struct Node {
    QString key;
    QString text;
    qint64 picture;
    bool operator==(const Node&) const = default;
};

} // namespace

class TestTreeWidget : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_station.reset(); }

    void missingDatabase();
    void databaseWithoutSections_data();
    void databaseWithoutSections();
    void nodesInFileOrderWithPictures();
    void rebuildGivesTheSameTreeAndLeavesThePanel();
    void pictureFollowsTheRole_data();
    void pictureFollowsTheRole();
    void sectionsThatAreNoRecordsStillShow();
    void refreshShowsTheChangedDatabase();

private:
    varnetix::WindowControls& c() { return m_station->c(); }
    void loadConfig() { m_station->window->tree().Load_Config(); }
    qint64 encoderPicture() { return c().picture(varnetix::kPictureEncoder).cacheKey(); }
    qint64 decoderPicture() { return c().picture(varnetix::kPictureDecoder).cacheKey(); }
    QList<Node> nodes();
    QStringList encoders();
    QStringList hiddenSections();

    std::unique_ptr<Station> m_station;
};

void TestTreeWidget::init() {
    m_station = std::make_unique<Station>();
    m_station->start();
    QVERIFY(encoderPicture() != decoderPicture());
}

QList<Node> TestTreeWidget::nodes() {
    QList<Node> all;
    for (int i = 0; i < c().TreeView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = c().TreeView1->topLevelItem(i);
        all.append(
            {item->data(0, Qt::UserRole).toString(), item->text(0), item->icon(0).cacheKey()});
        if (item->childCount() != 0)
            qWarning("node %d has children", i);
    }
    return all;
}

QStringList TestTreeWidget::encoders() {
    QStringList all;
    for (int i = 0; i < c().cmbEncoders->count(); ++i)
        all << c().cmbEncoders->itemText(i);
    return all;
}

QStringList TestTreeWidget::hiddenSections() {
    QStringList all;
    for (int i = 0; i < c().lstHidden->count(); ++i)
        all << c().lstHidden->item(i)->text();
    return all;
}

void TestTreeWidget::missingDatabase() {
    m_station->writeDatabase(kThreeElements);
    loadConfig();
    QCOMPARE(nodes().size(), 3);
    QVERIFY(QFile::remove(m_station->databasePath()));

    loadConfig();
    QCOMPARE(m_station->dialogs.boxes.size(), 1);
    const RecordedBox box = m_station->dialogs.boxes[0];
    QCOMPARE(box.icon, RecordedBox::Information);
    QCOMPARE(box.title, u"Information"_s);
    QCOMPARE(
        box.text,
        u"Local database is empty.\rPlease click 'Auto Discover' icon to probe the network."_s);
    QVERIFY(nodes().isEmpty());
    QVERIFY(hiddenSections().isEmpty());
    QCOMPARE(encoders(), QStringList{u"<None>"_s});
    QCOMPARE(c().frmTreeView->title(), u"Select element: (0 items)"_s);
    QVERIFY(!QFile::exists(m_station->databasePath()));
}

void TestTreeWidget::databaseWithoutSections_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("comments and stray lines") << QByteArray("; nms\r\n\r\nstray=1\r\n");
}

void TestTreeWidget::databaseWithoutSections() {
    QFETCH(QByteArray, content);
    m_station->writeDatabase(content);
    loadConfig();
    QCOMPARE(m_station->dialogs.boxes.size(), 1);
    const RecordedBox box = m_station->dialogs.boxes[0];
    QCOMPARE(box.icon, RecordedBox::Information);
    QCOMPARE(box.title, u"Information"_s);
    QCOMPARE(box.text, u"Local database is empty.\rPlease click the 'Auto Discover' icon to probe "
                       u"the network."_s);
    QVERIFY(nodes().isEmpty());
    QCOMPARE(encoders(), QStringList{u"<None>"_s});
    QCOMPARE(c().frmTreeView->title(), u"Select element: (0 items)"_s);
    QCOMPARE(m_station->database(), content);
}

void TestTreeWidget::nodesInFileOrderWithPictures() {
    m_station->writeDatabase(kThreeElements);
    loadConfig();
    QVERIFY(m_station->dialogs.boxes.isEmpty());
    const QList<Node> expected = {
        {u"00:00:00:00:00:0D"_s, u"D1 [00:00:00:00:00:0D]"_s, decoderPicture()},
        {u"00:1A:2B:3C:4D:5E"_s, u"CORE-ENC1 [00:1A:2B:3C:4D:5E]"_s, encoderPicture()},
        {u"00:00:00:00:00:D2"_s, u"D2 [00:00:00:00:00:D2]"_s, decoderPicture()},
    };
    QCOMPARE(nodes(), expected);
    QCOMPARE(encoders(), (QStringList{u"<None>"_s, u"CORE-ENC1 [00:1A:2B:3C:4D:5E]"_s}));
    QCOMPARE(c().frmTreeView->title(), u"Select element: (3 items)"_s);
    QCOMPARE(hiddenSections(),
             (QStringList{u"00000000000D"_s, u"001A2B3C4D5E"_s, u"0000000000D2"_s}));
    QCOMPARE(c().TreeView1->currentItem(), nullptr);

    m_station->writeDatabase("[001a2b3c4d5e]\r\nNAME=ONE\r\nROLE=1\r\n");
    loadConfig();
    QCOMPARE(nodes().size(), 1);
    QCOMPARE(nodes()[0].key, u"00:1A:2B:3C:4D:5E"_s);
    // One node is still counted in "items".
    QCOMPARE(c().frmTreeView->title(), u"Select element: (1 items)"_s);
}

void TestTreeWidget::rebuildGivesTheSameTreeAndLeavesThePanel() {
    m_station->writeDatabase(kThreeElements);
    loadConfig();
    QVERIFY(m_station->selectNode(u"00:1A:2B:3C:4D:5E"_s));
    c().VUMeter->setLevelWidth(700);
    const QList<Node> first = nodes();

    loadConfig();
    QCOMPARE(nodes(), first);
    QCOMPARE(encoders().size(), 2);
    QCOMPARE(hiddenSections().size(), 3);
    QCOMPARE(c().VUMeter->levelWidth(), 0);
    // The panel keeps what was loaded; only the refresh command clears it.
    QCOMPARE(c().lblElementMAC->text(), u"00:1A:2B:3C:4D:5E"_s);
    QCOMPARE(c().txtElementName->text(), u"CORE-ENC1"_s);
    QCOMPARE(m_station->database(), kThreeElements);
}

void TestTreeWidget::pictureFollowsTheRole_data() {
    QTest::addColumn<QByteArray>("roleLine");
    QTest::addColumn<bool>("encoder");
    QTest::newRow("1") << QByteArray("ROLE=1\r\n") << true;
    QTest::newRow("1.0") << QByteArray("ROLE=1.0\r\n") << true;
    QTest::newRow("2") << QByteArray("ROLE=2\r\n") << false;
    QTest::newRow("0") << QByteArray("ROLE=0\r\n") << false;
    QTest::newRow("not a number") << QByteArray("ROLE=ENCODER\r\n") << false;
    QTest::newRow("empty") << QByteArray("ROLE=\r\n") << false;
    QTest::newRow("missing") << QByteArray() << false;
}

void TestTreeWidget::pictureFollowsTheRole() {
    QFETCH(QByteArray, roleLine);
    QFETCH(bool, encoder);
    m_station->writeDatabase("[001A2B3C4D5E]\r\nNAME=X\r\n" + roleLine +
                             "[00000000000D]\r\nNAME=AFTER\r\nROLE=2\r\n");
    loadConfig();
    QVERIFY(m_station->dialogs.boxes.isEmpty());
    QCOMPARE(nodes().size(), 2);
    QCOMPARE(nodes()[0].text, u"X [00:1A:2B:3C:4D:5E]"_s);
    QCOMPARE(nodes()[0].picture, encoder ? encoderPicture() : decoderPicture());
    QCOMPARE(encoders().size(), encoder ? 2 : 1);
}

void TestTreeWidget::sectionsThatAreNoRecordsStillShow() {
    m_station->writeDatabase("[001A2B3C4D5E]\r\nROLE=1\r\n"
                             "[SHORT]\r\nNAME=S\r\n"
                             "[001a2b3c4d5e]\r\nNAME=TWIN\r\n"
                             "[TOOLONGSECTION]\r\nNAME=L\r\n");
    loadConfig();
    QVERIFY(m_station->dialogs.boxes.isEmpty());
    const QList<Node> all = nodes();
    QCOMPARE(all.size(), 4);
    QCOMPARE(all[0].text, u" [00:1A:2B:3C:4D:5E]"_s);
    QCOMPARE(all[1].key, QString());
    QCOMPARE(all[1].text, u"S []"_s);
    QCOMPARE(all[2].key, u"00:1A:2B:3C:4D:5E"_s);
    QCOMPARE(all[3].text, u"L []"_s);
    QCOMPARE(c().frmTreeView->title(), u"Select element: (4 items)"_s);

    // A node with the empty key reads a section that has no entries: nothing but defaults.
    c().TreeView1->setCurrentItem(c().TreeView1->topLevelItem(1));
    emit c().TreeView1->itemClicked(c().TreeView1->topLevelItem(1), 0);
    QVERIFY(m_station->dialogs.boxes.isEmpty());
    QCOMPARE(c().txtElementName->text(), QString());
    QCOMPARE(c().lblElementType->text(), u"UNKNOWN"_s);
}

void TestTreeWidget::refreshShowsTheChangedDatabase() {
    m_station->writeDatabase(kThreeElements);
    loadConfig();
    QVERIFY(m_station->selectNode(u"00:1A:2B:3C:4D:5E"_s));
    QCOMPARE(c().lblElementType->text(), u"ENCODER"_s);

    // Another program changes the database.
    const QByteArray changed = "[0000000000E2]\r\nNAME=NEW-ENC\r\nROLE=1\r\n"
                               "[00000000000D]\r\nNAME=D1\r\nROLE=2\r\n";
    m_station->writeDatabase(changed);
    c().button(varnetix::kButtonRefresh)->trigger();

    QVERIFY(m_station->dialogs.boxes.isEmpty());
    QCOMPARE(nodes(),
             (QList<Node>{
                 {u"00:00:00:00:00:E2"_s, u"NEW-ENC [00:00:00:00:00:E2]"_s, encoderPicture()},
                 {u"00:00:00:00:00:0D"_s, u"D1 [00:00:00:00:00:0D]"_s, decoderPicture()},
             }));
    QCOMPARE(encoders(), (QStringList{u"<None>"_s, u"NEW-ENC [00:00:00:00:00:E2]"_s}));
    QCOMPARE(c().frmTreeView->title(), u"Select element: (2 items)"_s);
    QCOMPARE(c().TreeView1->currentItem(), nullptr);
    QVERIFY(c().TreeView1->selectedItems().isEmpty());
    QCOMPARE(c().lblElementMAC->text(), u"-"_s);
    QCOMPARE(c().lblElementType->text(), u"-"_s);
    QCOMPARE(c().txtElementName->text(), QString());
    QVERIFY(!c().button(varnetix::kButtonStartLevel)->isEnabled());
    QCOMPARE(m_station->database(), changed);
}

QTEST_MAIN(TestTreeWidget)
#include "test_tree_widget.moc"
