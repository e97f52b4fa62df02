#include "station/discovery.h"

#include <QFile>

#include "core/element_record.h"
#include "core/event_log_line.h"

#include "core/number_text.h"
#include "core/paging_request.h"
#include "core/text_procedures.h"
#include "platform/byte_text.h"

namespace varnetix {

Discovery::Discovery(PagingView& window, ElementView& view, ElementTreeController& tree,
                     LevelMonitor& level, DatagramLink& link, OperatorDialogs& dialogs,
                     EventSink& log, const StationSettings& settings, QObject* parent)
    : QObject(parent), m_window(window), m_view(view), m_tree(tree), m_level(level), m_link(link),
      m_dialogs(dialogs), m_log(log), m_settings(settings) {
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setParent(this);
    m_timer1.setSingleShot(true);
    // A coarse timer may end the wait up to 5% early, and answers of the last 150 ms would then
    // be taken for configuration answers.
    m_timer1.setTimerType(Qt::PreciseTimer);
    connect(&m_timer1, &QTimer::timeout, this, [this] {
        endSteps();
        m_window.closeWindow();
    });
}

void Discovery::ConfirmAutoDiscovery() {
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
    m_answers = 0;
    m_view.ClearElementFields();
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
    recreateDatabase();
    // Every send names its destination, so the endpoint has no remote to save and restore.
    m_timer1.start(m_settings.pagingWaitMs);
    m_awaiting = true;
    const std::string request = PagingRequest();
    if (!m_link.sendBroadcast(toByteArray(request),
                              QString::fromStdString(m_settings.pagingDestination),
                              m_settings.pagingPort, m_settings.pagingOnEveryInterface)) {
        m_dialogs.critical(kApplicationTitle,
                           joinLines({QStringLiteral("Unable to send the paging request."),
                                      QStringLiteral("No Network Element can answer it.")}));
    }
}

void Discovery::recreateDatabase() {
    // The previous database stays beside the new one, so that a run on an unplugged network
    // can be undone by hand.
    const QString path = QString::fromStdString(m_settings.databasePath);
    const QString backup = path + QStringLiteral(".bak");
    if (QFile::exists(path)) {
        QFile::remove(backup);
        if (!QFile::rename(path, backup))
            QFile::remove(path);
    }
    QFile created(path);
    if (created.open(QIODevice::WriteOnly))
        created.close();
}

void Discovery::endSteps() {
    if (!m_awaiting)
        return;
    m_timer1.stop();
    m_awaiting = false;
    flushStores();
    m_log.record(event_category::kDiscovery, {},
                 QStringLiteral("Discovery ended: %1 answers stored").arg(m_answers));
    m_tree.Load_Config();
}

void Discovery::StoreDiscoveredElement(const FeedbackRecord& answer) {
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
    m_pendingStores.emplace_back(MacWithoutColons(r.ElementMAC), std::move(entries));
    ++m_answers;
    m_log.record(event_category::kDiscovery, fromBytes(r.ElementMAC),
                 QStringLiteral("Found %1 [%2] at %3")
                     .arg(fromBytes(TrimSpaces(StoredElementName(r.ElementName))),
                          fromBytes(r.ElementMAC), fromBytes(r.ElementIP)));
    if (m_pendingStores.size() >= kStoreBatch)
        flushStores();
}

void Discovery::flushStores() {
    if (m_pendingStores.empty())
        return;
    WriteSectionsToINI(m_pendingStores, m_settings.databasePath);
    m_pendingStores.clear();
}

} // namespace varnetix
