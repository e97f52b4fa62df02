// Benchmark, not a test: the station program itself (varnetix-nms) watching 1,000 elements at the
// default interval (10 s, offline after three missed echoes), headless and then with its window
// (offscreen), in the network of watch_network.h: 900 elements answer, 100 are silent. For each
// face it prints, after a warm-up, the resident memory (VmRSS, its anonymous part and the peak)
// and the CPU time of every minute, then how long the station takes to end after SIGTERM, its
// exit status, the end line, and the states the log reports. Needs root.
//
//   bench_headless_station [--minutes M (5)] [--warmup S (30)] [--faces headless,window]
#include "watch_network.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace varnetix::bench;

namespace {

struct Options {
    int minutes = 5;
    int warmupSeconds = 30;
    QStringList faces{QStringLiteral("headless"), QStringLiteral("window")};
};

Options parse(const QStringList& args) {
    Options options;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--minutes"))
            options.minutes = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--warmup"))
            options.warmupSeconds = std::max(0, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--faces"))
            options.faces = args[i + 1].split(QLatin1Char(','));
    }
    return options;
}

double monotonicSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Encoders and decoders in turn, each encoder sending to the decoder after it, all on the
// station's network (198.18.0.0/16), as a discovery would have stored them.
QByteArray database() {
    QByteArray text;
    for (int i = 0; i < kElements; ++i) {
        const bool encoder = i % 2 == 0;
        QByteArray name = QByteArray(encoder ? "ENC " : "DEC ") + QByteArray::number(i);
        name = name.leftJustified(16, ' ');
        text += "[02767900" + QByteArray::number(i, 16).toUpper().rightJustified(4, '0') +
                "]\r\nNAME=" + name + "\r\nIP=" + elementAddress(i).toLatin1() +
                "\r\nMASK=255.255.0.0\r\nGW=198.18.0.2\r\nREMOTE=" +
                elementAddress(encoder ? i + 1 : i - 1).toLatin1() +
                "\r\nINPUT=0\r\nTYPE=1\r\nTX=0\r\nROLE=" + (encoder ? "1" : "2") +
                "\r\nSN=" + QByteArray::number(100000 + i) +
                "\r\nVER=2.1\r\nSFN=0\r\nBUF=" + (encoder ? "0\r\n" : "3\r\nATT=240\r\n");
    }
    return text;
}

struct Sample {
    double cpuSeconds = 0; // user and system
    long rssKb = 0, anonKb = 0, peakKb = 0;
};

Sample sample(pid_t pid) {
    Sample s;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // The fields after the command name, which is in parentheses and may hold blanks;
        // utime and stime are the 14th and 15th of the line.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            s.cpuSeconds = static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong()) /
                           static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            const long kb = line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLong();
            if (line.startsWith("VmRSS:"))
                s.rssKb = kb;
            else if (line.startsWith("RssAnon:"))
                s.anonKb = kb;
            else if (line.startsWith("VmHWM:"))
                s.peakKb = kb;
        }
    }
    return s;
}

pid_t start(const QString& face, const QTemporaryDir& dir) {
    const QByteArray program = QByteArray(VARNETIX_BUILD_BIN) + "/varnetix-nms";
    const QByteArray db = dir.filePath(QStringLiteral("nms.ini")).toLocal8Bit();
    const QByteArray err = dir.filePath(face + QStringLiteral(".err")).toLocal8Bit();
    const QByteArray config = dir.filePath(QStringLiteral("config")).toLocal8Bit();
    const QByteArray state = dir.filePath(face + QStringLiteral("-state")).toLocal8Bit();
    const bool headless = face == QLatin1String("headless");
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    // Standard error to a file, as a service's goes to the journal: its lines are part of the
    // cost.
    std::freopen(err.constData(), "w", stderr);
    std::freopen("/dev/null", "w", stdout);
    ::setenv("XDG_CONFIG_HOME", config.constData(), 1); // no preferences: the defaults
    ::setenv("XDG_STATE_HOME", state.constData(), 1);
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (headless)
        ::execl(program.constData(), program.constData(), "--headless", "--database",
                db.constData(), static_cast<char*>(nullptr));
    else
        ::execl(program.constData(), program.constData(), "--database", db.constData(),
                static_cast<char*>(nullptr));
    std::fprintf(stderr, "cannot start %s: %s\n", program.constData(), std::strerror(errno));
    ::_exit(127);
}

void sleepUntil(double when) {
    while (monotonicSeconds() < when)
        ::usleep(100 * 1000);
}

// How many lines of the log hold this text.
int countLogged(const QByteArray& log, const char* text) {
    int count = 0;
    for (qsizetype at = log.indexOf(text); at >= 0; at = log.indexOf(text, at + 1))
        ++count;
    return count;
}

bool measure(const QString& face, const QTemporaryDir& dir, const Options& options) {
    std::printf("\n%s: %d elements (%d answering), default interval, %d s warm-up, %d min\n",
                qPrintable(face), kElements, kAnswering, options.warmupSeconds, options.minutes);
    std::fflush(stdout);
    const pid_t pid = start(face, dir);
    if (pid < 0)
        return false;
    const double started = monotonicSeconds();
    sleepUntil(started + options.warmupSeconds);
    Sample previous = sample(pid);
    const Sample first = previous;
    std::printf("  after warm-up: VmRSS %.1f MB (anonymous %.1f MB), CPU %.2f s since start\n",
                previous.rssKb / 1024.0, previous.anonKb / 1024.0, previous.cpuSeconds);
    double maxCpu = 0;
    for (int minute = 1; minute <= options.minutes; ++minute) {
        sleepUntil(started + options.warmupSeconds + 60.0 * minute);
        const Sample now = sample(pid);
        const double cpu = now.cpuSeconds - previous.cpuSeconds;
        maxCpu = std::max(maxCpu, cpu);
        std::printf("  minute %d: CPU %.2f s (%.2f %% of a core), VmRSS %.1f MB (anonymous "
                    "%.1f MB), peak %.1f MB\n",
                    minute, cpu, cpu / 60 * 100, now.rssKb / 1024.0, now.anonKb / 1024.0,
                    now.peakKb / 1024.0);
        std::fflush(stdout);
        previous = now;
    }
    const double cpuPerMinute = (previous.cpuSeconds - first.cpuSeconds) / options.minutes;
    std::printf("  %s: %.2f s CPU per minute (%.2f %% of a core, worst minute %.2f %%), "
                "VmRSS %.1f MB at the end, peak %.1f MB\n",
                qPrintable(face), cpuPerMinute, cpuPerMinute / 60 * 100, maxCpu / 60 * 100,
                previous.rssKb / 1024.0, previous.peakKb / 1024.0);

    const double signalled = monotonicSeconds();
    ::kill(pid, SIGTERM); // our own child
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const double endedMs = (monotonicSeconds() - signalled) * 1000;
    QFile file(dir.filePath(face + QStringLiteral("-state/Halvoren/varnetix-nms/events.log")));
    const QByteArray log = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const bool endLine = log.endsWith("\tStation ended\n");
    std::printf("  SIGTERM: ended after %.0f ms, %s, end line %s; the log: %d online, %d offline "
                "(from unknown)\n",
                endedMs,
                WIFEXITED(status)
                    ? qPrintable(QStringLiteral("exit status %1").arg(WEXITSTATUS(status)))
                    : "killed by a signal",
                endLine ? "written" : "MISSING", countLogged(log, "is online (was unknown)"),
                countLogged(log, "is offline (was unknown)"));
    std::fflush(stdout);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && endLine;
}

} // namespace

int main(int argc, char** argv) {
    if (::geteuid() != 0 || ::unshare(CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "bench_headless_station: needs root to create network namespaces\n");
        return 77;
    }
    QCoreApplication app(argc, argv);
    const Options options = parse(app.arguments());
    if (const QString error = buildNetwork(); !error.isEmpty()) {
        std::fprintf(stderr, "bench_headless_station: %s\n", qPrintable(error));
        return 1;
    }
    raiseNeighbourLimits();
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("nms.ini")));
    if (!file.open(QIODevice::WriteOnly) || file.write(database()) < 0)
        return 1;
    file.close();
    bool ok = true;
    for (const QString& face : options.faces)
        ok = measure(face, dir, options) && ok;
    return ok ? 0 : 1;
}
