// The event log on disk: where it lives, buffered appends, rotation by size, and a log that
// cannot be written for a while.
#include "platform/event_log_file.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace varnetix;

namespace {

std::string numbered(int i) {
    return "event " + std::to_string(i);
}

} // namespace

class TestEventLogFile : public QObject {
    Q_OBJECT

private slots:
    void defaultDirectoryFollowsXdgState() {
        qputenv("XDG_STATE_HOME", "/var/state");
        QCOMPARE(EventLogFile::defaultDirectory(),
                 QStringLiteral("/var/state/Halvoren/varnetix-nms"));
        qputenv("XDG_STATE_HOME", "relative");
        QCOMPARE(EventLogFile::defaultDirectory(),
                 QDir::homePath() + QStringLiteral("/.local/state/Halvoren/varnetix-nms"));
    }

    void writesFromTimerAndOnDestruction() {
        QTemporaryDir tmp;
        const QString dir = tmp.filePath(QStringLiteral("state/log"));
        {
            EventLogFile log(dir, {.flushIntervalMs = 20});
            log.append("station", "", "started");
            QVERIFY(!QFile::exists(log.filePath())); // nothing waits for the disk
            QTRY_VERIFY(QFile::exists(log.filePath()));
            log.append("station", "", "stopped");
        }
        const std::vector<std::string> lines = EventLogFile(dir).lastLines(3);
        QCOMPARE(lines.size(), std::size_t(2));
        QVERIFY(lines[0].ends_with("\tinfo\tstation\t-\tstarted") &&
                lines[1].ends_with("\tstopped"));
        QCOMPARE(QFile::permissions(dir) & 0x0077, QFile::Permissions()); // the user's alone
    }

    void rotatesBySizeIntoBoundedFiles() {
        QTemporaryDir tmp;
        EventLogFile log(tmp.path(), {.maxFileBytes = 220, .fileCount = 3});
        for (int i = 0; i < 40; ++i)
            log.appendAt(0, "status", "", numbered(i)); // 52 or 53 bytes a line: four fit in a file
        QVERIFY(log.flush());
        QVERIFY(!QFile::exists(log.filePath() + QStringLiteral(".3")));
        log.appendAt(0, "status", "", numbered(40)); // still buffered
        const std::vector<std::string> tail = log.lastLines(100);
        QCOMPARE(tail.size(), std::size_t(4 + 4 + 4 + 1)); // three full files and the buffer
        for (std::size_t i = 0; i < tail.size(); ++i)
            QVERIFY(tail[i].ends_with("\t" + numbered(28 + int(i))));
    }

    void unwritableLogIsReportedOnceAndStaysBounded() {
        QTemporaryDir tmp;
        QFile blocker(tmp.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString dir = tmp.filePath(QStringLiteral("file/sub")); // fails for root too
        EventLogFile log(dir, {.maxBufferedBytes = 330});
        QSignalSpy failed(&log, &EventLogFile::writeFailed);
        for (int i = 0; i < 10; ++i)
            log.appendAt(0, "status", "", numbered(i)); // 52 bytes a line: six fit
        QVERIFY(!log.flush());
        QVERIFY(!log.flush());
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0][0].toString(),
                 QStringLiteral("Event log not written: %1: Not a directory").arg(dir));
        QCOMPARE(log.droppedLines(), 4u);

        // Once the disk takes lines again, the log says how many it lost and the report ends.
        QSignalSpy resumed(&log, &EventLogFile::writeResumed);
        QVERIFY(blocker.remove());
        QVERIFY(log.flush());
        QCOMPARE(resumed.size(), 1);
        const std::vector<std::string> lines = log.lastLines(100);
        QCOMPARE(lines.size(), std::size_t(7));
        QVERIFY(lines[5].ends_with("\t" + numbered(5)));
        QVERIFY(lines[6].ends_with(
            "\twarning\tstation\t-\t4 event lines were dropped: the log's buffer was full"));
    }
};

QTEST_GUILESS_MAIN(TestEventLogFile)
#include "test_event_log_file.moc"
