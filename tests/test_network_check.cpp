// The network check over small databases, with the station's networks and a discovery's
// answers, and the inventory in CSV.
#include "core/feedback_packet.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "core/mac_format.h"
#include "core/network_check.h"

#include <QTest>

using namespace varnetix;
using namespace Qt::Literals::StringLiterals;

namespace {

// One element per text, "MAC|name|ip|mask|gw|remote|role|tx[|input|type]"; "-" leaves the key
// out.
IniDocument database(const QStringList& elements) {
    static const char* const keys[] = {"NAME", "IP", "MASK",  "GW",  "REMOTE",
                                       "ROLE", "TX", "INPUT", "TYPE"};
    std::string ini;
    for (const QString& element : elements) {
        const QStringList fields = element.split(u'|');
        ini += "[" + fields[0].toStdString() + "]\r\n";
        for (qsizetype i = 1; i < fields.size(); ++i) {
            if (fields[i] != u"-")
                ini += std::string(keys[i - 1]) + "=" + fields[i].toLatin1().toStdString() + "\r\n";
        }
    }
    return IniDocument::parse(ini);
}

// "10.0.0.0/24"
std::vector<Subnet> subnets(const QStringList& texts) {
    std::vector<Subnet> result;
    for (const QString& text : texts) {
        const QStringList parts = text.split(u'/');
        const int prefix = parts[1].toInt();
        result.push_back(
            {ParseIpAddress(parts[0].toStdString()), prefix == 0 ? 0u : ~0u << (32 - prefix)});
    }
    return result;
}

// "10.0.0.1/serial/role"
std::vector<FeedbackRecord> answers(const QStringList& texts) {
    std::vector<FeedbackRecord> result;
    for (const QString& text : texts) {
        const QStringList parts = text.split(u'/');
        FeedbackRecord answer;
        answer.ElementIP = parts[0].toStdString();
        answer.SerialNumber = parts[1].toInt();
        answer.ElementRole = static_cast<std::uint8_t>(parts[2].toUInt());
        result.push_back(answer);
    }
    return result;
}

const QString kEncoder = u"0000000000E1|TX1|10.0.0.1|255.255.255.0|10.0.0.254|10.0.0.2|1|0"_s;
const QString kDecoder = u"0000000000D1|RX1|10.0.0.2|255.255.255.0|10.0.0.254|10.0.0.1|2|0"_s;

const QByteArray kHeader = "MAC,Name,IP address,Mask,Gateway,Remote IP,Role,Audio type,"
                           "Audio input,TX type,Serial number,Version,SFN (1 = on),"
                           "Buffer (2.5 ms steps),Attenuation (steps),Attenuation (dB),Status\r\n";

} // namespace

class TestNetworkCheck : public QObject {
    Q_OBJECT

private slots:
    void findings_data() {
        QTest::addColumn<QStringList>("elements");
        QTest::addColumn<QStringList>("station");
        QTest::addColumn<QStringList>("answered");
        QTest::addColumn<QStringList>("lines"); // every finding, in order
        QTest::newRow("empty database") << QStringList() << QStringList{u"10.0.0.0/8"_s}
                                        << QStringList{u"10.0.0.1/1/1"_s} << QStringList();
        // Unicast to a decoder, multicast to a group, /31 and /32 subnets, no gateway, names
        // that differ only in case, a role-0 element.
        QTest::newRow("healthy network")
            << QStringList{kEncoder, kDecoder,
                           u"0000000000E2|tx1|10.0.0.3|255.255.255.0|0.0.0.0|239.1.1.1|1|1"_s,
                           u"0000000000A1|P2P|10.1.0.0|255.255.255.254|10.1.0.1|0.0.0.0|0|0"_s,
                           u"0000000000A2|HOST|10.2.0.5|255.255.255.255|0.0.0.0|0.0.0.0|0|0"_s}
            << QStringList{u"10.0.0.0/24"_s, u"10.1.0.0/16"_s, u"10.2.0.0/16"_s}
            << QStringList{u"10.0.0.1/5/1"_s, u"10.0.0.1/5/1"_s} << QStringList();
        QTest::newRow("duplicate addresses and names")
            << QStringList{u"0000000000E1|CAF\u00C9  |10.0.0.1|255.0.0.0|0.0.0.0|0.0.0.0|0|0"_s,
                           u"0000000000E2|CAF\u00C9|010.0.0.1|255.0.0.0|0.0.0.0|0.0.0.0|0|0"_s,
                           u"0000000000E3|Caf\u00C9|10.0.0.1|255.0.0.0|0.0.0.0|0.0.0.0|0|0"_s}
            << QStringList() << QStringList()
            << QStringList{u"error [duplicate-ip] 0000000000E1 0000000000E2 0000000000E3: Three "
                           u"elements use the address 10.0.0.1: CAF\u00C9 [00:00:00:00:00:E1], "
                           u"CAF\u00C9 [00:00:00:00:00:E2] and Caf\u00C9 [00:00:00:00:00:E3]."_s,
                           u"warning [duplicate-name] 0000000000E1 0000000000E2: Two elements "
                           u"share the name CAF\u00C9: 00:00:00:00:00:E1 at 10.0.0.1 and "
                           u"00:00:00:00:00:E2 at 10.0.0.1."_s};
        QTest::newRow("subnets")
            << QStringList{u"0000000000A1|GW|10.0.0.5|255.255.255.0|10.0.1.1|0.0.0.0|0|0"_s,
                           u"0000000000A2|MASK|10.0.0.6|255.0.255.0|10.0.0.1|0.0.0.0|0|0"_s,
                           u"0000000000A3|NET|10.0.0.0|255.255.255.0|10.0.0.1|0.0.0.0|0|0"_s,
                           u"0000000000A4|BC|10.0.0.255|255.255.255.0|0.0.0.0|0.0.0.0|0|0"_s,
                           u"0000000000A5|H32|10.0.0.7|255.255.255.255|10.0.0.1|0.0.0.0|0|0"_s,
                           u"0000000000A6|SELF|10.0.0.8|255.255.255.0|10.0.0.8|0.0.0.0|0|0"_s,
                           u"0000000000A7|GWN|10.0.0.9|255.255.255.0|10.0.0.0|0.0.0.0|0|0"_s,
                           u"0000000000A8|GWB|10.0.0.10|255.255.255.0|10.0.0.255|0.0.0.0|0|0"_s}
            << QStringList() << QStringList()
            << QStringList{u"error [address-not-host] 0000000000A3: NET [00:00:00:00:00:A3] uses "
                           u"10.0.0.0, the network address of its subnet 10.0.0.0/24."_s,
                           u"error [address-not-host] 0000000000A4: BC [00:00:00:00:00:A4] uses "
                           u"10.0.0.255, the broadcast address of its subnet 10.0.0.0/24."_s,
                           u"warning [gateway-outside-subnet] 0000000000A1: The gateway 10.0.1.1 "
                           u"of GW [00:00:00:00:00:A1] lies outside its subnet 10.0.0.0/24."_s,
                           u"warning [mask-not-contiguous] 0000000000A2: MASK [00:00:00:00:00:A2] "
                           u"has the mask 255.0.255.0, whose one-bits are not contiguous."_s,
                           u"warning [gateway-outside-subnet] 0000000000A5: The gateway 10.0.0.1 "
                           u"of H32 [00:00:00:00:00:A5] lies outside its subnet 10.0.0.7/32."_s,
                           u"warning [gateway-invalid] 0000000000A6: The gateway 10.0.0.8 of SELF "
                           u"[00:00:00:00:00:A6] is the element's own address; nothing beyond its "
                           u"subnet 10.0.0.0/24 is reached."_s,
                           u"warning [gateway-invalid] 0000000000A7: The gateway 10.0.0.0 of GWN "
                           u"[00:00:00:00:00:A7] is the network address of its subnet "
                           u"10.0.0.0/24; nothing beyond the subnet is reached."_s,
                           u"warning [gateway-invalid] 0000000000A8: The gateway 10.0.0.255 of GWB "
                           u"[00:00:00:00:00:A8] is the broadcast address of its subnet "
                           u"10.0.0.0/24; nothing beyond the subnet is reached."_s};
        // The station's networks unknown: nobody is unreachable. A code off its list: no TX
        // rule. An encoder sending nowhere or everywhere: no TX rule either.
        QTest::newRow("encoders")
            << QStringList{u"0000000000E1|A|10.0.0.1|255.255.255.0|0.0.0.0|10.0.0.9|1|0"_s,
                           u"0000000000E2|B|10.0.0.3|255.255.255.0|0.0.0.0|10.0.0.2|1|0"_s,
                           u"0000000000E3||10.0.0.4|255.255.255.0|0.0.0.0|10.0.0.2|1|0"_s,
                           u"0000000000E4|D|10.0.0.5|255.255.255.0|0.0.0.0|10.0.0.2|1|1"_s,
                           u"0000000000E5|E|10.0.0.6|255.255.255.0|0.0.0.0|239.1.1.1|1|0"_s,
                           u"0000000000E6|F|10.0.0.7|255.255.255.0|0.0.0.0|10.0.0.77|1|x"_s,
                           u"0000000000E7|G|10.0.0.8|255.255.255.0|0.0.0.0|224.0.0.251|1|1|2|07"_s,
                           u"0000000000E8|H|10.0.0.9|255.255.255.0|0.0.0.0|0.0.0.0|1|0|1|0"_s,
                           u"0000000000E9|I|10.0.0.10|255.255.255.0|0.0.0.0|255.255.255.255|1|1"_s,
                           kDecoder}
            << QStringList() << QStringList()
            << QStringList{u"error [no-decoder] 0000000000E1: Encoder A [00:00:00:00:00:E1] sends "
                           u"unicast to 10.0.0.9, but no decoder in the database has that "
                           u"address."_s,
                           u"error [shared-decoder] 0000000000E2 0000000000E3 0000000000D1: "
                           u"Encoders B [00:00:00:00:00:E2] and [00:00:00:00:00:E3] send unicast "
                           u"to 10.0.0.2, the address of decoder RX1 [00:00:00:00:00:D1]."_s,
                           u"error [multicast-to-unicast] 0000000000E4: Encoder D "
                           u"[00:00:00:00:00:E4] is set to multicast, but its remote IP 10.0.0.2 "
                           u"is not a multicast address (224.0.0.0/4)."_s,
                           u"error [unicast-to-multicast] 0000000000E5: Encoder E "
                           u"[00:00:00:00:00:E5] is set to unicast, but its remote IP 239.1.1.1 "
                           u"is a multicast address."_s,
                           u"error [list-index] 0000000000E6: F [00:00:00:00:00:E6] stores the TX "
                           u"type \"x\"; its list has only 0 (Unicast) and 1 (Multicast)."_s,
                           u"error [multicast-reserved] 0000000000E7: Encoder G "
                           u"[00:00:00:00:00:E7] sends to 224.0.0.251, in the local network "
                           u"control block 224.0.0.0/24, which routers never forward and switches "
                           u"flood to every port."_s,
                           u"error [list-index] 0000000000E7: G [00:00:00:00:00:E7] stores the "
                           u"audio input \"2\"; its list has only 0 (Digital) and 1 (Analog)."_s,
                           u"error [list-index] 0000000000E7: G [00:00:00:00:00:E7] stores the "
                           u"audio type \"07\"; its list has only 0 (Left/Right) and 1 (MPX)."_s,
                           u"error [invalid-address] 0000000000E8: H [00:00:00:00:00:E8] has no "
                           u"valid remote IP (\"0.0.0.0\", the unspecified address)."_s,
                           u"error [invalid-address] 0000000000E9: I [00:00:00:00:00:E9] has no "
                           u"valid remote IP (\"255.255.255.255\", the broadcast address)."_s};
        QTest::newRow("unreachable and invalid")
            << QStringList{u"0000000000B1|BAD|192.168.1|-|0.0.0.0|300.1.1.1|1|0"_s,
                           u"NOTAMAC"_s,
                           u"0000000000B3|FAR|10.0.0.1|255.255.255.0|0.0.0.0|0.0.0.0|2|0"_s,
                           u"0000000000B4|NEAR|192.168.1.5|255.255.255.0|0.0.0.0|0.0.0.0|2|0"_s,
                           u"0000000000B5|MC|224.1.1.1|255.255.255.0|0.0.0.0|0.0.0.0|2|0"_s,
                           u"0000000000B6|ZERO|0.0.0.0|0.0.0.0|0.0.0.0|0.0.0.0|2|0"_s,
                           u"0000000000B7|BC|255.255.255.255|255.255.255.0|0.0.0.0|0.0.0.0|2|0"_s,
                           u"0000000000B8|LOOP|127.0.0.5|255.0.0.0|0.0.0.0|0.0.0.0|2|0"_s}
            << QStringList{u"192.168.1.0/24"_s, u"127.0.0.0/8"_s, u"172.16.0.0/12"_s}
            << QStringList()
            << QStringList{u"error [invalid-address] 0000000000B1: BAD [00:00:00:00:00:B1] has no "
                           u"valid IP (\"192.168.1\"), mask (missing) or remote IP "
                           u"(\"300.1.1.1\")."_s,
                           u"error [invalid-address] NOTAMAC: [NOTAMAC] has no valid IP "
                           u"(missing), mask (missing), gateway (missing) or remote IP "
                           u"(missing)."_s,
                           u"error [unreachable] 0000000000B3: FAR [00:00:00:00:00:B3] at "
                           u"10.0.0.1 is on none of the station's networks (192.168.1.0/24, "
                           u"172.16.0.0/12); discovery and the MAC lookup reach only elements on "
                           u"them, so its answers cannot be stored."_s,
                           u"error [invalid-address] 0000000000B5: MC [00:00:00:00:00:B5] has no "
                           u"valid IP (\"224.1.1.1\", a multicast address)."_s,
                           u"error [invalid-address] 0000000000B6: ZERO [00:00:00:00:00:B6] has no "
                           u"valid IP (\"0.0.0.0\", the unspecified address) or mask "
                           u"(\"0.0.0.0\", which puts every address on the element's own "
                           u"network)."_s,
                           u"error [invalid-address] 0000000000B7: BC [00:00:00:00:00:B7] has no "
                           u"valid IP (\"255.255.255.255\", the broadcast address)."_s,
                           u"error [unreachable] 0000000000B8: LOOP [00:00:00:00:00:B8] at "
                           u"127.0.0.5 is on none of the station's networks (192.168.1.0/24, "
                           u"172.16.0.0/12); discovery and the MAC lookup reach only elements on "
                           u"them, so its answers cannot be stored."_s};
        // Only the first section of a name, in any case, is read; the list ends at an empty
        // name.
        QTest::newRow("repeated sections")
            << QStringList{kEncoder, u"0000000000e1|OTHER|10.9.9.9|255.0.0.0|-|-|2|-"_s,
                           kDecoder, u"0000000000E1"_s,
                           u""_s,    u"0000000000D1"_s}
            << QStringList() << QStringList()
            << QStringList{u"warning [duplicate-section] 0000000000E1: The database holds 3 "
                           u"sections for TX1 [00:00:00:00:00:E1] (0000000000E1, 0000000000e1 and "
                           u"0000000000E1); the station reads only the first."_s};
        // An element answering twice is one element; an invalid address is no answer; a
        // sentence lists ten answers.
        QStringList answered{u"10.0.0.9/5/1"_s,   u"10.0.0.1/100/1"_s, u"10.0.0.1/200/2"_s,
                             u"10.0.0.1/100/1"_s, u"10.0.0.9/5/2"_s,   u"10.0.0.3/7/1"_s,
                             u"10.0.0.3/7/1"_s,   u"10.0.0/1/1"_s,     u"10.0.0/2/1"_s};
        QString tenListed;
        for (int serial = 1; serial <= 11; ++serial) {
            answered << u"10.0.0.7/%1/1"_s.arg(serial);
            tenListed += serial > 10 ? QString() : u"serial %1 as ENCODER, "_s.arg(serial);
        }
        QTest::newRow("one address in a discovery")
            << QStringList{u"0000000000E1|TX1|10.0.0.1|255.0.0.0|0.0.0.0|239.1.1.1|1|1"_s}
            << QStringList() << answered
            << QStringList{u"error [duplicate-ip] 0000000000E1: Two elements answered the "
                           u"discovery from 10.0.0.1 (serial 100 as ENCODER and serial 200 as "
                           u"DECODER); the database holds only TX1 [00:00:00:00:00:E1] for that "
                           u"address."_s,
                           u"error [duplicate-ip]: Two elements answered the discovery from "
                           u"10.0.0.9 (serial 5 as ENCODER and serial 5 as DECODER); the database "
                           u"holds none of them."_s,
                           u"error [duplicate-ip]: 11 elements answered the discovery from "
                           u"10.0.0.7 ("_s +
                               tenListed.chopped(2) +
                               u" and 1 more); the database holds none of them."_s};
    }
    void findings() {
        QFETCH(QStringList, elements);
        QFETCH(QStringList, station);
        QFETCH(QStringList, answered);
        QFETCH(QStringList, lines);
        QStringList found;
        for (const Finding& finding :
             checkNetwork(database(elements), subnets(station), answers(answered)))
            found << QString::fromStdString(findingLine(finding));
        QCOMPARE(found, lines);
    }

    void inventoryGolden() {
        const IniDocument document = IniDocument::parse(
            "[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\nMASK=255.255.255.0\r\n"
            "GW=192.168.1.1\r\nREMOTE=192.168.1.20\r\nINPUT=1\r\nTYPE=0\r\nTX=0\r\nROLE=1\r\n"
            "SN=12345\r\nVER=2.1\r\nSFN=1\r\nBUF=5\r\n"
            "[001A2B3C4D5F]\r\nNAME=CAF\xE9 \"A\", B    \r\nIP=192.168.1.20\r\n"
            "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=239.1.1.1\r\nINPUT=0\r\nTYPE=1\r\n"
            "TX=1\r\nROLE=2\r\nSN=777\r\nVER=11.2\r\nSFN=0\r\nBUF=3\r\nATT=240\r\n");
        const std::string csv = inventoryCsv(document, [](const std::string& section) {
            return section == "001A2B3C4D5E" ? "online" : "no answer\r\nsince 3 s";
        });
        QCOMPARE(QByteArray::fromStdString(csv),
                 kHeader +
                     "00:1A:2B:3C:4D:5E,STUDIO,192.168.1.10,255.255.255.0,192.168.1.1,"
                     "192.168.1.20,ENCODER,Left/Right,Analog,Unicast,12345,2.10,1,5,,,online\r\n"
                     "00:1A:2B:3C:4D:5F,\"CAF\xC3\xA9 \"\"A\"\", B\",192.168.1.20,255.255.255.0,"
                     "192.168.1.1,239.1.1.1,DECODER,MPX,Digital,Multicast,777,11.20,0,3,240,-7.5,"
                     "\"no answer\r\nsince 3 s\"\r\n");
    }

    void inventoryRows_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QByteArray>("rows");
        QTest::newRow("empty database") << QByteArray() << QByteArray();
        QTest::newRow("no keys") << QByteArray("[0000000000B1]")
                                 << QByteArray("00:00:00:00:00:B1,,,,,,,,,,,2.00,,,,,\r\n");
        QTest::newRow("codes off their lists, mute")
            << QByteArray("[0000000000B1]\nROLE=7\nTYPE=2\nINPUT=x\nTX=-1\nVER=2,5\nATT=14")
            << QByteArray("00:00:00:00:00:B1,,,,,,UNKNOWN,,,,,2.50,,,14,,\r\n");
        QTest::newRow("attenuation scale ends")
            << QByteArray("[0000000000B1]\nROLE=1.0\nATT=15\n[0000000000B2]\nROLE=2\nATT=255\n"
                          "[0000000000B3]\nATT=256")
            << QByteArray("00:00:00:00:00:B1,,,,,,ENCODER,,,,,2.00,,,15,-120,\r\n"
                          "00:00:00:00:00:B2,,,,,,DECODER,,,,,2.00,,,255,0,\r\n"
                          "00:00:00:00:00:B3,,,,,,,,,,,2.00,,,256,,\r\n");
        QTest::newRow("elements only, each once")
            << QByteArray("[0000000000B1]\nNAME=A\n[0000000000b1]\nNAME=B\n[]\n[STUDIOLINK01]\n"
                          "[0000000000b2]")
            << QByteArray("00:00:00:00:00:B1,A,,,,,,,,,,2.00,,,,,\r\n"
                          "00:00:00:00:00:B2,,,,,,,,,,,2.00,,,,,\r\n");
        // Names come off the wire, the other texts are as stored; numbers the station made stay.
        QTest::newRow("formulas are text")
            << QByteArray("[0000000000B1]\nNAME==cmd|'/c calc'!A\nIP=+1\nMASK=-1\nGW=@SUM(A1)\n"
                          "ATT=240\nSFN=1-1\n[0000000000B2]\nNAME=\0x\n"_ba)
            << QByteArray("00:00:00:00:00:B1,\"'=cmd|'/c calc'!A\",\"'+1\",\"'-1\",\"'@SUM(A1)\","
                          ",,,,,,2.00,1-1,,240,-7.5,\r\n"
                          "00:00:00:00:00:B2,\"'\0x\",,,,,,,,,,2.00,,,,,\r\n"_ba);
    }
    void inventoryRows() {
        QFETCH(QByteArray, ini);
        QFETCH(QByteArray, rows);
        const std::string csv = inventoryCsv(IniDocument::parse(ini.toStdString()));
        QCOMPARE(QByteArray::fromStdString(csv), kHeader + rows);
    }
};

QTEST_APPLESS_MAIN(TestNetworkCheck)
#include "test_network_check.moc"
