// The operator's boxes, each also written to the event log with its title and text, and with
// the severity of its icon: a critical box is an error, an information or a question is info.
#pragma once

#include "station/event_log.h"
#include "station/operator_dialogs.h"

namespace varnetix {

class LoggedDialogs : public OperatorDialogs {
public:
    LoggedDialogs(OperatorDialogs& shown, EventSink& log) : m_shown(shown), m_log(log) {}

    void information(const QString& title, const QString& text) override;
    void critical(const QString& title, const QString& text) override;
    bool question(const QString& title, const QString& text) override;
    bool questionWithDetails(const QString& title, const QString& text,
                             const QString& details) override;
    QString saveFileName(const QString& title, const QString& suggested,
                         const QString& filter) override {
        return m_shown.saveFileName(title, suggested, filter);
    }

private:
    void record(EventSeverity severity, const QString& title, const QString& text,
                const QString& answer = {});

    OperatorDialogs& m_shown;
    EventSink& m_log;
};

} // namespace varnetix
