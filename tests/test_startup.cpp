// Start-up and shutdown of the station: the order of the empty-database box and the bind, an
// occupied port, the single-instance rule, the title, and where the database lives.
#include "station/ping_controller.h"
#include "station_fixture.h"
#include "ui/station_startup.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QtTest>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using varnetix::MainWindow;
using varnetix::SingleInstance;

namespace {

const QString kEmptyDatabase =
    u"Local database is empty.\rPlease click 'Auto Discover' icon to probe the network."_s;

// A port nobody holds right now.
quint16 freePort() {
    QUdpSocket socket;
    socket.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress);
    return socket.localPort();
}

bool portIsFree(quint16 port) {
    QUdpSocket socket;
    return socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress);
}

// A process id that no process can have: the kernel hands out ids below pid_max only.
qint64 deadPid() {
    QFile file(u"/proc/sys/kernel/pid_max"_s);
    if (!file.open(QIODevice::ReadOnly))
        return 0x7FFFFFF0;
    return file.readAll().trimmed().toLongLong();
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("XDG_DATA_HOME"); }

    void emptyDatabaseBoxComesBeforeTheBind();
    void occupiedPortEndsTheProgram_data();
    void occupiedPortEndsTheProgram();
    void secondInstanceIsRefusedAndTouchesNothing();
    void instancesPerExecutableDirectory();
    void staleLockDoesNotBlock();
    void titleAndToolbarAfterStart();
    void closingReleasesThePort();
    void databaseBesideWritableExecutable();
    void databaseInUserDataDirectory_data();
    void databaseInUserDataDirectory();
};

void TestStartup::emptyDatabaseBoxComesBeforeTheBind() {
    Station s;
    MainWindow window(s.settings, s.dialogs, s.resolver, s.probe);
    int boundWhileOpen = -1;
    s.dialogs.whileOpen = [&] { boundWhileOpen = window.udpClient().isBound() ? 1 : 0; };
    QVERIFY(window.Form_Load());
    QCOMPARE(s.dialogs.boxes.size(), 1);
    QCOMPARE(s.dialogs.boxes[0].icon, RecordedBox::Information);
    QCOMPARE(s.dialogs.boxes[0].title, u"Information"_s);
    QCOMPARE(s.dialogs.boxes[0].text, kEmptyDatabase);
    QCOMPARE(boundWhileOpen, 0);
    QVERIFY(window.udpClient().isBound());
}

void TestStartup::occupiedPortEndsTheProgram_data() {
    QTest::addColumn<QHostAddress>("address");
    QTest::addColumn<int>("mode");
    QTest::newRow("any address, exclusive")
        << QHostAddress(QHostAddress::AnyIPv4) << int(QUdpSocket::DontShareAddress);
    QTest::newRow("any address, reusable")
        << QHostAddress(QHostAddress::AnyIPv4)
        << int(QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    QTest::newRow("loopback only")
        << QHostAddress(QHostAddress::LocalHost) << int(QUdpSocket::DefaultForPlatform);
}

void TestStartup::occupiedPortEndsTheProgram() {
    QFETCH(QHostAddress, address);
    QFETCH(int, mode);
    QUdpSocket holder;
    QVERIFY(holder.bind(address, 0, QUdpSocket::BindMode(mode)));

    Station s;
    s.settings.localPort = holder.localPort();
    QTemporaryDir locks;
    SingleInstance instance(s.dir.path(), locks.path());
    int exitCode = -1;
    const auto window =
        varnetix::startStation(s.settings, s.dialogs, s.resolver, s.probe, instance, exitCode);
    QVERIFY(!window);
    QCOMPARE(exitCode, 1);
    // The tree is built before the bind, so the empty database is reported first.
    QCOMPARE(s.dialogs.boxes.size(), 2);
    QCOMPARE(s.dialogs.boxes[0].text, kEmptyDatabase);
    QCOMPARE(s.dialogs.boxes[1].icon, RecordedBox::Critical);
    QCOMPARE(s.dialogs.boxes[1].title, u"Halvoren Varnetix Manager"_s);
    QCOMPARE(s.dialogs.boxes[1].text, u"Unable to use UDP port 2976: occupied."_s);
}

void TestStartup::secondInstanceIsRefusedAndTouchesNothing() {
    QTemporaryDir locks;
    Station s;
    SingleInstance first(s.dir.path(), locks.path());
    QVERIFY(first.acquire());

    s.settings.localPort = freePort();
    bool portFreeWhileOpen = false;
    s.dialogs.whileOpen = [&] { portFreeWhileOpen = portIsFree(s.settings.localPort); };
    SingleInstance second(s.dir.path(), locks.path());
    int exitCode = -1;
    const auto window =
        varnetix::startStation(s.settings, s.dialogs, s.resolver, s.probe, second, exitCode);
    QVERIFY(!window);
    // One box only: a read of the (missing) database would have added the empty-database box.
    QCOMPARE(s.dialogs.boxes.size(), 1);
    QCOMPARE(s.dialogs.boxes[0].icon, RecordedBox::Information);
    QCOMPARE(s.dialogs.boxes[0].title, u"Halvoren Varnetix NMS"_s);
    QCOMPARE(s.dialogs.boxes[0].text,
             u"Halvoren Varnetix NMS is already running (check the icon in system tray)!"_s);
    QVERIFY(portFreeWhileOpen);

    // The running copy keeps its claim.
    SingleInstance third(s.dir.path(), locks.path());
    QVERIFY(!third.acquire());
}

void TestStartup::instancesPerExecutableDirectory() {
    QTemporaryDir locks, base;
    QVERIFY(QDir(base.path()).mkpath(u"a"_s) && QDir(base.path()).mkpath(u"b"_s));
    SingleInstance a(base.filePath(u"a"_s), locks.path());
    SingleInstance b(base.filePath(u"b"_s), locks.path());
    QVERIFY(a.acquire());
    QVERIFY(b.acquire());
    // The same directory named another way is the same station.
    SingleInstance again(base.filePath(u"b/../a"_s), locks.path());
    QVERIFY(!again.acquire());
}

void TestStartup::staleLockDoesNotBlock() {
    QTemporaryDir locks, exe;
    SingleInstance crashed(exe.path(), locks.path());
    const QString path = crashed.lockPath();

    // A lock file as a copy leaves it when it crashes: the real format, a process that is gone.
    QByteArray content;
    {
        QLockFile lock(path);
        QVERIFY(lock.tryLock(0));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        content = file.readAll();
    }
    const qsizetype newline = content.indexOf('\n');
    QVERIFY(newline > 0);
    content.replace(0, newline, QByteArray::number(deadPid()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    SingleInstance next(exe.path(), locks.path());
    QVERIFY(next.acquire());
}

void TestStartup::titleAndToolbarAfterStart() {
    Station s;
    s.writeDatabase("[001A2B3C4D5E]\r\nNAME=E1\r\nROLE=1\r\nIP=127.0.0.1\r\n");
    MainWindow window(s.settings, s.dialogs, s.resolver, s.probe);
    QCOMPARE(window.windowTitle(), u"Varnetix NMS - Halvoren Broadcast"_s);
    window.controls().button(varnetix::kButtonStartLevel)->setEnabled(true);
    window.controls().button(varnetix::kButtonStopLevel)->setEnabled(true);
    window.ping().setCountdown(0);

    QVERIFY(window.Form_Load());
    QCOMPARE(window.windowTitle(), u"Varnetix NMS v.3.0.0 - Halvoren Broadcast"_s);
    QVERIFY(!window.controls().button(varnetix::kButtonStartLevel)->isEnabled());
    QVERIFY(!window.controls().button(varnetix::kButtonStopLevel)->isEnabled());
    QCOMPARE(window.ping().countdown(), qint16(3));
    QVERIFY(s.dialogs.boxes.isEmpty());
    QCOMPARE(window.controls().TreeView1->topLevelItemCount(), 1);
}

void TestStartup::closingReleasesThePort() {
    Station s;
    s.writeDatabase("[001A2B3C4D5E]\r\nNAME=E1\r\nROLE=1\r\n");
    const QByteArray before = s.database();
    MainWindow& window = s.start();
    const quint16 port = s.stationPort();
    QVERIFY(port != 0);
    QVERIFY(!portIsFree(port));

    window.show();
    QVERIFY(window.close());
    QVERIFY(portIsFree(port));
    QVERIFY(s.dialogs.boxes.isEmpty());
    QCOMPARE(s.database(), before);
}

void TestStartup::databaseBesideWritableExecutable() {
    QTemporaryDir exe, data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QCOMPARE(varnetix::databasePathFor(exe.path()), QDir(exe.path()).filePath(u"nms.ini"_s));
    QVERIFY(QDir(data.path()).isEmpty());
}

void TestStartup::databaseInUserDataDirectory_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing directory") << u"missing"_s;
    QTest::newRow("read-only directory") << u"read-only"_s;
    // Installed beside its desktop entry: shared by the machine's users, even where bin/ is
    // writable.
    QTest::newRow("installed") << u"installed"_s;
}

void TestStartup::databaseInUserDataDirectory() {
    QFETCH(QString, kind);
    QTemporaryDir base, data;
    const QString exe = base.filePath(u"bin"_s);
    if (kind == u"installed") {
        QVERIFY(QDir().mkpath(exe) && QDir().mkpath(base.filePath(u"share/applications"_s)));
        QFile entry(base.filePath(u"share/applications/varnetix-nms.desktop"_s));
        QVERIFY(entry.open(QIODevice::WriteOnly));
    } else if (kind == u"read-only") {
        QVERIFY(QDir().mkpath(exe));
        QVERIFY(QFile::setPermissions(exe, QFile::ReadOwner | QFile::ExeOwner));
        if (::access(QFile::encodeName(exe).constData(), W_OK) == 0) {
            QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("this user may write to a read-only directory (root)");
        }
    }
    const QString dataHome = data.filePath(u"share"_s);
    qputenv("XDG_DATA_HOME", dataHome.toLocal8Bit());

    const QString path = varnetix::databasePathFor(exe);
    QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(path.startsWith(dataHome + u'/'), qPrintable(path));
    QVERIFY(path.endsWith(u"/nms.ini"_s));
    QVERIFY(QFileInfo(path).dir().exists());
    QVERIFY(!QFile::exists(path));
}

QTEST_MAIN(TestStartup)
#include "test_startup.moc"
