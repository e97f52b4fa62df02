#include "station/station.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

#include "core/database_file.h"
#include "core/event_log_line.h"
#include "platform/event_log_file.h"
#include "platform/preferences_file.h"
#include "platform/station_networks.h"
#include "station/alarm_list.h"
#include "station/attenuation_control.h"
#include "station/configuration_exchange.h"
#include "station/database_backups.h"
#include "station/datagram_dispatch.h"
#include "station/discovery.h"
#include "station/element_model.h"
#include "station/element_selection.h"
#include "station/element_tree_controller.h"
#include "station/element_view.h"
#include "station/element_watch.h"
#include "station/event_log.h"
#include "station/feedback_handler.h"
#include "station/inventory_export.h"
#include "station/level_monitor.h"
#include "station/logged_dialogs.h"
#include "station/network_check_controller.h"
#include "station/ping_controller.h"
#include "station/silence_watch.h"
#include "station/spare_replacement.h"
#include "station/station_metrics.h"

namespace varnetix {

namespace {

EventLogLimits logLimits(const StationPreferences& preferences) {
    EventLogLimits limits;
    limits.maxFileBytes = std::int64_t{preferences.logFileKiB} * 1024;
    limits.fileCount = preferences.logFileCount;
    return limits;
}

} // namespace

QString stationTitle() {
    return QStringLiteral("Varnetix NMS v.%1.%2.%3 - Halvoren Broadcast")
        .arg(VARNETIX_VERSION_MAJOR)
        .arg(VARNETIX_VERSION_MINOR)
        .arg(VARNETIX_VERSION_PATCH);
}

std::unique_ptr<Station> openStation(const StationSettings& settings, OperatorDialogs& dialogs,
                                     MacResolver& resolver, EchoProbe& probe,
                                     SingleInstance& instance, EchoSweeper* sweeper) {
    if (!instance.acquire()) {
        dialogs.information(
            QStringLiteral("Halvoren Varnetix NMS"),
            QStringLiteral(
                "Halvoren Varnetix NMS is already running (check the icon in system tray)!"));
        return nullptr;
    }
    // Only the station that holds the lock may take what a crashed write left behind: another
    // process reading the database never writes it.
    removeStaleTemporaries(settings.databasePath);
    return std::make_unique<Station>(settings, dialogs, resolver, probe, sweeper);
}

Station::Station(StationSettings settings, OperatorDialogs& dialogs, MacResolver& resolver,
                 EchoProbe& probe, EchoSweeper* sweeper, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)), m_sweeper(sweeper),
      m_database(m_settings.databasePath) {
    m_endpoint.setObjectName(QStringLiteral("udpClient"));
    m_endpoint.setParent(this);
    if (!m_settings.preferencesPath.empty())
        m_preferences = PreferencesFile(QString::fromStdString(m_settings.preferencesPath))
                            .load(&m_badPreferences);
    createLog(dialogs);
    createControllers(resolver, probe, sweeper);
    connectControllers();
}

Station::~Station() = default;

OperatorDialogs& Station::dialogs() {
    return *m_dialogs;
}

void Station::createLog(OperatorDialogs& dialogs) {
    if (!m_settings.eventLogDirectory.empty()) {
        m_logFile = std::make_unique<EventLogFile>(
            QString::fromStdString(m_settings.eventLogDirectory), logLimits(m_preferences));
        connect(m_logFile.get(), &EventLogFile::writeFailed, this, [this](const QString& notice) {
            m_logFailure = notice;
            showNotice(notice);
        });
        connect(m_logFile.get(), &EventLogFile::writeResumed, this,
                [this] { clearNotice(m_logFailure); });
    }
    m_log = std::make_unique<EventLog>(m_logFile.get(), this);
    m_dialogs = std::make_unique<LoggedDialogs>(dialogs, *m_log);
}

void Station::createControllers(MacResolver& resolver, EchoProbe& probe, EchoSweeper* sweeper) {
    ElementDatabase& database = m_database;
    OperatorDialogs& dialogs = *m_dialogs;
    EventSink& log = *m_log;
    // The senders and the check judge addresses against the same networks of the station.
    std::function<std::vector<Subnet>()> networks = &stationSubnets;
    if (m_settings.stationNetworks)
        networks = [fixed = *m_settings.stationNetworks] { return fixed; };
    m_selection = std::make_unique<ElementSelection>(this);
    m_elements = std::make_unique<ElementModel>(this);
    m_alarms = std::make_unique<AlarmList>(
        log,
        [model = m_elements.get()](const std::string& section) {
            return model->indexOf(section).data(Qt::DisplayRole).toString();
        },
        this);
    m_tree = std::make_unique<ElementTreeController>(*m_elements, dialogs, database, this);
    m_level = std::make_unique<LevelMonitor>(m_views, *m_selection, database, m_endpoint, dialogs,
                                             log, m_settings, networks, this);
    m_ping = std::make_unique<PingController>(
        m_views, probe, dialogs, log, [this] { return m_views.editedConfiguration().ip; },
        [selection = m_selection.get()] { return selection->mac(); }, m_settings.pingRetryMs, this);
    m_view = std::make_unique<ElementView>(m_views, *m_selection, *m_tree, *m_level, *m_ping,
                                           dialogs, database, this);
    m_exchange = std::make_unique<ConfigurationExchange>(m_views, *m_selection, *m_tree, database,
                                                         m_endpoint, dialogs, log, m_settings,
                                                         networks, this);
    m_attenuation = std::make_unique<AttenuationControl>(*m_selection, database, m_endpoint,
                                                         dialogs, log, m_settings, networks, this);
    m_discovery = std::make_unique<Discovery>(m_views, *m_view, *m_tree, database, *m_level,
                                              m_endpoint, dialogs, log, m_settings, this);
    m_replacement = std::make_unique<SpareReplacement>(database, m_endpoint, probe, resolver,
                                                       dialogs, log, m_settings, networks, this);
    m_feedback = std::make_unique<FeedbackHandler>(*m_discovery, *m_exchange, *m_replacement,
                                                   *m_tree, resolver, dialogs, m_settings, this);
    if (sweeper)
        m_watch = std::make_unique<ElementWatch>(*m_elements, *sweeper, log,
                                                 m_settings.watchSecondMs, this);
    m_silence = std::make_unique<SilenceWatch>(
        *m_elements, database, m_endpoint, log, m_settings, networks,
        [discovery = m_discovery.get()] { return discovery->awaitingAnswers(); },
        [level = m_level.get()] { return level->polledAddress(); }, this);
    m_check = std::make_unique<NetworkCheckController>(m_views, log, database, networks, this);
    m_export = std::make_unique<InventoryExport>(
        dialogs, log, database,
        [watch = m_watch.get()](const std::string& section) {
            return watch ? watch->stateWord(section) : QString();
        },
        this);
    m_backups = std::make_unique<DatabaseBackups>(database, dialogs, log, this);
    m_metrics = std::make_unique<StationMetrics>(*this, this);
}

std::uint64_t Station::droppedLogLines() const {
    return m_logFile ? m_logFile->droppedLines() : 0;
}

void Station::connectControllers() {
    // A new role relays out the panel first, then the audio-level display.
    connect(m_selection.get(), &ElementSelection::roleChanged, this, [this](ElementRole role) {
        m_views.arrange(role);
        m_level->roleChanged(role);
    });
    connect(m_tree.get(), &ElementTreeController::listsEmptied, m_level.get(),
            &LevelMonitor::emptyBar);
    connect(&m_endpoint, &UdpEndpoint::datagramReceived, this,
            [this](const QByteArray& datagram, const QHostAddress& sender) {
                if (!dispatchDatagram(datagram, sender, *m_level, *m_silence, *m_feedback))
                    ++m_unroutedDatagrams;
            });
    connect(m_level.get(), &LevelMonitor::notice, this, &Station::showNotice);
    connect(m_attenuation.get(), &AttenuationControl::notice, this, &Station::showNotice);
    connect(m_discovery.get(), &Discovery::changesFound, m_elements.get(),
            [model = m_elements.get()](const std::set<std::string>& added,
                                       const std::set<std::string>& changed) {
                model->showChanges(added, changed);
            });
    connect(m_check.get(), &NetworkCheckController::warningsChanged, m_elements.get(),
            &ElementModel::showWarnings);
    // The check follows every change of the database.
    connect(&m_database, &ElementDatabase::changed, m_check.get(), &NetworkCheckController::check);
    // The last discovery's news compared another database.
    connect(m_backups.get(), &DatabaseBackups::restored, m_elements.get(),
            [model = m_elements.get()] { model->showChanges({}, {}); });
    // The tree follows the database; the element on screen may be gone with the old one, so the
    // panel is emptied as after a discovery.
    connect(m_backups.get(), &DatabaseBackups::restored, m_view.get(),
            &ElementView::clearElementFields);
    connect(&m_database, &ElementDatabase::changed, m_silence.get(), &SilenceWatch::followDatabase);
    if (m_watch) {
        connect(m_tree.get(), &ElementTreeController::elementsListed, m_watch.get(),
                &ElementWatch::watch);
        connect(m_watch.get(), &ElementWatch::notice, this, &Station::showNotice);
    }
    connectAlarms();
    connectMetrics();
}

void Station::connectAlarms() {
    AlarmList* alarms = m_alarms.get();
    connect(alarms, &AlarmList::changed, m_elements.get(),
            [this] { m_elements->showAlarms(m_alarms->alarms()); });
    // An element that leaves the database is no longer watched: its alarms clear.
    connect(m_tree.get(), &ElementTreeController::elementsListed, alarms,
            [alarms](const std::vector<ElementNode>& elements) {
                std::vector<std::string> sections;
                for (const ElementNode& element : elements)
                    sections.push_back(element.section);
                alarms->keepElements(sections);
            });
    connect(m_check.get(), &NetworkCheckController::errorsChanged, alarms,
            [alarms](const std::map<QString, QString>& errors) {
                alarms->follow(AlarmKind::Network, errors);
            });
    // Dead air: silence heard, or no level at all from an encoder that answers its echoes.
    SilenceWatch* silence = m_silence.get();
    connect(silence, &SilenceWatch::audioSilent, alarms,
            [alarms](const QString& mac) { alarms->raise(AlarmKind::Silent, mac); });
    connect(silence, &SilenceWatch::audioRestored, alarms,
            [alarms](const QString& mac) { alarms->clear(AlarmKind::Silent, mac); });
    m_levelLostCheck.setObjectName(QStringLiteral("tmrLevelLost"));
    connect(&m_levelLostCheck, &QTimer::timeout, this, &Station::followLostLevels);
    if (m_watch)
        connect(m_watch.get(), &ElementWatch::stateChanged, alarms,
                [alarms](const std::string& section, ElementState, ElementState to) {
                    const QString element = QString::fromStdString(section);
                    if (to == ElementState::Offline)
                        alarms->raise(AlarmKind::Offline, element);
                    else
                        alarms->clear(AlarmKind::Offline, element);
                });
}

void Station::followLostLevels() {
    std::map<QString, QString> lost;
    // Without the watch over echoes a dead unit and a hung audio engine look the same: none.
    if (m_watch)
        for (const std::string& section : m_silence->levelLostSections())
            if (m_watch->stateWord(section) == u"online")
                lost.emplace(QString::fromStdString(section), QString());
    m_alarms->follow(AlarmKind::NoLevel, lost);
}

void Station::connectMetrics() {
    // Both are read on the event loop at each scrape.
    m_metrics->setAudioReader([this](const std::string& section) -> std::optional<EncoderAudio> {
        const std::optional<AudioState> state = m_silence->state(section);
        if (state != AudioState::Audio && state != AudioState::Silent)
            return std::nullopt; // no sample while the level is unknown
        return EncoderAudio{
            state == AudioState::Silent,
            m_silence->lastDbfs(section).value_or(-std::numeric_limits<double>::infinity())};
    });
    m_metrics->setAlarmCounter([this](std::string_view kind, bool acknowledged) {
        const QString word = QString::fromLatin1(kind.data(), static_cast<qsizetype>(kind.size()));
        return static_cast<int>(std::count_if(
            m_alarms->alarms().begin(), m_alarms->alarms().end(), [&](const Alarm& alarm) {
                return alarm.isAcknowledged() == acknowledged && alarmKindWord(alarm.kind) == word;
            }));
    });
}

void Station::answerSignals(StationSignals::Hangup hangup) {
    m_signals = std::make_unique<StationSignals>(*this, hangup);
}

void Station::showNotice(const QString& notice) {
    if (m_notices.contains(notice))
        return;
    m_notices << notice;
    m_log->record(EventSeverity::Warning, event_category::kStation, {}, notice);
    emit noticesChanged(m_notices);
}

void Station::clearNotice(const QString& notice) {
    if (m_notices.removeAll(notice) > 0)
        emit noticesChanged(m_notices);
}

QString Station::badPreferencesNotice() const {
    return QStringLiteral("Invalid preferences read as their defaults: %1 (%2)")
        .arg(m_badPreferences.join(QStringLiteral(", ")),
             QString::fromStdString(m_settings.preferencesPath));
}

void Station::changePreferences(const StationPreferences& chosen) {
    if (chosen == m_preferences)
        return;
    if (!m_settings.preferencesPath.empty() &&
        !PreferencesFile(QString::fromStdString(m_settings.preferencesPath)).save(chosen)) {
        m_dialogs->critical(QStringLiteral("Preferences"),
                            joinLines({QStringLiteral("Unable to save the preferences to '%1'.")
                                           .arg(QString::fromStdString(m_settings.preferencesPath)),
                                       QStringLiteral("They apply until the station ends.")}));
    } else if (!m_badPreferences.isEmpty()) {
        // Every value is written, the invalid ones too.
        clearNotice(badPreferencesNotice());
        m_badPreferences.clear();
    }
    m_preferences = chosen;
    applyPreferences();
}

void Station::applyPreferences() {
    if (m_watch)
        m_watch->setPreferences(m_preferences.watchIntervalSeconds,
                                m_preferences.missesUntilOffline);
    if (m_logFile)
        m_logFile->setLimits(logLimits(m_preferences));
    m_silence->setPreferences(m_preferences);
    // The command line's endpoint holds for its run.
    m_metrics->serve(m_settings.metricsEndpoint.empty() ? m_preferences.metricsEndpoint
                                                        : m_settings.metricsEndpoint);
}

bool Station::start() {
    // First, so that the boxes of the start-up follow it in the log.
    m_log->record(event_category::kStation, {},
                  QStringLiteral("%1 started, database %2")
                      .arg(stationTitle(), QString::fromStdString(m_settings.databasePath)));
    m_running = true;
    if (!m_badPreferences.isEmpty())
        showNotice(badPreferencesNotice());
    m_level->disableCommands();
    m_tree->reload();
    // A signal while a box of the reload was open has ended the station already.
    if (m_ended)
        return false;
    if (!m_endpoint.bind(m_settings.localPort)) {
        m_dialogs->critical(kApplicationTitle,
                            QStringLiteral("Unable to use UDP port 2976: occupied."));
        m_running = false;
        return false;
    }
    m_ping->setCountdown(3);
    m_levelLostCheck.start(m_settings.audioSecondMs);
    m_silence->followDatabase();
    applyPreferences();
    m_check->check();
    return true;
}

void Station::stop() {
    if (std::exchange(m_running, false))
        m_log->record(event_category::kStation, {}, QStringLiteral("Station ended"));
    m_silence->stopWatching();
    m_levelLostCheck.stop();
    m_endpoint.close();
    m_metrics->serve({});
    // Lines wait for the disk up to half a second: they must not die with the process.
    if (m_logFile)
        m_logFile->flush();
}

void Station::end(const QString& reason) {
    m_discovery->abandon();
    if (m_running)
        m_log->record(event_category::kStation, {}, reason);
    m_ended = true;
    stop();
}

void Station::reloadPreferences() {
    if (m_settings.preferencesPath.empty())
        return;
    const QString path = QString::fromStdString(m_settings.preferencesPath);
    QStringList bad;
    const StationPreferences read = PreferencesFile(path).load(&bad);
    if (bad != m_badPreferences) {
        clearNotice(badPreferencesNotice());
        m_badPreferences = bad;
        if (!m_badPreferences.isEmpty())
            showNotice(badPreferencesNotice());
    }
    m_log->record(event_category::kStation, {},
                  QStringLiteral("Preferences read from %1").arg(path));
    if (read != m_preferences) {
        m_preferences = read;
        applyPreferences();
    }
    // The file is opened for every write: the flush starts the new one at once.
    if (m_logFile)
        m_logFile->flush();
}

} // namespace varnetix
