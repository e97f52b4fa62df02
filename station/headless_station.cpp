#include "station/headless_station.h"

#include <QCoreApplication>

#include "core/event_log_line.h"
#include "core/text_escape.h"
#include "station/event_log.h"
#include "station/station.h"

namespace varnetix {

namespace {

// The sd-daemon prefix that journald reads as the line's priority and strips.
const char* priorityPrefix(EventSeverity severity) {
    switch (severity) {
    case EventSeverity::Error:
        return "<3>";
    case EventSeverity::Warning:
        return "<4>";
    case EventSeverity::Info:
        break;
    }
    return "<6>";
}

void writeLine(std::FILE* stream, const std::string& line, EventSeverity severity, bool journal) {
    const std::string text = (journal ? priorityPrefix(severity) : "") + line + '\n';
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

} // namespace

void HeadlessDialogs::information(const QString& title, const QString& text) {
    (void)title;
    tell(text);
}

void HeadlessDialogs::critical(const QString& title, const QString& text) {
    (void)title;
    tell(text);
}

bool HeadlessDialogs::question(const QString& title, const QString& text) {
    (void)title;
    (void)text;
    return false;
}

// What is told before the station logs is why it cannot run: an error, whatever its box.
void HeadlessDialogs::tell(const QString& text) {
    if (m_logged)
        return;
    for (const QString& line : text.split(QLatin1Char('\r')))
        writeLine(m_err, EscapeControls(line.toStdString()), EventSeverity::Error, m_journal);
}

void echoLog(EventLog& log, std::FILE* stream, bool journal) {
    QObject::connect(
        &log, &EventLog::recorded, &log, [stream, journal](const EventLog::Line& line) {
            writeLine(stream,
                      FormatEventFields(line.time.toStdString(), line.severity,
                                        line.category.toStdString(), line.element.toStdString(),
                                        line.text.toStdString()),
                      line.severity, journal);
        });
}

bool standardErrorIsJournal() {
    return !qEnvironmentVariableIsEmpty("JOURNAL_STREAM");
}

int runHeadlessStation(const StationSettings& settings, MacResolver& resolver, EchoProbe& probe,
                       EchoSweeper& sweeper, SingleInstance& instance) {
    const bool journal = standardErrorIsJournal();
    HeadlessDialogs dialogs(stderr, journal);
    const std::unique_ptr<Station> station =
        openStation(settings, dialogs, resolver, probe, instance, &sweeper);
    if (!station)
        return 1;
    dialogs.stationLogs();
    echoLog(station->log(), stderr, journal);
    // Before the start, so that a signal during it already ends the station cleanly.
    station->answerSignals(StationSignals::Hangup::ReloadPreferences);
    if (!station->start())
        return 1;
    return QCoreApplication::exec();
}

} // namespace varnetix
