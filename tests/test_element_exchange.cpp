// The exchange with the selected element. The commands the operator sends: the configuration
// (its checks, the question, the 35 bytes to the stored address, the time-out), a decoder's
// attenuation, an encoder's audio-level display. What the station does with an element's feedback
// packet: the checks and their messages, the MAC wait, the discovery store, the configuration
// answer; packets worked on side by side while their boxes come one at a time, in arrival order;
// a flood of bad packets discarded.
#include "station_fixture.h"

using namespace Qt::Literals::StringLiterals;
using varnetix::FeedbackRecord;

namespace {

// The selected element as the database holds it before an answer.
const QByteArrayList kStored = QByteArray("NAME=OLD NAME        |IP=127.0.0.1|MASK=255.0.0.0|"
                                          "GW=127.0.0.254|REMOTE=239.1.1.1|INPUT=0|TYPE=1|TX=1|"
                                          "ROLE=1|SN=1|VER=2|SFN=0|BUF=0")
                                   .split('|');
// What an answer of studioEncoder() writes over it ("sfn" and "buf" are not answered).
const QByteArrayList kTaken = replaced(kStudioEntries, {"SFN=0", "BUF=0"});

template <typename Change> FeedbackRecord with(FeedbackRecord r, Change change) {
    change(r);
    return r;
}

// studioEncoder() as a decoder elsewhere, with the attenuation 240.
FeedbackRecord decoder(const char* ip, const char* name) {
    return with(studioEncoder(), [&](FeedbackRecord& r) {
        r.ElementIP = ip, r.ElementName = name, r.ElementRole = 2, r.Attenuation = 240;
    });
}

QByteArray studioSection(const QByteArrayList& entries) {
    return recordText("001A2B3C4D5E", entries);
}
QString retrieving(const QString& field) {
    return u"An error occured while retrieving '%1':\rFeedback is corrupted."_s.arg(field);
}

// The boxes shown, in order: errors with the application's title, but the success message.
void expectBoxes(const FakeDialogs& dialogs, const QStringList& texts) {
    QList<RecordedBox> boxes;
    for (const QString& text : texts)
        boxes << answerBox(text);
    QCOMPARE(dialogs.boxes, boxes);
}

struct EarlyEnd {
    QByteArray datagram = packet(studioEncoder());
    QByteArray mac = kEncoderKey.toLatin1(); // what the lookup finds; "-" nothing
    int failFirst = 0;
    QStringList texts = {}; // outside discovery
    bool timerStops = true;
    int attempts = 0; // -1: until the budget is over
};

struct Answer {
    QByteArrayList stored = kStored;
    QByteArrayList extra = {};      // written after the element was selected
    QString ip = u"192.168.1.10"_s; // as the operator typed it
    QByteArray answer = packet(studioEncoder());
    QByteArray mac = kEncoderKey.toLatin1();
    QStringList texts = {};
    QByteArrayList after = kTaken;
    QStringList labels = {u"ENCODER"_s, u"12345"_s, u"2.1"_s}; // type, serial number, version
    int atten = 120;                                           // 120 before the answer
};

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
    QString notice = {};
};

} // namespace

Q_DECLARE_METATYPE(EarlyEnd)
Q_DECLARE_METATYPE(Answer)
Q_DECLARE_METATYPE(Attenuation)

class TestElementExchange : public QObject {
    Q_OBJECT

private slots:

    void checksInOrder_data() {
        // "refresh" and "no database" do what they say; "stored IP=..." changes the database.
        QTest::addColumn<QStringList>("edits");
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
        // The loopback network's broadcast address stands for any of the station's networks';
        // none of these leaves the machine, were it sent.
        for (const char* ip : {"0.0.0.0", "127.255.255.255"})
            check(ip, {u"stored IP="_s + QLatin1String(ip)},
                  u"The stored address of this element is not a unicast address!"_s);
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
            else if (edit.startsWith(u"stored "_s))
                m_s->writeDatabase(recordText("001A2B3C4D5E",
                                              replaced(kEncoderEntries, {edit.mid(7).toLatin1()})));
            else if (edit != u"answer No")
                m_s->edit({edit});
        }
        m_s->button(4)->trigger();
        QCOMPARE(m_s->dialogs.boxes, QList{box});
        QVERIFY(!m_s->timer("timerRemoteSent")->isActive());
        expectOnly(m_s->configPeer, {});
    }
    // The question's details list what Save changes in the record, as the answer check compares.
    void saveListsWhatChanges_data() {
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("details");
        QTest::newRow("name and address")
            << QStringList{u"txtElementName=Studio 2"_s, u"txtElementIP=127.0.0.2"_s}
            << u"System name: E1 -> STUDIO 2\rSystem IP: 127.0.0.1 -> 127.0.0.2"_s;
        QTest::newRow("nothing, name in lower case")
            << QStringList{u"txtElementName=e1"_s} << u"No field changed."_s;
        QTest::newRow("padded address") << QStringList{u"txtElementIP=127.000.0.001"_s}
                                        << u"System IP: 127.0.0.1 -> 127.000.0.001"_s;
    }
    void saveListsWhatChanges() {
        QFETCH(QStringList, edits);
        QFETCH(QString, details);
        selectOn(sampleDatabase(), kEncoderKey);
        m_s->edit(edits);
        m_s->dialogs.answers.enqueue(true);
        m_s->button(4)->trigger();
        QCOMPARE(m_s->dialogs.boxes, QList{kQuestion});
        QCOMPARE(m_s->dialogs.details, QStringList{details});
        QCOMPARE(m_s->logged("config"),
                 QStringList{kEncoderKey + u" Configuration sent to 127.0.0.1: "_s +
                             QString(details).replace(u'\r', u"; "_s)});
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
        QCOMPARE(m_s->logged("config", varnetix::EventSeverity::Error).size(),
                 int(!sent.isEmpty()));
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
        const QByteArray group =
            recordText("00000000000D", replaced(kDecoderEntries, {"IP=127.255.255.255"}));
        QTest::newRow("decoder at a broadcast address")
            << Attenuation{.database = group,
                           .value = 30,
                           .after = group,
                           .notice = u"Attenuation not sent: 127.255.255.255 is not the address "
                                     u"of one element"_s};
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
        QCOMPARE(m_s->text("lblNotice"), c.notice);
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
                           &varnetix::UdpEndpoint::datagramReceived);
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
        // An address that is not one element's stops it too, told once in the status bar.
        m_s->writeDatabase(studioSection(replaced(kEncoderEntries, {"IP=127.255.255.255"})));
        m_s->button(6)->trigger();
        QTRY_VERIFY(!m_s->timer("tmrVolume")->isActive());
        QCOMPARE(m_s->dialogs.boxes.size(), 1);
        QCOMPARE(m_s->text("lblNotice"),
                 u"Audio monitoring stopped: 127.255.255.255 is not the address of one element"_s);
    }

    void init() {
        m_s = std::make_unique<Station>();
        m_s->resolver.macs["192.168.1.10"] = kEncoderKey.toStdString();
        m_s->resolver.macs["192.168.1.30"] = "00:1A:2B:3C:4D:60";
        m_s->settings.pagingWaitMs = 60000; // runs end when the test closes their window
    }

    void packetsThatEndEarly_data() {
        QTest::addColumn<EarlyEnd>("c");
        for (int length : {0, 1, 35, 39, 42, 43})
            QTest::addRow("%d bytes", length) << EarlyEnd{
                .datagram = packet(studioEncoder(), 45).left(length), .timerStops = false};
        const auto check = [](const char* row, const QString& field, auto change) {
            QTest::newRow(row) << EarlyEnd{.datagram = packet(with(studioEncoder(), change)),
                                           .texts = {retrieving(field)},
                                           .timerStops = false};
        };
        check("audio input 2", u"Audio Input"_s, [](auto& r) { r.AudioInput = 2; });
        check("audio type 2", u"Audio Type"_s, [](auto& r) { r.AudioType = 2; });
        check("tx type 2", u"TX Type"_s, [](auto& r) { r.TxType = 2; });
        check("role 3", u"Element Type"_s, [](auto& r) { r.ElementRole = 3; });
        check("serial 0", u"Serial Number"_s, [](auto& r) { r.SerialNumber = 0; });
        // Only the first failing check speaks.
        check("type, role, serial", u"Audio Type"_s,
              [](auto& r) { r.AudioType = 7, r.ElementRole = 9, r.SerialNumber = 0; });
        const QStringList macFailed = {retrieving(u"Element MAC"_s)};
        QTest::newRow("MAC never found")
            << EarlyEnd{.mac = "-", .texts = macFailed, .attempts = -1};
        QTest::newRow("MAC empty") << EarlyEnd{.mac = "", .texts = macFailed, .attempts = 1};
        // Nothing is selected, so outside discovery the answer is no one's.
        QTest::newRow("MAC after six failures")
            << EarlyEnd{.failFirst = 6, .texts = {kMismatch}, .attempts = 7};
    }
    void packetsThatEndEarly() {
        QFETCH(EarlyEnd, c);
        m_s->start(studioSection(kStored));
        m_s->resolver.macs.erase("192.168.1.10");
        if (c.mac != "-")
            m_s->resolver.macs["192.168.1.10"] = c.mac.toStdString();
        bool budgetLeftAtBox = false;
        m_s->dialogs.whileOpen = [&] { budgetLeftAtBox = m_s->timer("timerGetMAC")->isActive(); };

        // Outside discovery a packet that ends with a box rebuilds the tree; during one, none does.
        for (bool discovering : {false, true}) {
            const auto handle = [&] {
                m_s->resolver.attempts = 0;
                m_s->resolver.failFirst = c.failFirst;
                m_s->dialogs.boxes.clear();
                answerTimeout()->start(60000);
                const QByteArray written = studioSection(kStored) + recordText("001A2B3C4D60", {});
                m_s->writeDatabase(written);
                QVERIFY(m_s->deliver(c.datagram));
                QStringList texts = c.texts;
                if (discovering)
                    texts.removeAll(kMismatch);
                expectBoxes(m_s->dialogs, texts);
                QCOMPARE(answerTimeout()->isActive(), !c.timerStops);
                if (c.attempts < 0)
                    QVERIFY(m_s->resolver.attempts > 1 && !budgetLeftAtBox);
                else
                    QCOMPARE(m_s->resolver.attempts, c.attempts);
                if (c.attempts == 0) // refused before the lookup: nothing stored
                    QCOMPARE(m_s->database(), written);
                QCOMPARE(m_s->rows(), discovering ? 0 : 2 - int(c.texts.isEmpty()));
            };
            discovering ? m_s->discover(handle) : handle();
        }
    }
    void configurationAnswer_data() {
        QTest::addColumn<Answer>("c");
        const QStringList unchanged = {u"ENCODER"_s, u"1"_s, u"2.00"_s};
        QTest::newRow("another element") << Answer{.mac = "00:1A:2B:3C:4D:5F",
                                                   .texts = {kMismatch},
                                                   .after = kStored,
                                                   .labels = unchanged};
        QTest::newRow("record of 15 entries") << Answer{
            .extra = {"BOUND=0", "ATT=1"},
            .texts = {u"The data stored in your computer about this element, is corrupted.\r"
                      u"Cannot save this element info."_s},
            .after = kStored + QByteArrayList{"BOUND=0", "ATT=1"},
            .labels = unchanged};
        // The operator typed Studio; the element reports STUDIO padded with ten spaces.
        QTest::newRow("agrees") << Answer{.texts = {kSuccess}};
        QTest::newRow("address written differently") << Answer{
            .ip = u"192.168.001.010"_s,
            .texts = {u"An error occured while saving 'Element IP':\rFeedback is corrupted."_s},
            .after = replaced(kTaken, {"IP=127.0.0.1"})};
        QTest::newRow("role 0") << Answer{
            .answer = packet(with(studioEncoder(), [](auto& r) { r.ElementRole = 0; })),
            .after = replaced(kTaken, {"ROLE=0"}),
            .labels = {u"UNKNOWN"_s, u"12345"_s, u"2.1"_s}};
        const auto muted = [](auto& r) { r.ElementRole = 2, r.Attenuation = 10; };
        QTest::newRow("decoder raised to mute")
            << Answer{.stored = replaced(kStored, {"ROLE=2", "BUF=1", "ATT=100"}),
                      .answer = packet(with(studioEncoder(), muted), 45, 2, 3),
                      .texts = {kSuccess},
                      .after = replaced(kTaken, {"ROLE=2", "VER=2.3", "BUF=1", "ATT=14"}),
                      .labels = {u"DECODER"_s, u"12345"_s, u"2.3"_s},
                      .atten = 14};
    }
    void configurationAnswer() {
        QFETCH(Answer, c);
        m_s->start(studioSection(c.stored));
        QVERIFY(m_s->selectNode(kEncoderKey));
        m_s->writeDatabase(studioSection(c.stored + c.extra));
        m_s->edit({u"txtElementName=Studio"_s, u"txtElementIP="_s + c.ip,
                   u"txtElementMask=255.255.255.0"_s, u"txtElementGW=192.168.1.1"_s,
                   u"txtRemoteIP=192.168.1.20"_s, u"cmbAudioInput=1"_s, u"cmbAudioType=0"_s,
                   u"cmbAudioTX=0"_s}); // the panel as it was sent
        auto* attenuation = m_s->find<QScrollBar>("scrlAtten");
        attenuation->setValue(120);
        // A decoder's feedback (attenuation 240) from another element comes first.
        QVERIFY(m_s->deliver(packet(decoder("192.168.1.30", "OTHER"), 45)));

        m_s->resolver.macs["192.168.1.10"] = c.mac.toStdString();
        m_s->dialogs.boxes.clear();
        m_s->station->elements().showElements({});
        answerTimeout()->start(60000);
        QVERIFY(m_s->deliver(c.answer));
        expectBoxes(m_s->dialogs, c.texts);
        QCOMPARE(m_s->database(), studioSection(c.after));
        QCOMPARE((QStringList{m_s->text("lblElementType"), m_s->text("lblSerialNumber"),
                              m_s->text("lblVersion")}),
                 c.labels);
        QCOMPARE(attenuation->value(), c.atten);
        QCOMPARE(m_s->rows(), 1); // rebuilt in every outcome
        QVERIFY(!answerTimeout()->isActive());
    }
    // An answer whose MAC is slow to resolve holds nobody back: the answers behind it are stored
    // at once, while the box of a bad one among them waits for it, in arrival order. It belongs to
    // the discovery it arrived in, also when its MAC is found after the run; the tree is then
    // rebuilt once more. A second answer of an element rewrites its section, and a key that no
    // answer carries keeps its value.
    void slowAnswerHoldsNobodyBack() {
        m_s->settings.macBudgetMs = 10000;
        m_s->start();
        m_s->resolver.macs.erase("192.168.1.10"); // found only after the run
        m_s->resolver.macs["192.168.1.11"] = "00:1A:2B:3C:4D:61";
        m_s->resolver.macs["192.168.1.12"] = "00:1A:2B:3C:4D:62";
        const auto second = [](auto& r) {
            r.ElementIP = "192.168.1.11", r.ElementName = "SECOND", r.SerialNumber = 2;
        };
        const auto again = [](auto& r) {
            r.ElementName = "STUDIO 2", r.SerialNumber = 99, r.TxType = 1;
        };
        const QByteArrayList answers = {
            packet(studioEncoder()), packet(with(studioEncoder(), second)),
            packet(with(studioEncoder(), [](auto& r) { r.AudioType = 9; })),
            packet(decoder("192.168.1.12", "third"), 45, 2, 3),
            packet(with(studioEncoder(), again), 44, 3, 0)};
        answerTimeout()->start(60000);
        m_s->discover([&] {
            m_s->writeDatabase(studioSection({"BOUND=3"}));
            for (const QByteArray& answer : answers)
                m_s->sendToStation(answer);
            QTRY_VERIFY(m_s->database().contains("[001A2B3C4D62]"));
            QVERIFY(m_s->database().contains("[001A2B3C4D61]"));
            QCOMPARE(m_s->dialogs.boxes.size(), 1); // the question only
        });
        QCOMPARE(m_s->row(0).data().toString(), u" ["_s + kEncoderKey + u']');
        m_s->resolver.macs["192.168.1.10"] = kEncoderKey.toStdString();
        QTRY_VERIFY(m_s->feedback()->idle());
        QCOMPARE(m_s->dialogs.texts().mid(1), QStringList{retrieving(u"Audio Type"_s)});
        // The tree is rebuilt once more when the last answer of the run is stored.
        QCOMPARE(m_s->row(0).data().toString(), u"STUDIO 2 ["_s + kEncoderKey + u']');
        QVERIFY(!answerTimeout()->isActive());
        QCOMPARE(
            m_s->database(),
            studioSection(
                QByteArrayList{"BOUND=3"} +
                replaced(kStudioEntries, {"NAME=STUDIO 2        ", "TX=1", "SN=99", "VER=3"})) +
                recordText("001A2B3C4D61", replaced(kStudioEntries, {"NAME=SECOND          ",
                                                                     "IP=192.168.1.11", "SN=2"})) +
                recordText("001A2B3C4D62",
                           replaced(kStudioEntries, {"NAME=THIRD           ", "IP=192.168.1.12",
                                                     "ROLE=2", "VER=2.3", "ATT=240"})));
    }
    void floodOfBadPacketsIsDiscarded_data() {
        QTest::addColumn<QByteArrayList>("burst");
        QTest::addColumn<int>("failFirst");
        QTest::addColumn<int>("flood");
        QTest::addColumn<QStringList>("texts");
        const auto bad = [](auto change) { return packet(with(studioEncoder(), change)); };
        QTest::newRow("five bad packets")
            << QByteArrayList{bad([](auto& r) { r.AudioInput = 2; }),
                              bad([](auto& r) { r.AudioType = 5; }),
                              bad([](auto& r) { r.TxType = 5; }),
                              bad([](auto& r) { r.ElementRole = 3; }),
                              bad([](auto& r) { r.SerialNumber = 0; })}
            << 0 << 0
            << QStringList{retrieving(u"Audio Input"_s), retrieving(u"Audio Type"_s),
                           retrieving(u"TX Type"_s), retrieving(u"Element Type"_s),
                           retrieving(u"Serial Number"_s)};
        QStringList kept;
        for (int i = 0; i < 4; ++i)
            kept << retrieving(u"Audio Type"_s) << retrieving(u"Element MAC"_s);
        kept << u"1992 further feedback packets could not be used while a message was shown.\r"
                u"They were discarded."_s;
        QTest::newRow("flood behind a failed check")
            << QByteArrayList{bad([](auto& r) { r.SerialNumber = 0; })} << 0 << 2000
            << QStringList{retrieving(u"Serial Number"_s)} + kept;
        // Nothing is selected, so the answer is refused once its MAC is found.
        QTest::newRow("flood behind a late MAC") << QByteArrayList{packet(studioEncoder())} << 3
                                                 << 2000 << QStringList{kMismatch} + kept;
    }
    // Behind an open box, eight packets that failed their checks or lookups wait their turn; the
    // rest of a spoofed burst is discarded and told once, in one box, after them.
    void floodOfBadPacketsIsDiscarded() {
        QFETCH(QByteArrayList, burst);
        QFETCH(int, failFirst);
        QFETCH(int, flood);
        QFETCH(QStringList, texts);
        m_s->settings.macBudgetMs = 100;
        m_s->start(studioSection(kStored));
        m_s->resolver.failFirst = failFirst;
        // Every other one passes its checks, and its address is never found.
        const QByteArrayList bad = {
            packet(with(studioEncoder(), [](auto& r) { r.AudioType = 2; })),
            packet(with(studioEncoder(), [](auto& r) { r.ElementIP = "192.168.1.99"; }))};
        constexpr int kChunk = 100;
        QUdpSocket elements;
        bool keptUp = true;
        m_s->dialogs.whileOpen = [&] {
            // In chunks the socket's buffer holds, as a burst arrives over a real network.
            for (int sent = kChunk; m_s->dialogs.boxes.size() == 1 && sent <= flood && keptUp;
                 sent += kChunk) {
                for (int i = 0; i < kChunk; ++i)
                    elements.writeDatagram(bad[i % 2], QHostAddress::LocalHost, m_s->stationPort());
                keptUp = QTest::qWaitFor([&] {
                    return int(m_s->feedback()->discarded() + m_s->feedback()->dropped()) ==
                           sent - 8;
                });
            }
        };
        // Back to back, so that the station takes them in one turn.
        for (const QByteArray& datagram : burst.first(burst.size() - 1))
            elements.writeDatagram(datagram, QHostAddress::LocalHost, m_s->stationPort());
        QVERIFY(m_s->deliver(burst.last(), 100000));
        QVERIFY(keptUp);
        QCOMPARE(m_s->dialogs.deepest, 1);
        QCOMPARE(m_s->dialogs.texts(), texts);
    }

private:
    void selectOn(const QByteArray& database, const QString& key) {
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

    QTimer* answerTimeout() { return m_s->timer("timerRemoteSent"); }

    std::unique_ptr<Station> m_s;
};

QTEST_MAIN(TestElementExchange)
#include "test_element_exchange.moc"
