// The station's start, its end and its database: the empty-database box before the bind, an
// occupied port, the single-instance rule, the title, the port released at close, where the
// database lives; and the database under faults as the station meets them, stores that fail (a
// full disk) and a database its user cannot read: nothing is lost, every failure is told once
// with the file and the system's reason, and no success is announced after a failed store.
#include "core/database_file.h"
#include "station/attenuation_control.h"
#include "station/database_backups.h"
#include "station/element_view.h"
#include "station/ping_controller.h"
#include "station_fixture.h"
#include "ui/station_startup.h"

#include <QDir>
#include <QProcess>
#include <ctime>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using varnetix::SingleInstance;

namespace {

const RecordedBox kEmptyDatabase = emptyDatabaseBox(true);
const QString kUndone = u"The discovery was undone: the previous database has been put back."_s;

bool portIsFree(quint16 port) {
    return QUdpSocket().bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress);
}

QString cannotSave(const Station& s, const QString& reason, const QString& consequence) {
    return u"Unable to save to the local database '%1': %2.\r%3"_s.arg(s.databasePath(), reason,
                                                                       consequence);
}

// The decoder of the sample database as it answers a configuration the panel sent unchanged.
QByteArray decoderAnswer() {
    varnetix::FeedbackRecord r;
    r.ElementIP = "127.0.0.1", r.ElementMask = "255.0.0.0", r.ElementGW = "127.0.0.1";
    r.RemoteIP = "0.0.0.0", r.ElementName = "D1", r.ElementRole = 2, r.SerialNumber = 77;
    r.Attenuation = 200, r.BufferSize = 3;
    return packet(r, 45, 2, 0);
}

// Runs the command (a test function of this program at its end) with the variable set.
int runWith(const char* variable, const QString& value, QStringList command) {
    qputenv(variable, value.toLocal8Bit());
    const int code = QProcess::execute(command.takeFirst(), command);
    qunsetenv(variable);
    return code;
}

} // namespace

class TestStartupAndDatabase : public QObject {
    Q_OBJECT

private slots:
    void startThenClose() {
        Station s;
        s.build();
        s.button(6)->setEnabled(true);
        s.button(7)->setEnabled(true);
        auto* ping = s.station->findChild<varnetix::PingController*>();
        ping->setCountdown(0);
        bool boundWhileOpen = true;
        s.dialogs.whileOpen = [&] {
            boundWhileOpen = s.find<varnetix::UdpEndpoint>("udpClient")->isBound();
        };
        QVERIFY(s.window->start());
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
        SingleInstance first(s.settings.databasePath, s.settings.localPort),
            instance(s.settings.databasePath, s.settings.localPort);
        QVERIFY(!running || first.acquire());
        int exitCode = -1;
        QVERIFY(
            !varnetix::startStation(s.settings, s.dialogs, s.resolver, s.probe, instance, exitCode)
                 .window);
        QCOMPARE(exitCode, running ? 0 : 1);
        // The tree is built before the bind, so the empty database is reported first.
        const QList<RecordedBox> boxes =
            running ? QList{RecordedBox{RecordedBox::Information, u"Halvoren Varnetix NMS"_s,
                                        u"Halvoren Varnetix NMS is already running (check the "
                                        u"icon in system tray)!"_s}}
                    : QList{kEmptyDatabase, critical(u"Unable to use UDP port 2976: occupied."_s)};
        QCOMPARE(s.dialogs.boxes, boxes);
        QVERIFY(!running || !SingleInstance(s.settings.databasePath, 0).acquire());
    }

    // Whatever the runtime directory, a station on the same database (by any of its names) or on
    // the same port in this network namespace is the one already running.
    void instancePerDatabaseAndPortAndStaleLock() {
        QTemporaryDir base;
        QVERIFY(QDir(base.path()).mkpath(u"a"_s) && QDir(base.path()).mkpath(u"b"_s));
        const auto in = [&](const char* dir) {
            return base.filePath(QLatin1String(dir) + u"/nms.ini"_s).toStdString();
        };
        QUdpSocket ports[2]; // ports that nobody else claims while they are bound here
        for (QUdpSocket& port : ports)
            QVERIFY(port.bind(QHostAddress::LocalHost, 0));
        SingleInstance a(in("a"), ports[0].localPort());
        QVERIFY(a.acquire());
        qputenv("XDG_RUNTIME_DIR", base.path().toLocal8Bit());
        QVERIFY(!SingleInstance(in("b/../a"), ports[1].localPort()).acquire());
        QVERIFY(!SingleInstance(in("b"), ports[0].localPort()).acquire());
        qunsetenv("XDG_RUNTIME_DIR");
        // A copy that crashes while it holds its claims leaves the lock file behind.
        const pid_t copy = ::fork();
        if (copy == 0) {
            (new SingleInstance(in("b"), ports[1].localPort()))->acquire();
            ::_exit(0);
        }
        QVERIFY(copy > 0 && ::waitpid(copy, nullptr, 0) == copy);
        QVERIFY(QFile::exists(SingleInstance(in("b"), 0).lockPath()));
        QVERIFY(SingleInstance(in("b"), ports[1].localPort()).acquire());
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

    void cleanup() { varnetix::SetIniCommitHookForTesting({}); }

    // A full disk: the answer and the attenuation steps are told once each and no success box
    // follows; the command still reaches the decoder; a discovery that cannot store what
    // answered puts the old database back, whole.
    void storesThatFailAreTold_data() {
        QTest::addColumn<bool>("tmpfs");
        QTest::newRow("every write refused") << false;
        // A small tmpfs, filled, in a mount namespace of the test's own: the discovery's new
        // database is made, but the answer does not fit.
        QTest::newRow("full tmpfs") << true;
    }
    void storesThatFailAreTold() {
        QFETCH(bool, tmpfs);
        if (tmpfs && !qEnvironmentVariableIsSet("VARNETIX_FULL_DISK")) {
            if (::geteuid() != 0)
                QSKIP("needs root for a mount namespace with a tmpfs (CI runs as root)");
            QCOMPARE(runWith("VARNETIX_FULL_DISK", u"1"_s,
                             {u"unshare"_s, u"--mount"_s, u"--propagation"_s, u"private"_s,
                              QCoreApplication::applicationFilePath(),
                              u"storesThatFailAreTold:full tmpfs"_s}),
                     0);
            return;
        }
        Station s;
        const QByteArray dir = s.dir.path().toLocal8Bit();
        QVERIFY(!tmpfs || ::mount("tmpfs", dir.constData(), "tmpfs", 0, "size=64k") == 0);
        const auto unmount = qScopeGuard([&] { ::umount2(dir.constData(), MNT_DETACH); });
        s.resolver.macs["127.0.0.1"] = kDecoderKey.toStdString();
        s.start(sampleDatabase());
        QVERIFY(s.selectNode(kDecoderKey));
        QFile filler(s.dir.filePath(u"filler"_s));
        QVERIFY(!tmpfs || filler.open(QIODevice::WriteOnly));
        while (tmpfs && filler.write(QByteArray(4096, 'x')) > 0 && filler.flush()) {
        }
        if (!tmpfs)
            varnetix::SetIniCommitHookForTesting([] { return ENOSPC; });
        const QString full = u"No space left on device"_s;
        QVERIFY(s.deliver(decoderAnswer()));
        QCOMPARE(s.dialogs.texts(),
                 QStringList{cannotSave(s, full, u"Cannot save this element info."_s)});

        auto* attenuation = s.station->findChild<varnetix::AttenuationControl*>();
        for (int step : {199, 198, 197})
            attenuation->attenuationChanged(step, true);
        for (char step : {'\xC7', '\xC6', '\xC5'})
            QCOMPARE(Station::receive(s.commandPeer).data(), QByteArray(1, step) + '\0');
        QCOMPARE(s.dialogs.texts().mid(1),
                 QStringList{cannotSave(s, full, u"The attenuation was changed but not saved."_s)});

        s.dialogs.boxes.clear();
        s.discover([&] {
            s.sendToStation(decoderAnswer());
            QTRY_COMPARE(s.station->findChild<varnetix::Discovery*>()->answers().size(), 1u);
        });
        QCOMPARE(s.dialogs.texts().mid(1), QStringList{cannotSave(s, full, kUndone)});
        QCOMPARE(s.database(), sampleDatabase());
        QCOMPARE(s.rows(), 2);
    }

    // Station > Backups: a restore brings a backup's elements back and keeps the database it
    // replaced as a backup, with its discovery answers, so that it is undone the same way; a
    // backup that cannot be read is listed with the reason and not restored.
    void restoreBackups() {
        qputenv("TZ", "CET-1");
        ::tzset();
        const auto utc = qScopeGuard([] {
            qunsetenv("TZ");
            ::tzset();
        });
        Station s;
        const QByteArray older =
            recordText("00000000000D", kDecoderEntries) +
            recordText("00000000000E", replaced(kDecoderEntries, {"IP=127.0.0.2"}));
        const QByteArray answers = "127.0.0.1\t77\t2\n";
        const auto put = [&](const QString& suffix, const QByteArray& content) {
            QFile file(s.databasePath() + suffix);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        };
        put(u".20261206T101502Z.bak"_s, older);
        put(u".20261205T101502Z.bak"_s, older);
        ::chmod(qPrintable(s.databasePath() + u".20261205T101502Z.bak"_s), 0);
        put(u".answers"_s, answers);
        s.start(sampleDatabase());
        const WithoutReadOverride unprivileged;
        varnetix::DatabaseBackups& backups = s.station->backups();
        backups.refresh();
        const auto listed = [&](int row) {
            QStringList columns;
            for (int column = 0; column < varnetix::DatabaseBackups::ColumnCount; ++column)
                columns << backups.index(row, column).data().toString();
            return columns.join(u" | "_s);
        };
        QCOMPARE(listed(0), u"2026-12-06 11:15:02 | 2 | 1 new, 1 missing, 0 changed"_s);
        QCOMPARE(listed(1), u"2026-12-05 11:15:02 | - | Cannot be read: Permission denied"_s);
        QVERIFY(!backups.index(1, 0).data(varnetix::DatabaseBackups::kRestorableRole).toBool());

        // Refused before any question.
        QVERIFY(!backups.restore(1));
        QCOMPARE(s.dialogs.boxes,
                 QList{critical(u"The backup '%1.20261205T101502Z.bak' cannot be read: Permission "
                                u"denied.\rNothing was restored."_s.arg(s.databasePath()),
                                u"Restore backup"_s)});

        s.dialogs.boxes.clear();
        s.dialogs.answers.enqueue(true);
        QVERIFY(backups.restore(0));
        QCOMPARE(s.database(), older);
        QCOMPARE(s.rows(), 2);
        QVERIFY(s.node(u"00:00:00:00:00:0E"_s).isValid());
        QVERIFY(!QFile::exists(s.databasePath() + u".answers"_s));
        const std::string kept = varnetix::listDatabaseBackups(s.settings.databasePath).front();
        QCOMPARE(readFile(QString::fromStdString(kept)), sampleDatabase());
        const QString keptAt = QDateTime::fromSecsSinceEpoch(*varnetix::databaseBackupTime(kept))
                                   .toString(u"yyyy-MM-dd HH:mm:ss"_s);
        QCOMPARE(s.dialogs.boxes,
                 (QList<RecordedBox>{
                     {RecordedBox::Question, u"Restore backup"_s,
                      u"The local database will be replaced by the backup of 2026-12-06 11:15:02 "
                      u"(2 elements).\rThe current database is kept as a backup, so that this can "
                      u"be undone the same way.\rRestoring the database does not reconfigure the "
                      u"network: nothing is sent to any element.\rAre you sure?"_s},
                     {RecordedBox::Information, u"Restore backup"_s,
                      u"The backup of 2026-12-06 11:15:02 is the local database now.\rThe "
                      u"database it replaced is kept as the backup of %1."_s.arg(keptAt)}}));

        // Undone: the database it replaced comes back, with its answers.
        backups.refresh();
        QCOMPARE(backups.index(0, 0).data(varnetix::DatabaseBackups::kPathRole).toString(),
                 QString::fromStdString(kept));
        s.dialogs.answers.enqueue(true);
        QVERIFY(backups.restore(0));
        QCOMPARE(s.database(), sampleDatabase());
        QCOMPARE(readFile(s.databasePath() + u".answers"_s), answers);
        QVERIFY(s.node(kEncoderKey).isValid());
    }

    // A root-owned 0600 database in a directory the station's user may write: the station,
    // run as nobody, says it cannot read it and every write path leaves it whole; the confirmed
    // discovery moves it aside intact.
    void unreadableDatabaseIsNeverReplaced() {
        if (::geteuid() != 0)
            QSKIP("needs root to run the station as another user (CI runs as root)");
        QTemporaryDir dir;
        QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        const QString database = QDir(dir.path()).filePath(u"nms.ini"_s);
        QVERIFY(
            varnetix::WriteFileAtomically(database.toStdString(), sampleDatabase().toStdString())
                .ok());
        ::chmod(database.toLocal8Bit().constData(), 0600);
        // A copy nobody may run, wherever this build lives.
        const QString self = QDir(dir.path()).filePath(u"test_startup_and_database"_s);
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), self));
        QCOMPARE(runWith("VARNETIX_UNREADABLE", database,
                         {u"setpriv"_s, u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                          self, u"asTheOtherUser"_s}),
                 0);
        const auto backups = varnetix::listDatabaseBackups(database.toStdString());
        QCOMPARE(backups.size(), 1u);
        QCOMPARE(readFile(QString::fromStdString(backups.front())), sampleDatabase());
        struct stat kept {};
        QCOMPARE(::stat(backups.front().c_str(), &kept), 0);
        QCOMPARE(kept.st_mode & 0777, 0600u);
        QCOMPARE(kept.st_uid, 0u);
    }
    // The inner half of the test above, run as nobody.
    void asTheOtherUser() {
        const QString database = qEnvironmentVariable("VARNETIX_UNREADABLE");
        if (database.isEmpty())
            QSKIP("run by unreadableDatabaseIsNeverReplaced as another user");
        Station s;
        s.settings.databasePath = database.toStdString();
        s.build();
        QVERIFY(s.window->start());
        const QString denied =
            u"The local database '%1' cannot be read: Permission denied."_s.arg(database);
        QCOMPARE(s.dialogs.texts(),
                 QStringList{denied + u"\rNothing will be written to it until it can be read."_s});

        // Save: refused before anything is sent.
        s.station->findChild<varnetix::ElementView*>()->loadElement(kDecoderKey);
        s.edit({u"txtElementName=D1"_s, u"txtElementIP=127.0.0.1"_s, u"txtElementMask=255.0.0.0"_s,
                u"txtElementGW=127.0.0.1"_s, u"txtRemoteIP=0.0.0.0"_s, u"cmbAudioInput=0"_s,
                u"cmbAudioType=0"_s, u"cmbAudioTX=0"_s});
        s.dialogs.boxes.clear();
        s.button(4)->trigger();
        QCOMPARE(s.dialogs.texts(), QStringList{u"Unable to save to the local database '%1': The "
                                                u"file cannot be read: Permission denied.\rCannot "
                                                u"save."_s.arg(database)});
        QVERIFY(!s.configPeer.hasPendingDatagrams());
        // A confirmed discovery moves the database aside and starts a new one.
        s.discover();
        QCOMPARE(s.database(), QByteArray());
    }
};

QTEST_MAIN(TestStartupAndDatabase)
#include "test_startup_and_database.moc"
