// The element tree decided from one reading of the database: node order, keys, texts,
// encoders and the caption, and sections that do not look like element records.
#include "core/element_tree.h"
#include "core/ini_store.h"

#include <QTest>

#include <limits>

using namespace varnetix;

namespace {

ElementTree build(const std::string& content) {
    return BuildElementTree(IniDocument::parse(content), true);
}

} // namespace

class TestElementTree : public QObject {
    Q_OBJECT

private slots:
    void missingAndEmptyDatabase() {
        const ElementTree missing =
            BuildElementTree(IniDocument::parse("[001A2B3C4D5E]\r\n"), false);
        QCOMPARE(missing.database, ElementTree::Database::Missing);
        QVERIFY(missing.nodes.empty() && missing.encoders.empty());
        for (const std::string content :
             {"", "; nothing\r\nstray=1\r\n", "[]\r\n[001A2B3C4D5E]\r\n"}) {
            const ElementTree empty = build(content);
            QCOMPARE(empty.database, ElementTree::Database::NoSections);
            QVERIFY(empty.nodes.empty() && empty.sections.empty());
        }
    }

    void nodesInFileOrder() {
        const ElementTree tree = build("[00000000000D]\r\nNAME=D1              \r\nROLE=2\r\n"
                                       "[00000000000e]\r\nNAME=E1\r\nROLE=1\r\n"
                                       "[0000000000D2]\r\nROLE=0\r\nNAME=D2\r\n");
        QCOMPARE(tree.database, ElementTree::Database::Loaded);
        QCOMPARE(tree.sections,
                 (std::vector<std::string>{"00000000000D", "00000000000e", "0000000000D2"}));
        QCOMPARE(tree.nodes.size(), std::size_t(3));
        QCOMPARE(tree.nodes[0].key, std::string("00:00:00:00:00:0D"));
        QCOMPARE(tree.nodes[0].text, std::string("D1 [00:00:00:00:00:0D]"));
        QVERIFY(!tree.nodes[0].encoder);
        QCOMPARE(tree.nodes[1].key, std::string("00:00:00:00:00:0E"));
        QCOMPARE(tree.nodes[1].text, std::string("E1 [00:00:00:00:00:0E]"));
        QVERIFY(tree.nodes[1].encoder);
        QCOMPARE(tree.nodes[2].text, std::string("D2 [00:00:00:00:00:D2]"));
        QVERIFY(!tree.nodes[2].encoder);
        QCOMPARE(tree.encoders, std::vector<std::string>{"E1 [00:00:00:00:00:0E]"});
    }

    void sectionsThatAreNoRecords() {
        const ElementTree tree = build("[001A2B3C4D5E1]\r\nNAME=LONG\r\n"
                                       "[001a2b3c4d5e]\r\nROLE=1\r\n"
                                       "[001A2B3C4D5E]\r\nNAME=SECOND\r\nROLE=1\r\n");
        QCOMPARE(tree.nodes.size(), std::size_t(3));
        QCOMPARE(tree.nodes[0].key, std::string());
        QCOMPARE(tree.nodes[0].text, std::string("LONG []"));
        // Both spellings read the first section's values; each still gets its node.
        QCOMPARE(tree.nodes[1].text, std::string(" [00:1A:2B:3C:4D:5E]"));
        QCOMPARE(tree.nodes[2].text, std::string(" [00:1A:2B:3C:4D:5E]"));
        QCOMPARE(tree.encoders.size(), std::size_t(2));
    }

    void role_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("encoder");
        QTest::newRow("1") << QByteArray("ROLE=1") << true;
        QTest::newRow("01") << QByteArray("ROLE=01") << true;
        QTest::newRow("1.0") << QByteArray("ROLE=1.0") << true;
        QTest::newRow("1abc") << QByteArray("ROLE=1abc") << true;
        QTest::newRow("+1") << QByteArray("ROLE=+1") << true;
        QTest::newRow("0") << QByteArray("ROLE=0") << false;
        QTest::newRow("2") << QByteArray("ROLE=2") << false;
        QTest::newRow("1.5") << QByteArray("ROLE=1.5") << false;
        QTest::newRow("11") << QByteArray("ROLE=11") << false;
        QTest::newRow("-1") << QByteArray("ROLE=-1") << false;
        QTest::newRow("empty") << QByteArray("ROLE=") << false;
        QTest::newRow("text") << QByteArray("ROLE=encoder") << false;
        QTest::newRow("missing") << QByteArray("NAME=X") << false;
    }
    void role() {
        QFETCH(QByteArray, line);
        QFETCH(bool, encoder);
        const ElementTree tree = build("[001A2B3C4D5E]\r\n" + line.toStdString() + "\r\n");
        QCOMPARE(tree.nodes.size(), std::size_t(1));
        QCOMPARE(tree.nodes[0].encoder, encoder);
        QCOMPARE(tree.encoders.size(), std::size_t(encoder ? 1 : 0));
    }

    void leadingNumber_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("empty") << QByteArray() << 0.0;
        QTest::newRow("letters") << QByteArray("abc") << 0.0;
        QTest::newRow("trailing text") << QByteArray("12abc") << 12.0;
        QTest::newRow("spaces and sign") << QByteArray("  -3.5x") << -3.5;
        QTest::newRow("fraction only") << QByteArray(".25") << 0.25;
        QTest::newRow("dot without digits") << QByteArray("7.") << 7.0;
        QTest::newRow("no exponent") << QByteArray("1e5") << 1.0;
        QTest::newRow("sign then space") << QByteArray("- 1") << 0.0;
        QTest::newRow("huge") << QByteArray(400, '9') << std::numeric_limits<double>::infinity();
        QTest::newRow("tiny") << "0." + QByteArray(400, '0') + "1" << 0.0;
    }
    void leadingNumber() {
        QFETCH(QByteArray, text);
        QFETCH(double, value);
        QCOMPARE(LeadingNumber(text.toStdString()), value);
    }

    void caption() {
        QCOMPARE(ElementCountCaption(0), std::string("Select element: (0 items)"));
        QCOMPARE(ElementCountCaption(1), std::string("Select element: (1 items)"));
        QCOMPARE(ElementCountCaption(3), std::string("Select element: (3 items)"));
    }
};

QTEST_APPLESS_MAIN(TestElementTree)
#include "test_element_tree.moc"
