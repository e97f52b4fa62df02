// The station without a display, for sites with nobody logged in: the same station as the
// window's, on a QCoreApplication. Every event line goes to the log file and to standard error
// (with its syslog priority first, <3> error, <4> warning, <6> info, when standard error is the
// journal); a box becomes a log line of its severity and a question takes its default answer,
// so that nothing ever waits for a person.
#pragma once

#include <cstdio>

#include "core/station_settings.h"
#include "platform/echo_probe.h"
#include "platform/echo_sweeper.h"
#include "platform/mac_resolver.h"
#include "platform/station_instance.h"
#include "station/operator_dialogs.h"

namespace varnetix {

class EventLog;

// Boxes nobody sees. The station's log records each one; before there is a log (another station
// runs) a box's text goes to standard error as it is.
class HeadlessDialogs : public OperatorDialogs {
public:
    HeadlessDialogs(std::FILE* err, bool journal) : m_err(err), m_journal(journal) {}
    void information(const QString& title, const QString& text) override;
    void critical(const QString& title, const QString& text) override;
    // No, the default answer of every question the station asks.
    bool question(const QString& title, const QString& text) override;
    void stationLogs() { m_logged = true; }

private:
    void tell(const QString& text);

    std::FILE* m_err;
    bool m_journal;
    bool m_logged = false;
};

// Every line of the log, as the file has it, also to the stream; with a syslog priority first
// when `journal` is set.
void echoLog(EventLog& log, std::FILE* stream, bool journal);
// Standard error is the journal's when systemd says so (JOURNAL_STREAM).
bool standardErrorIsJournal();

// Runs the headless station until a signal ends it, on the QCoreApplication that exists. The
// exit status: 0 after SIGTERM or SIGINT, 1 when another station runs or the port is taken.
int runHeadlessStation(const StationSettings& settings, MacResolver& resolver, EchoProbe& probe,
                       EchoSweeper& sweeper, SingleInstance& instance);

} // namespace varnetix
