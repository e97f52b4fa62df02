// The decoder's attenuation command and the encoder's audio-level display: requests on the wire,
// the meter, starting and stopping. The readout texts themselves are in test_readouts.
#include "station/attenuation_control.h"
#include "station/level_monitor.h"
#include "station_fixture.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using varnetix::WindowControls;

namespace {

const QString kMac = u"00:1A:2B:3C:4D:5E"_s;

QByteArray record(int role, bool withAddress = true) {
    QByteArray text = "[001A2B3C4D5E]\r\nNAME=ELEMENT\r\n";
    if (withAddress)
        text += "IP=127.0.0.1\r\n";
    text += "MASK=255.0.0.0\r\nGW=127.0.0.1\r\nREMOTE=239.1.1.1\r\nINPUT=0\r\nTYPE=0\r\nTX=0\r\n"
            "ROLE=" +
            QByteArray::number(role) + "\r\nSN=5\r\nVER=2\r\nSFN=0\r\nBUF=2\r\n";
    if (role == 2)
        text += "ATT=200\r\n";
    return text;
}

// 480 samples; the first holds the given positive peak, the others are silent or negative.
QByteArray levelDatagram(std::uint32_t peak) {
    QByteArray data(1440, '\0');
    for (int k = 1; k < 480; k += 2)
        data[3 * k] = char(0xFF); // negative samples never count
    data[0] = char((peak >> 16) & 0xFF);
    data[1] = char((peak >> 8) & 0xFF);
    data[2] = char(peak & 0xFF);
    return data;
}

} // namespace

class TestAttenuationLevel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void focusedDecoderSendsAndStores_data();
    void focusedDecoderSendsAndStores();
    void valueSetByCodeElsewhereSendsNothing();
    void encoderSendsNoAttenuation();
    void attenuationSendFailureIsReported();

    void levelRequestsWhileRunning();
    void levelIsShownAndStopped();
    void sliderSetsThePollingInterval();
    void levelSendFailureStopsOnce();

private:
    WindowControls& c() { return m_s->c(); }
    bool select(const QByteArray& database);
    // The next datagram at the command port, which must be `bytes` from the station's port.
    void expectCommand(const QByteArray& bytes);
    // Nothing reached the command port before this known request.
    void expectNoCommand();

    std::unique_ptr<Station> m_s;
};

void TestAttenuationLevel::init() {
    m_s = std::make_unique<Station>();
}

void TestAttenuationLevel::cleanup() {
    m_s.reset();
}

bool TestAttenuationLevel::select(const QByteArray& database) {
    m_s->writeDatabase(database);
    m_s->start();
    m_s->window->show();
    if (!QTest::qWaitForWindowExposed(m_s->window.get()))
        return false;
    c().TreeView1->setFocus();
    return m_s->selectNode(kMac);
}

void TestAttenuationLevel::expectCommand(const QByteArray& bytes) {
    const QNetworkDatagram datagram = Station::receive(m_s->commandPeer);
    QCOMPARE(datagram.data().toHex(' '), bytes.toHex(' '));
    QCOMPARE(datagram.senderPort(), int(m_s->stationPort()));
}

void TestAttenuationLevel::expectNoCommand() {
    m_s->window->levelMonitor().RequestAudioLevel();
    expectCommand("VOL");
}

void TestAttenuationLevel::focusedDecoderSendsAndStores_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("minimum") << 14 << QByteArray::fromHex("0e00");
    QTest::newRow("maximum") << 255 << QByteArray::fromHex("ff00");
    QTest::newRow("middle") << 128 << QByteArray::fromHex("8000");
}

void TestAttenuationLevel::focusedDecoderSendsAndStores() {
    QFETCH(int, value);
    QFETCH(QByteArray, command);
    QVERIFY(select(record(2)));
    // Loading the decoder set the scroll bar from the database, and sent nothing.
    QCOMPARE(c().scrlAtten->value(), 200);
    QCOMPARE(c().lblAttenDB->text(), u"-27.5 dB"_s);

    c().scrlAtten->setFocus();
    QCOMPARE(c().scrlAtten->window()->focusWidget(), c().scrlAtten);
    c().scrlAtten->setValue(value);
    expectCommand(command);
    QVERIFY(m_s->database().endsWith("\r\nATT=" + QByteArray::number(value) + "\r\n"));
    QVERIFY(m_s->dialogs.boxes.isEmpty());
    // Nothing else was sent, neither while loading nor after the command.
    expectNoCommand();
}

void TestAttenuationLevel::valueSetByCodeElsewhereSendsNothing() {
    QVERIFY(select(record(2)));
    c().txtElementName->setFocus();
    QCOMPARE(c().scrlAtten->window()->focusWidget(), c().txtElementName);
    c().scrlAtten->setValue(20);
    QCOMPARE(c().lblAttenDB->text(), u"-117.5 dB"_s);
    QVERIFY(m_s->database().endsWith("\r\nATT=200\r\n"));
    expectNoCommand();
}

void TestAttenuationLevel::encoderSendsNoAttenuation() {
    QVERIFY(select(record(1)));
    c().scrlAtten->setFocus();
    c().scrlAtten->setValue(14);
    QCOMPARE(c().lblAttenDB->text(), u"Mute"_s);
    QVERIFY(!m_s->database().contains("ATT="));
    expectNoCommand();
}

void TestAttenuationLevel::attenuationSendFailureIsReported() {
    QVERIFY(select(record(2, false)));
    c().scrlAtten->setFocus();
    c().scrlAtten->setValue(30);
    QCOMPARE(m_s->dialogs.boxes.size(), 1);
    const RecordedBox box = m_s->dialogs.boxes.first();
    QCOMPARE(box.icon, RecordedBox::Critical);
    QCOMPARE(box.title, u"Halvoren Varnetix Manager"_s);
    QCOMPARE(box.text, u"Unable to reach the Network Element at ''.\r"
                       "The attenuation was not changed."_s);
    QVERIFY(m_s->database().endsWith("\r\nATT=200\r\n"));
}

void TestAttenuationLevel::levelRequestsWhileRunning() {
    QVERIFY(select(record(1)));
    QVERIFY(c().button(varnetix::kButtonStartLevel)->isEnabled());
    QVERIFY(!c().button(varnetix::kButtonStopLevel)->isEnabled());
    m_s->window->toolbarClicked(varnetix::kButtonStartLevel);
    QVERIFY(c().tmrVolume->isActive());
    QCOMPARE(c().tmrVolume->interval(), m_s->settings.volumeMs);
    QVERIFY(c().chkGetVolume->isChecked());
    QVERIFY(!c().button(varnetix::kButtonStartLevel)->isEnabled());
    QVERIFY(c().button(varnetix::kButtonStopLevel)->isEnabled());
    for (int i = 0; i < 4; ++i)
        expectCommand("VOL");

    m_s->window->toolbarClicked(varnetix::kButtonStopLevel);
    QVERIFY(!c().tmrVolume->isActive());
    QVERIFY(!c().chkGetVolume->isChecked());
    QVERIFY(c().button(varnetix::kButtonStartLevel)->isEnabled());
    QVERIFY(!c().button(varnetix::kButtonStopLevel)->isEnabled());
}

void TestAttenuationLevel::levelIsShownAndStopped() {
    QVERIFY(select(record(1)));
    m_s->window->toolbarClicked(varnetix::kButtonStartLevel);
    const QNetworkDatagram request = Station::receive(m_s->commandPeer);
    QCOMPARE(request.data(), QByteArray("VOL"));

    QSignalSpy arrived(&m_s->window->udpClient(), &varnetix::UdpEndpoint::DataArrival);
    m_s->commandPeer.writeDatagram(levelDatagram(4194304), request.senderAddress(),
                                   request.senderPort());
    QTRY_COMPARE(arrived.count(), 1);
    QCOMPARE(c().lblVolume->text(), u"-6dBFS"_s);
    QCOMPARE(c().VUMeter->levelWidth(), 1050);

    m_s->commandPeer.writeDatagram(levelDatagram(524288), request.senderAddress(),
                                   request.senderPort());
    QTRY_COMPARE(arrived.count(), 2);
    QCOMPARE(c().lblVolume->text(), u"-24.1dBFS"_s);
    QCOMPARE(c().VUMeter->levelWidth(), 131);

    m_s->window->toolbarClicked(varnetix::kButtonStopLevel);
    QCOMPARE(c().lblVolume->text(), u"-oodBFS"_s);
    QCOMPARE(c().VUMeter->levelWidth(), 0);

    // A late answer after the stop shows nothing.
    m_s->commandPeer.writeDatagram(levelDatagram(8388607), request.senderAddress(),
                                   request.senderPort());
    QTRY_COMPARE(arrived.count(), 3);
    QCOMPARE(c().lblVolume->text(), u"-oodBFS"_s);
    QCOMPARE(c().VUMeter->levelWidth(), 0);
    QVERIFY(m_s->dialogs.boxes.isEmpty());
}

void TestAttenuationLevel::sliderSetsThePollingInterval() {
    m_s->start();
    c().Slider1->setValue(250);
    QCOMPARE(c().tmrVolume->interval(), 250);
    c().Slider1->setValue(35);
    QCOMPARE(c().tmrVolume->interval(), 35);
}

void TestAttenuationLevel::levelSendFailureStopsOnce() {
    QVERIFY(select(record(1, false)));
    // Further ticks would come while the box is open, were the polling not stopped first.
    int ticksWhileOpen = -1;
    m_s->dialogs.whileOpen = [&] {
        QSignalSpy ticks(c().tmrVolume, &QTimer::timeout);
        QTest::qWait(10 * m_s->settings.volumeMs);
        ticksWhileOpen = int(ticks.count());
    };
    m_s->window->toolbarClicked(varnetix::kButtonStartLevel);
    QTRY_COMPARE(m_s->dialogs.boxes.size(), 1);
    m_s->dialogs.whileOpen = nullptr;
    QCOMPARE(ticksWhileOpen, 0);
    const RecordedBox box = m_s->dialogs.boxes.first();
    QCOMPARE(box.icon, RecordedBox::Critical);
    QCOMPARE(box.title, u"Halvoren Varnetix Manager"_s);
    QCOMPARE(box.text, u"Unable to reach the Network Element at ''.\r"
                       "Audio monitoring has been stopped."_s);
    QVERIFY(!c().tmrVolume->isActive());
    QVERIFY(!c().chkGetVolume->isChecked());
    QCOMPARE(c().lblVolume->text(), u"-oodBFS"_s);
    QCOMPARE(c().VUMeter->levelWidth(), 0);
    QVERIFY(c().button(varnetix::kButtonStartLevel)->isEnabled());
    QVERIFY(!c().button(varnetix::kButtonStopLevel)->isEnabled());
    QCOMPARE(m_s->dialogs.boxes.size(), 1);
}

QTEST_MAIN(TestAttenuationLevel)
#include "test_attenuation_level.moc"
