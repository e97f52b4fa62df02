// The datagrams the station sends: paging request, configuration packet and the commands.
#include "core/audio_level.h"
#include "core/commands.h"
#include "core/config_packet.h"
#include "core/paging_request.h"

#include <QTest>

Q_DECLARE_METATYPE(varnetix::ConfigFields)

using namespace varnetix;

namespace {

QByteArray bytes(const std::string& s) {
    return QByteArray::fromStdString(s);
}

ConfigFields studioFields() {
    ConfigFields f;
    f.ip = "192.168.1.10";
    f.mask = "255.255.255.0";
    f.gateway = "192.168.1.1";
    f.remote = "239.1.1.1";
    f.audioInput = 1;
    f.audioType = 1;
    f.txType = 1;
    f.name = "Studio";
    return f;
}

} // namespace

class TestOutgoingPackets : public QObject {
    Q_OBJECT

private slots:
    void pagingRequest();
    void configPacket_data();
    void configPacket();
    void attenuationCommand();
    void audioLevelRequest();
};

void TestOutgoingPackets::pagingRequest() {
    const QByteArray expected("IPMPXSTL HALVOREN PAGING REQUEST");
    QCOMPARE(expected.size(), 32);
    QCOMPARE(bytes(PagingRequest()), expected);
}

void TestOutgoingPackets::configPacket_data() {
    QTest::addColumn<ConfigFields>("fields");
    QTest::addColumn<QByteArray>("packet");
    const QByteArray studioAddresses =
        QByteArray::fromHex("c0a8010a ffffff00 c0a80101 ef010101 010101");

    QTest::newRow("studio") << studioFields() << studioAddresses + "STUDIO          ";

    ConfigFields f = studioFields();
    f.name = "abc";
    QTest::newRow("abc") << f << studioAddresses + "ABC             ";
    f.name = "a twenty char name!!";
    QTest::newRow("20 characters") << f << studioAddresses + "A TWENTY CHAR NA";
    f.name = QByteArray("\xe9t\xe9", 3).toStdString();
    QTest::newRow("high bytes") << f << studioAddresses + QByteArray("\xe9T\xe9             ");

    // Unchecked fields still give a complete packet.
    ConfigFields odd;
    odd.ip = "10.1";
    odd.mask = "300.256.511.x";
    odd.gateway = "1.2.3.4.5";
    odd.remote = "..-1.";
    odd.audioInput = -1;
    odd.audioType = 256;
    odd.txType = 513;
    QTest::newRow("unchecked") << odd
                               << QByteArray::fromHex(
                                      "0a010000 2c00ff00 01020304 00000000 ff0001") +
                                      QByteArray(16, ' ');
    QTest::newRow("empty") << ConfigFields{} << QByteArray(19, '\0') + QByteArray(16, ' ');
}

void TestOutgoingPackets::configPacket() {
    QFETCH(ConfigFields, fields);
    QFETCH(QByteArray, packet);
    QCOMPARE(packet.size(), 35);
    QCOMPARE(bytes(BuildConfigPacket(fields)), packet);
}

void TestOutgoingPackets::attenuationCommand() {
    QCOMPARE(bytes(AttenuationCommand(14)), QByteArray::fromHex("0e00"));
    QCOMPARE(bytes(AttenuationCommand(255)), QByteArray::fromHex("ff00"));
    QCOMPARE(bytes(AttenuationCommand(0)), QByteArray::fromHex("0000"));
}

void TestOutgoingPackets::audioLevelRequest() {
    QCOMPARE(bytes(AudioLevelRequest()), QByteArray::fromHex("564f4c"));
}

QTEST_APPLESS_MAIN(TestOutgoingPackets)
#include "test_outgoing_packets.moc"
