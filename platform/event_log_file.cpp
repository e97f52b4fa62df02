#include "platform/event_log_file.h"

#include "core/event_log_line.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnetix {

namespace {

QString failureText(const QString& path, int error) {
    return QStringLiteral("Event log not written: %1: %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// Creates the directory and any missing parent, each readable by the user alone.
int makeDirectory(const QByteArray& path) {
    if (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST)
        return 0;
    if (errno != ENOENT)
        return errno;
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return ENOENT;
    if (const int error = makeDirectory(path.left(slash)); error != 0)
        return error;
    return ::mkdir(path.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The end of a file as lines, reading no more than `limit` bytes of it.
std::vector<std::string> tailLines(const QString& path, std::int64_t limit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 start = std::max<qint64>(0, file.size() - limit);
    file.seek(start);
    const QByteArray bytes = file.read(limit);
    std::vector<std::string> lines;
    // Where reading started inside the file, the first line was cut.
    qsizetype from = start > 0 ? bytes.indexOf('\n') + 1 : 0;
    if (start > 0 && from == 0)
        return {};
    while (from < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0)
            end = bytes.size();
        lines.emplace_back(bytes.constData() + from, static_cast<std::size_t>(end - from));
        from = end + 1;
    }
    return lines;
}

} // namespace

QString EventLogFile::defaultDirectory() {
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Halvoren/varnetix-nms");
}

EventLogFile::EventLogFile(const QString& directory, EventLogLimits limits, QObject* parent)
    : QObject(parent), m_directory(QDir::cleanPath(directory)), m_limits(limits) {
    m_limits.fileCount = std::max(m_limits.fileCount, 1);
    m_timer.setSingleShot(true);
    m_timer.setInterval(m_limits.flushIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &EventLogFile::flush);
}

EventLogFile::~EventLogFile() {
    QString failure;
    writeBuffered(failure);
}

void EventLogFile::append(std::string_view category, std::string_view element,
                          std::string_view text, EventSeverity severity) {
    appendAt(QDateTime::currentMSecsSinceEpoch(), category, element, text, severity);
}

void EventLogFile::appendAt(std::int64_t msSinceEpoch, std::string_view category,
                            std::string_view element, std::string_view text,
                            EventSeverity severity) {
    std::string line = FormatEventLine(msSinceEpoch, severity, category, element, text) + '\n';
    if (m_bufferedBytes + line.size() > m_limits.maxBufferedBytes) {
        ++m_dropped;
        ++m_droppedUntold;
    } else {
        m_bufferedBytes += line.size();
        m_buffer.push_back(std::move(line));
    }
    // Also a dropped line tries the disk again: a full buffer empties only by a write.
    if (!m_timer.isActive())
        m_timer.start();
}

bool EventLogFile::flush() {
    m_timer.stop();
    QString failure;
    if (!writeBuffered(failure)) {
        report(failure);
        return false;
    }
    if (m_reported) {
        m_reported = false;
        emit writeResumed();
    }
    return true;
}

QString EventLogFile::filePath() const {
    return rotatedPath(0);
}

QString EventLogFile::rotatedPath(int index) const {
    const QString path = m_directory + QStringLiteral("/events.log");
    return index == 0 ? path : path + QLatin1Char('.') + QString::number(index);
}

bool EventLogFile::ensureDirectory(QString& failure) {
    const int error = makeDirectory(QFile::encodeName(m_directory));
    if (error != 0)
        failure = failureText(m_directory, error);
    return error == 0;
}

// events.log becomes events.log.1, each copy moves one up, the last one is dropped.
bool EventLogFile::rotate(QString& failure) {
    for (int index = m_limits.fileCount - 1; index >= 0; --index) {
        const QByteArray from = QFile::encodeName(rotatedPath(index));
        const bool last = index == m_limits.fileCount - 1;
        const int result = last ? ::unlink(from.constData())
                                : ::rename(from.constData(),
                                           QFile::encodeName(rotatedPath(index + 1)).constData());
        if (result != 0 && errno != ENOENT) {
            failure = failureText(rotatedPath(index), errno);
            return false;
        }
    }
    return true;
}

// A line longer than a whole file gets an empty file of its own.
std::size_t EventLogFile::linesThatFit(std::size_t from, std::int64_t fileSize) const {
    std::int64_t size = fileSize;
    std::size_t next = from;
    while (next < m_buffer.size() &&
           (size + static_cast<std::int64_t>(m_buffer[next].size()) <= m_limits.maxFileBytes ||
            (fileSize == 0 && next == from)))
        size += static_cast<std::int64_t>(m_buffer[next++].size());
    return next;
}

std::optional<std::size_t> EventLogFile::appendThatFit(std::size_t from, QString& failure) {
    const int fd = ::open(QFile::encodeName(filePath()).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        failure = failureText(filePath(), errno);
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    const std::size_t to = linesThatFit(from, info.st_size);
    std::string chunk;
    for (std::size_t i = from; i < to; ++i)
        chunk += m_buffer[i];
    const bool ok = writeAll(fd, chunk);
    if (!ok) {
        failure = failureText(filePath(), errno);
        // A half-written line would spoil the next one appended after it; should the cut fail
        // too, the reader skips the one spoilt line.
        [[maybe_unused]] const int cut = ::ftruncate(fd, info.st_size);
    }
    ::close(fd);
    return ok ? std::optional<std::size_t>(to) : std::nullopt;
}

// The lines that found no room are told of after the ones before them; the telling line itself
// may pass the buffer's limit, by one line.
bool EventLogFile::writeBuffered(QString& failure) {
    if (!writeLines(failure))
        return false;
    if (m_droppedUntold == 0)
        return true;
    const std::string text =
        m_droppedUntold == 1 ? std::string("1 event line was dropped: the log's buffer was full")
                             : std::to_string(m_droppedUntold) +
                                   " event lines were dropped: the log's buffer was full";
    std::string line = FormatEventLine(QDateTime::currentMSecsSinceEpoch(), EventSeverity::Warning,
                                       event_category::kStation, "", text) +
                       '\n';
    m_droppedUntold = 0;
    m_bufferedBytes += line.size();
    m_buffer.push_back(std::move(line));
    return writeLines(failure);
}

bool EventLogFile::writeLines(QString& failure) {
    if (m_buffer.empty())
        return true;
    if (!ensureDirectory(failure))
        return false;
    std::size_t written = 0;
    bool ok = true;
    while (ok && written < m_buffer.size()) {
        const std::optional<std::size_t> next = appendThatFit(written, failure);
        ok = next.has_value();
        written = next.value_or(written);
        if (ok && written < m_buffer.size())
            ok = rotate(failure);
    }
    for (std::size_t i = 0; i < written; ++i)
        m_bufferedBytes -= m_buffer[i].size();
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(written));
    return ok;
}

void EventLogFile::report(const QString& failure) {
    if (m_reported)
        return;
    m_reported = true;
    emit writeFailed(failure);
}

std::vector<std::string> EventLogFile::lastLines(std::size_t count) const {
    std::vector<std::string> newestFirst;
    for (auto it = m_buffer.rbegin(); it != m_buffer.rend() && newestFirst.size() < count; ++it)
        newestFirst.push_back(it->substr(0, it->size() - 1));
    // A file may be larger than the limit after the limit was lowered; its head is not needed.
    const std::int64_t readLimit = std::max<std::int64_t>(m_limits.maxFileBytes, 64 * 1024) * 2;
    for (int index = 0; index < m_limits.fileCount && newestFirst.size() < count; ++index) {
        const std::vector<std::string> lines = tailLines(rotatedPath(index), readLimit);
        for (auto it = lines.rbegin(); it != lines.rend() && newestFirst.size() < count; ++it)
            newestFirst.push_back(*it);
    }
    return {newestFirst.rbegin(), newestFirst.rend()};
}

} // namespace varnetix
