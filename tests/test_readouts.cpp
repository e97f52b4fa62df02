// Number texts of the panel: dB and mS readouts, the audio level, version captions.
#include "core/audio_level.h"
#include "core/commands.h"
#include "core/feedback_packet.h"
#include "core/number_text.h"

#include <QTest>

#include <charconv>
#include <clocale>
#include <limits>

using namespace varnetix;

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

// A level datagram of silence with one sample set.
QByteArray withSample(int index, const QByteArray& sample, int size = 1440) {
    QByteArray datagram(size, '\0');
    datagram.replace(index * 3, 3, sample);
    return datagram;
}

} // namespace

class TestReadouts : public QObject {
    Q_OBJECT

private slots:
    void attenuation_data();
    void attenuation();
    void latency();
    void audioLevel_data();
    void audioLevel();
    void plainNumber_data();
    void plainNumber();
    void versionTexts();
    void versionTwoDecimals_data();
    void versionTwoDecimals();
    void storedVersionReadsBackForEveryPacket();
    void independentOfCLocale();
};

void TestReadouts::attenuation_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("minimum") << 14 << QByteArray("Mute");
    QTest::newRow("below minimum") << 0 << QByteArray("Mute");
    QTest::newRow("15") << 15 << QByteArray("-120 dB");
    QTest::newRow("248") << 248 << QByteArray("-3.5 dB");
    QTest::newRow("253") << 253 << QByteArray("-1 dB");
    QTest::newRow("254") << 254 << QByteArray("-0.5 dB");
    QTest::newRow("255") << 255 << QByteArray("0 dB");
}

void TestReadouts::attenuation() {
    QFETCH(int, value);
    QTEST(bytes(AttenuationReadout(value)), "text");
}

void TestReadouts::latency() {
    const char* texts[] = {"0mS",    "2.5mS", "5mS",    "7.5mS", "10mS",
                           "12.5mS", "15mS",  "17.5mS", "20mS"};
    for (int value = kBufferMinimum; value <= kBufferMaximum; ++value)
        QCOMPARE(bytes(LatencyReadout(value)), QByteArray(texts[value]));
}

void TestReadouts::audioLevel_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("peak");
    QTest::addColumn<int>("width");
    QTest::addColumn<QByteArray>("text");
    const QByteArray none(kNoLevelText);
    QTest::newRow("silence") << QByteArray(1440, '\0') << 0 << 0 << none;
    QTest::newRow("all negative") << QByteArray(1440, '\x80') << 0 << 0 << none;
    QTest::newRow("half scale") << withSample(7, QByteArray::fromHex("400000")) << 4194304 << 1050
                                << QByteArray("-6dBFS");
    QTest::newRow("sixteenth") << withSample(0, QByteArray::fromHex("080000")) << 524288 << 131
                               << QByteArray("-24.1dBFS");
    QTest::newRow("one") << withSample(479, QByteArray::fromHex("000001")) << 1 << 0
                         << QByteArray("-138.5dBFS");
    QTest::newRow("largest") << withSample(100, QByteArray::fromHex("7fffff")) << 8388607 << 2100
                             << QByteArray("0dBFS");
    // r * 2100 = 262.5 and 787.5: halves go to the even neighbour.
    QTest::newRow("tie down") << withSample(3, QByteArray::fromHex("100000")) << 1048576 << 262
                              << QByteArray("-18.1dBFS");
    QTest::newRow("tie up") << withSample(3, QByteArray::fromHex("300000")) << 3145728 << 788
                            << QByteArray("-8.5dBFS");
    QByteArray mixed = withSample(0, QByteArray::fromHex("ffffff"));
    mixed.replace(3, 6, QByteArray::fromHex("800000 000100"));
    QTest::newRow("loud negatives skipped") << mixed << 256 << 0 << QByteArray("-90.3dBFS");
    QTest::newRow("empty") << QByteArray() << 0 << 0 << none;
    QTest::newRow("partial sample") << QByteArray::fromHex("4000") << 0 << 0 << none;
    QTest::newRow("oversized") << withSample(480, QByteArray::fromHex("400000"), 1443) << 4194304
                               << 1050 << QByteArray("-6dBFS");
    QTest::newRow("cut sample ignored")
        << withSample(480, QByteArray::fromHex("400000"), 1443).left(1442) << 0 << 0 << none;
}

void TestReadouts::audioLevel() {
    QFETCH(QByteArray, datagram);
    const AudioLevel level =
        EvaluateAudioLevel({datagram.constData(), std::size_t(datagram.size())});
    QTEST(int(level.peak), "peak");
    QTEST(level.barWidth, "width");
    QTEST(bytes(level.text), "text");
}

void TestReadouts::plainNumber_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("0") << 0.0 << QByteArray("0");
    QTest::newRow("-0") << -0.0 << QByteArray("0");
    QTest::newRow("-0.5") << -0.5 << QByteArray("-0.5");
    QTest::newRow("-1") << -1.0 << QByteArray("-1");
    QTest::newRow("-120") << -120.0 << QByteArray("-120");
    QTest::newRow("7.5") << 7.5 << QByteArray("7.5");
    QTest::newRow("20") << 20.0 << QByteArray("20");
    QTest::newRow("-24.1") << -24.1 << QByteArray("-24.1");
    QTest::newRow("0.1") << 0.1 << QByteArray("0.1");
    QTest::newRow("no exponent, large") << 1e21 << QByteArray("1000000000000000000000");
    QTest::newRow("no exponent, small") << 1e-5 << QByteArray("0.00001");
}

void TestReadouts::plainNumber() {
    QFETCH(double, value);
    QTEST(bytes(PlainNumber(value)), "text");
}

void TestReadouts::versionTexts() {
    QCOMPARE(bytes(StoredVersion(2.0f)), QByteArray("2"));
    QCOMPARE(bytes(StoredVersion(2.1f)), QByteArray("2.1"));
    QCOMPARE(bytes(StoredVersion(11.2f)), QByteArray("11.2"));
    QCOMPARE(bytes(StoredVersion(25525.5f)), QByteArray("25525.5"));
    QCOMPARE(bytes(StoredVersion(0.5f)), QByteArray("0.5"));
    QCOMPARE(bytes(VersionOneDecimal(2.0f)), QByteArray("2.0"));
    QCOMPARE(bytes(VersionOneDecimal(2.1f)), QByteArray("2.1"));
    QCOMPARE(bytes(VersionOneDecimal(11.2f)), QByteArray("11.2"));
    QCOMPARE(bytes(VersionOneDecimal(25525.5f)), QByteArray("25525.5"));
    QCOMPARE(bytes(VersionOneDecimal(0.0f)), QByteArray("0.0"));
}

void TestReadouts::versionTwoDecimals_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("shown");
    const std::pair<const char*, const char*> rows[] = {
        {"2", "2.00"},   {"2,5", "2.50"},    {"2.1", "2.10"},    {"", "0.00"},
        {"abc", "0.00"}, {"11.2", "11.20"},  {" 3.456", "3.46"}, {"-1.5", "-1.50"},
        {"+4", "4.00"},  {"2.1.3", "2.10"},  {"2,5,7", "2.50"},  {"7x", "7.00"},
        {".5", "0.50"},  {"5.", "5.00"},     {".", "0.00"},      {"-", "0.00"},
        {"-0", "0.00"},  {"-0.001", "0.00"}, {"x2", "0.00"},     {"25525.5", "25525.50"},
    };
    for (const auto& [stored, shown] : rows)
        QTest::newRow(*stored ? stored : "empty") << QByteArray(stored) << QByteArray(shown);
    QTest::newRow("too long for a double") << QByteArray(400, '9') << QByteArray("0.00");
}

void TestReadouts::versionTwoDecimals() {
    QFETCH(QByteArray, stored);
    QTEST(bytes(VersionTwoDecimals(stored.toStdString())), "shown");
}

void TestReadouts::storedVersionReadsBackForEveryPacket() {
    // Every version a packet can carry must survive the database as the same float.
    for (int first = 0; first <= 255; ++first) {
        for (int second = 0; second <= 255; ++second) {
            const float version = DecodeVersion(std::uint8_t(first), std::uint8_t(second));
            const std::string text = StoredVersion(version);
            float readBack = -1.0f;
            const auto result = std::from_chars(text.data(), text.data() + text.size(), readBack);
            if (result.ec != std::errc{} || result.ptr != text.data() + text.size() ||
                readBack != version)
                QFAIL(qPrintable(QStringLiteral("%1 %2 -> %3")
                                     .arg(first)
                                     .arg(second)
                                     .arg(QString::fromStdString(text))));
        }
    }
}

void TestReadouts::independentOfCLocale() {
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "nl_NL.UTF-8"};
    const char* found = nullptr;
    for (const char* name : commaLocales) {
        if (std::setlocale(LC_ALL, name)) {
            found = name;
            break;
        }
    }
    if (!found)
        QSKIP("No locale with a decimal comma is installed");
    const std::string attenuation = AttenuationReadout(248);
    const std::string version = VersionTwoDecimals("2,5");
    const std::string level =
        EvaluateAudioLevel(withSample(0, QByteArray::fromHex("080000")).toStdString()).text;
    std::setlocale(LC_ALL, "C");
    QCOMPARE(bytes(attenuation), QByteArray("-3.5 dB"));
    QCOMPARE(bytes(version), QByteArray("2.50"));
    QCOMPARE(bytes(level), QByteArray("-24.1dBFS"));
}

QTEST_APPLESS_MAIN(TestReadouts)
#include "test_readouts.moc"
