// The ping test of the panel: captions, colours, the retry countdown and its stop, driven by a
// scripted echo probe.
#include "fake_dialogs.h"
#include "platform/echo_probe.h"
#include "station/ping_controller.h"
#include "ui/caption_label.h"

#include <QQueue>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using varnetix::EchoReply;

namespace {

class FakeEchoProbe : public varnetix::EchoProbe {
public:
    bool socketsAvailable = true;
    bool acceptStart = true;
    QQueue<EchoReply> script; // answered from the event loop, one per start
    QStringList started;
    int startSocketsCalls = 0;
    int stopSocketsCalls = 0;

    bool StartSockets() override {
        ++startSocketsCalls;
        return socketsAvailable;
    }
    void StopSockets() override { ++stopSocketsCalls; }
    bool start(const QString& address) override {
        if (m_busy || !acceptStart)
            return false;
        started << address;
        m_busy = true;
        if (!script.isEmpty()) {
            const EchoReply reply = script.dequeue();
            QTimer::singleShot(0, this, [this, reply] { answer(reply); });
        }
        return true;
    }
    bool busy() const override { return m_busy; }
    void answer(EchoReply reply) {
        m_busy = false;
        emit finished(reply);
    }

private:
    bool m_busy = false;
};

constexpr std::int32_t kTimedOut = 11010;

} // namespace

class TestPingController : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void outcomeIsShown_data();
    void outcomeIsShown();
    void invalidAddressDoesNothing_data();
    void invalidAddressDoesNothing();
    void socketFailureShowsOneBoxThenRed();
    void timeOutCountsDownAndRetriesTheAddressInTheFieldThen();
    void stopKeepsTheCountForTheNextCountdown();
    void clickWhileInFlightDoesNothing();
    void refusedStartShowsNothing();
    void staleResultIsDropped_data();
    void staleResultIsDropped();

private:
    void click() { emit m_label->clicked(); }

    std::unique_ptr<varnetix::CaptionLabel> m_label;
    std::unique_ptr<varnetix::ShapeIndicator> m_shape;
    std::unique_ptr<QTimer> m_timer;
    std::unique_ptr<FakeEchoProbe> m_probe;
    std::unique_ptr<FakeDialogs> m_dialogs;
    std::unique_ptr<varnetix::PingController> m_controller;
    QString m_field;
    QStringList m_captions;
};

void TestPingController::init() {
    m_label = std::make_unique<varnetix::CaptionLabel>(u"<Click to test>"_s);
    m_shape = std::make_unique<varnetix::ShapeIndicator>();
    m_timer = std::make_unique<QTimer>();
    m_timer->setInterval(20);
    m_probe = std::make_unique<FakeEchoProbe>();
    m_dialogs = std::make_unique<FakeDialogs>();
    m_field = u"198.18.5.1"_s;
    m_controller = std::make_unique<varnetix::PingController>(
        *m_label, *m_shape, *m_timer, *m_probe, *m_dialogs, [this] { return m_field; });
    m_controller->setCountdown(3);
    m_captions.clear();
    connect(m_label.get(), &varnetix::CaptionLabel::captionChanged, this,
            [this](const QString& caption) { m_captions << caption; });
}

void TestPingController::cleanup() {
    m_controller.reset();
    m_timer.reset();
    m_probe.reset();
    m_label.reset();
    m_shape.reset();
    m_dialogs.reset();
}

void TestPingController::outcomeIsShown_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<uint>("rtt");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("countingDown");

    QTest::newRow("answered") << 0 << 1u << u"1 ms"_s << varnetix::kColourAnswered << false;
    QTest::newRow("answered within the first ms")
        << 0 << 0u << u"0 ms"_s << varnetix::kColourAnswered << false;
    QTest::newRow("host unreachable")
        << 11003 << 0u << u"Destination Host Unreachable"_s << varnetix::kColourFailed << false;
    QTest::newRow("gap in the table")
        << 11020 << 0u << u"Unknown Response"_s << varnetix::kColourFailed << false;
    QTest::newRow("no address") << -1 << 0u << u"Unknown Response"_s << varnetix::kColourFailed
                                << false;
    QTest::newRow("timed out") << kTimedOut << 0u << u"Request Timed Out"_s
                               << varnetix::kColourFailed << true;
}

void TestPingController::outcomeIsShown() {
    QFETCH(int, status);
    QFETCH(uint, rtt);
    QFETCH(QString, caption);
    QFETCH(QColor, colour);
    QFETCH(bool, countingDown);

    m_timer->setInterval(60'000); // the countdown itself is not under test here
    m_probe->script.enqueue({status, rtt});
    click();
    QCOMPARE(m_probe->started, QStringList{m_field});
    QVERIFY(m_controller->inFlight());
    QVERIFY(m_captions.isEmpty());

    QTRY_VERIFY(!m_controller->inFlight());
    QCOMPARE(m_captions, QStringList{caption});
    QCOMPARE(m_shape->fillColor(), colour);
    QCOMPARE(m_timer->isActive(), countingDown);
    QCOMPARE(m_probe->startSocketsCalls, 1);
    QCOMPARE(m_probe->stopSocketsCalls, 1);
    QVERIFY(m_dialogs->boxes.isEmpty());
}

void TestPingController::invalidAddressDoesNothing_data() {
    QTest::addColumn<QString>("field");
    QTest::newRow("empty, nothing loaded") << QString();
    QTest::newRow("three parts") << u"198.18.5"_s;
    QTest::newRow("octet too large") << u"198.18.5.256"_s;
    QTest::newRow("text") << u"<Unknown>"_s;
}

void TestPingController::invalidAddressDoesNothing() {
    QFETCH(QString, field);
    m_field = field;
    m_label->setCaption(u"<Unknown>"_s);
    m_captions.clear();
    click();
    QCOMPARE(m_probe->startSocketsCalls, 0);
    QVERIFY(m_probe->started.isEmpty());
    QVERIFY(m_captions.isEmpty());
    QCOMPARE(m_shape->fillColor(), varnetix::kColourNotTested);
    QVERIFY(m_dialogs->boxes.isEmpty());
}

void TestPingController::socketFailureShowsOneBoxThenRed() {
    m_probe->socketsAvailable = false;
    QString captionWhileOpen;
    QColor colourWhileOpen;
    m_dialogs->whileOpen = [&] {
        captionWhileOpen = m_label->caption();
        colourWhileOpen = m_shape->fillColor();
    };
    click();

    QCOMPARE(m_dialogs->boxes.size(), 1);
    QCOMPARE(m_dialogs->boxes[0].icon, RecordedBox::Critical);
    QCOMPARE(m_dialogs->boxes[0].title, u"Ping failed"_s);
    QCOMPARE(m_dialogs->boxes[0].text, u"Windows Sockets not responding correctly."_s);
    // The display changes only once the box is closed.
    QCOMPARE(captionWhileOpen, u"<Click to test>"_s);
    QCOMPARE(colourWhileOpen, varnetix::kColourNotTested);
    QCOMPARE(m_captions, QStringList{u"Unable to init sockets"_s});
    QCOMPARE(m_shape->fillColor(), varnetix::kColourFailed);
    QVERIFY(!m_timer->isActive());
    QVERIFY(m_probe->started.isEmpty());
    QCOMPARE(m_probe->stopSocketsCalls, 0);
    QVERIFY(!m_controller->inFlight());
}

void TestPingController::timeOutCountsDownAndRetriesTheAddressInTheFieldThen() {
    // Another element is loaded while the countdown runs: the retry tests its address.
    connect(m_label.get(), &varnetix::CaptionLabel::captionChanged, this,
            [this](const QString& caption) {
                if (caption == u"Request Timed Out"_s)
                    m_field = u"198.18.5.2"_s;
            });
    m_probe->script.enqueue({kTimedOut, 0});
    m_probe->script.enqueue({0, 1});
    click();

    QTRY_COMPARE(m_probe->started.size(), 2);
    QCOMPARE(m_probe->started, (QStringList{u"198.18.5.1"_s, u"198.18.5.2"_s}));
    QVERIFY(!m_timer->isActive());
    QCOMPARE(m_controller->countdown(), qint16(3));
    QTRY_VERIFY(!m_controller->inFlight());
    QCOMPARE(m_captions, (QStringList{u"Request Timed Out"_s, u"Retrying in 2 seconds..."_s,
                                      u"Retrying in 1 seconds..."_s, u"Retrying in 0 seconds..."_s,
                                      u"1 ms"_s}));
    QCOMPARE(m_shape->fillColor(), varnetix::kColourAnswered);
    QVERIFY(!m_timer->isActive());
    QCOMPARE(m_probe->stopSocketsCalls, 2);
}

void TestPingController::stopKeepsTheCountForTheNextCountdown() {
    // The operator clicks while the caption reads "Retrying in 1 seconds...".
    bool clicked = false;
    connect(m_label.get(), &varnetix::CaptionLabel::captionChanged, this,
            [&](const QString& caption) {
                if (!clicked && caption == u"Retrying in 1 seconds..."_s) {
                    clicked = true;
                    click();
                }
            });
    m_probe->script.enqueue({kTimedOut, 0});
    click();
    QTRY_VERIFY(clicked);
    QCOMPARE(m_captions, (QStringList{u"Request Timed Out"_s, u"Retrying in 2 seconds..."_s,
                                      u"Retrying in 1 seconds..."_s, u"<Stopped>"_s}));
    QVERIFY(!m_timer->isActive());
    QCOMPARE(m_controller->countdown(), qint16(1));
    QCOMPARE(m_shape->fillColor(), varnetix::kColourFailed);
    QCOMPARE(m_probe->started.size(), 1);

    // The next time-out continues from 1.
    m_captions.clear();
    m_probe->script.enqueue({kTimedOut, 0});
    m_probe->script.enqueue({0, 7});
    click();
    QTRY_COMPARE(m_probe->started.size(), 3);
    QTRY_VERIFY(!m_controller->inFlight());
    QCOMPARE(m_captions,
             (QStringList{u"Request Timed Out"_s, u"Retrying in 0 seconds..."_s, u"7 ms"_s}));
    QCOMPARE(m_controller->countdown(), qint16(3));
}

void TestPingController::clickWhileInFlightDoesNothing() {
    click();
    QVERIFY(m_controller->inFlight());
    click();
    m_controller->PingElement(u"198.18.5.9"_s);
    QCOMPARE(m_probe->startSocketsCalls, 1);
    QCOMPARE(m_probe->started, QStringList{u"198.18.5.1"_s});
    QVERIFY(m_captions.isEmpty());

    m_probe->answer({0, 4});
    QCOMPARE(m_captions, QStringList{u"4 ms"_s});
    QVERIFY(!m_controller->inFlight());
}

void TestPingController::refusedStartShowsNothing() {
    m_probe->acceptStart = false;
    click();
    QVERIFY(!m_controller->inFlight());
    QVERIFY(m_captions.isEmpty());
    QCOMPARE(m_shape->fillColor(), varnetix::kColourNotTested);
    QVERIFY(m_dialogs->boxes.isEmpty());
}

void TestPingController::staleResultIsDropped_data() {
    QTest::addColumn<QString>("panelCaption");
    QTest::addColumn<int>("status");
    QTest::newRow("another element loaded, answered") << u"<Click to test>"_s << 0;
    QTest::newRow("another element loaded, timed out") << u"<Click to test>"_s << kTimedOut;
    QTest::newRow("panel cleared, unreachable") << u"<Unknown>"_s << 11003;
}

void TestPingController::staleResultIsDropped() {
    QFETCH(QString, panelCaption);
    QFETCH(int, status);

    click();
    QVERIFY(m_controller->inFlight());
    m_label->setCaption(panelCaption);
    m_shape->setFillColor(varnetix::kColourNotTested);
    m_probe->answer({status, 5});

    QCOMPARE(m_captions, QStringList{panelCaption});
    QCOMPARE(m_shape->fillColor(), varnetix::kColourNotTested);
    QVERIFY(!m_timer->isActive());
    QCOMPARE(m_probe->stopSocketsCalls, 1);
    QVERIFY(!m_controller->inFlight());

    // The next test of the new element is shown again.
    m_probe->script.enqueue({0, 2});
    click();
    QTRY_VERIFY(!m_controller->inFlight());
    QCOMPARE(m_captions.constLast(), u"2 ms"_s);
}

QTEST_MAIN(TestPingController)
#include "test_ping_controller.moc"
