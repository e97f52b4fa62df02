// The routing of received datagrams by length, as a rule and over the station's real
// loopback endpoint.
#include "core/datagram_route.h"
#include "station/feedback_handler.h"
#include "station_fixture.h"

#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using varnetix::DatagramRoute;
using varnetix::RouteDatagram;

Q_DECLARE_METATYPE(varnetix::DatagramRoute)

namespace {

// Samples of 3 bytes, most significant first: one at half of full scale, the rest silent.
QByteArray halfScale(qsizetype size) {
    QByteArray data(size, '\0');
    if (size >= 3)
        data[0] = '\x40';
    return data;
}

} // namespace

class TestDispatch : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { m_station.reset(); }

    void routeByLength_data();
    void routeByLength();
    void shortDatagramsReachTheFeedbackHandling_data();
    void shortDatagramsReachTheFeedbackHandling();
    void levelDatagramReachesTheDisplay();
    void otherLengthsChangeNothing_data();
    void otherLengthsChangeNothing();
    void backToBackDatagramsArriveWhole();

private:
    varnetix::WindowControls& c() { return m_station->c(); }
    // Polls once in an age, so that no request leaves during the test.
    void runLevelDisplay() { c().tmrVolume->start(24 * 3600 * 1000); }

    std::unique_ptr<Station> m_station;
};

void TestDispatch::init() {
    m_station = std::make_unique<Station>();
    m_station->writeDatabase("[001A2B3C4D5E]\r\nNAME=E1\r\nIP=127.0.0.1\r\nROLE=1\r\n");
    m_station->start();
}

void TestDispatch::routeByLength_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<DatagramRoute>("route");
    const std::pair<int, DatagramRoute> rows[] = {
        {0, DatagramRoute::Feedback},   {1, DatagramRoute::Feedback},
        {3, DatagramRoute::Dropped},    {40, DatagramRoute::Feedback},
        {45, DatagramRoute::Feedback},  {46, DatagramRoute::Dropped},
        {1439, DatagramRoute::Dropped}, {1440, DatagramRoute::AudioLevel},
        {1441, DatagramRoute::Dropped}, {65507, DatagramRoute::Dropped},
    };
    for (const auto& [length, route] : rows)
        QTest::addRow("%d bytes", length) << length << route;
}

void TestDispatch::routeByLength() {
    QFETCH(int, length);
    QFETCH(DatagramRoute, route);
    QCOMPARE(RouteDatagram(static_cast<std::size_t>(length)), route);
}

void TestDispatch::shortDatagramsReachTheFeedbackHandling_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("45 bytes") << QByteArray(45, 'x');
}

void TestDispatch::shortDatagramsReachTheFeedbackHandling() {
    QFETCH(QByteArray, datagram);
    QSignalSpy finished(&m_station->window->feedback(), &varnetix::FeedbackHandler::packetFinished);
    m_station->sendToStation(datagram);
    QVERIFY(finished.wait(3000));
    QCOMPARE(finished.count(), 1);
}

void TestDispatch::levelDatagramReachesTheDisplay() {
    runLevelDisplay();
    m_station->sendToStation(halfScale(1440));
    QTRY_COMPARE(c().lblVolume->text(), u"-6dBFS"_s);
    QCOMPARE(c().VUMeter->levelWidth(), 1050);
    QCOMPARE(m_station->commandPeer.pendingDatagramSize(), qint64(-1));
}

void TestDispatch::otherLengthsChangeNothing_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::newRow("3 bytes") << QByteArray("VOL");
    for (int size : {46, 1439, 1441})
        QTest::addRow("%d bytes", size) << halfScale(size);
}

void TestDispatch::otherLengthsChangeNothing() {
    QFETCH(QByteArray, datagram);
    runLevelDisplay();
    QSignalSpy arrived(&m_station->window->udpClient(), &varnetix::UdpEndpoint::DataArrival);
    QSignalSpy finished(&m_station->window->feedback(), &varnetix::FeedbackHandler::packetFinished);

    // An empty datagram behind it marks the moment the first one has been dispatched.
    m_station->sendToStation(datagram);
    m_station->sendToStation(QByteArray());
    QTRY_COMPARE(arrived.count(), 2);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(c().lblVolume->text(), u"-oodBFS"_s);
    QCOMPARE(c().VUMeter->levelWidth(), 0);
    QVERIFY(m_station->dialogs.boxes.isEmpty());
    QVERIFY(m_station->window->feedback().idle());
}

void TestDispatch::backToBackDatagramsArriveWhole() {
    QSignalSpy arrived(&m_station->window->udpClient(), &varnetix::UdpEndpoint::DataArrival);
    QList<QByteArray> sent;
    for (int size : {45, 1440, 0, 3, 1441, 1, 65507}) {
        QByteArray data(size, '\0');
        for (int i = 0; i < size; ++i)
            data[i] = char((i * 7 + size) & 0xFF);
        sent << data;
    }
    QUdpSocket sender;
    for (const QByteArray& data : sent)
        QCOMPARE(sender.writeDatagram(data, QHostAddress::LocalHost, m_station->stationPort()),
                 qint64(data.size()));
    QTRY_COMPARE(arrived.count(), sent.size());
    for (int i = 0; i < sent.size(); ++i)
        QCOMPARE(arrived[i][0].toByteArray(), sent[i]);
}

QTEST_MAIN(TestDispatch)
#include "test_dispatch.moc"
