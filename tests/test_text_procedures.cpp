// The texts of the panel, the database and the wire: MAC and IPv4 texts, element names, echo
// status texts, number readouts, and the element tree decided from one reading of the database.
#include "core/commands.h"
#include "core/echo_status.h"
#include "core/element_tree.h"
#include "core/ini_store.h"
#include "core/mac_format.h"
#include "core/metrics_endpoint.h"
#include "core/number_text.h"
#include "core/text_procedures.h"
#include "core/unicast_destination.h"

#include <QTest>

using namespace varnetix;
using Texts = std::vector<std::string>;

namespace {

QByteArray b(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// "address port" of a metrics endpoint, "-" for a text that is none.
std::string endpoint(const char* text) {
    const auto parsed = ParseMetricsEndpoint(text);
    return parsed ? parsed->address + ' ' + std::to_string(parsed->port) : "-";
}

ElementTree build(const std::string& content) {
    return BuildElementTree(IniDocument::parse(content), true);
}

} // namespace

class TestTextProcedures : public QObject {
    Q_OBJECT

private slots:
    void macTexts() {
        QCOMPARE(b(MacWithColons("001a2b3c4d5e")), QByteArray("00:1A:2B:3C:4D:5E"));
        QCOMPARE(b(MacWithColons("001a2b3c4d5")), QByteArray());
        QCOMPARE(b(MacWithColons("001a2b3c4d5e6")), QByteArray());
        QCOMPARE(b(MacWithoutColons("00:1a:2b:3c:4d:5e")), QByteArray("001A2B3C4D5E"));
        QCOMPARE(b(MacWithoutColons("001A2B3C4D5E")), QByteArray());
        QCOMPARE(b(MacWithoutColons("00:1A:2B:3C:4D:5E:")), QByteArray());
        QCOMPARE(b(MacWithoutColons("::001a2b3c4d5e:::")), QByteArray("001A2B3C4D5E"));
        const std::vector<std::uint8_t> mac{0x0a, 0x1b, 0x2c, 0x00, 0x0f, 0xf0};
        QCOMPARE(b(FormatMac(mac, ":")), QByteArray("0A:1B:2C:00:0F:F0"));
        QCOMPARE(b(FormatMac(mac, "-")), QByteArray("0A-1B-2C-00-0F-F0"));
        QCOMPARE(b(FormatMac(mac, "")), QByteArray("0A1B2C000FF0"));
        QCOMPARE(b(FormatMac({1, 2, 3, 4, 5}, ":")), QByteArray());
        QCOMPARE(b(FormatMac({1, 2, 3, 4, 5, 6, 7}, ":")), QByteArray());
    }

    void ipAddresses_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("valid");   // IsValidIp
        QTest::addColumn<uint>("address"); // ParseIpAddress
        QTest::addColumn<bool>("refused"); // IsRefusedDestination for the networks of ipAddresses
        // clang-format off
        const std::tuple<const char*, uint, bool> valid[] = {
            {"192.168.1.10", 0xC0A8010A, false}, {"010.001.000.001", 0x0A010001, false},
            {"0.0.0.0", 0, true}, {"255.255.255.255", 0xFFFFFFFF, true},
            {"0000000000255.0.0.1", 0xFF000001, true}, {"224.0.0.1", 0xE0000001, true},
            {"223.255.255.255", 0xDFFFFFFF, false}, {"198.18.0.255", 0xC61200FF, true},
            {"10.1.2.3", 0x0A010203, false}, {"127.0.0.1", 0x7F000001, false},
            {"127.255.255.255", 0x7FFFFFFF, true}};
        // clang-format on
        for (const auto& [text, address, refused] : valid)
            QTest::newRow(text) << QByteArray(text) << true << address << refused;
        for (const char* text :
             {"", "192.168.1", "192.168.1.10.5", "192.168.1.256", "192.168..10", "a.b.c.d",
              "1.2.3.4.", ".1.2.3", "300.1.1.1", " 1.2.3.4", "+1.2.3.4", "-1.2.3.4",
              "4294967297.1.1.1", "99999999999999999999999.1.1.1"})
            QTest::addRow("'%s'", text) << QByteArray(text) << false << kInvalidIpAddress << false;
        QTest::newRow("embedded NUL")
            << QByteArray("1.2.3.4\0", 8) << false << kInvalidIpAddress << false;
    }
    void ipAddresses() {
        QFETCH(QByteArray, text);
        QTEST(IsValidIp(text.toStdString()), "valid");
        QTEST(uint(ParseIpAddress(text.toStdString())), "address");
        // A /24 with its broadcast address, a /31 without one, and loopback.
        const std::vector<Subnet> station = {
            {0xC6120001, 0xFFFFFF00}, {0x0A010202, 0xFFFFFFFE}, {0x7F000001, 0xFF000000}};
        QTEST(IsRefusedDestination(text.toStdString(), station), "refused");
    }

    // Names are Latin-1 and upper case never changes their length. Octal: \337 sharp s, \377 y
    // with diaeresis, \265 micro stay; \340-\376 except \367 become the letter 0x20 below.
    void padElementName_data() {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<QByteArray>("padded");
        const auto row = [](const char* name, const char* typed, const char* padded) {
            QTest::newRow(name) << QByteArray(typed) << QByteArray(padded);
        };
        row("short", "studio a", "STUDIO A        ");
        row("empty", "", "                ");
        row("20 characters", "transmitter site 12x", "TRANSMITTER SITE");
        row("16 with sharp s", "gro\337e stra\337e 123", "GRO\337E STRA\337E 123");
        row("y diaeresis, micro, 0x80", "\377 \265 \200", "\377 \265 \200           ");
        row("range edges", "`az{\300\337\340\367\376\377", "`AZ{\300\337\300\367\336\377      ");
    }
    void padElementName() {
        QFETCH(QByteArray, typed);
        QTEST(b(PadElementName(typed.toStdString())), "padded");
    }

    void reportedNames_data() {
        QTest::addColumn<QByteArray>("reported");
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<bool>("same");
        const auto row = [](const char* name, const QByteArray& reported, const char* stored,
                            const char* typed, bool same) {
            QTest::newRow(name) << reported << QByteArray(stored) << QByteArray(typed) << same;
        };
        row("NUL padded", QByteArray("STUDIO\0\0\0\0\0\0\0\0\0\0", 16), "STUDIO          ",
            "studio", true);
        row("CR LF", "STUDIO\r\n        ", "STUDIO          ", "STUDIO", true);
        row("leading spaces", "  studio        ", "  STUDIO        ", "Studio", true);
        row("sharp s is not SS", "STRA\337E          ", "STRA\337E          ", "STRASSE", false);
        row("accents", "\340\351\377             ", "\300\311\377             ", "\300\351\377",
            true);
    }
    void reportedNames() {
        QFETCH(QByteArray, reported);
        QFETCH(QByteArray, typed);
        QTEST(b(StoredElementName(reported.toStdString())), "stored");
        QTEST(SameElementName(typed.toStdString(), reported.toStdString()), "same");
    }

    void echoStatusTexts() {
        const QList<QByteArray> consecutive = // from 11001 on
            QByteArray("Buffer Too Small|Destination Net Unreachable|Destination Host Unreachable|"
                       "Destination Protocol Unreachable|Destination Port Unreachable|"
                       "No Resources|Bad Option|Hardware Error|Packet Too Big|Request Timed Out|"
                       "Bad Request|Bad Route|TimeToLive Expired Transit|"
                       "TimeToLive Expired Reassembly|Parameter Problem|Source Quench|"
                       "Option Too Big|Bad Destination")
                .split('|');
        for (int i = 0; i < consecutive.size(); ++i)
            QCOMPARE(b(GetStatusText(11001 + i)), consecutive[i]);
        const std::pair<int, const char*> others[] = {
            {0, "Success!"},          {11032, "Negotiating IPSEC"}, {11050, "General Failure"},
            {-1, "Unknown Response"}, {11019, "Unknown Response"},  {11031, "Unknown Response"}};
        for (const auto& [status, text] : others)
            QCOMPARE(b(GetStatusText(status)), QByteArray(text));
    }

    // Each row: the text as produced, and as the panel must show it.
    void texts_data() {
        QTest::addColumn<QByteArray>("produced");
        QTest::addColumn<QByteArray>("shown");
#define ROW(call, shown) QTest::newRow(#call) << b(call) << QByteArray(shown)
        ROW(AttenuationReadout(14), "Mute");
        ROW(AttenuationReadout(15), "-120 dB");
        ROW(AttenuationReadout(248), "-3.5 dB");
        ROW(AttenuationReadout(254), "-0.5 dB");
        ROW(AttenuationReadout(255), "0 dB");
        ROW(LatencyReadout(0), "0mS");
        ROW(LatencyReadout(3), "7.5mS");
        ROW(StoredVersion(2.0f), "2");
        ROW(StoredVersion(2.1f), "2.1");
        ROW(StoredVersion(25525.5f), "25525.5");
        ROW(VersionOneDecimal(2.0f), "2.0");
        ROW(VersionTwoDecimals("2"), "2.00");
        ROW(VersionTwoDecimals("2,5"), "2.50");
        ROW(VersionTwoDecimals(" 3.456x"), "3.46");
        ROW(VersionTwoDecimals("-0.001"), "0.00");
        ROW(VersionTwoDecimals("abc"), "0.00");
        ROW(VersionTwoDecimals(std::string(400, '9')), "0.00");
        ROW(endpoint("9464"), "127.0.0.1 9464");
        ROW(endpoint("0.0.0.0:65535"), "0.0.0.0 65535");
        ROW(endpoint("[::1]:80"), "::1 80");
        for (const char* wrong : {"0", "65536", "localhost:80", "1.2.3:80", "::1:80", ":80", "80:"})
            QTest::addRow("endpoint %s", wrong) << b(endpoint(wrong)) << QByteArray("-");
#undef ROW
    }
    void texts() {
        QFETCH(QByteArray, produced);
        QTEST(produced, "shown");
    }

    void treeOfNoDatabase() {
        const ElementTree missing =
            BuildElementTree(IniDocument::parse("[001A2B3C4D5E]\r\n"), false);
        QCOMPARE(missing.database, ElementTree::Database::Missing);
        QVERIFY(missing.nodes.empty() && missing.encoders.empty());
        // An empty section name ends the list, as the platform's list of names ends there.
        for (const std::string content :
             {"", "; nothing\r\nstray=1\r\n", "[]\r\n[001A2B3C4D5E]\r\n"}) {
            const ElementTree empty = build(content);
            QCOMPARE(empty.database, ElementTree::Database::NoSections);
            QVERIFY(empty.nodes.empty() && empty.sections.empty());
        }
        QCOMPARE(b(ElementCountCaption(0)), QByteArray("Select element: (0 items)"));
        QCOMPARE(b(ElementCountCaption(1)), QByteArray("Select element: (1 items)"));
    }

    void treeNodesInFileOrder() {
        const ElementTree tree = build("[00000000000D]\r\nNAME=D1\r\nROLE=2\r\n"
                                       "[00000000000e]\r\nNAME=E1\r\nROLE=1\r\n"
                                       "[0000000000D2]\r\nROLE=0\r\nNAME=D2\r\n"
                                       "[001A2B3C4D5E1]\r\nNAME=LONG\r\n"
                                       "[001A2B3C4D5F]\r\nROLE=1\r\n");
        QCOMPARE(tree.database, ElementTree::Database::Loaded);
        QCOMPARE(tree.sections, (Texts{"00000000000D", "00000000000e", "0000000000D2",
                                       "001A2B3C4D5E1", "001A2B3C4D5F"}));
        Texts shown; // key, text and picture
        for (const ElementNode& node : tree.nodes)
            shown.push_back(node.key + '|' + node.text + (node.encoder ? "|6" : "|7"));
        QCOMPARE(shown, (Texts{"00:00:00:00:00:0D|D1 [00:00:00:00:00:0D]|7",
                               "00:00:00:00:00:0E|E1 [00:00:00:00:00:0E]|6",
                               "00:00:00:00:00:D2|D2 [00:00:00:00:00:D2]|7", "|LONG []|7",
                               "00:1A:2B:3C:4D:5F| [00:1A:2B:3C:4D:5F]|6"}));
        QCOMPARE(tree.encoders, (Texts{"E1 [00:00:00:00:00:0E]", " [00:1A:2B:3C:4D:5F]"}));
    }

    // The role is read as a number: only the value 1 makes an encoder.
    void treeEncodersByRoleValue() {
        std::string content = "[BBBBBBBBBBBB]\r\nNAME=no role\r\n";
        for (const char* role :
             {"1", "01", "1.0", "1abc", "+1", "0", "2", "1.5", "11", "-1", "", "x"})
            content += "[" + std::string(role) + "_]\r\nNAME=" + role + "\r\nROLE=" + role + "\r\n";
        Texts encoders;
        for (const std::string& text : build(content).encoders)
            encoders.push_back(text.substr(0, text.find(" [")));
        QCOMPARE(encoders, (Texts{"1", "01", "1.0", "1abc", "+1"}));
    }
};

QTEST_APPLESS_MAIN(TestTextProcedures)
#include "test_text_procedures.moc"
