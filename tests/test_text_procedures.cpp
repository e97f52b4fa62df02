// The text procedures shared by the panel, the database and the wire.
#include "core/text_procedures.h"

#include <QTest>

using namespace varnetix;

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

} // namespace

class TestTextProcedures : public QObject {
    Q_OBJECT

private slots:
    void macWithColons_data();
    void macWithColons();
    void macWithoutColons_data();
    void macWithoutColons();
    void ipOctetsKeepsEmptyParts();
    void isValidIp_data();
    void isValidIp();
    void padElementName_data();
    void padElementName();
    void trimSpacesOnlyTrimsBlanks();
};

void TestTextProcedures::macWithColons_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("lower case") << QByteArray("001a2b3c4d5e") << QByteArray("00:1A:2B:3C:4D:5E");
    QTest::newRow("11 characters") << QByteArray("001a2b3c4d5") << QByteArray();
    QTest::newRow("13 characters") << QByteArray("001a2b3c4d5e6") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    // Hex digits are not checked: any 12 characters are grouped.
    QTest::newRow("not hex") << QByteArray("zz  x.yz-_01") << QByteArray("ZZ:  :X.:YZ:-_:01");
}

void TestTextProcedures::macWithColons() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(bytes(MacWithColons(input.toStdString())), expected);
}

void TestTextProcedures::macWithoutColons_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("colon form") << QByteArray("00:1a:2b:3c:4d:5e") << QByteArray("001A2B3C4D5E");
    QTest::newRow("already section form") << QByteArray("001A2B3C4D5E") << QByteArray();
    QTest::newRow("16 characters") << QByteArray("00:1A:2B:3C:4D:5") << QByteArray();
    QTest::newRow("18 characters") << QByteArray("00:1A:2B:3C:4D:5E:") << QByteArray();
    QTest::newRow("colons anywhere")
        << QByteArray("::001a2b3c4d5e:::") << QByteArray("001A2B3C4D5E");
    QTest::newRow("no colons") << QByteArray("abcdefghijklmnopq")
                               << QByteArray("ABCDEFGHIJKLMNOPQ");
    QTest::newRow("only colons") << QByteArray(17, ':') << QByteArray();
}

void TestTextProcedures::macWithoutColons() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(bytes(MacWithoutColons(input.toStdString())), expected);
}

void TestTextProcedures::ipOctetsKeepsEmptyParts() {
    using Parts = std::vector<std::string>;
    QCOMPARE(IpOctets("10..1"), (Parts{"10", "", "1"}));
    QCOMPARE(IpOctets(""), (Parts{""}));
    QCOMPARE(IpOctets("1.2.3.4."), (Parts{"1", "2", "3", "4", ""}));
    QCOMPARE(IpOctets(".a"), (Parts{"", "a"}));
}

void TestTextProcedures::isValidIp_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    const QList<QByteArray> valid{"192.168.1.10",    "1.2.3.4",         "0.0.0.0",
                                  "255.255.255.255", "010.001.000.001", "0000000000255.0.0.1"};
    for (const QByteArray& text : valid)
        QTest::newRow(text.constData()) << text << true;
    const QList<QByteArray> invalid{"",
                                    "192.168.1",
                                    "192.168.1.10.5",
                                    "192.168.1.256",
                                    "192.168..10",
                                    "a.b.c.d",
                                    "1.2.3.4.",
                                    ".1.2.3",
                                    "300.1.1.1",
                                    " 1.2.3.4",
                                    "1.2.3.4 ",
                                    "1.2. 3.4",
                                    "+1.2.3.4",
                                    "-1.2.3.4",
                                    "1.2.3.0x4",
                                    "1.2.3.4e0",
                                    "1.2.3.4,5",
                                    "1,2,3,4",
                                    "...",
                                    "1.2.3.\xff",
                                    "99999999999999999999999.1.1.1",
                                    "4294967297.1.1.1"};
    for (const QByteArray& text : invalid)
        QTest::newRow(text.isEmpty() ? "empty" : text.constData()) << text << false;
    QTest::newRow("embedded NUL") << QByteArray("1.2.3.4\0", 8) << false;
}

void TestTextProcedures::isValidIp() {
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidIp(text.toStdString()), valid);
}

void TestTextProcedures::padElementName_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("short") << QByteArray("studio a") << QByteArray("STUDIO A        ");
    QTest::newRow("empty") << QByteArray() << QByteArray(16, ' ');
    QTest::newRow("exactly 16") << QByteArray("abcdefghijklmnop") << QByteArray("ABCDEFGHIJKLMNOP");
    QTest::newRow("20 characters")
        << QByteArray("transmitter site 12") + 'x' << QByteArray("TRANSMITTER SITE");
    // Bytes outside ASCII keep their value: one byte per character on the wire.
    QTest::newRow("non-ASCII") << QByteArray("caf\xe9\x00z", 6)
                               << QByteArray("CAF\xe9\x00Z          ", 16);
}

void TestTextProcedures::padElementName() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(bytes(PadElementName(input.toStdString())), expected);
}

void TestTextProcedures::trimSpacesOnlyTrimsBlanks() {
    QCOMPARE(bytes(TrimSpaces("  a b  ")), QByteArray("a b"));
    QCOMPARE(bytes(TrimSpaces("   ")), QByteArray());
    QCOMPARE(bytes(TrimSpaces("\ta\t")), QByteArray("\ta\t"));
}

QTEST_APPLESS_MAIN(TestTextProcedures)
#include "test_text_procedures.moc"
