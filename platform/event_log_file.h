// The station's event log on disk: events.log in the user's state directory, appended from a
// short timer so that no event waits for the disk, and rotated by size into events.log.1,
// events.log.2, ... with the oldest file dropped.
//
// A log that cannot be written is reported once through writeFailed() ("Event log not
// written: <path>: <reason>"); the station goes on, lines wait in a bounded buffer and the
// ones beyond it are counted and dropped. Once lines can be written again, a line tells how many
// were dropped and writeResumed() ends the report.
#pragma once

#include "core/event_log_line.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnetix {

struct EventLogLimits {
    std::int64_t maxFileBytes = 1024 * 1024;
    int fileCount = 5; // events.log and its rotated copies together
    std::size_t maxBufferedBytes = 256 * 1024;
    int flushIntervalMs = 500;
};

class EventLogFile : public QObject {
    Q_OBJECT
public:
    // $XDG_STATE_HOME (when set and absolute) or ~/.local/state, then Halvoren/varnetix-nms.
    static QString defaultDirectory();

    // The directory is created (0700) at the first write, not here.
    explicit EventLogFile(const QString& directory, EventLogLimits limits = {},
                          QObject* parent = nullptr);
    ~EventLogFile() override; // writes what is buffered, reports nothing

    // Stamped with the current time; written within flushIntervalMs.
    void append(std::string_view category, std::string_view element, std::string_view text,
                EventSeverity severity = EventSeverity::Info);
    void appendAt(std::int64_t msSinceEpoch, std::string_view category, std::string_view element,
                  std::string_view text, EventSeverity severity = EventSeverity::Info);
    // Writes the buffered lines now; false when they could not all be written.
    bool flush();

    // New limits take effect from the next write on.
    void setLimits(const EventLogLimits& limits) {
        m_limits = limits;
        m_limits.fileCount = std::max(m_limits.fileCount, 1);
    }
    QString filePath() const;
    // The newest lines, oldest first, from the files and the buffer; at most `count`.
    std::vector<std::string> lastLines(std::size_t count) const;
    std::uint64_t droppedLines() const { return m_dropped; }

signals:
    void writeFailed(const QString& reason);
    void writeResumed();

private:
    QString rotatedPath(int index) const;
    bool writeBuffered(QString& failure);
    bool writeLines(QString& failure);
    // Index past the buffered lines from `from` on that a file of this size still takes.
    std::size_t linesThatFit(std::size_t from, std::int64_t fileSize) const;
    // Appends those lines to events.log; the index past them, nullopt when the write failed.
    std::optional<std::size_t> appendThatFit(std::size_t from, QString& failure);
    bool rotate(QString& failure);
    bool ensureDirectory(QString& failure);
    void report(const QString& failure);

    QString m_directory;
    EventLogLimits m_limits;
    QTimer m_timer;
    std::vector<std::string> m_buffer; // lines with their LF
    std::size_t m_bufferedBytes = 0;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_droppedUntold = 0; // since the last line that told of dropped ones
    bool m_reported = false;
};

} // namespace varnetix
