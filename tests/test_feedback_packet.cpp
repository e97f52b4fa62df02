// Decoding, checking and re-encoding the element's feedback packet.
#include "core/feedback_packet.h"

#include <QTest>

using namespace varnetix;

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// 192.168.1.10 / 255.255.255.0 / 192.168.1.1, remote 192.168.1.20, Analog, L/R, Unicast,
// "STUDIO" padded, then the role byte and serial 12345.
QByteArray base(char role) {
    return QByteArray::fromHex("c0a8010a ffffff00 c0a80101 c0a80114 01 00 00") +
           QByteArray("STUDIO          ") + role + QByteArray::fromHex("00003039");
}

QByteArray encoderPacket() {
    return base(1) + QByteArray::fromHex("02010105");
}
QByteArray decoderPacket() {
    return base(2) + QByteArray::fromHex("f002030003");
}

// Every field, so that one comparison shows exactly what differs.
QByteArray describe(const FeedbackRecord& r) {
    return bytes(r.ElementIP + '|' + r.ElementMask + '|' + r.ElementGW + '|' + r.RemoteIP + '|' +
                 std::to_string(r.AudioInput) + '|' + std::to_string(r.AudioType) + '|' +
                 std::to_string(r.TxType) + '|' + r.ElementName + '|' +
                 std::to_string(r.ElementRole) + '|' + std::to_string(r.SerialNumber) + '|' +
                 std::to_string(r.DspVersion) + '|' + std::to_string(r.SfnOption) + '|' +
                 std::to_string(r.BufferSize) + '|' + std::to_string(r.Attenuation) + '|' +
                 r.ElementMAC);
}

FeedbackRecord startingRecord() {
    FeedbackRecord r;
    r.Attenuation = 77;
    r.ElementMAC = "00:1A:2B:3C:4D:5E";
    return r;
}

} // namespace

class TestFeedbackPacket : public QObject {
    Q_OBJECT

private slots:
    void decodesFields();
    void tail_data();
    void tail();
    void everyLengthIsDecodedOrRefused();
    void versionParts_data();
    void versionParts();
    void serialNumber_data();
    void serialNumber();
    void firstFailingCheck_data();
    void firstFailingCheck();
    void addressChecks();
    void checkLines();
    void encodeIsTheInverse_data();
    void encodeIsTheInverse();
    void encodeClampsLength();
};

void TestFeedbackPacket::decodesFields() {
    FeedbackRecord r = startingRecord();
    QVERIFY(DecodeFeedback(encoderPacket().toStdString(), r));
    QCOMPARE(describe(r), QByteArray("192.168.1.10|255.255.255.0|192.168.1.1|192.168.1.20|1|0|0|"
                                     "STUDIO          |1|12345|2.100000|1|5|77|00:1A:2B:3C:4D:5E"));
    QCOMPARE(CheckFeedback(r), FeedbackCheck::Passed);

    // Name bytes are taken as they are: lower case, NUL and high bytes survive.
    QByteArray odd = encoderPacket();
    odd.replace(19, 16, QByteArray("ab\0\xff\x7f            ", 16));
    QVERIFY(DecodeFeedback(odd.toStdString(), r));
    QCOMPARE(bytes(r.ElementName), QByteArray("ab\0\xff\x7f            ", 16));
}

void TestFeedbackPacket::tail_data() {
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("attenuation");
    QTest::addColumn<float>("version");
    QTest::addColumn<int>("sfn");
    QTest::addColumn<int>("buffer");
    // Encoder packets leave the attenuation of the record (77) alone.
    QTest::newRow("encoder 44") << encoderPacket() << 77 << 2.1f << 1 << 5;
    QTest::newRow("encoder 45") << encoderPacket() + '\x09' << 77 << 2.1f << 1 << 5;
    QTest::newRow("encoder 41") << encoderPacket().left(41) << 77 << 2.0f << 0 << 0;
    QTest::newRow("encoder 40") << encoderPacket().left(40) << 77 << 2.0f << 0 << 0;
    QTest::newRow("role 0, 44") << base(0) + QByteArray::fromHex("010c0203") << 77 << 11.2f << 2
                                << 3;
    QTest::newRow("decoder 45") << decoderPacket() << 240 << 2.3f << 0 << 3;
    QTest::newRow("decoder 44") << decoderPacket().left(44) << 240 << 2.3f << 0 << 1;
    QTest::newRow("decoder 41") << decoderPacket().left(41) << 240 << 2.0f << 0 << 1;
    QTest::newRow("decoder 40") << decoderPacket().left(40) << 255 << 2.0f << 0 << 1;
}

void TestFeedbackPacket::tail() {
    QFETCH(QByteArray, packet);
    FeedbackRecord r = startingRecord();
    QVERIFY(DecodeFeedback(packet.toStdString(), r));
    QTEST(int(r.Attenuation), "attenuation");
    QTEST(r.DspVersion, "version");
    QTEST(int(r.SfnOption), "sfn");
    QTEST(int(r.BufferSize), "buffer");
    QCOMPARE(bytes(r.ElementMAC), QByteArray("00:1A:2B:3C:4D:5E"));
}

void TestFeedbackPacket::everyLengthIsDecodedOrRefused() {
    for (const QByteArray& full : {encoderPacket(), decoderPacket()}) {
        const QByteArray longest = full + QByteArray(15, '\x42');
        for (int length = 0; length <= 60; ++length) {
            FeedbackRecord r = startingRecord();
            const bool decodable = length == 40 || length == 41 || length == 44 || length == 45;
            QCOMPARE(IsFeedbackLength(std::size_t(length)), decodable);
            QCOMPARE(DecodeFeedback(longest.left(length).toStdString(), r), decodable);
            if (!decodable)
                QCOMPARE(describe(r), describe(startingRecord()));
            else
                QCOMPARE(bytes(r.ElementIP), QByteArray("192.168.1.10"));
        }
    }
}

void TestFeedbackPacket::versionParts_data() {
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<float>("version");
    QTest::newRow("2 1") << 2 << 1 << 2.1f;
    QTest::newRow("2 0") << 2 << 0 << 2.0f;
    QTest::newRow("1 12") << 1 << 12 << 11.2f;
    QTest::newRow("0 5") << 0 << 5 << 0.5f;
    QTest::newRow("0 0") << 0 << 0 << 0.0f;
    QTest::newRow("10 100") << 10 << 100 << 1010.0f;
    QTest::newRow("255 255") << 255 << 255 << 25525.5f;
}

void TestFeedbackPacket::versionParts() {
    QFETCH(int, first);
    QFETCH(int, second);
    QTEST(DecodeVersion(std::uint8_t(first), std::uint8_t(second)), "version");
}

void TestFeedbackPacket::serialNumber_data() {
    QTest::addColumn<QByteArray>("serialBytes");
    QTest::addColumn<int>("serial");
    QTest::addColumn<bool>("passes");
    QTest::newRow("32768") << QByteArray::fromHex("00008000") << 32768 << true;
    QTest::newRow("1") << QByteArray::fromHex("00000001") << 1 << true;
    QTest::newRow("zero") << QByteArray::fromHex("00000000") << 0 << false;
    QTest::newRow("largest") << QByteArray::fromHex("7fffffff") << 2147483647 << true;
    QTest::newRow("MSB 0x80") << QByteArray::fromHex("80000000") << int(-2147483647 - 1) << false;
    QTest::newRow("all ones") << QByteArray::fromHex("ffffffff") << -1 << false;
}

void TestFeedbackPacket::serialNumber() {
    QFETCH(QByteArray, serialBytes);
    QFETCH(bool, passes);
    QByteArray packet = encoderPacket();
    packet.replace(36, 4, serialBytes);
    FeedbackRecord r;
    QVERIFY(DecodeFeedback(packet.toStdString(), r));
    QTEST(int(r.SerialNumber), "serial");
    QCOMPARE(CheckFeedback(r), passes ? FeedbackCheck::Passed : FeedbackCheck::SerialNumber);
}

void TestFeedbackPacket::firstFailingCheck_data() {
    QTest::addColumn<QByteArray>("patch"); // pairs of offset and byte
    QTest::addColumn<int>("check");
    const auto row = [](const char* name, QByteArray patch, FeedbackCheck check) {
        QTest::newRow(name) << patch << int(check);
    };
    row("audio input 2 and TX 5", QByteArray::fromHex("1002 1205"), FeedbackCheck::AudioInput);
    row("audio type 2", QByteArray::fromHex("1102"), FeedbackCheck::AudioType);
    row("TX type 1", QByteArray::fromHex("1201"), FeedbackCheck::Passed);
    row("TX type 2 and role 3", QByteArray::fromHex("1202 2303"), FeedbackCheck::TxType);
    row("role 0", QByteArray::fromHex("2300"), FeedbackCheck::Passed);
    row("role 3", QByteArray::fromHex("2303"), FeedbackCheck::ElementType);
    row("role 3 and serial 0", QByteArray::fromHex("2303 2600 2700"), FeedbackCheck::ElementType);
    row("serial 0", QByteArray::fromHex("2600 2700"), FeedbackCheck::SerialNumber);
}

void TestFeedbackPacket::firstFailingCheck() {
    QFETCH(QByteArray, patch);
    QByteArray packet = encoderPacket();
    for (int i = 0; i + 1 < patch.size(); i += 2)
        packet[int(quint8(patch[i]))] = patch[i + 1];
    FeedbackRecord r;
    QVERIFY(DecodeFeedback(packet.toStdString(), r));
    QTEST(int(CheckFeedback(r)), "check");
}

void TestFeedbackPacket::addressChecks() {
    FeedbackRecord good;
    QVERIFY(DecodeFeedback(encoderPacket().toStdString(), good));
    FeedbackRecord r = good;
    r.RemoteIP = "1.2.3";
    r.AudioInput = 9;
    QCOMPARE(CheckFeedback(r), FeedbackCheck::RemoteIP);
    r.ElementGW = "";
    QCOMPARE(CheckFeedback(r), FeedbackCheck::ElementGW);
    r.ElementMask = "255.255.255.256";
    QCOMPARE(CheckFeedback(r), FeedbackCheck::ElementMask);
    r.ElementIP = "1.2.3.4.";
    QCOMPARE(CheckFeedback(r), FeedbackCheck::ElementIP);
}

void TestFeedbackPacket::checkLines() {
    // The other checks' lines, and the MAC's, are compared whole in test_feedback_handling.
    const std::pair<FeedbackCheck, const char*> lines[] = {
        {FeedbackCheck::ElementIP, "An error occured while retrieving 'Element IP':"},
        {FeedbackCheck::ElementMask, "An error occured while retrieving 'Element Mask':"},
        {FeedbackCheck::ElementGW, "An error occured while retrieving 'Element GW':"},
        {FeedbackCheck::RemoteIP, "An error occured while retrieving 'Remote IP':"},
        {FeedbackCheck::Passed, ""},
    };
    for (const auto& [check, line] : lines)
        QCOMPARE(bytes(FeedbackCheckLine(check)), QByteArray(line));
}

void TestFeedbackPacket::encodeIsTheInverse_data() {
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::newRow("encoder 44") << encoderPacket() << 2 << 1;
    QTest::newRow("encoder 40") << encoderPacket().left(40) << 2 << 1;
    QTest::newRow("decoder 45") << decoderPacket() << 2 << 3;
    QTest::newRow("decoder 41") << decoderPacket().left(41) << 2 << 3;
    QTest::newRow("encoder 45 with zero filler") << encoderPacket() + '\0' << 2 << 1;
}

void TestFeedbackPacket::encodeIsTheInverse() {
    QFETCH(QByteArray, packet);
    QFETCH(int, first);
    QFETCH(int, second);
    FeedbackRecord r;
    QVERIFY(DecodeFeedback(packet.toStdString(), r));
    QCOMPARE(bytes(EncodeFeedback(r, std::size_t(packet.size()), std::uint8_t(first),
                                  std::uint8_t(second))),
             packet);
}

void TestFeedbackPacket::encodeClampsLength() {
    FeedbackRecord r;
    QVERIFY(DecodeFeedback(decoderPacket().toStdString(), r));
    QCOMPARE(bytes(EncodeFeedback(r, 0, 2, 3)), QByteArray());
    QCOMPARE(bytes(EncodeFeedback(r, 30, 2, 3)), decoderPacket().left(30));
    QCOMPARE(bytes(EncodeFeedback(r, 43, 2, 3)), decoderPacket().left(43));
    QCOMPARE(bytes(EncodeFeedback(r, 1000, 2, 3)), decoderPacket());

    // Names are sent as they are, only padded or cut to 16 bytes.
    r.ElementName = "lower";
    QCOMPARE(bytes(EncodeFeedback(r, 40, 0, 0)).mid(19, 16), QByteArray("lower           "));
    r.ElementName = "seventeen chars!!";
    QCOMPARE(bytes(EncodeFeedback(r, 40, 0, 0)).mid(19, 16), QByteArray("seventeen chars!"));
}

QTEST_APPLESS_MAIN(TestFeedbackPacket)
#include "test_feedback_packet.moc"
