// The ping test: captions, colours, the retry countdown and its stop, driven by a scripted echo
// probe through a stand-in for lblPing and shpPing.
#include "station/ping_controller.h"
#include "station_fixture.h"

using namespace Qt::Literals::StringLiterals;
using varnetix::PingColour;

namespace {

constexpr std::int32_t kTimedOut = 11010;

struct Rig : varnetix::PingIndicator, varnetix::EventSink {
    QStringList captions;
    QStringList logged; // element TAB text
    PingColour colour = PingColour::NotTested;
    std::function<void(const QString&)> onCaption;
    ScriptedEchoProbe probe;
    FakeDialogs dialogs;
    QString field = u"198.18.5.1"_s; // txtElementIP
    varnetix::PingController controller;

    explicit Rig(int retryMs)
        : controller(
              *this, probe, dialogs, *this, [this] { return field; },
              [] { return u"00:1A:2B:3C:4D:5E"_s; }, retryMs) {}
    void record(varnetix::EventSeverity, std::string_view category, const QString& element,
                const QString& text) override {
        if (category == "ping")
            logged << element + u'\t' + text;
    }
    void showPingCaption(const QString& caption) override {
        captions << caption;
        if (onCaption)
            onCaption(caption);
    }
    void showPingColour(PingColour shown) override { colour = shown; }
    QTimer* timer() const { return controller.findChild<QTimer*>(u"tmrRetryPing"_s); }
};

} // namespace

class TestPingController : public QObject {
    Q_OBJECT

private slots:
    void init() { m_r = std::make_unique<Rig>(20); }

    void outcomeIsShown_data() {
        QTest::addColumn<int>("status"); // with a round trip of 1 ms
        QTest::addColumn<QString>("caption");
        QTest::newRow("answered") << 0 << u"1 ms"_s;
        QTest::newRow("host unreachable") << 11003 << u"Destination Host Unreachable"_s;
        QTest::newRow("gap in the table") << 11020 << u"Unknown Response"_s;
        QTest::newRow("timed out") << kTimedOut << u"Request Timed Out"_s;
    }
    void outcomeIsShown() {
        QFETCH(int, status);
        QFETCH(QString, caption);
        m_r = std::make_unique<Rig>(60000); // the countdown itself is not under test here
        m_r->probe.reply = {status, 1};
        m_r->controller.clicked();
        QCOMPARE(m_r->probe.addresses, QStringList{m_r->field});
        QVERIFY(m_r->controller.inFlight() && m_r->captions.isEmpty());
        QTRY_VERIFY(!m_r->controller.inFlight());
        QCOMPARE(m_r->captions, QStringList{caption});
        QCOMPARE(m_r->colour, status == 0 ? PingColour::Answered : PingColour::Failed);
        QCOMPARE(m_r->timer()->isActive(), status == kTimedOut); // only a time-out counts down
        QCOMPARE(m_r->probe.stopSocketsCalls, 1);
        QVERIFY(m_r->dialogs.boxes.isEmpty());
        QCOMPARE(m_r->logged, QStringList{u"00:1A:2B:3C:4D:5E\tPing 198.18.5.1: "_s + caption});
    }
    void nothingIsShown_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("refused");
        QTest::newRow("empty, nothing loaded") << QString() << false;
        QTest::newRow("three parts") << u"198.18.5"_s << false;
        QTest::newRow("octet too large") << u"198.18.5.256"_s << false;
        QTest::newRow("text") << u"<Unknown>"_s << false;
        QTest::newRow("start refused") << u"198.18.5.1"_s << true;
    }
    void nothingIsShown() {
        QFETCH(QString, field);
        QFETCH(bool, refused);
        m_r->field = field;
        m_r->probe.refuseStart = refused;
        m_r->controller.clicked();
        QVERIFY(!m_r->controller.inFlight() && m_r->probe.addresses.isEmpty());
        QVERIFY(m_r->captions.isEmpty() && m_r->dialogs.boxes.isEmpty());
        QCOMPARE(m_r->colour, PingColour::NotTested);
    }
    void socketFailureShowsOneBoxThenRed() {
        m_r->probe.socketsStart = false;
        bool shownWhileOpen = true;
        m_r->dialogs.whileOpen = [&] {
            shownWhileOpen = !m_r->captions.isEmpty() || m_r->colour != PingColour::NotTested;
        };
        m_r->controller.clicked();
        QCOMPARE(m_r->dialogs.boxes,
                 QList{critical(u"Windows Sockets not responding correctly."_s, u"Ping failed"_s)});
        QVERIFY(!shownWhileOpen); // the display changes once the box is closed
        QCOMPARE(m_r->captions, QStringList{u"Unable to init sockets"_s});
        QCOMPARE(m_r->colour, PingColour::Failed);
        QVERIFY(!m_r->timer()->isActive() && !m_r->controller.inFlight());
        QVERIFY(m_r->probe.addresses.isEmpty());
        QCOMPARE(m_r->probe.stopSocketsCalls, 0);
    }
    void timeOutCountsDownStopsAndRetriesTheFieldsAddress() {
        m_r->probe.reply = {kTimedOut, 0};
        m_r->onCaption = [this](const QString& caption) {
            if (caption == u"Retrying in 1 seconds..."_s && m_r->probe.addresses.size() == 1)
                m_r->controller.clicked(); // the operator stops the countdown
        };
        m_r->controller.clicked();
        QTRY_COMPARE(m_r->captions.size(), 4);
        QCOMPARE(m_r->captions, (QStringList{u"Request Timed Out"_s, u"Retrying in 2 seconds..."_s,
                                             u"Retrying in 1 seconds..."_s, u"<Stopped>"_s}));
        QVERIFY(!m_r->timer()->isActive());
        QCOMPARE(m_r->controller.countdown(), qint16(1));
        QCOMPARE(m_r->colour, PingColour::Failed);

        // The next time-out continues from 1, and the retry tests the address in the field then
        // (another element was loaded meanwhile), which answers.
        m_r->captions.clear();
        m_r->onCaption = [this](const QString& caption) {
            if (caption == u"Request Timed Out"_s)
                m_r->field = u"198.18.5.2"_s, m_r->probe.reply = {0, 7};
        };
        m_r->controller.clicked();
        QTRY_COMPARE(m_r->captions.size(), 3);
        QCOMPARE(m_r->captions,
                 (QStringList{u"Request Timed Out"_s, u"Retrying in 0 seconds..."_s, u"7 ms"_s}));
        QCOMPARE(m_r->probe.addresses,
                 (QStringList{u"198.18.5.1"_s, u"198.18.5.1"_s, u"198.18.5.2"_s}));
        QCOMPARE(m_r->colour, PingColour::Answered);
        QVERIFY(!m_r->timer()->isActive());
        QCOMPARE(m_r->controller.countdown(), qint16(3));
        QCOMPARE(m_r->probe.stopSocketsCalls, 3);
    }
    void resultOfAnEchoInFlight_data() {
        QTest::addColumn<QString>("panelCaption"); // written by the panel meanwhile, if any
        QTest::addColumn<int>("status");
        QTest::newRow("shown") << QString() << 0;
        QTest::newRow("another element loaded, answered") << u"<Click to test>"_s << 0;
        QTest::newRow("another element loaded, timed out") << u"<Click to test>"_s << kTimedOut;
        QTest::newRow("panel cleared, unreachable") << u"<Unknown>"_s << 11003;
    }
    void resultOfAnEchoInFlight() {
        QFETCH(QString, panelCaption);
        QFETCH(int, status);
        m_r->probe.holdReply = true;
        m_r->controller.clicked();
        QVERIFY(m_r->controller.inFlight());
        m_r->controller.clicked(); // a second test waits for the first
        m_r->controller.pingElement(u"198.18.5.9"_s);
        QCOMPARE(m_r->probe.addresses, QStringList{u"198.18.5.1"_s});
        if (!panelCaption.isEmpty()) {
            m_r->controller.setCaption(panelCaption);
            m_r->controller.setColour(PingColour::NotTested);
        }
        m_r->probe.reply = {status, 5};
        m_r->probe.release();
        // A stale result is dropped.
        QCOMPARE(m_r->captions, QStringList{panelCaption.isEmpty() ? u"5 ms"_s : panelCaption});
        QCOMPARE(m_r->colour,
                 panelCaption.isEmpty() ? PingColour::Answered : PingColour::NotTested);
        QVERIFY(!m_r->timer()->isActive() && !m_r->controller.inFlight());
        QCOMPARE(m_r->probe.stopSocketsCalls, 1);
        // The next test is shown again.
        m_r->probe.holdReply = false;
        m_r->probe.reply = {0, 2};
        m_r->controller.clicked();
        QTRY_COMPARE(m_r->captions.constLast(), u"2 ms"_s);
    }

private:
    std::unique_ptr<Rig> m_r;
};

QTEST_GUILESS_MAIN(TestPingController)
#include "test_ping_controller.moc"
