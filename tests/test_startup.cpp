// Start-up and shutdown of the station: the empty-database box before the bind, an occupied
// port, the single-instance rule, the title, the port released at close, and where the
// database lives.
#include "station/ping_controller.h"
#include "station_fixture.h"
#include "ui/station_startup.h"

#include <QDir>
#include <QtTest>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using varnetix::SingleInstance;

namespace {

const RecordedBox kEmptyDatabase = emptyDatabaseBox(true);

bool portIsFree(quint16 port) {
    QUdpSocket socket;
    return socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress);
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void startThenClose() {
        Station s;
        s.window =
            std::make_unique<varnetix::MainWindow>(s.settings, s.dialogs, s.resolver, s.probe);
        s.button(6)->setEnabled(true);
        s.button(7)->setEnabled(true);
        auto* ping = s.window->findChild<varnetix::PingController*>();
        ping->setCountdown(0);
        bool boundWhileOpen = true;
        s.dialogs.whileOpen = [&] {
            boundWhileOpen = s.find<varnetix::UdpEndpoint>("udpClient")->isBound();
        };
        QVERIFY(s.window->Form_Load());
        QCOMPARE(s.dialogs.boxes, QList{kEmptyDatabase});
        QVERIFY(!boundWhileOpen); // the tree is built before the bind
        QCOMPARE(s.window->windowTitle(), u"Varnetix NMS v.3.0.0 - Halvoren Broadcast"_s);
        QVERIFY(!s.button(6)->isEnabled() && !s.button(7)->isEnabled());
        QCOMPARE(ping->countdown(), qint16(3));
        // Closing releases the port for a next start, asks nothing and writes nothing.
        const quint16 port = s.stationPort();
        QVERIFY(port != 0 && !portIsFree(port));
        s.window->show();
        QVERIFY(s.window->close() && portIsFree(port));
        QCOMPARE(s.dialogs.boxes.size(), 1);
        QVERIFY(!QFile::exists(s.databasePath()));
    }

    // A station that cannot start: its port is taken, or another instance runs. The second
    // instance touches nothing: no bind, and no read of the database (whose empty-database box
    // would show).
    void stationThatCannotStart_data() {
        QTest::addColumn<QHostAddress>("address");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("running"); // another instance holds the claim
        const QHostAddress any(QHostAddress::AnyIPv4);
        QTest::newRow("any address, exclusive")
            << any << int(QUdpSocket::DontShareAddress) << false;
        QTest::newRow("any address, reusable")
            << any << int(QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint) << false;
        QTest::newRow("loopback only") << QHostAddress(QHostAddress::LocalHost) << 0 << false;
        QTest::newRow("another instance") << any << int(QUdpSocket::DontShareAddress) << true;
    }
    void stationThatCannotStart() {
        QFETCH(QHostAddress, address);
        QFETCH(int, mode);
        QFETCH(bool, running);
        QUdpSocket holder;
        QVERIFY(holder.bind(address, 0, QUdpSocket::BindMode(mode)));
        Station s;
        s.settings.localPort = holder.localPort();
        SingleInstance first(s.dir.path(), s.dir.path()), instance(s.dir.path(), s.dir.path());
        QVERIFY(!running || first.acquire());
        int exitCode = -1;
        QVERIFY(!varnetix::startStation(s.settings, s.dialogs, s.resolver, s.probe, instance,
                                        exitCode));
        QCOMPARE(exitCode, running ? 0 : 1);
        // The tree is built before the bind, so the empty database is reported first.
        const QList<RecordedBox> boxes =
            running ? QList{RecordedBox{RecordedBox::Information, u"Halvoren Varnetix NMS"_s,
                                        u"Halvoren Varnetix NMS is already running (check the "
                                        u"icon in system tray)!"_s}}
                    : QList{kEmptyDatabase, critical(u"Unable to use UDP port 2976: occupied."_s)};
        QCOMPARE(s.dialogs.boxes, boxes);
        QVERIFY(!running || !SingleInstance(s.dir.path(), s.dir.path()).acquire());
    }

    void instancePerExecutableDirectoryAndStaleLock() {
        QTemporaryDir locks, base;
        QVERIFY(QDir(base.path()).mkpath(u"a"_s) && QDir(base.path()).mkpath(u"b"_s));
        SingleInstance a(base.filePath(u"a"_s), locks.path());
        SingleInstance b(base.filePath(u"b"_s), locks.path());
        QVERIFY(a.acquire() && b.acquire());
        // The same directory named another way is the same station.
        QVERIFY(!SingleInstance(base.filePath(u"b/../a"_s), locks.path()).acquire());
        // A copy that crashes while it holds its lock leaves the lock file behind.
        const pid_t copy = ::fork();
        if (copy == 0) {
            (new SingleInstance(base.path(), locks.path()))->acquire();
            ::_exit(0);
        }
        QVERIFY(copy > 0 && ::waitpid(copy, nullptr, 0) == copy);
        QVERIFY(QFile::exists(SingleInstance(base.path(), locks.path()).lockPath()));
        QVERIFY(SingleInstance(base.path(), locks.path()).acquire());
    }

    void databaseLocation_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("writable directory") << u"writable"_s;
        QTest::newRow("missing directory") << u"missing"_s;
        // Installed beside its desktop entry: shared by the users, even where bin/ is writable.
        QTest::newRow("installed") << u"installed"_s;
    }
    void databaseLocation() {
        QFETCH(QString, kind);
        QTemporaryDir base;
        const QString exe = base.filePath(u"bin"_s), data = base.filePath(u"data"_s);
        const QString entry = base.filePath(u"share/applications/varnetix-nms.desktop"_s);
        QVERIFY(kind == u"missing" || QDir().mkpath(exe));
        QVERIFY(kind != u"installed" || (QDir().mkpath(QFileInfo(entry).path()) &&
                                         QFile(entry).open(QIODevice::WriteOnly)));
        qputenv("XDG_DATA_HOME", data.toLocal8Bit());
        const QString path = varnetix::databasePathFor(exe);
        qunsetenv("XDG_DATA_HOME");
        if (kind == u"writable")
            QCOMPARE(path, exe + u"/nms.ini"_s);
        else
            QVERIFY2(path.startsWith(data + u'/') && path.endsWith(u"/nms.ini"_s),
                     qPrintable(path));
        QCOMPARE(QFileInfo::exists(data), kind != u"writable");
        QVERIFY(QFileInfo(path).dir().exists() && !QFile::exists(path));
    }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
