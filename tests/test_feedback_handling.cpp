// What the station does with an element's feedback packet: the checks and their messages, the
// MAC wait, the discovery store, the configuration answer; packets worked on side by side while
// their boxes come one at a time, in arrival order; a flood of bad packets discarded.
#include "station_fixture.h"

using namespace Qt::Literals::StringLiterals;
using varnetix::FeedbackHandler;
using varnetix::FeedbackRecord;

namespace {

const QString kMac = kEncoderKey;
// The selected element as the database holds it before an answer.
const QByteArrayList kStored = QByteArray("NAME=OLD NAME        |IP=127.0.0.1|MASK=255.0.0.0|"
                                          "GW=127.0.0.254|REMOTE=239.1.1.1|INPUT=0|TYPE=1|TX=1|"
                                          "ROLE=1|SN=1|VER=2|SFN=0|BUF=0")
                                   .split('|');
// What an answer of studioEncoder() writes over it ("sfn" and "buf" are not answered).
const QByteArrayList kTaken = replaced(kStudioEntries, {"SFN=0", "BUF=0"});
QByteArray studioSection(const QByteArrayList& entries) {
    return recordText("001A2B3C4D5E", entries);
}

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
    QByteArray mac = kMac.toLatin1(); // what the lookup finds; "-" nothing
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
    QByteArray mac = kMac.toLatin1();
    QStringList texts = {};
    QByteArrayList after = kTaken;
    QStringList labels = {u"ENCODER"_s, u"12345"_s, u"2.1"_s}; // type, serial number, version
    int atten = 120;                                           // 120 before the answer
};

} // namespace

Q_DECLARE_METATYPE(EarlyEnd)
Q_DECLARE_METATYPE(Answer)

class TestFeedbackHandling : public QObject {
    Q_OBJECT

private slots:
    void init() {
        m_s = std::make_unique<Station>();
        m_s->resolver.macs["192.168.1.10"] = kMac.toStdString();
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
                QCOMPARE(m_s->tree()->topLevelItemCount(),
                         discovering ? 0 : 2 - int(c.texts.isEmpty()));
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
        QVERIFY(m_s->selectNode(kMac));
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
        m_s->tree()->clear();
        answerTimeout()->start(60000);
        QVERIFY(m_s->deliver(c.answer));
        expectBoxes(m_s->dialogs, c.texts);
        QCOMPARE(m_s->database(), studioSection(c.after));
        QCOMPARE((QStringList{m_s->text("lblElementType"), m_s->text("lblSerialNumber"),
                              m_s->text("lblVersion")}),
                 c.labels);
        QCOMPARE(attenuation->value(), c.atten);
        QCOMPARE(m_s->tree()->topLevelItemCount(), 1); // rebuilt in every outcome
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
        QCOMPARE(m_s->tree()->topLevelItem(0)->text(0), u" ["_s + kMac + u']');
        m_s->resolver.macs["192.168.1.10"] = kMac.toStdString();
        QTRY_VERIFY(m_s->feedback()->idle());
        QCOMPARE(m_s->dialogs.texts().mid(1), QStringList{retrieving(u"Audio Type"_s)});
        // The tree is rebuilt once more when the last answer of the run is stored.
        QCOMPARE(m_s->tree()->topLevelItem(0)->text(0), u"STUDIO 2 ["_s + kMac + u']');
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
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<int>("failFirst");
        QTest::addColumn<QString>("text");
        QTest::newRow("box of a failed check")
            << packet(with(studioEncoder(), [](auto& r) { r.SerialNumber = 0; })) << 0
            << retrieving(u"Serial Number"_s);
        // Nothing is selected, so the answer is refused once its MAC is found.
        QTest::newRow("box after a late MAC") << packet(studioEncoder()) << 3 << kMismatch;
    }
    // Behind an open box, three packets that failed their checks wait their turn; the rest of a
    // spoofed burst is discarded and told once, in one box, when the open one closes.
    void floodOfBadPacketsIsDiscarded() {
        QFETCH(QByteArray, first);
        QFETCH(int, failFirst);
        QFETCH(QString, text);
        m_s->start(studioSection(kStored));
        m_s->resolver.failFirst = failFirst;
        const QByteArray bad = packet(with(studioEncoder(), [](auto& r) { r.AudioType = 2; }));
        constexpr int kChunk = 100, kSent = 2000;
        QUdpSocket elements;
        bool keptUp = true;
        m_s->dialogs.whileOpen = [&] {
            // In chunks the socket's buffer holds, as a burst arrives over a real network.
            for (int sent = kChunk; m_s->dialogs.boxes.size() == 1 && sent <= kSent && keptUp;
                 sent += kChunk) {
                for (int i = 0; i < kChunk; ++i)
                    elements.writeDatagram(bad, QHostAddress::LocalHost, m_s->stationPort());
                keptUp = QTest::qWaitFor([&] {
                    return int(m_s->feedback()->discarded() + m_s->feedback()->dropped()) ==
                           sent - 3;
                });
            }
        };
        QVERIFY(m_s->deliver(first, 100000));
        QVERIFY(keptUp);
        QCOMPARE(m_s->dialogs.deepest, 1);
        const qsizetype lost = qsizetype(m_s->feedback()->dropped());
        QCOMPARE(m_s->dialogs.texts(),
                 QStringList({text,
                              u"%1 further feedback packets failed their checks while a message "
                              u"was shown.\rThey were discarded."_s.arg(kSent - 3 - lost),
                              retrieving(u"Audio Type"_s), retrieving(u"Audio Type"_s),
                              retrieving(u"Audio Type"_s)}));
    }

private:
    QTimer* answerTimeout() { return m_s->timer("timerRemoteSent"); }

    std::unique_ptr<Station> m_s;
};

QTEST_MAIN(TestFeedbackHandling)
#include "test_feedback_handling.moc"
