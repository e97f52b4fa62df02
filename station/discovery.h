// Discovery: after confirmation the database is emptied, the paging request is broadcast and
// every answer that arrives while the discovery window waits is stored; then the tree is
// rebuilt.
#pragma once

#include <QObject>
#include <QTimer>
#include <optional>
#include <set>

#include <string>
#include <utility>
#include <vector>

#include "core/discovery_answers.h"
#include "core/feedback_packet.h"
#include "core/ini_store.h"
#include "core/store_result.h"

#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/element_tree_controller.h"
#include "station/element_view.h"
#include "station/event_log.h"

#include "station/level_monitor.h"
#include "station/operator_dialogs.h"

namespace varnetix {

// frmPaging as the discovery sees it: a modal window that stays open until it is closed.
class PagingView {
public:
    virtual ~PagingView() = default;
    // Shows the window modally; returns when it has been closed, by closeWindow() or by the
    // operator.
    virtual void runModal() = 0;
    virtual void closeWindow() = 0;
};

class Discovery : public QObject {
    Q_OBJECT
public:
    // Answers are written in batches of this many sections at most.
    static constexpr std::size_t kStoreBatch = 256;

    Discovery(PagingView& window, ElementView& view, ElementTreeController& tree,
              ElementDatabase& database, LevelMonitor& level, DatagramLink& link,
              OperatorDialogs& dialogs, EventSink& log, const StationSettings& settings,
              QObject* parent = nullptr);
    ~Discovery() override { flushStores(); }

    // How the last run ended, for a caller that acts on it (the exit status of a command).
    enum class Outcome { Stored, NoneAnswered, Failed, Interrupted };

    // The toolbar command: asks, and on Yes runs one discovery; returns when the window closed.
    void confirmDiscovery();
    // A run that no element answers puts the database it replaced back, so that a scheduled
    // discovery on a dead switch does not empty an unattended station's list. Off for the
    // window: there an empty list shows the operator at once that nothing answered.
    void setKeepDatabaseWhenSilent(bool keep) { m_keepWhenSilent = keep; }
    // Failed when a step of the run failed (the operator has been told), NoneAnswered when
    // nothing was stored; as it stands after the run's late answers.
    Outcome outcome() const;
    // AutoDiscoverAwaiting: true only while a run waits for answers.
    bool awaitingAnswers() const { return m_awaiting; }
    // Ends the run that waits for answers without keeping them, because the station ends: the
    // database the run replaced is put back (none, where there was none) and the window closes.
    void abandon();

    // An element's answer to the paging request. It is written at the next flushStores(), so
    // that a burst of answers is stored in a few rewrites.
    void storeDiscoveredElement(const FeedbackRecord& answer);
    void flushStores();
    // Answers that arrived during the run and were done after it have been stored.
    void lateAnswersStored();
    // The last run's answers, each element once, until the next run.
    const std::vector<FeedbackRecord>& answers() const { return m_runAnswers.records(); }

signals:
    void runStarted();
    // What the run changed against the database it replaced: the sections that are new and
    // those whose address, name, role or version changed, and a one-line summary.
    void changesFound(const std::set<std::string>& added, const std::set<std::string>& changed,
                      const QString& summary);

private:
    void startSteps();
    void endSteps();
    void recreateDatabase();
    void completeRun();
    // Puts the database the run replaced back, because the run could not store what answered.
    void undoRun(const StoreResult& failure);
    // Leaves the database as the run found it, because no element answered.
    void keepPreviousDatabase();
    void compareWithPrevious();

    PagingView& m_window;
    ElementView& m_view;
    ElementTreeController& m_tree;
    ElementDatabase& m_database;
    LevelMonitor& m_level;
    DatagramLink& m_link;
    OperatorDialogs& m_dialogs;
    EventSink& m_log;
    const StationSettings& m_settings;
    QTimer m_pagingWait;
    bool m_awaiting = false;
    std::string m_previous; // the backup this run made of the database it replaced
    std::set<std::string> m_answered, m_stored;
    DiscoveryAnswerSet m_runAnswers;
    StoreResult m_storeFailure;     // the first store of this run that failed
    bool m_undone = false;          // the run's database was given up for the one it replaced
    bool m_failed = false;          // a step of the run failed
    bool m_interrupted = false;     // the run was given up while it waited (abandon())
    bool m_replacedNothing = false; // there was no database before the run
    bool m_keepWhenSilent = false;
    std::vector<std::pair<std::string, IniEntries>> m_pendingStores;
    // A run changes the database once, for those who follow it: when the run is complete.
    std::optional<ElementDatabase::Operation> m_run;
};

} // namespace varnetix
