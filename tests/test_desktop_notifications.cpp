// Raised alarms as desktop notifications, against a real session bus: a private dbus-daemon
// that the test starts (and ends by its PID, also after a failure) and a notification service
// of the test's own that records every call. Without dbus-daemon the test is skipped.
#include "station/alarm_notifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/prctl.h>

using namespace Qt::Literals::StringLiterals;

// org.freedesktop.Notifications as a desktop runs it, recording each call.
class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls; // the arguments joined by "|", of the hints the desktop entry and urgency

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints,
                int timeout) {
        const QVariant urgency = hints.value(u"urgency"_s);
        calls << u"%1|%2|%3|%4|%5|%6|%7|%8 %9|"_s.arg(app).arg(replaces).arg(
                     icon, summary, body, actions.join(u','),
                     hints.value(u"desktop-entry"_s).toString(), QLatin1String(urgency.typeName()),
                     QString::number(urgency.toInt())) +
                     QString::number(timeout);
        return uint(calls.size());
    }
};

class TestDesktopNotifications : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;

private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
        if (daemon.isEmpty())
            QSKIP("needs dbus-daemon (Debian package dbus-daemon) for a private session bus");
        // Ended by its PID when the tests end, and by the kernel should this process die first.
        m_daemon.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_daemon.start(daemon, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s,
                                u"--address=unix:dir="_s + m_dir.path()});
        QVERIFY(m_daemon.waitForStarted());
        QTRY_VERIFY(m_daemon.canReadLine());
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    void cleanupTestCase() {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.kill();
            m_daemon.waitForFinished();
        }
    }

    // Each raised alarm once, the kind in the summary, the cause (escaped: names come off the
    // network) in the body, dead air as critical; the lasting ones are sent when the station's
    // notifications begin, and those raised within the quiet time after one go out together.
    // Nothing when no bus or no service runs: the call's error is nobody's business.
    void raisedAlarmsReachTheService() {
        using varnetix::AlarmKind;
        varnetix::EventLog log(nullptr);
        varnetix::AlarmList alarms(log, [](const std::string& section) {
            return section == "001A2B3C4D5E" ? u"<b>E1</b>\x1b[0m [00:1A:2B:3C:4D:5E]"_s
                                             : QString();
        });
        NotificationService service;
        QDBusConnection serviceBus = QDBusConnection::connectToBus(m_address, u"service"_s);
        QVERIFY(serviceBus.registerObject(u"/org/freedesktop/Notifications"_s, &service,
                                          QDBusConnection::ExportAllSlots));
        varnetix::DesktopNotifier notifier(QDBusConnection::connectToBus(m_address, u"station"_s));
        varnetix::DesktopNotifier nowhere(
            QDBusConnection::connectToBus(u"unix:path=/nonexistent/bus"_s, u"nowhere"_s));
        QTest::failOnWarning(QRegularExpression(u".*"_s));

        alarms.raise(AlarmKind::Offline, u"00:1a:2b:3c:4d:5e"_s);
        varnetix::AlarmNotifications{alarms, nowhere};
        varnetix::AlarmNotifications{alarms, notifier}; // before the service
        // A call on the same connection returns after the bus has answered the one before.
        QVERIFY(QDBusConnection(u"station"_s).interface()->registeredServiceNames().isValid());
        QVERIFY(serviceBus.registerService(u"org.freedesktop.Notifications"_s));
        varnetix::AlarmNotifications notifications(alarms, notifier, 100);
        alarms.raise(AlarmKind::Network, {}, u"Two answers from 10.0.0.5."_s);
        alarms.raise(AlarmKind::Network, {}); // lasts: nothing new
        for (const QString& x : {u"B"_s, u"C"_s}) {
            alarms.raise(AlarmKind::Silent, u"00000000000"_s + x);
            alarms.raise(AlarmKind::NoLevel, u"00000000000"_s + x);
        }
        alarms.raise(AlarmKind::Offline, u"00000000000D"_s);
        QTRY_COMPARE(service.calls.size(), 2);
        QCOMPARE(
            service.calls,
            (QStringList{u"Varnetix NMS|0|varnetix-nms|Alarm raised: offline|&lt;b&gt;E1&lt;/"
                         u"b&gt;\\x1B[0m [00:1A:2B:3C:4D:5E] is offline||varnetix-nms|uchar 2|-1"_s,
                         u"Varnetix NMS|0|varnetix-nms|6 alarms raised|network: Two answers "
                         u"from 10.0.0.5.\nsilent: 00:00:00:00:00:0B is silent\nno-level: "
                         u"00:00:00:00:00:0B sends no audio level\nsilent: 00:00:00:00:00:0C "
                         u"is silent\nno-level: 00:00:00:00:00:0C sends no audio level\nand 1 "
                         u"more||varnetix-nms|uchar 2|-1"_s}));
        QDBusConnection::disconnectFromBus(u"service"_s);
    }
};

QTEST_GUILESS_MAIN(TestDesktopNotifications)
#include "test_desktop_notifications.moc"
