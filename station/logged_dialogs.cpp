#include "station/logged_dialogs.h"

#include "core/event_log_line.h"

namespace varnetix {

void LoggedDialogs::record(EventSeverity severity, const QString& title, const QString& text,
                           const QString& answer) {
    QString line = title + QStringLiteral(": ") + text;
    if (!answer.isEmpty())
        line += QStringLiteral(" [") + answer + QLatin1Char(']');
    m_log.record(severity, event_category::kBox, {}, line);
}

void LoggedDialogs::information(const QString& title, const QString& text) {
    record(EventSeverity::Info, title, text);
    m_shown.information(title, text);
}

void LoggedDialogs::critical(const QString& title, const QString& text) {
    record(EventSeverity::Error, title, text);
    m_shown.critical(title, text);
}

bool LoggedDialogs::question(const QString& title, const QString& text) {
    return questionWithDetails(title, text, {});
}

bool LoggedDialogs::questionWithDetails(const QString& title, const QString& text,
                                        const QString& details) {
    const bool yes = details.isEmpty() ? m_shown.question(title, text)
                                       : m_shown.questionWithDetails(title, text, details);
    // A question's icon is no warning: what follows from the answer is logged on its own.
    record(EventSeverity::Info, title, text, yes ? QStringLiteral("Yes") : QStringLiteral("No"));
    return yes;
}

} // namespace varnetix
