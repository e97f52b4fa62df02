// The commands the operator sends to the selected element: the configuration (its checks, the
// question, the 35 bytes to the stored address, the answer and the time-out), a decoder's
// attenuation, and an encoder's audio-level display.
#include "station_fixture.h"

using namespace Qt::Literals::StringLiterals;

namespace {

const RecordedBox kQuestion = {RecordedBox::Question, u"Send configuration"_s,
                               u"This configuration will be sent to selected Network Element and\r"
                               u"will also be saved to local database in your computer. \r"
                               u"Are you sure?"_s};
// IP 192.168.1.10, mask 255.255.255.0, gateway 192.168.1.1, remote 239.1.1.1, Analog, MPX,
// Multicast, Studio.
const QStringList kExample =
    u"txtElementIP=192.168.1.10 txtElementMask=255.255.255.0 txtElementGW=192.168.1.1 "
    u"txtRemoteIP=239.1.1.1 cmbAudioInput=1 cmbAudioType=1 cmbAudioTX=1 txtElementName=Studio"_s
        .split(u' ');
const QByteArray kExamplePacket =
    QByteArray::fromHex("c0a8010a ffffff00 c0a80101 ef010101 01 01 01") + "STUDIO          ";
const QByteArray kWithoutAddress = recordText("001A2B3C4D5E", replaced(kEncoderEntries, {"IP="}));

// 480 samples, the first holding the peak.
QByteArray levelDatagram(quint32 peak) {
    return QByteArray::fromHex(QByteArray::number(peak, 16).rightJustified(6, '0')) +
           QByteArray(1437, '\0');
}

struct Attenuation {
    QByteArray database = sampleDatabase();
    QString key = kDecoderKey;
    bool focused = true; // the scroll bar, else the name field
    int value = 0;
    QByteArray command = {};
    QByteArray after = sampleDatabase();
    QList<RecordedBox> boxes = {};
};

} // namespace

Q_DECLARE_METATYPE(Attenuation)

class TestCommands : public QObject {
    Q_OBJECT

private slots:
    void init() { m_s = std::make_unique<Station>(); }

    void checksInOrder_data() {
        QTest::addColumn<QStringList>("edits"); // "refresh" and "no database" do what they say
        QTest::addColumn<RecordedBox>("box");
        const auto check = [](const char* row, const QStringList& edits, const QString& line) {
            QTest::newRow(row) << edits << critical(line + u"\rCannot save."_s, u"Error!"_s);
        };
        const QString audio = u"Please verify that all audio fields are correct!"_s;
        const QString ip = u"Please verify that all IP fields are correct!"_s;
        check("no selection, all invalid", {u"refresh"_s}, u"No Network Element selected!"_s);
        check("audio input, name, gateway",
              {u"cmbAudioInput=-1"_s, u"txtElementName="_s, u"txtElementGW=1.2.3"_s}, audio);
        check("audio type", {u"cmbAudioType=-1"_s}, audio);
        check("tx type", {u"cmbAudioTX=-1"_s}, audio);
        check("name, ip", {u"txtElementName="_s, u"txtElementIP=1.2.3.4.5"_s},
              u"Please verify that the name field is correct!"_s);
        for (const char* field : {"txtElementIP", "txtElementMask", "txtElementGW", "txtRemoteIP"})
            check(field, {QLatin1String(field) + u"=10.0.0.256"_s, u"no database"_s}, ip);
        check("empty remote ip", {u"txtRemoteIP="_s}, ip);
        check("no database", {u"no database"_s},
              u"The local database in your computer, is corrupted!"_s);
        QTest::newRow("answered No") << QStringList{u"answer No"_s} << kQuestion;
    }
    void checksInOrder() {
        QFETCH(QStringList, edits);
        QFETCH(RecordedBox, box);
        selectOn(sampleDatabase(), kEncoderKey);
        m_s->dialogs.answers.enqueue(!edits.contains(u"answer No"_s));
        for (const QString& edit : kExample + edits) {
            if (edit == u"refresh")
                m_s->button(2)->trigger();
            else if (edit == u"no database")
                QFile::remove(m_s->databasePath());
            else if (edit != u"answer No")
                m_s->edit({edit});
        }
        m_s->button(4)->trigger();
        QCOMPARE(m_s->dialogs.boxes, QList{box});
        QVERIFY(!m_s->timer("timerRemoteSent")->isActive());
        expectOnly(m_s->configPeer, {});
    }
    // A configuration that gets no answer (an answer's handling is the feedback tests' and the
    // lab's) leaves the database as it was, and the station goes on.
    void sendWithoutAnswer_data() {
        QTest::addColumn<QByteArray>("database");
        QTest::addColumn<QByteArray>("sent"); // to the address stored for the element (127.0.0.1)
        QTest::addColumn<RecordedBox>("box");
        QTest::newRow("no answer")
            << sampleDatabase() << kExamplePacket
            << critical(u"Waiting for a response from Network Element has timed out!\rCannot "
                        u"save."_s,
                        u"Error!"_s);
        QTest::newRow("record without address")
            << kWithoutAddress << QByteArray()
            << critical(u"Unable to reach the Network Element at ''.\rCannot save."_s);
    }
    void sendWithoutAnswer() {
        QFETCH(QByteArray, database);
        QFETCH(QByteArray, sent);
        QFETCH(RecordedBox, box);
        selectOn(database, kEncoderKey);
        m_s->edit(kExample);
        m_s->dialogs.answers.enqueue(true);
        m_s->button(4)->trigger();
        QCOMPARE(m_s->timer("timerRemoteSent")->isActive(), !sent.isEmpty());
        expectOnly(m_s->configPeer, sent);
        QTRY_COMPARE(m_s->dialogs.boxes.size(), 2);
        QCOMPARE(m_s->dialogs.boxes, (QList{kQuestion, box})); // one time-out at most
        QVERIFY(!m_s->timer("timerRemoteSent")->isActive());
        QCOMPARE(m_s->database(), database);
        // With its address (back), the element is reached again.
        m_s->writeDatabase(sampleDatabase());
        m_s->dialogs.answers.enqueue(true);
        m_s->button(4)->trigger();
        expectOnly(m_s->configPeer, kExamplePacket);
    }
    void attenuation_data() {
        QTest::addColumn<Attenuation>("c");
        QTest::newRow("mute") << Attenuation{
            .value = 14,
            .command = "\x0e\x00"_ba,
            .after = recordText("001A2B3C4D5E", kEncoderEntries) +
                     recordText("00000000000D", replaced(kDecoderEntries, {"ATT=14"}))};
        QTest::newRow("set by code elsewhere") << Attenuation{.focused = false, .value = 20};
        QTest::newRow("encoder") << Attenuation{.key = kEncoderKey, .value = 14};
        const QByteArray noAddress = recordText("00000000000D", replaced(kDecoderEntries, {"IP="}));
        QTest::newRow("decoder without address")
            << Attenuation{.database = noAddress,
                           .value = 30,
                           .after = noAddress,
                           .boxes = {critical(u"Unable to reach the Network Element at ''.\r"
                                              u"The attenuation was not changed."_s)}};
    }
    void attenuation() {
        QFETCH(Attenuation, c);
        selectOn(c.database, c.key);
        auto* bar = m_s->find<QScrollBar>("scrlAtten");
        (c.focused ? bar : m_s->find("txtElementName"))->setFocus();
        bar->setValue(c.value);
        expectOnly(m_s->commandPeer, c.command);
        QCOMPARE(m_s->database(), c.after);
        QCOMPARE(m_s->dialogs.boxes, c.boxes);
    }
    void audioLevelIsRequestedShownAndStopped() {
        selectOn(sampleDatabase(), kEncoderKey);
        const auto state = [this] {
            return QVariantList{m_s->button(6)->isEnabled(), m_s->button(7)->isEnabled(),
                                m_s->timer("tmrVolume")->isActive(), m_s->text("lblVolume"),
                                m_s->find<varnetix::LevelBar>("VUMeter")->levelWidth()};
        };
        QCOMPARE(state(), (QVariantList{true, false, false, u"-oodBFS"_s, 0}));
        m_s->button(6)->trigger();
        QCOMPARE(state(), (QVariantList{false, true, true, u"-oodBFS"_s, 0}));
        QNetworkDatagram request;
        for (int i = 0; i < 4; ++i) {
            request = Station::receive(m_s->commandPeer);
            QCOMPARE(request.data(), QByteArray("VOL"));
            QCOMPARE(request.senderPort(), int(m_s->stationPort()));
        }
        QSignalSpy arrived(m_s->find<varnetix::UdpEndpoint>("udpClient"),
                           &varnetix::UdpEndpoint::DataArrival);
        const auto answer = [&](quint32 peak) {
            m_s->commandPeer.writeDatagram(levelDatagram(peak), request.senderAddress(),
                                           quint16(request.senderPort()));
            QVERIFY(arrived.wait());
        };
        answer(4194304);
        QCOMPARE(state(), (QVariantList{false, true, true, u"-6dBFS"_s, 1050}));
        m_s->button(7)->trigger();
        QCOMPARE(state(), (QVariantList{true, false, false, u"-oodBFS"_s, 0}));
        answer(8388607); // a late answer after the stop shows nothing
        QCOMPARE(state(), (QVariantList{true, false, false, u"-oodBFS"_s, 0}));
        QVERIFY(m_s->dialogs.boxes.isEmpty());
    }
    void audioLevelSendFailureStopsOnce() {
        selectOn(kWithoutAddress, kEncoderKey);
        // Further ticks would come while the box is open, were the polling not stopped first.
        int ticksWhileOpen = -1;
        m_s->dialogs.whileOpen = [&] {
            QSignalSpy ticks(m_s->timer("tmrVolume"), &QTimer::timeout);
            QTest::qWait(10 * m_s->settings.volumeMs);
            ticksWhileOpen = int(ticks.count());
        };
        m_s->button(6)->trigger();
        QTRY_COMPARE(m_s->dialogs.boxes.size(), 1);
        m_s->dialogs.whileOpen = nullptr;
        QCOMPARE(ticksWhileOpen, 0);
        QCOMPARE(m_s->dialogs.boxes[0], critical(u"Unable to reach the Network Element at ''.\r"
                                                 u"Audio monitoring has been stopped."_s));
        QVERIFY(!m_s->timer("tmrVolume")->isActive());
        QCOMPARE(m_s->text("lblVolume"), u"-oodBFS"_s);
        QVERIFY(m_s->button(6)->isEnabled() && !m_s->button(7)->isEnabled());
    }

private:
    void selectOn(const QByteArray& database, const QString& key) {
        m_s->resolver.macs["192.168.1.10"] = kEncoderKey.toStdString();
        QVERIFY(Station::activate(&m_s->start(database)));
        m_s->tree()->setFocus();
        QVERIFY(m_s->selectNode(key));
    }
    // The peer gets `bytes` (none when empty) from the station's port, and nothing after them.
    void expectOnly(QUdpSocket& peer, const QByteArray& bytes) {
        if (!bytes.isEmpty()) {
            const QNetworkDatagram datagram = Station::receive(peer);
            QCOMPARE(datagram.data().toHex(' '), bytes.toHex(' '));
            QCOMPARE(datagram.senderPort(), int(m_s->stationPort()));
        }
        m_s->find<varnetix::UdpEndpoint>("udpClient")
            ->sendDatagram("marker", u"127.0.0.1"_s, peer.localPort());
        QCOMPARE(Station::receive(peer).data(), QByteArray("marker"));
    }

    std::unique_ptr<Station> m_s;
};

QTEST_MAIN(TestCommands)
#include "test_commands.moc"
