// What the benchmarks measure of their own process: the longest event the loop delivers, in wall
// time and in this thread's CPU time (which other work on a busy machine does not inflate), and
// the resident memory.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <ctime>

namespace varnetix::bench {

inline qint64 threadCpuNs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

// Times the outermost events only: a nested loop's events are part of the one that opened it.
template <typename Application> class TimedApplication : public Application {
public:
    using Application::Application;
    qint64 longestWallNs = 0;
    qint64 longestCpuNs = 0;

    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth++ > 0) {
            const bool handled = Application::notify(receiver, event);
            --m_depth;
            return handled;
        }
        QElapsedTimer wall;
        wall.start();
        const qint64 cpu = threadCpuNs();
        const bool handled = Application::notify(receiver, event);
        longestCpuNs = std::max(longestCpuNs, threadCpuNs() - cpu);
        longestWallNs = std::max(longestWallNs, wall.nsecsElapsed());
        --m_depth;
        return handled;
    }

private:
    int m_depth = 0;
};

// VmRSS in kB; -1 when it cannot be read.
inline long vmRssKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

} // namespace varnetix::bench
