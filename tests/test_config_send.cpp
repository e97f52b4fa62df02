// The configuration send: the checks in their order, the confirmation, the 35 bytes on the
// wire to the stored address, the answer and the time-out.
#include "core/feedback_packet.h"
#include "station/config_sender.h"
#include "station/feedback_handler.h"
#include "station_fixture.h"

#include <QtTest>
#include <functional>

using namespace Qt::Literals::StringLiterals;
using varnetix::FeedbackRecord;
using varnetix::WindowControls;

namespace {

const QString kMac = u"00:1A:2B:3C:4D:5E"_s;
const QByteArray kStored = "[001A2B3C4D5E]\r\nNAME=OLD\r\nIP=127.0.0.1\r\nMASK=255.0.0.0\r\n"
                           "GW=127.0.0.254\r\nREMOTE=239.9.9.9\r\nINPUT=0\r\nTYPE=0\r\nTX=0\r\n"
                           "ROLE=1\r\nSN=1\r\nVER=2\r\nSFN=0\r\nBUF=0\r\n";
const QString kConfirmation = u"This configuration will be sent to selected Network Element and\r"
                              "will also be saved to local database in your computer. \r"
                              "Are you sure?"_s;
const QByteArray kExamplePacket =
    QByteArray::fromHex("c0a8010a ffffff00 c0a80101 ef010101 01 01 01") + "STUDIO          ";

QString cannotSave(const QString& line) {
    return line + u"\rCannot save."_s;
}

std::string dotted(const QByteArray& bytes, int offset) {
    std::string text;
    for (int i = 0; i < 4; ++i)
        text += (i ? "." : "") + std::to_string(static_cast<std::uint8_t>(bytes.at(offset + i)));
    return text;
}

// The element's answer: it runs with what it was sent and reports that.
FeedbackRecord answerTo(const QByteArray& configuration) {
    FeedbackRecord r;
    r.ElementIP = dotted(configuration, 0);
    r.ElementMask = dotted(configuration, 4);
    r.ElementGW = dotted(configuration, 8);
    r.RemoteIP = dotted(configuration, 12);
    r.AudioInput = static_cast<std::uint8_t>(configuration.at(16));
    r.AudioType = static_cast<std::uint8_t>(configuration.at(17));
    r.TxType = static_cast<std::uint8_t>(configuration.at(18));
    r.ElementName = configuration.mid(19, 16).toStdString();
    r.ElementRole = 1;
    r.SerialNumber = 4242;
    return r;
}

} // namespace

class TestConfigSend : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void checksInOrder_data();
    void checksInOrder();
    void answeringNoSendsNothing();
    void yesSendsThePacketAndTheAnswerIsApplied();
    void noAnswerTimesOutOnce();
    void recordWithoutAddressIsReported();

private:
    void typeExample();
    void expectNothingSent();

    std::unique_ptr<Station> m_s;
};

void TestConfigSend::init() {
    m_s = std::make_unique<Station>();
    m_s->resolver.macs["192.168.1.10"] = kMac.toStdString();
    m_s->writeDatabase(kStored);
    m_s->start();
    QVERIFY(m_s->selectNode(kMac));
}

void TestConfigSend::cleanup() {
    m_s.reset();
}

void TestConfigSend::typeExample() {
    WindowControls& c = m_s->c();
    c.txtElementIP->setText(u"192.168.1.10"_s);
    c.txtElementMask->setText(u"255.255.255.0"_s);
    c.txtElementGW->setText(u"192.168.1.1"_s);
    c.txtRemoteIP->setText(u"239.1.1.1"_s);
    c.cmbAudioInput->setCurrentIndex(1);
    c.cmbAudioType->setCurrentIndex(1);
    c.cmbAudioTX->setCurrentIndex(1);
    c.txtElementName->setText(u"Studio"_s);
}

// The element's port hears nothing before a later, known send.
void TestConfigSend::expectNothingSent() {
    QVERIFY(!m_s->c().timerRemoteSent->isActive());
    m_s->window->udpClient().sendDatagram("marker", u"127.0.0.1"_s, m_s->settings.configPort);
    const QNetworkDatagram first = Station::receive(m_s->configPeer);
    QCOMPARE(first.data(), QByteArray("marker"));
}

using Edit = std::function<void(WindowControls&, Station&)>;
Q_DECLARE_METATYPE(Edit)

void TestConfigSend::checksInOrder_data() {
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QString>("line");

    const auto breakAll = [](WindowControls& c) {
        c.cmbAudioType->setCurrentIndex(-1);
        c.txtElementName->clear();
        c.txtElementGW->setText(u"1.2.3"_s);
    };
    QTest::newRow("no selection, all invalid") << Edit([breakAll](WindowControls& c, Station&) {
        breakAll(c);
        c.lblElementMAC->setCaption(u"-"_s);
    }) << u"No Network Element selected!"_s;
    QTest::newRow("audio input") << Edit([breakAll](WindowControls& c, Station&) {
        breakAll(c);
        c.cmbAudioInput->setCurrentIndex(-1);
    }) << u"Please verify that all audio fields are correct!"_s;
    QTest::newRow("audio type, name, ip")
        << Edit([breakAll](WindowControls& c, Station&) { breakAll(c); })
        << u"Please verify that all audio fields are correct!"_s;
    QTest::newRow("tx type") << Edit([](WindowControls& c, Station&) {
        c.cmbAudioTX->setCurrentIndex(-1);
    }) << u"Please verify that all audio fields are correct!"_s;
    QTest::newRow("name, ip") << Edit([](WindowControls& c, Station&) {
        c.txtElementName->clear();
        c.txtElementIP->setText(u"1.2.3.4.5"_s);
    }) << u"Please verify that the name field is correct!"_s;
    const std::pair<const char*, QLineEdit * WindowControls::*> fields[] = {
        {"element ip", &WindowControls::txtElementIP},
        {"mask", &WindowControls::txtElementMask},
        {"gateway", &WindowControls::txtElementGW},
        {"remote ip", &WindowControls::txtRemoteIP},
    };
    for (const auto& [name, field] : fields) {
        QTest::newRow(name) << Edit([field](WindowControls& c, Station& s) {
            (c.*field)->setText(u"10.0.0.256"_s);
            QFile::remove(s.databasePath());
        }) << u"Please verify that all IP fields are correct!"_s;
    }
    QTest::newRow("empty remote ip")
        << Edit([](WindowControls& c, Station&) { c.txtRemoteIP->clear(); })
        << u"Please verify that all IP fields are correct!"_s;
    QTest::newRow("database missing")
        << Edit([](WindowControls&, Station& s) { QFile::remove(s.databasePath()); })
        << u"The local database in your computer, is corrupted!"_s;
}

void TestConfigSend::checksInOrder() {
    QFETCH(Edit, edit);
    QFETCH(QString, line);
    typeExample();
    edit(m_s->c(), *m_s);
    m_s->dialogs.answers.enqueue(true);
    m_s->window->toolbarClicked(varnetix::kButtonSave);

    QCOMPARE(m_s->dialogs.boxes.size(), 1);
    const RecordedBox box = m_s->dialogs.boxes.first();
    QCOMPARE(box.icon, RecordedBox::Critical);
    QCOMPARE(box.title, u"Error!"_s);
    QCOMPARE(box.text, cannotSave(line));
    expectNothingSent();
}

void TestConfigSend::answeringNoSendsNothing() {
    typeExample();
    m_s->window->toolbarClicked(varnetix::kButtonSave);
    QCOMPARE(m_s->dialogs.boxes.size(), 1);
    const RecordedBox box = m_s->dialogs.boxes.first();
    QCOMPARE(box.icon, RecordedBox::Question);
    QCOMPARE(box.title, u"Send configuration"_s);
    QCOMPARE(box.text, kConfirmation);
    expectNothingSent();
    QCOMPARE(m_s->database(), kStored);
}

void TestConfigSend::yesSendsThePacketAndTheAnswerIsApplied() {
    typeExample();
    m_s->dialogs.answers.enqueue(true);
    m_s->window->toolbarClicked(varnetix::kButtonSave);
    QCOMPARE(m_s->dialogs.texts(), QStringList{kConfirmation});
    QVERIFY(m_s->c().timerRemoteSent->isActive());

    // To the address stored for the element, not to the edited one.
    const QNetworkDatagram sent = Station::receive(m_s->configPeer);
    QCOMPARE(sent.data(), kExamplePacket);
    QCOMPARE(sent.data().size(), 35);
    QCOMPARE(sent.senderPort(), int(m_s->stationPort()));
    QCOMPARE(m_s->database(), kStored);

    const QByteArray answer =
        QByteArray::fromStdString(varnetix::EncodeFeedback(answerTo(sent.data()), 44, 3, 2));
    QCOMPARE(answer.left(35), sent.data());
    QSignalSpy finished(&m_s->window->feedback(), &varnetix::FeedbackHandler::packetFinished);
    m_s->configPeer.writeDatagram(answer, sent.senderAddress(), sent.senderPort());
    QVERIFY(finished.wait());

    QCOMPARE(m_s->dialogs.boxes.size(), 2);
    const RecordedBox box = m_s->dialogs.boxes.last();
    QCOMPARE(box.icon, RecordedBox::Information);
    QCOMPARE(box.title, u"Configuration changed"_s);
    QCOMPARE(box.text, u"New configuration has been sucessfuly saved and loaded!"_s);
    QVERIFY(!m_s->c().timerRemoteSent->isActive());
    QCOMPARE(m_s->database(),
             QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\n"
                        "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=239.1.1.1\r\nINPUT=1\r\n"
                        "TYPE=1\r\nTX=1\r\nROLE=1\r\nSN=4242\r\nVER=3.2\r\nSFN=0\r\nBUF=0\r\n"));
}

void TestConfigSend::noAnswerTimesOutOnce() {
    typeExample();
    m_s->dialogs.answers.enqueue(true);
    m_s->window->toolbarClicked(varnetix::kButtonSave);
    QCOMPARE(Station::receive(m_s->configPeer).data(), kExamplePacket);
    const QString timedOut =
        cannotSave(u"Waiting for a response from Network Element has timed out!"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_s->dialogs.boxes.size(), 2, 5000);
    const RecordedBox box = m_s->dialogs.boxes.last();
    QCOMPARE(box.icon, RecordedBox::Critical);
    QCOMPARE(box.title, u"Error!"_s);
    QCOMPARE(box.text, timedOut);
    QVERIFY(!m_s->c().timerRemoteSent->isActive());
    QCOMPARE(m_s->database(), kStored);
}

void TestConfigSend::recordWithoutAddressIsReported() {
    m_s->writeDatabase("[001A2B3C4D5E]\r\nNAME=OLD\r\nROLE=1\r\n");
    typeExample();
    m_s->dialogs.answers.enqueue(true);
    m_s->window->toolbarClicked(varnetix::kButtonSave);
    QCOMPARE(m_s->dialogs.boxes.size(), 2);
    const RecordedBox box = m_s->dialogs.boxes.last();
    QCOMPARE(box.icon, RecordedBox::Critical);
    QCOMPARE(box.title, u"Halvoren Varnetix Manager"_s);
    QCOMPARE(box.text, u"Unable to reach the Network Element at ''.\rCannot save."_s);
    expectNothingSent();

    // The station goes on: with its address back, the element is reached.
    m_s->writeDatabase(kStored);
    m_s->dialogs.answers.enqueue(true);
    m_s->window->toolbarClicked(varnetix::kButtonSave);
    QCOMPARE(Station::receive(m_s->configPeer).data(), kExamplePacket);
    QVERIFY(m_s->c().timerRemoteSent->isActive());
}

QTEST_MAIN(TestConfigSend)
#include "test_config_send.moc"
