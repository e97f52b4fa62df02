#include "station/event_log.h"

#include <QDateTime>

#include "core/event_log_line.h"
#include "platform/event_log_file.h"

namespace varnetix {

EventLog::EventLog(EventLogFile* file, QObject* parent) : QObject(parent), m_file(file) {
    if (!m_file)
        return;
    // The view starts with what the log already holds from earlier runs.
    for (const std::string& text : m_file->lastLines(kKeptLines / 4)) {
        if (const auto entry = ParseEventLine(text))
            keep({QString::fromStdString(entry->time), entry->severity,
                  QString::fromStdString(entry->category), QString::fromStdString(entry->element),
                  QString::fromStdString(entry->text)});
    }
}

void EventLog::record(EventSeverity severity, std::string_view category, const QString& element,
                      const QString& text) {
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const std::string elementText = element.toStdString();
    const std::string message = text.toStdString();
    if (m_file)
        m_file->appendAt(now, category, elementText, message, severity);
    Line line{QString::fromStdString(LocalIsoTime(now)), severity,
              QString::fromUtf8(category.data(), static_cast<qsizetype>(category.size())), element,
              text};
    keep(line);
    emit recorded(line);
}

void EventLog::keep(Line line) {
    m_lines.push_back(std::move(line));
    if (m_lines.size() > kKeptLines)
        m_lines.pop_front();
}

} // namespace varnetix
