// The station's event log: what the operator did and what the elements did, each event stamped
// with its time. Lines go to the log file on disk and stay in memory, the newest ones, for the
// log view.
#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <string_view>

#include "core/event_log_line.h"

namespace varnetix {

class EventLogFile;

// What a controller needs to tell the log.
class EventSink {
public:
    virtual ~EventSink() = default;
    // `element` is the element's MAC in colon form, or empty.
    virtual void record(EventSeverity severity, std::string_view category, const QString& element,
                        const QString& text) = 0;
    // Most events are news, not trouble.
    void record(std::string_view category, const QString& element, const QString& text) {
        record(EventSeverity::Info, category, element, text);
    }
};

class EventLog : public QObject, public EventSink {
    Q_OBJECT
public:
    // Lines the view keeps; the file keeps more.
    static constexpr std::size_t kKeptLines = 20000;

    struct Line {
        QString time; // as the file writes it
        EventSeverity severity = EventSeverity::Info;
        QString category;
        QString element;
        QString text;
    };

    // Without a file, events are only kept in memory.
    explicit EventLog(EventLogFile* file, QObject* parent = nullptr);

    using EventSink::record;
    void record(EventSeverity severity, std::string_view category, const QString& element,
                const QString& text) override;
    const std::deque<Line>& lines() const { return m_lines; }

signals:
    void recorded(const varnetix::EventLog::Line& line);

private:
    void keep(Line line);

    EventLogFile* m_file;
    std::deque<Line> m_lines;
};

} // namespace varnetix
