// What the station does with an element's feedback packet: the checks and their messages, the
// MAC wait, the discovery store, the configuration answer, and the queue that keeps one packet
// (with its boxes) at a time.
#include "core/feedback_packet.h"
#include "station/feedback_handler.h"
#include "station_fixture.h"

#include <QtTest>
#include <algorithm>
#include <functional>

using namespace Qt::Literals::StringLiterals;
using varnetix::FeedbackHandler;
using varnetix::FeedbackRecord;

namespace {

const QString kMac = u"00:1A:2B:3C:4D:5E"_s;

// The selected element as the database holds it before the answer.
const QByteArray kStoredEncoder = "[001A2B3C4D5E]\r\nNAME=OLD NAME        \r\nIP=127.0.0.1\r\n"
                                  "MASK=255.0.0.0\r\nGW=127.0.0.254\r\nREMOTE=239.1.1.1\r\n"
                                  "INPUT=0\r\nTYPE=1\r\nTX=1\r\nROLE=1\r\nSN=1\r\nVER=2\r\n"
                                  "SFN=0\r\nBUF=0\r\n";
const QByteArray kStoredDecoder = QByteArray(kStoredEncoder)
                                      .replace("ROLE=1", "ROLE=2")
                                      .replace("BUF=0\r\n", "BUF=1\r\nATT=100\r\n");

FeedbackRecord northDecoder() {
    FeedbackRecord r = studioEncoder();
    r.ElementIP = "192.168.1.30";
    r.RemoteIP = "192.168.1.10";
    r.AudioInput = 0;
    r.AudioType = 1;
    r.TxType = 1;
    r.ElementName = "tx site north";
    r.ElementRole = 2;
    r.SerialNumber = 32768;
    r.Attenuation = 240;
    r.SfnOption = 0;
    r.BufferSize = 3;
    return r;
}

QString retrieving(const char* field) {
    return u"An error occured while retrieving '%1':\rFeedback is corrupted."_s.arg(
        QLatin1String(field));
}

} // namespace

class TestFeedbackHandling : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void checkMessages_data();
    void checkMessages();
    void undecodableLengthsAreDroppedSilently_data();
    void undecodableLengthsAreDroppedSilently();
    void onlyAPassingPacketStopsTheAnswerTimeOut();
    void macLookupIsRetriedUntilFound();
    void macLookupGivesUpAfterItsBudget();
    void emptyMacIsAFailure();
    void failuresRebuildTheTreeOutsideDiscoveryOnly();

    void storeDiscoveredElement_data();
    void storeDiscoveredElement();
    void secondDiscoveryAnswerOverwrites();

    void answerFromAnotherElementIsRefused();
    void answerForCorruptedRecordIsRefused();
    void answerThatAgreesIsStored();
    void differentlyWrittenAddressIsReported();
    void answerOfRoleZeroShowsUnknown();
    void decoderAnswerRaisesAttenuationToMute();
    void encoderAnswerLeavesAttenuation();

    void packetsDuringMacWaitFollowInOrder();
    void boxesNeverNest();
    void boxOpenedWhileWaitingQueuesArrivals();
    void burstWhileABoxIsOpenIsKept();
    void floodIsBounded();

private:
    FeedbackHandler& feedback() { return m_s->window->feedback(); }
    // Sends to the station and waits until that packet and all behind it are handled.
    bool deliver(const QByteArray& datagram, int timeoutMs = 5000);
    bool selectStored(const QByteArray& database);
    // Starts on the database given with a discovery run waiting for answers.
    void startDiscovering(const QByteArray& database = {});
    // The only box shown so far is this one.
    void expectBox(RecordedBox::Icon icon, const QString& text,
                   const QString& title = u"Halvoren Varnetix Manager"_s);
    void typeSentPanel(const QString& name, const QString& ip);

    std::unique_ptr<Station> m_s;
};

void TestFeedbackHandling::init() {
    m_s = std::make_unique<Station>();
    m_s->resolver.macs["192.168.1.10"] = kMac.toStdString();
}

void TestFeedbackHandling::cleanup() {
    m_s.reset();
}

bool TestFeedbackHandling::deliver(const QByteArray& datagram, int timeoutMs) {
    // The application's own kind of loop, which waits for events instead of polling for them.
    QEventLoop loop;
    bool finished = false;
    connect(&feedback(), &FeedbackHandler::packetFinished, &loop, [&] {
        finished = true;
        if (feedback().idle())
            loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    m_s->sendToStation(datagram);
    loop.exec();
    return finished && feedback().idle();
}

void TestFeedbackHandling::startDiscovering(const QByteArray& database) {
    m_s->writeDatabase(database);
    m_s->start();
    m_s->window->linkState().AutoDiscoverAwaiting = true;
}

void TestFeedbackHandling::expectBox(RecordedBox::Icon icon, const QString& text,
                                     const QString& title) {
    QCOMPARE(m_s->dialogs.boxes.size(), 1);
    QCOMPARE(m_s->dialogs.boxes.first().icon, icon);
    QCOMPARE(m_s->dialogs.boxes.first().title, title);
    QCOMPARE(m_s->dialogs.boxes.first().text, text);
}

bool TestFeedbackHandling::selectStored(const QByteArray& database) {
    m_s->writeDatabase(database);
    m_s->start();
    return m_s->selectNode(kMac);
}

// The panel as the operator sent it: the studio encoder's settings with the given name and IP.
void TestFeedbackHandling::typeSentPanel(const QString& name, const QString& ip) {
    auto& c = m_s->c();
    c.txtElementName->setText(name);
    c.txtElementIP->setText(ip);
    c.txtElementMask->setText(u"255.255.255.0"_s);
    c.txtElementGW->setText(u"192.168.1.1"_s);
    c.txtRemoteIP->setText(u"192.168.1.20"_s);
    c.cmbAudioInput->setCurrentIndex(1);
    c.cmbAudioType->setCurrentIndex(0);
    c.cmbAudioTX->setCurrentIndex(0);
}

void TestFeedbackHandling::checkMessages_data() {
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("tx");
    QTest::addColumn<int>("role");
    QTest::addColumn<qint64>("serial");
    QTest::addColumn<QString>("text");

    QTest::newRow("audio input 2") << 2 << 0 << 0 << 1 << 12345LL << retrieving("Audio Input");
    QTest::newRow("audio input 255") << 255 << 0 << 0 << 1 << 12345LL << retrieving("Audio Input");
    QTest::newRow("audio type 2") << 1 << 2 << 0 << 1 << 12345LL << retrieving("Audio Type");
    QTest::newRow("tx type 2") << 1 << 0 << 2 << 1 << 12345LL << retrieving("TX Type");
    QTest::newRow("role 3") << 1 << 0 << 0 << 3 << 12345LL << retrieving("Element Type");
    QTest::newRow("role 255") << 1 << 0 << 0 << 255 << 12345LL << retrieving("Element Type");
    QTest::newRow("serial 0") << 1 << 0 << 0 << 1 << 0LL << retrieving("Serial Number");
    QTest::newRow("serial 80000000")
        << 1 << 0 << 0 << 2 << 0x80000000LL << retrieving("Serial Number");
    QTest::newRow("serial FFFFFFFF")
        << 1 << 0 << 0 << 1 << 0xFFFFFFFFLL << retrieving("Serial Number");
    // Only the first failing check speaks.
    QTest::newRow("input 2 and tx 5") << 2 << 0 << 5 << 1 << 12345LL << retrieving("Audio Input");
    QTest::newRow("type, role, serial") << 0 << 7 << 0 << 9 << 0LL << retrieving("Audio Type");
    QTest::newRow("role and serial") << 0 << 0 << 1 << 4 << 0LL << retrieving("Element Type");
}

void TestFeedbackHandling::checkMessages() {
    QFETCH(int, input);
    QFETCH(int, type);
    QFETCH(int, tx);
    QFETCH(int, role);
    QFETCH(qint64, serial);
    QFETCH(QString, text);

    m_s->writeDatabase(kStoredEncoder);
    m_s->start();
    FeedbackRecord r = studioEncoder();
    r.AudioInput = static_cast<std::uint8_t>(input);
    r.AudioType = static_cast<std::uint8_t>(type);
    r.TxType = static_cast<std::uint8_t>(tx);
    r.ElementRole = static_cast<std::uint8_t>(role);
    r.SerialNumber = static_cast<std::int32_t>(static_cast<std::uint32_t>(serial));

    for (std::size_t length : {40, 41, 44, 45}) {
        m_s->dialogs.boxes.clear();
        QVERIFY(deliver(packet(r, length)));
        expectBox(RecordedBox::Critical, text);
    }
    QCOMPARE(m_s->resolver.attempts, 0);
    QCOMPARE(m_s->database(), kStoredEncoder);
}

void TestFeedbackHandling::undecodableLengthsAreDroppedSilently_data() {
    QTest::addColumn<QByteArray>("datagram");
    const QByteArray full = packet(studioEncoder(), 45);
    QTest::newRow("0") << QByteArray();
    QTest::newRow("1") << full.left(1);
    QTest::newRow("35") << full.left(35);
    QTest::newRow("39") << full.left(39);
    QTest::newRow("42") << full.left(42);
    QTest::newRow("43") << full.left(43);
}

void TestFeedbackHandling::undecodableLengthsAreDroppedSilently() {
    QFETCH(QByteArray, datagram);
    m_s->writeDatabase(kStoredEncoder);
    m_s->start();
    m_s->c().timerRemoteSent->start(60000);
    QSignalSpy rebuilt(&feedback(), &FeedbackHandler::reloadTree);
    QVERIFY(deliver(datagram));
    QVERIFY(m_s->dialogs.boxes.isEmpty());
    QCOMPARE(rebuilt.count(), 0);
    QCOMPARE(m_s->resolver.attempts, 0);
    QVERIFY(m_s->c().timerRemoteSent->isActive());
    // The station still answers what follows.
    m_s->window->linkState().AutoDiscoverAwaiting = true;
    QVERIFY(deliver(packet(studioEncoder())));
    QVERIFY(m_s->database().contains("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10"));
}

void TestFeedbackHandling::onlyAPassingPacketStopsTheAnswerTimeOut() {
    m_s->writeDatabase(kStoredEncoder);
    m_s->start();
    auto* timer = m_s->c().timerRemoteSent;
    timer->start(60000);

    FeedbackRecord bad = studioEncoder();
    bad.SerialNumber = 0;
    QVERIFY(deliver(packet(bad)));
    QVERIFY(timer->isActive());

    // Passes the checks, but no MAC is ever found for its address.
    FeedbackRecord unknown = studioEncoder();
    unknown.ElementIP = "192.168.1.99";
    QSignalSpy finished(&feedback(), &FeedbackHandler::packetFinished);
    m_s->sendToStation(packet(unknown));
    QTRY_VERIFY(m_s->resolver.attempts > 0);
    QVERIFY(!timer->isActive());
    QVERIFY(finished.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 5000);
    QCOMPARE(m_s->dialogs.texts().last(), retrieving("Element MAC"));
    QVERIFY(!timer->isActive());
}

void TestFeedbackHandling::macLookupIsRetriedUntilFound() {
    m_s->settings.macBudgetMs = 5000;
    startDiscovering();
    m_s->resolver.failFirst = 6;
    QVERIFY(deliver(packet(studioEncoder())));
    QCOMPARE(m_s->resolver.attempts, 7);
    QVERIFY(m_s->dialogs.boxes.isEmpty());
    QVERIFY(m_s->database().startsWith("[001A2B3C4D5E]\r\n"));
    QCOMPARE(feedback().record().ElementMAC, kMac.toStdString());
}

void TestFeedbackHandling::macLookupGivesUpAfterItsBudget() {
    m_s->writeDatabase(kStoredEncoder);
    m_s->start();
    m_s->resolver.macs.clear();
    bool budgetOverWhenShown = false;
    m_s->dialogs.whileOpen = [&] { budgetOverWhenShown = !m_s->c().timerGetMAC->isActive(); };
    QVERIFY(deliver(packet(studioEncoder())));
    expectBox(RecordedBox::Critical, retrieving("Element MAC"));
    QVERIFY(budgetOverWhenShown);
    QVERIFY(m_s->resolver.attempts > 1);
    QCOMPARE(m_s->database(), kStoredEncoder);
}

void TestFeedbackHandling::emptyMacIsAFailure() {
    // A hardware address that is not six bytes long comes back as an empty text.
    startDiscovering();
    m_s->resolver.macs["192.168.1.10"] = "";
    QVERIFY(deliver(packet(studioEncoder())));
    QCOMPARE(m_s->dialogs.texts(), QStringList{retrieving("Element MAC")});
    QCOMPARE(m_s->resolver.attempts, 1);
    QCOMPARE(m_s->database(), QByteArray());
}

void TestFeedbackHandling::failuresRebuildTheTreeOutsideDiscoveryOnly() {
    m_s->writeDatabase(kStoredEncoder + "[001A2B3C4D60]\r\nNAME=D\r\nROLE=2\r\n");
    m_s->start();
    auto& c = m_s->c();
    FeedbackRecord bad = studioEncoder();
    bad.TxType = 3;
    FeedbackRecord noMac = studioEncoder();
    noMac.ElementIP = "192.168.1.99";

    for (const QByteArray& datagram : {packet(bad), packet(noMac)}) {
        c.lstHidden->clear();
        c.frmTreeView->setTitle(u"x"_s);
        QVERIFY(deliver(datagram));
        QCOMPARE(c.lstHidden->count(), 2);
        QCOMPARE(c.TreeView1->topLevelItemCount(), 2);
        QVERIFY(c.frmTreeView->title() != u"x"_s);
    }

    m_s->window->linkState().AutoDiscoverAwaiting = true;
    QSignalSpy rebuilt(&feedback(), &FeedbackHandler::reloadTree);
    for (const QByteArray& datagram : {packet(bad), packet(noMac)}) {
        c.lstHidden->clear();
        c.frmTreeView->setTitle(u"x"_s);
        QVERIFY(deliver(datagram));
        QCOMPARE(c.lstHidden->count(), 0);
        QCOMPARE(c.frmTreeView->title(), u"x"_s);
    }
    QCOMPARE(rebuilt.count(), 0);
    QCOMPARE(m_s->dialogs.texts(), (QStringList{retrieving("TX Type"), retrieving("Element MAC"),
                                                retrieving("TX Type"), retrieving("Element MAC")}));
}

void TestFeedbackHandling::storeDiscoveredElement_data() {
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("encoder, 13 keys")
        << packet(studioEncoder(), 44, 2, 1)
        << QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\n"
                      "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.20\r\nINPUT=1\r\n"
                      "TYPE=0\r\nTX=0\r\nROLE=1\r\nSN=12345\r\nVER=2.1\r\nSFN=1\r\nBUF=5\r\n");
    QTest::newRow("encoder, 40 bytes")
        << packet(studioEncoder(), 40)
        << QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\n"
                      "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.20\r\nINPUT=1\r\n"
                      "TYPE=0\r\nTX=0\r\nROLE=1\r\nSN=12345\r\nVER=2\r\nSFN=0\r\nBUF=0\r\n");
    QTest::newRow("decoder, 14 keys")
        << packet(northDecoder(), 45, 2, 3)
        << QByteArray("[001A2B3C4D60]\r\nNAME=TX SITE NORTH   \r\nIP=192.168.1.30\r\n"
                      "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.10\r\nINPUT=0\r\n"
                      "TYPE=1\r\nTX=1\r\nROLE=2\r\nSN=32768\r\nVER=2.3\r\nSFN=0\r\nBUF=3\r\n"
                      "ATT=240\r\n");
    QTest::newRow("decoder, 40 bytes")
        << packet(northDecoder(), 40)
        << QByteArray("[001A2B3C4D60]\r\nNAME=TX SITE NORTH   \r\nIP=192.168.1.30\r\n"
                      "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.10\r\nINPUT=0\r\n"
                      "TYPE=1\r\nTX=1\r\nROLE=2\r\nSN=32768\r\nVER=2\r\nSFN=0\r\nBUF=1\r\n"
                      "ATT=255\r\n");
    // Role 0 and the highest serial pass the checks.
    FeedbackRecord unknown = studioEncoder();
    unknown.ElementRole = 0;
    unknown.SerialNumber = 0x7FFFFFFF;
    QTest::newRow("role 0, highest serial")
        << packet(unknown, 40)
        << QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\n"
                      "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.20\r\nINPUT=1\r\n"
                      "TYPE=0\r\nTX=0\r\nROLE=0\r\nSN=2147483647\r\nVER=2\r\nSFN=0\r\nBUF=0\r\n");
}

void TestFeedbackHandling::storeDiscoveredElement() {
    QFETCH(QByteArray, datagram);
    QFETCH(QByteArray, stored);
    m_s->resolver.macs["192.168.1.30"] = "00:1A:2B:3C:4D:60";
    startDiscovering();
    m_s->c().timerRemoteSent->start(60000);
    QSignalSpy rebuilt(&feedback(), &FeedbackHandler::reloadTree);
    QVERIFY(deliver(datagram));
    QCOMPARE(m_s->database(), stored);
    QVERIFY(m_s->dialogs.boxes.isEmpty());
    QCOMPARE(rebuilt.count(), 0);
    QCOMPARE(m_s->c().TreeView1->topLevelItemCount(), 0);
    QVERIFY(!m_s->c().timerRemoteSent->isActive());
}

void TestFeedbackHandling::secondDiscoveryAnswerOverwrites() {
    // A key the answer does not carry keeps its value.
    startDiscovering("[001A2B3C4D5E]\r\nBOUND=3\r\n");
    QVERIFY(deliver(packet(studioEncoder())));
    FeedbackRecord second = studioEncoder();
    second.ElementName = "STUDIO 2";
    second.SerialNumber = 99;
    second.TxType = 1;
    QVERIFY(deliver(packet(second, 44, 3, 0)));
    QCOMPARE(m_s->database(),
             QByteArray("[001A2B3C4D5E]\r\nBOUND=3\r\nNAME=STUDIO 2        \r\nIP=192.168.1.10\r\n"
                        "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.20\r\n"
                        "INPUT=1\r\nTYPE=0\r\nTX=1\r\nROLE=1\r\nSN=99\r\nVER=3\r\nSFN=1\r\n"
                        "BUF=5\r\n"));
}

void TestFeedbackHandling::answerFromAnotherElementIsRefused() {
    QVERIFY(selectStored(kStoredEncoder));
    typeSentPanel(u"Studio"_s, u"192.168.1.10"_s);
    m_s->resolver.macs["192.168.1.10"] = "00:1A:2B:3C:4D:5F";
    auto& c = m_s->c();
    c.lstHidden->clear();
    QVERIFY(deliver(packet(studioEncoder())));
    expectBox(RecordedBox::Critical, u"The response received does not match the selected element.\r"
                                     "Cannot save this element info."_s);
    QCOMPARE(m_s->database(), kStoredEncoder);
    QCOMPARE(c.lstHidden->count(), 1);
    QCOMPARE(c.lblSerialNumber->caption(), u"1"_s);
}

void TestFeedbackHandling::answerForCorruptedRecordIsRefused() {
    const QByteArray corrupted = kStoredDecoder + "BOUND=0\r\n";
    m_s->writeDatabase(corrupted);
    m_s->start();
    m_s->c().lblElementMAC->setCaption(kMac);
    typeSentPanel(u"Studio"_s, u"192.168.1.10"_s);
    QVERIFY(deliver(packet(studioEncoder())));
    expectBox(RecordedBox::Critical,
              u"The data stored in your computer about this element, is corrupted.\r"
              "Cannot save this element info."_s);
    QCOMPARE(m_s->database(), corrupted);
}

void TestFeedbackHandling::answerThatAgreesIsStored() {
    QVERIFY(selectStored(kStoredEncoder));
    // The element reports STUDIO padded with ten spaces.
    typeSentPanel(u"Studio"_s, u"192.168.1.10"_s);
    m_s->c().timerRemoteSent->start(60000);
    QVERIFY(deliver(packet(studioEncoder())));
    expectBox(RecordedBox::Information,
              u"New configuration has been sucessfuly saved and loaded!"_s,
              u"Configuration changed"_s);
    QCOMPARE(m_s->database(),
             QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\n"
                        "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.20\r\n"
                        "INPUT=1\r\nTYPE=0\r\nTX=0\r\nROLE=1\r\nSN=12345\r\nVER=2.1\r\nSFN=0\r\n"
                        "BUF=0\r\n"));
    auto& c = m_s->c();
    QCOMPARE(c.lblElementType->caption(), u"ENCODER"_s);
    QCOMPARE(c.lblSerialNumber->caption(), u"12345"_s);
    QCOMPARE(c.lblVersion->caption(), u"2.1"_s);
    QVERIFY(!c.timerRemoteSent->isActive());
    QCOMPARE(c.TreeView1->topLevelItemCount(), 1);
    QVERIFY(c.TreeView1->topLevelItem(0)->text(0).startsWith(u"STUDIO "_s));
}

void TestFeedbackHandling::differentlyWrittenAddressIsReported() {
    QVERIFY(selectStored(kStoredEncoder));
    typeSentPanel(u"Studio"_s, u"192.168.001.010"_s);
    QVERIFY(deliver(packet(studioEncoder())));
    expectBox(RecordedBox::Critical,
              u"An error occured while saving 'Element IP':\rFeedback is corrupted."_s);
    QCOMPARE(m_s->database(),
             QByteArray("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=127.0.0.1\r\n"
                        "MASK=255.255.255.0\r\nGW=192.168.1.1\r\nREMOTE=192.168.1.20\r\n"
                        "INPUT=1\r\nTYPE=0\r\nTX=0\r\nROLE=1\r\nSN=12345\r\nVER=2.1\r\nSFN=0\r\n"
                        "BUF=0\r\n"));
}

void TestFeedbackHandling::answerOfRoleZeroShowsUnknown() {
    QVERIFY(selectStored(kStoredEncoder));
    typeSentPanel(u"Studio"_s, u"192.168.1.10"_s);
    FeedbackRecord r = studioEncoder();
    r.ElementRole = 0;
    QVERIFY(deliver(packet(r)));
    QVERIFY(m_s->dialogs.boxes.isEmpty());
    QCOMPARE(m_s->c().lblElementType->caption(), u"UNKNOWN"_s);
    QVERIFY(m_s->database().contains("\r\nROLE=0\r\nSN=12345\r\n"));
}

void TestFeedbackHandling::decoderAnswerRaisesAttenuationToMute() {
    QVERIFY(selectStored(kStoredDecoder));
    auto& c = m_s->c();
    QCOMPARE(c.scrlAtten->value(), 100);
    typeSentPanel(u"Studio"_s, u"192.168.1.10"_s);
    c.cmbAudioType->setCurrentIndex(1);
    FeedbackRecord r = studioEncoder();
    r.ElementRole = 2;
    r.AudioType = 1;
    r.Attenuation = 10;
    QVERIFY(deliver(packet(r, 45, 2, 3)));
    QCOMPARE(m_s->dialogs.texts(),
             QStringList{u"New configuration has been sucessfuly saved and loaded!"_s});
    QCOMPARE(c.scrlAtten->value(), 14);
    QCOMPARE(c.lblAttenDB->text(), u"Mute"_s);
    QCOMPARE(c.lblElementType->caption(), u"DECODER"_s);
    QCOMPARE(feedback().record().Attenuation, std::uint8_t{14});
    QVERIFY(m_s->database().endsWith("\r\nATT=14\r\n"));
    QVERIFY(m_s->database().contains("\r\nROLE=2\r\nSN=12345\r\nVER=2.3\r\nSFN=0\r\nBUF=1\r\n"));
}

void TestFeedbackHandling::encoderAnswerLeavesAttenuation() {
    QVERIFY(selectStored(kStoredEncoder));
    auto& c = m_s->c();
    c.scrlAtten->setValue(120);
    // A decoder's feedback with attenuation 200 from another element comes first.
    m_s->resolver.macs["192.168.1.30"] = "00:1A:2B:3C:4D:60";
    FeedbackRecord other = northDecoder();
    other.Attenuation = 200;
    QVERIFY(deliver(packet(other, 45)));
    QCOMPARE(feedback().record().Attenuation, std::uint8_t{200});

    typeSentPanel(u"Studio"_s, u"192.168.1.10"_s);
    m_s->dialogs.boxes.clear();
    QVERIFY(deliver(packet(studioEncoder())));
    QCOMPARE(m_s->dialogs.texts(),
             QStringList{u"New configuration has been sucessfuly saved and loaded!"_s});
    QCOMPARE(c.scrlAtten->value(), 120);
    QVERIFY(!m_s->database().contains("ATT="));
}

void TestFeedbackHandling::packetsDuringMacWaitFollowInOrder() {
    m_s->settings.macBudgetMs = 10000;
    startDiscovering();
    m_s->resolver.macs["192.168.1.11"] = "00:1A:2B:3C:4D:61";
    m_s->resolver.macs["192.168.1.12"] = "00:1A:2B:3C:4D:62";
    m_s->resolver.failFirst = 1000000; // held until released below

    FeedbackRecord first = studioEncoder();
    FeedbackRecord second = studioEncoder();
    second.ElementIP = "192.168.1.11";
    second.ElementName = "SECOND";
    second.SerialNumber = 2;
    FeedbackRecord bad = studioEncoder();
    bad.AudioType = 9;
    FeedbackRecord third = northDecoder();
    third.ElementIP = "192.168.1.12";
    third.ElementName = "THIRD";

    QSignalSpy finished(&feedback(), &FeedbackHandler::packetFinished);
    m_s->sendToStation(packet(first));
    QTRY_VERIFY(m_s->resolver.attempts > 0);
    m_s->sendToStation(packet(second));
    m_s->sendToStation(packet(bad));
    m_s->sendToStation(packet(third, 45));
    QTRY_COMPARE(feedback().pending(), std::size_t{3});
    QVERIFY(finished.isEmpty());
    QVERIFY(m_s->dialogs.boxes.isEmpty());
    // The waiting packet keeps its own values.
    QCOMPARE(feedback().record().ElementIP, first.ElementIP);
    QCOMPARE(feedback().record().SerialNumber, 12345);

    m_s->resolver.failFirst = 0;
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 4, 5000);
    QVERIFY(feedback().idle());
    QCOMPARE(m_s->dialogs.texts(), QStringList{retrieving("Audio Type")});
    const QByteArray db = m_s->database();
    const auto at = [&](const char* text) { return db.indexOf(text); };
    QVERIFY(at("[001A2B3C4D5E]\r\nNAME=STUDIO          \r\nIP=192.168.1.10\r\n") == 0);
    QVERIFY(at("[001A2B3C4D61]\r\nNAME=SECOND          \r\nIP=192.168.1.11\r\n") > 0);
    QVERIFY(at("[001A2B3C4D62]\r\nNAME=THIRD           \r\nIP=192.168.1.12\r\n") >
            at("[001A2B3C4D61]"));
    QVERIFY(db.contains("\r\nSN=12345\r\n"));
    QCOMPARE(db.count("[001A2B3C4D5E]"), 1);
}

// Every box is closed before the next opens, even when packets arrive while one is open.
void TestFeedbackHandling::boxesNeverNest() {
    m_s->writeDatabase(kStoredEncoder);
    m_s->start();
    int depth = 0;
    int deepest = 0;
    int opened = 0;
    FeedbackRecord bad = studioEncoder();
    m_s->dialogs.whileOpen = [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        if (++opened == 1) {
            // Three more arrive while the first box is open and its loop runs.
            for (int input : {2, 3, 4}) {
                bad.AudioInput = static_cast<std::uint8_t>(input);
                m_s->window->dispatch(packet(bad));
            }
            QCoreApplication::processEvents();
        }
        --depth;
    };
    FeedbackRecord first = studioEncoder();
    first.ElementRole = 7;
    QVERIFY(deliver(packet(first)));
    QCOMPARE(deepest, 1);
    QCOMPARE(m_s->dialogs.texts(),
             (QStringList{retrieving("Element Type"), retrieving("Audio Input"),
                          retrieving("Audio Input"), retrieving("Audio Input")}));
}

// A box opened when a late MAC arrives: datagrams delivered by its loop wait behind it.
void TestFeedbackHandling::boxOpenedWhileWaitingQueuesArrivals() {
    m_s->settings.macBudgetMs = 10000;
    m_s->writeDatabase(kStoredEncoder);
    m_s->start();
    m_s->resolver.failFirst = 3;
    int depth = 0;
    int deepest = 0;
    bool queuedWhileOpen = false;
    FeedbackRecord bad = studioEncoder();
    bad.SerialNumber = 0;
    m_s->dialogs.whileOpen = [&] {
        ++depth;
        deepest = std::max(deepest, depth);
        if (m_s->dialogs.boxes.size() == 1) {
            for (int i = 0; i < 3; ++i)
                m_s->sendToStation(packet(bad));
            queuedWhileOpen = QTest::qWaitFor([&] { return feedback().pending() == 3; }, 5000);
        }
        --depth;
    };
    // Nothing is selected, so the answer is refused once its MAC is found.
    QVERIFY(deliver(packet(studioEncoder())));
    QVERIFY(queuedWhileOpen);
    QCOMPARE(deepest, 1);
    QCOMPARE(m_s->dialogs.texts(),
             (QStringList{u"The response received does not match the selected element.\r"
                          "Cannot save this element info."_s,
                          retrieving("Serial Number"), retrieving("Serial Number"),
                          retrieving("Serial Number")}));
}

// The socket is read while a box is open, so a burst larger than the socket's own buffer is
// kept for later rather than lost in the system.
void TestFeedbackHandling::burstWhileABoxIsOpenIsKept() {
    m_s->writeDatabase(kStoredEncoder);
    m_s->start();
    constexpr int kChunks = 10;
    constexpr int kChunk = 100;
    bool keptUp = true;
    int depth = 0;
    int deepest = 0;
    FeedbackRecord bad = studioEncoder();
    bad.AudioType = 2;
    const QByteArray burst = packet(bad);
    QUdpSocket elements;
    m_s->dialogs.whileOpen = [&] {
        deepest = std::max(deepest, ++depth);
        if (m_s->dialogs.boxes.size() == 1) {
            for (int chunk = 1; chunk <= kChunks && keptUp; ++chunk) {
                for (int i = 0; i < kChunk; ++i)
                    elements.writeDatagram(burst, QHostAddress::LocalHost, m_s->stationPort());
                keptUp = QTest::qWaitFor(
                    [&] { return feedback().pending() == std::size_t(chunk * kChunk); }, 5000);
            }
        }
        --depth;
    };
    FeedbackRecord first = studioEncoder();
    first.SerialNumber = 0;
    QVERIFY(deliver(packet(first), 60000));
    QVERIFY(keptUp);
    QCOMPARE(deepest, 1);
    QCOMPARE(m_s->dialogs.boxes.size(), 1 + kChunks * kChunk);
    QCOMPARE(m_s->dialogs.texts().first(), retrieving("Serial Number"));
    QCOMPARE(m_s->dialogs.texts().last(), retrieving("Audio Type"));
}

void TestFeedbackHandling::floodIsBounded() {
    m_s->settings.macBudgetMs = 10000;
    m_s->writeDatabase(kStoredEncoder);
    m_s->start();
    m_s->resolver.failFirst = 1000000;
    m_s->sendToStation(packet(studioEncoder()));
    QTRY_VERIFY(m_s->resolver.attempts > 0);

    FeedbackRecord bad = studioEncoder();
    bad.TxType = 2;
    const QByteArray flood = packet(bad);
    for (int i = 0; i < 5000; ++i)
        m_s->window->dispatch(flood);
    QVERIFY(feedback().pending() <= FeedbackHandler::kQueueLimit);
    QCOMPARE(feedback().pending(), std::size_t{4096});
    QCOMPARE(feedback().dropped(), std::size_t{904});

    m_s->resolver.failFirst = 0;
    QTRY_VERIFY_WITH_TIMEOUT(feedback().idle(), 60000);
    QCOMPARE(m_s->dialogs.boxes.size(), 1 + 4096);
    QCOMPARE(m_s->dialogs.boxes.last().text, retrieving("TX Type"));
}

QTEST_MAIN(TestFeedbackHandling)
#include "test_feedback_handling.moc"
