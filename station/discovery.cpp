#include "station/discovery.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "core/database_backup.h"
#include "core/database_diff.h"
#include "core/database_file.h"
#include "core/discovery_answers.h"

#include "core/element_record.h"

#include "core/event_log_line.h"

#include "core/number_text.h"
#include "core/paging_request.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"
#include "station/database_messages.h"

namespace varnetix {

Discovery::Discovery(PagingView& window, ElementView& view, ElementTreeController& tree,
                     ElementDatabase& database, LevelMonitor& level, DatagramLink& link,
                     OperatorDialogs& dialogs, EventSink& log, const StationSettings& settings,
                     QObject* parent)
    : QObject(parent), m_window(window), m_view(view), m_tree(tree), m_database(database),
      m_level(level), m_link(link), m_dialogs(dialogs), m_log(log), m_settings(settings) {
    m_pagingWait.setObjectName(QStringLiteral("Timer1"));
    m_pagingWait.setParent(this);
    m_pagingWait.setSingleShot(true);
    // A coarse timer may end the wait up to 5% early, and answers of the last 150 ms would then
    // be taken for configuration answers.
    m_pagingWait.setTimerType(Qt::PreciseTimer);
    connect(&m_pagingWait, &QTimer::timeout, this, [this] {
        endSteps();
        m_window.closeWindow();
    });
}

void Discovery::confirmDiscovery() {
    const bool yes = m_dialogs.question(
        QStringLiteral("Auto Discovery"),
        joinLines({QStringLiteral("Performing an 'Auto Discovery' will delete the local database "
                                  "in your computer"),
                   QStringLiteral("and create a new one, based on the Network Elements found (if "
                                  "any). "),
                   QStringLiteral("Are you sure?")}));
    if (!yes)
        return;
    m_log.record(event_category::kDiscovery, {}, QStringLiteral("Discovery started"));
    m_answered.clear();
    m_stored.clear();
    m_runAnswers.clear();
    m_storeFailure = {};
    m_undone = false;
    m_failed = false;
    m_interrupted = false;
    m_view.clearElementFields();
    m_tree.emptyLists();
    startSteps();
    emit runStarted();
    // A box shown by the start steps may have let the whole wait pass already.
    if (m_awaiting)
        m_window.runModal();
    // Closing the window early ends the run the same way.
    endSteps();
}

void Discovery::startSteps() {
    m_level.switchOff();
    m_tree.emptyLists();
    m_run.emplace(m_database);
    recreateDatabase();
    // Every send names its destination, so the endpoint has no remote to save and restore.
    m_pagingWait.start(m_settings.pagingWaitMs);
    m_awaiting = true;
    const std::string request = PagingRequest();
    if (!m_link.sendBroadcast(toByteArray(request),
                              QString::fromStdString(m_settings.pagingDestination),
                              m_settings.pagingPort, m_settings.pagingOnEveryInterface)) {
        m_failed = true;
        m_dialogs.critical(kApplicationTitle,
                           joinLines({QStringLiteral("Unable to send the paging request."),
                                      QStringLiteral("No Network Element can answer it.")}));
    }
}

void Discovery::recreateDatabase() {
    // The previous database is kept as a dated backup, so that a run on an unplugged network
    // can be undone by hand.
    const DatabaseBackup backup = m_database.moveAside();
    m_previous = backup.path;
    m_replacedNothing = backup.result.ok() && backup.path.empty();
    if (!backup.result.ok()) {
        m_failed = true;
        if (m_database.reload().state == FileState::Unreadable) {
            // A database nobody can read is never deleted: it stays, and so do its records.
            m_dialogs.critical(
                kApplicationTitle,
                unreadableDatabaseMessage(backup.result,
                                          QStringLiteral("It could not be moved aside, and the "
                                                         "elements found will not be stored.")));
            return;
        }
        // The operator agreed to lose it; they learn that no copy is left.
        m_database.remove();
        m_dialogs.critical(
            kApplicationTitle,
            joinLines({QStringLiteral("No backup of the local database '%1' could be kept: %2.")
                           .arg(QString::fromStdString(backup.result.path),
                                QString::fromStdString(backup.result.reason)),
                       QStringLiteral("It has been deleted.")}));
    }
    if (const StoreResult created = m_database.replace({}); !created.ok())
        m_storeFailure = created;
}

void Discovery::endSteps() {
    if (!m_awaiting)
        return;
    m_pagingWait.stop();
    m_awaiting = false;
    completeRun();
}

void Discovery::lateAnswersStored() {
    completeRun();
}

void Discovery::completeRun() {
    if (!m_run)
        m_run.emplace(m_database); // answers stored after their run
    flushStores();
    if (!m_storeFailure.ok())
        undoRun(std::exchange(m_storeFailure, {}));
    else if (m_keepWhenSilent && m_stored.empty() && !m_undone)
        keepPreviousDatabase();
    // The network check finds two elements on one address only among the answers; they are
    // kept beside the database until the next run. Losing them loses no element. An undone run
    // leaves those of the database it put back.
    if (!m_undone)
        (void)WriteFileAtomically(DiscoveryAnswersPath(m_settings.databasePath),
                                  DiscoveryAnswersText(m_runAnswers.records()));
    m_log.record(event_category::kDiscovery, {},
                 QStringLiteral("Discovery ended: %1 elements answered, %2 stored")
                     .arg(m_answered.size())
                     .arg(m_stored.size()));
    m_tree.reload();
    compareWithPrevious();
    m_run.reset();
}

Discovery::Outcome Discovery::outcome() const {
    if (m_interrupted)
        return Outcome::Interrupted;
    if (m_failed)
        return Outcome::Failed;
    return m_stored.empty() ? Outcome::NoneAnswered : Outcome::Stored;
}

void Discovery::undoRun(const StoreResult& failure) {
    m_failed = true;
    const QString lost = QStringLiteral("%1 of the %2 answering elements were not stored.")
                             .arg(m_answered.size() - m_stored.size())
                             .arg(m_answered.size());
    if (m_previous.empty()) {
        m_dialogs.critical(kApplicationTitle, storeFailureMessage(failure, lost));
        return;
    }
    // A database that holds only some of what answered, or nothing, is worse than the one the
    // operator had: that one comes back, and the answers that arrive late are not stored.
    if (const StoreResult restored = m_database.restore(m_previous); !restored.ok()) {
        m_dialogs.critical(
            kApplicationTitle,
            storeFailureMessage(
                failure,
                joinLines({lost, QStringLiteral("The previous database could not be put back: "
                                                "%1. It is kept as '%2'.")
                                     .arg(QString::fromStdString(restored.reason),
                                          QString::fromStdString(m_previous))})));
        return;
    }
    m_undone = true;
    m_stored.clear();
    m_dialogs.critical(kApplicationTitle,
                       storeFailureMessage(failure, QStringLiteral("The discovery was undone: the "
                                                                   "previous database has been "
                                                                   "put back.")));
}

void Discovery::keepPreviousDatabase() {
    // Answers still waiting for their MAC when the wait ended are dropped with the run, as those
    // of an undone run are: the database stays as it was rather than half filled later.
    StoreResult putBack;
    if (!m_previous.empty())
        putBack = m_database.restore(m_previous);
    else if (m_replacedNothing)
        m_database.remove(); // the empty one the run made
    else
        return; // the run could not move the database aside, and has said so
    if (!putBack.ok()) {
        m_failed = true;
        m_dialogs.critical(
            kApplicationTitle,
            storeFailureMessage(putBack, QStringLiteral("No element answered, and the previous "
                                                        "database could not be put back. It is "
                                                        "kept as '%1'.")
                                             .arg(QString::fromStdString(m_previous))));
        return;
    }
    m_undone = true;
    m_log.record(EventSeverity::Warning, event_category::kDiscovery, {},
                 QStringLiteral("No element answered: the database is left as it was"));
}

void Discovery::abandon() {
    if (!m_awaiting)
        return;
    m_pagingWait.stop();
    m_awaiting = false;
    m_undone = true;
    m_interrupted = true;
    m_pendingStores.clear();
    if (!m_run)
        m_run.emplace(m_database);
    QString text = QStringLiteral("Discovery interrupted: no answer is kept");
    if (!m_previous.empty()) {
        const StoreResult restored = m_database.restore(m_previous);
        text =
            restored.ok()
                ? QStringLiteral("Discovery interrupted: the previous database has been put back")
                : QStringLiteral("Discovery interrupted: the previous database could not be "
                                 "put back: %1. It is kept as '%2'.")
                      .arg(QString::fromStdString(restored.reason),
                           QString::fromStdString(m_previous));
    } else if (m_replacedNothing) {
        m_database.remove();
    }
    m_log.record(EventSeverity::Warning, event_category::kDiscovery, {}, text);
    m_run.reset();
    m_window.closeWindow();
}

void Discovery::compareWithPrevious() {
    const IniLoad current = m_database.reload();
    std::optional<IniLoad> previous;
    // An undone run leaves the database it found: compared with itself, nothing changed.
    if (m_undone)
        previous = current;
    else if (!m_previous.empty())
        previous = readIniFile(m_previous);
    const bool comparable = previous && previous->state == FileState::Loaded;
    const DatabaseDiff diff =
        CompareDatabases(comparable ? &previous->document : nullptr, current.document);
    for (const DiffLine& line : DiffDetails(diff))
        m_log.record(event_category::kDiscovery, fromBytes(line.element), fromBytes(line.text));
    const QString summary = fromBytes(DiffSummary(diff));
    m_log.record(event_category::kDiscovery, {}, summary);
    std::set<std::string> added, changed;
    for (const DiffElement& element : diff.added)
        added.insert(element.section);
    for (const DiffElement& element : diff.changed)
        changed.insert(element.section);
    emit changesFound(added, changed, summary);
}

void Discovery::storeDiscoveredElement(const FeedbackRecord& answer) {
    const auto decimal = [](long long value) { return std::to_string(value); };
    const FeedbackRecord& r = answer;
    IniEntries entries = {
        {std::string(record::kName), StoredElementName(r.ElementName)},
        {std::string(record::kIp), r.ElementIP},
        {std::string(record::kMask), r.ElementMask},
        {std::string(record::kGateway), r.ElementGW},
        {std::string(record::kRemote), r.RemoteIP},
        {std::string(record::kInput), decimal(r.AudioInput)},
        {std::string(record::kType), decimal(r.AudioType)},
        {std::string(record::kTx), decimal(r.TxType)},
        {std::string(record::kRole), decimal(r.ElementRole)},
        {std::string(record::kSerial), decimal(r.SerialNumber)},
        {std::string(record::kVersion), StoredVersion(r.DspVersion)},
        {std::string(record::kSfn), decimal(r.SfnOption)},
        {std::string(record::kBuffer), decimal(r.BufferSize)},
    };
    if (r.ElementRole == record::kRoleDecoder)
        entries.emplace_back(std::string(record::kAttenuation), decimal(r.Attenuation));
    const std::string section = MacWithoutColons(r.ElementMAC);
    m_answered.insert(section);
    m_runAnswers.add(answer);
    m_pendingStores.emplace_back(section, std::move(entries));
    m_log.record(event_category::kDiscovery, fromBytes(r.ElementMAC),
                 QStringLiteral("Found %1 [%2] at %3")
                     .arg(fromBytes(TrimSpaces(StoredElementName(r.ElementName))),
                          fromBytes(r.ElementMAC), fromBytes(r.ElementIP)));
    if (m_pendingStores.size() >= kStoreBatch)
        flushStores();
}

void Discovery::flushStores() {
    if (m_undone)
        m_pendingStores.clear();
    if (m_pendingStores.empty())
        return;
    const StoreResult stored = m_database.writeSections(m_pendingStores);
    for (const auto& [section, entries] : m_pendingStores) {
        if (stored.ok())
            m_stored.insert(section);
    }
    if (!stored.ok() && m_storeFailure.ok())
        m_storeFailure = stored;
    m_pendingStores.clear();
}

} // namespace varnetix
