// The datagrams byte for byte: those the station sends, the decoding and the checks of the
// element's feedback packet, and the evaluation of the audio-level datagram.
#include "core/audio_level.h"
#include "core/commands.h"
#include "core/config_packet.h"
#include "core/feedback_packet.h"
#include "core/paging_request.h"

#include <QTest>

#include <climits>

Q_DECLARE_METATYPE(varnetix::ConfigFields)

using namespace varnetix;

namespace {

QByteArray b(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// 192.168.1.10 / 255.255.255.0 / 192.168.1.1, remote 192.168.1.20, Analog, L/R, Unicast,
// "STUDIO" padded, then the role byte and serial 12345.
QByteArray head(char role) {
    return QByteArray::fromHex("c0a8010a ffffff00 c0a80101 c0a80114 01 00 00") +
           QByteArray("STUDIO          ") + role + QByteArray::fromHex("00003039");
}
const QByteArray kEncoder = head(1) + QByteArray::fromHex("02010105");
const QByteArray kDecoder = head(2) + QByteArray::fromHex("f002030003");

// Each breaks the field of one check, in the order the checks run.
const std::pair<void (*)(FeedbackRecord&), const char*> kBreakers[] = {
    {[](FeedbackRecord& r) { r.ElementIP = "1.2.3.4."; }, "Element IP"},
    {[](FeedbackRecord& r) { r.ElementMask = "255.255.255.256"; }, "Element Mask"},
    {[](FeedbackRecord& r) { r.ElementGW = ""; }, "Element GW"},
    {[](FeedbackRecord& r) { r.RemoteIP = "1.2.3"; }, "Remote IP"},
    {[](FeedbackRecord& r) { r.AudioInput = 2; }, "Audio Input"},
    {[](FeedbackRecord& r) { r.AudioType = 2; }, "Audio Type"},
    {[](FeedbackRecord& r) { r.TxType = 5; }, "TX Type"},
    {[](FeedbackRecord& r) { r.ElementRole = 3; }, "Element Type"},
    {[](FeedbackRecord& r) { r.SerialNumber = 0; }, "Serial Number"}};

QByteArray failureLine(const char* field) {
    return QByteArray("An error occured while retrieving '") + field + "':";
}

} // namespace

class TestPackets : public QObject {
    Q_OBJECT

private slots:
    void stationRequests() {
        QCOMPARE(b(PagingRequest()), QByteArray("IPMPXSTL HALVOREN PAGING REQUEST"));
        QCOMPARE(b(AttenuationCommand(14)), QByteArray::fromHex("0e00"));
        QCOMPARE(b(AttenuationCommand(255)), QByteArray::fromHex("ff00"));
        QCOMPARE(b(AudioLevelRequest()), QByteArray::fromHex("564f4c"));
    }

    void configPacket_data() {
        QTest::addColumn<ConfigFields>("fields");
        QTest::addColumn<QByteArray>("packet");
        const QByteArray addresses = QByteArray::fromHex("c0a8010a ffffff00 c0a80101 ef010101");
        ConfigFields f{"192.168.1.10", "255.255.255.0", "192.168.1.1", "239.1.1.1", 1, 1, 1,
                       "Studio"};
        QTest::newRow("studio") << f << addresses + "\1\1\1STUDIO          ";
        f.name = "abc";
        QTest::newRow("abc") << f << addresses + "\1\1\1ABC             ";
        f.name = "a twenty char name!!";
        QTest::newRow("20 characters") << f << addresses + "\1\1\1A TWENTY CHAR NA";
        f.name = "\351t\337\377"; // Latin-1 e acute, sharp s, y diaeresis
        f.audioType = 0;
        QTest::newRow("Latin-1, type 0")
            << f << addresses + QByteArray::fromHex("010001") + "\311T\337\377            ";
    }
    void configPacket() {
        QFETCH(ConfigFields, fields);
        QFETCH(QByteArray, packet);
        QCOMPARE(packet.size(), 35);
        QCOMPARE(b(BuildConfigPacket(fields)), packet);
    }

    void feedbackFields() {
        FeedbackRecord r;
        QVERIFY(DecodeFeedback(kEncoder.toStdString(), r));
        QCOMPARE(
            b(r.ElementIP + ' ' + r.ElementMask + ' ' + r.ElementGW + ' ' + r.RemoteIP + ' ' +
              r.ElementName),
            QByteArray("192.168.1.10 255.255.255.0 192.168.1.1 192.168.1.20 STUDIO          "));
        QCOMPARE((QList<int>{r.AudioInput, r.AudioType, r.TxType, r.ElementRole, r.SerialNumber}),
                 (QList<int>{1, 0, 0, 1, 12345}));
        QCOMPARE(b(EncodeFeedback(r, 44, 2, 1)), kEncoder);
        // Name bytes are kept as they came: lower case, NUL and high bytes.
        QByteArray odd = kDecoder;
        odd.replace(19, 16, QByteArray("ab\0\377\177           ", 16));
        QVERIFY(DecodeFeedback(odd.toStdString(), r));
        QCOMPARE(b(r.ElementName), odd.mid(19, 16));
        QCOMPARE(b(EncodeFeedback(r, 45, 2, 3)), odd);
    }

    void feedbackTail_data() {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QByteArray>("tail"); // attenuation, version, SFN option, buffer size
        // Packets that are not a decoder's keep the attenuation the record had (77).
        QTest::newRow("encoder 44") << kEncoder << QByteArray("77 2.1 1 5");
        QTest::newRow("encoder 45") << kEncoder + '\x09' << QByteArray("77 2.1 1 5");
        QTest::newRow("encoder 41") << kEncoder.left(41) << QByteArray("77 2 0 0");
        QTest::newRow("encoder 40") << kEncoder.left(40) << QByteArray("77 2 0 0");
        QTest::newRow("role 0, version 1 12")
            << head(0) + QByteArray::fromHex("010c0203") << QByteArray("77 11.2 2 3");
        QTest::newRow("version 10 100")
            << head(1) + QByteArray::fromHex("0a640000") << QByteArray("77 1010 0 0");
        QTest::newRow("decoder 45") << kDecoder << QByteArray("240 2.3 0 3");
        QTest::newRow("decoder 44") << kDecoder.left(44) << QByteArray("240 2.3 0 1");
        QTest::newRow("decoder 41") << kDecoder.left(41) << QByteArray("240 2 0 1");
        QTest::newRow("decoder 40") << kDecoder.left(40) << QByteArray("255 2 0 1");
    }
    void feedbackTail() {
        QFETCH(QByteArray, packet);
        FeedbackRecord r; // what a packet must partly leave alone
        r.Attenuation = 77;
        r.ElementMAC = "00:1A:2B:3C:4D:5E";
        QVERIFY(DecodeFeedback(packet.toStdString(), r));
        QTEST(QByteArray::number(r.Attenuation) + ' ' + QByteArray::number(r.DspVersion) + ' ' +
                  QByteArray::number(r.SfnOption) + ' ' + QByteArray::number(r.BufferSize),
              "tail");
        QCOMPARE(b(r.ElementMAC), QByteArray("00:1A:2B:3C:4D:5E"));
    }

    // Truncated and oversized datagrams are refused and leave the record as it was.
    void feedbackLengths() {
        for (const QByteArray& full : {kEncoder, kDecoder}) {
            const QByteArray longest = full + QByteArray(15, '\x42');
            for (int length = 0; length <= longest.size(); ++length) {
                const bool decodable = length == 40 || length == 41 || length == 44 || length == 45;
                FeedbackRecord r;
                QCOMPARE(IsFeedbackLength(std::size_t(length)), decodable);
                QCOMPARE(DecodeFeedback(longest.left(length).toStdString(), r), decodable);
                QCOMPARE(r.ElementIP.empty(), !decodable);
            }
        }
    }

    // Big-endian; a top bit set makes it negative, and the check refuses it.
    void serialNumber() {
        for (const auto& [hex, serial] : {std::pair{"00008000", 32768}, {"80000000", INT_MIN}}) {
            FeedbackRecord r;
            QVERIFY(DecodeFeedback((head(1).left(36) + QByteArray::fromHex(hex)).toStdString(), r));
            QCOMPARE(r.SerialNumber, serial);
            QCOMPARE(CheckFeedback(r),
                     serial > 0 ? FeedbackCheck::Passed : FeedbackCheck::SerialNumber);
        }
    }

    void checksInOrder() {
        FeedbackRecord r;
        QVERIFY(DecodeFeedback(kEncoder.toStdString(), r));
        for (int role : {0, 2}) { // the last valid values pass
            r.ElementRole = std::uint8_t(role);
            r.TxType = r.AudioType = r.AudioInput = 1;
            QCOMPARE(CheckFeedback(r), FeedbackCheck::Passed);
        }
        QCOMPARE(b(FeedbackCheckLine(FeedbackCheck::Passed)), QByteArray());
        // Broken from the last check to the first: each time, the newly broken one is reported.
        for (int i = int(std::size(kBreakers)) - 1; i >= 0; --i) {
            kBreakers[i].first(r);
            QCOMPARE(b(FeedbackCheckLine(CheckFeedback(r))), failureLine(kBreakers[i].second));
        }
        QCOMPARE(b(MacLookupFailedLine()), failureLine("Element MAC"));
    }

    // The samples given end the 1440-byte datagram; the rest is filled.
    void audioLevel_data() {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("text");
        const auto row = [](const char* name, const char* hex, int width, const char* text,
                            char fill = '\0') {
            QTest::newRow(name) << QByteArray::fromHex(hex).rightJustified(1440, fill) << width
                                << QByteArray(text);
        };
        row("silence", "", 0, "-oodBFS");
        row("all negative", "", 0, "-oodBFS", '\x80');
        row("half", "400000 000000", 1050, "-6dBFS");
        row("sixteenth", "080000", 131, "-24.1dBFS");
        row("one, last sample", "000001", 0, "-138.5dBFS");
        row("largest", "7fffff 000000", 2100, "0dBFS");
        // r * 2100 = 262.5 and 787.5: halves go to the even neighbour.
        row("tie down", "100000", 262, "-18.1dBFS");
        row("tie up", "300000", 788, "-8.5dBFS");
        row("loud negatives skipped", "ffffff 800000 000100", 0, "-90.3dBFS");
    }
    void audioLevel() {
        QFETCH(QByteArray, datagram);
        const AudioLevel level = EvaluateAudioLevel(datagram.toStdString());
        QTEST(level.barWidth, "width");
        QTEST(b(level.text), "text");
    }
};

QTEST_APPLESS_MAIN(TestPackets)
#include "test_packets.moc"
