// Echo status texts and the address conversions of the MAC lookup.
#include "core/echo_status.h"
#include "core/mac_format.h"

#include <QTest>

#include <limits>

using namespace varnetix;

class TestDiagnosticsText : public QObject {
    Q_OBJECT

private slots:
    void statusText_data();
    void statusText();
    void formatMac_data();
    void formatMac();
    void parseIpAddress_data();
    void parseIpAddress();
};

void TestDiagnosticsText::statusText_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("text");
    const std::pair<int, const char*> known[] = {
        {0, "Success!"},
        {11001, "Buffer Too Small"},
        {11002, "Destination Net Unreachable"},
        {11003, "Destination Host Unreachable"},
        {11004, "Destination Protocol Unreachable"},
        {11005, "Destination Port Unreachable"},
        {11006, "No Resources"},
        {11007, "Bad Option"},
        {11008, "Hardware Error"},
        {11009, "Packet Too Big"},
        {11010, "Request Timed Out"},
        {11011, "Bad Request"},
        {11012, "Bad Route"},
        {11013, "TimeToLive Expired Transit"},
        {11014, "TimeToLive Expired Reassembly"},
        {11015, "Parameter Problem"},
        {11016, "Source Quench"},
        {11017, "Option Too Big"},
        {11018, "Bad Destination"},
        {11032, "Negotiating IPSEC"},
        {11050, "General Failure"},
    };
    for (const auto& [status, text] : known)
        QTest::addRow("%d", status) << status << QByteArray(text);
    for (int status : {-1, 1, 11000, 11019, 11025, 11031, 11033, 11049, 11051,
                       std::numeric_limits<int>::min(), std::numeric_limits<int>::max()})
        QTest::addRow("%d", status) << status << QByteArray("Unknown Response");
}

void TestDiagnosticsText::statusText() {
    QFETCH(int, status);
    QTEST(QByteArray::fromStdString(GetStatusText(status)), "text");
}

void TestDiagnosticsText::formatMac_data() {
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QByteArray>("delimiter");
    QTest::addColumn<QByteArray>("text");
    const QByteArray mac = QByteArray::fromHex("001a2b3c4d5e");
    QTest::newRow("colon") << mac << QByteArray(":") << QByteArray("00:1A:2B:3C:4D:5E");
    QTest::newRow("dash") << mac << QByteArray("-") << QByteArray("00-1A-2B-3C-4D-5E");
    QTest::newRow("none") << mac << QByteArray() << QByteArray("001A2B3C4D5E");
    QTest::newRow("long delimiter")
        << mac << QByteArray(" - ") << QByteArray("00 - 1A - 2B - 3C - 4D - 5E");
    QTest::newRow("leading zeros") << QByteArray::fromHex("0a0b0c000f10") << QByteArray(":")
                                   << QByteArray("0A:0B:0C:00:0F:10");
    QTest::newRow("all ones") << QByteArray(6, '\xff') << QByteArray(":")
                              << QByteArray("FF:FF:FF:FF:FF:FF");
    QTest::newRow("empty") << QByteArray() << QByteArray(":") << QByteArray();
    QTest::newRow("5 bytes") << mac.left(5) << QByteArray(":") << QByteArray();
    QTest::newRow("7 bytes") << mac + '\x01' << QByteArray(":") << QByteArray();
    QTest::newRow("EUI-64") << mac + mac.left(2) << QByteArray(":") << QByteArray();
}

void TestDiagnosticsText::formatMac() {
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, delimiter);
    const std::vector<std::uint8_t> octets(address.begin(), address.end());
    QTEST(QByteArray::fromStdString(FormatMac(octets, delimiter.toStdString())), "text");
}

void TestDiagnosticsText::parseIpAddress_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("value");
    QTest::newRow("typical") << QByteArray("192.168.1.10") << 0xC0A8010Au;
    QTest::newRow("leading zeros") << QByteArray("010.001.000.001") << 0x0A010001u;
    QTest::newRow("zero") << QByteArray("0.0.0.0") << 0u;
    QTest::newRow("broadcast") << QByteArray("255.255.255.255") << 0xFFFFFFFFu;
    QTest::newRow("three parts") << QByteArray("192.168.1") << 0xFFFFFFFFu;
    QTest::newRow("octet too big") << QByteArray("1.2.3.256") << 0xFFFFFFFFu;
    QTest::newRow("final point") << QByteArray("1.2.3.4.") << 0xFFFFFFFFu;
    QTest::newRow("blank") << QByteArray(" 1.2.3.4") << 0xFFFFFFFFu;
    QTest::newRow("empty") << QByteArray() << 0xFFFFFFFFu;
}

void TestDiagnosticsText::parseIpAddress() {
    QFETCH(QByteArray, text);
    QTEST(uint(ParseIpAddress(text.toStdString())), "value");
}

QTEST_APPLESS_MAIN(TestDiagnosticsText)
#include "test_diagnostics_text.moc"
