// The database's files: every failed write reported and the old file kept, a file that cannot
// be read never replaced, symbolic links written through, crash leftovers removed, dated
// backups, and writes killed at random moments by a real SIGKILL.
#include "core/database_backup.h"
#include "core/discovery_answers.h"
#include "core/ini_store.h"
#include "killed_writers.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <functional>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace varnetix;
using namespace Qt::StringLiterals;

namespace {

constexpr int kSkip = 77;

// Checks inside a child process, which must not return into the test runner.
#define CHILD_CHECK(condition)                                                                     \
    if (!(condition))                                                                              \
    return std::fprintf(stderr, "child: line %d: %s\n", __LINE__, #condition), 1

// Runs the body in a forked child, as nobody when asked; returns the child's exit code.
int inChild(const std::function<int()>& body, bool asNobody = false) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (asNobody && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                         ::setresuid(65534, 65534, 65534) != 0))
            ::_exit(kSkip);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

QByteArray content(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool put(const std::string& path, const QByteArray& bytes) {
    return WriteFileAtomically(path, std::string_view(bytes.constData(), bytes.size())).ok();
}

} // namespace

class TestDatabaseFiles : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::string file(const QString& name) const { return m_dir.filePath(name).toStdString(); }
    std::string path() const { return file(u"nms.ini"_s); }
    QStringList entries(const QString& sub = {}) const {
        return QDir(m_dir.filePath(sub))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

private slots:
    void init() {
        QVERIFY(QDir(m_dir.path()).removeRecursively() && QDir().mkpath(m_dir.path()));
        SetIniCommitHookForTesting({});
    }
    void cleanup() { SetIniCommitHookForTesting({}); }

    // Every writing procedure, each on a file it would change, fails the same way; the read
    // tells why first.
    void writeFailuresAreReported_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reason");
        QTest::newRow("disk full") << u"commit"_s << ENOSPC << u"No space left on device"_s;
        QTest::newRow("quota") << u"commit"_s << EDQUOT << u"Disk quota exceeded"_s;
        QTest::newRow("fsync fails") << u"commit"_s << EIO << u"Input/output error"_s;
        QTest::newRow("rename denied") << u"commit"_s << EPERM << u"Operation not permitted"_s;
        QTest::newRow("read fails")
            << u"read"_s << EIO << u"the file cannot be read: Input/output error"_s;
        QTest::newRow("read-only") << u"0444"_s << EACCES << u"the file is read-only"_s;
        QTest::newRow("directory")
            << u"dir"_s << EISDIR << u"the file cannot be read: Is a directory"_s;
        QTest::newRow("no directory") << u"none"_s << ENOENT << u"No such file or directory"_s;
    }
    void writeFailuresAreReported() {
        QFETCH(QString, setup);
        QFETCH(int, error);
        QFETCH(QString, reason);
        const QByteArray before = "[A]\nk=1\nj=2\n";
        QVERIFY(put(path(), before) &&
                ::chmod(path().c_str(), setup == u"0444"_s ? 0444 : 0640) == 0);
        if (setup == u"commit"_s)
            SetIniCommitHookForTesting([error] { return error; });
        const std::string p = setup == u"dir"_s    ? m_dir.path().toStdString()
                              : setup == u"none"_s ? file(u"no/nms.ini"_s)
                                                   : path();
        const bool readFails = setup == u"read"_s;
        FailNextIniReadForTesting(readFails ? EIO : 0);
        QCOMPARE(readIniFile(p).state, setup == u"none"_s               ? FileState::Missing
                                       : readFails || setup == u"dir"_s ? FileState::Unreadable
                                                                        : FileState::Loaded);
        const IniEntries n{{"n", "1"}};
        const std::vector<std::function<StoreResult()>> procedures{
            [&] { return WriteToINI("A", "k", "2", p); },
            [&] { return WriteSectionToINI("A", n, p); },
            [&] { return WriteSectionsToINI({{"B", n}}, p); },
            [&] { return DeleteIniSection("A", p); },
            [&] { return DeleteIniKey("A", "k", p); },
            [&] { return RenameIniKey("A", "k", "m", p); },
            [&] { return RenameIniSection("A", "C", p); },
        };
        // Without a file, only the procedures that add something have anything to write.
        for (std::size_t i = 0; i < (setup == u"none"_s ? 3 : procedures.size()); ++i) {
            FailNextIniReadForTesting(readFails ? EIO : 0);
            const StoreResult result = procedures[i]();
            QCOMPARE(result.error, error);
            QCOMPARE(QString::fromStdString(result.reason), reason);
            QCOMPARE(result.path, setup == u"none"_s ? file(u"no/"_s) : p);
        }
        QCOMPARE(content(path()), before);
        QCOMPARE(entries(), QStringList{u"nms.ini"_s}); // no temporary left
        SetIniCommitHookForTesting({});
        QVERIFY(::chmod(path().c_str(), 0640) == 0 && WriteToINI("A", "k", "3", path()).ok());
        QCOMPARE(content(path()), QByteArray("[A]\nk=3\r\nj=2\n"));
        struct stat st {};
        QVERIFY(::stat(path().c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
    }

    // The station as an ordinary user, root's databases in directories the user may write: one
    // it cannot read (a rename over it would succeed: only the read protects it) and one it may
    // write but, in a sticky directory, not rename over.
    void otherUsersDatabases() {
        if (::geteuid() != 0)
            QSKIP("needs root to make the files of another user");
        const QByteArray before = "[A]\r\nK=1\r\n";
        for (const auto& [dir, dirMode, mode] :
             {std::tuple(u"open"_s, 0777, 0600), std::tuple(u"sticky"_s, 01777, 0666)}) {
            QVERIFY(QDir(m_dir.path()).mkdir(dir) && put(file(dir + u"/nms.ini"_s), before));
            QVERIFY(::chmod(file(dir + u"/nms.ini"_s).c_str(), mode_t(mode)) == 0 &&
                    ::chmod(file(dir).c_str(), mode_t(dirMode)) == 0);
        }
        QVERIFY(::chmod(m_dir.path().toLocal8Bit().constData(), 0755) == 0);
        const int code = inChild(
            [this] {
                const std::string unreadable = file(u"open/nms.ini"_s);
                CHILD_CHECK(readIniFile(unreadable).result.error == EACCES);
                const StoreResult refused = WriteToINI("C", "k", "1", unreadable);
                CHILD_CHECK(refused.error == EACCES && refused.path == unreadable);
                CHILD_CHECK(refused.reason == "the file cannot be read: Permission denied");
                const StoreResult denied = WriteToINI("A", "k", "2", file(u"sticky/nms.ini"_s));
                CHILD_CHECK(denied.error == EPERM && denied.reason == "Operation not permitted");
                return 0;
            },
            true);
        QCOMPARE(code, 0);
        for (const QString& dir : {u"open"_s, u"sticky"_s}) {
            QCOMPARE(content(file(dir + u"/nms.ini"_s)), before);
            QCOMPARE(entries(dir), QStringList{u"nms.ini"_s});
        }
    }

    // A real full disk: a small tmpfs in a private mount namespace, with room for the database
    // but not for a second copy of it.
    void fullDiskIsReported() {
        const int code = inChild([this] {
            if (::unshare(CLONE_NEWNS) != 0 ||
                ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("tmpfs", m_dir.path().toLocal8Bit().constData(), "tmpfs", 0, "size=64k"))
                return kSkip;
            const QByteArray before = "[A]\r\nK=1\r\nPAD=" + QByteArray(40000, 'x') + "\r\n";
            CHILD_CHECK(put(path(), before));
            const StoreResult result = WriteToINI("A", "k", "2", path());
            CHILD_CHECK(result.error == ENOSPC && result.reason == "No space left on device");
            CHILD_CHECK(content(path()) == before && entries() == QStringList{u"nms.ini"_s});
            return 0;
        });
        if (code == kSkip)
            QSKIP("cannot mount a tmpfs in a private mount namespace (needs root)");
        QCOMPARE(code, 0);
    }

    void symbolicLinksAreWrittenThrough() {
        QVERIFY(QDir(m_dir.path()).mkdir(u"data"_s) && put(file(u"data/real.ini"_s), "[A]\nK=1\n"));
        QVERIFY(::symlink("data/real.ini", path().c_str()) == 0);
        QVERIFY(::symlink("data/new.ini", file(u"dangling.ini"_s).c_str()) == 0);
        QVERIFY(WriteToINI("A", "k", "2", path()).ok());
        QVERIFY(WriteToINI("B", "k", "1", file(u"dangling.ini"_s)).ok());
        QCOMPARE(content(file(u"data/real.ini"_s)), QByteArray("[A]\nK=2\r\n"));
        QCOMPARE(content(file(u"data/new.ini"_s)), QByteArray("[B]\r\nK=1\r\n"));
        QVERIFY(QFileInfo(m_dir.filePath(u"nms.ini"_s)).isSymLink() &&
                QFileInfo(m_dir.filePath(u"dangling.ini"_s)).isSymLink());

        // Leftovers of crashed writes: only those of this database's real file go, and those of
        // the discovery answers kept beside the database.
        for (const QString& name :
             {u"data/.real.ini.Ab12Cd"_s, u"data/.real.ini.Ab12C"_s, u"data/.real.ini.Ab1-Cd"_s,
              u"data/.new.ini.Ab12Cd"_s, u".nms.ini.answers.Ef34Gh"_s})
            QVERIFY(put(file(name), "x"));
        QVERIFY(QDir(m_dir.path()).mkdir(u"data/.real.ini.Zz99Yy"_s));
        QCOMPARE(removeStaleTemporaries(path()), 2);
        QVERIFY(!entries().contains(u".nms.ini.answers.Ef34Gh"_s));
        QCOMPARE(entries(u"data"_s),
                 (QStringList{u".new.ini.Ab12Cd"_s, u".real.ini.Ab1-Cd"_s, u".real.ini.Ab12C"_s,
                              u".real.ini.Zz99Yy"_s, u"new.ini"_s, u"real.ini"_s}));
    }

    // A flood of answers from one address keeps each element once, and a bounded number of them.
    void discoveryAnswersAreBounded() {
        std::string text;
        for (std::size_t i = 0; i < 3 * DiscoveryAnswerSet::kKept; ++i)
            text += "10.0.0.1\t" + std::to_string(i % 2 ? 7 : i) + "\t1\n";
        const std::vector<FeedbackRecord> answers = ParseDiscoveryAnswers(text);
        QCOMPARE(answers.size(), DiscoveryAnswerSet::kKept);
        QCOMPARE(DiscoveryAnswersText({answers.begin(), answers.begin() + 3}),
                 "10.0.0.1\t0\t1\n10.0.0.1\t7\t1\n10.0.0.1\t2\t1\n");
    }

    // Discoveries on a dead network leave empty databases: they never push the last good
    // backup out, and a backup never replaces another made in the same second.
    void backupsKeepTheLastGoodDatabase() {
        const std::time_t t = 1704164645; // 2024-01-02 03:04:05 UTC
        const QByteArray good = "[001A2B3C4D5E]\r\nNAME=A\r\n";
        QCOMPARE(moveDatabaseAside(path(), t).path, std::string()); // nothing to move
        auto discovery = [this](const QByteArray& before, std::time_t when) {
            const DatabaseBackup backup =
                put(path(), before) ? moveDatabaseAside(path(), when, 3) : DatabaseBackup{};
            const bool moved =
                backup.result.ok() && !QFileInfo::exists(m_dir.filePath(u"nms.ini"_s));
            return moved ? backup.path : std::string();
        };
        auto backup = [this](const char* time) {
            return file(u"nms.ini.20240102T03%1.bak"_s.arg(QLatin1StringView(time)));
        };
        QCOMPARE(discovery(good, t), backup("0405Z"));
        QCOMPARE(discovery("", t), backup("0405Z_2"));
        for (int i = 1; i <= 12; ++i)
            QVERIFY(!discovery("; nothing\r\n", t + i).empty());
        QCOMPARE(content(backup("0405Z")), good);
        QCOMPARE(listDatabaseBackups(path()),
                 (std::vector{backup("0417Z"), backup("0416Z"), backup("0405Z")}));
        QVERIFY(!discovery(good, t + 20).empty());
        QCOMPARE(listDatabaseBackups(path()),
                 (std::vector{backup("0425Z"), backup("0417Z"), backup("0416Z")}));
    }

    // A child rewrites the whole database in a loop, alternating two contents, and is killed
    // at random moments: the database is always one of them, whole.
    void killedWritesLeaveOldOrNew() {
        const QByteArray a = QByteArray("[001A2B3C4D5E]\r\nK=a\r\n").repeated(20000);
        const QByteArray b = QByteArray("[001A2B3C4D5E]\r\nK=bb\r\n").repeated(20000);
        QVERIFY(put(path(), a));
        killWritersAtRandom([&](int i) { put(path(), i % 2 ? a : b); },
                            [&](int round) {
                                const QByteArray now = content(path());
                                QVERIFY2(now == a || now == b,
                                         qPrintable(u"round %1"_s.arg(round)));
                            });
        const qsizetype leftovers = entries().size() - 1;
        QVERIFY(leftovers > 0); // some kills did land inside a write
        QCOMPARE(removeStaleTemporaries(path()), int(leftovers));
        QCOMPARE(entries(), QStringList{u"nms.ini"_s});
    }
};

QTEST_APPLESS_MAIN(TestDatabaseFiles)
#include "test_database_files.moc"
