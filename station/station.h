// The station: the one UDP endpoint, the event log, the operator's preferences and every
// controller, built once from the settings and the adapters. A face (the window, a headless
// service, a test) attaches its views and drives the station through its controllers.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "core/station_preferences.h"
#include "core/station_settings.h"
#include "platform/echo_probe.h"
#include "platform/echo_sweeper.h"
#include "platform/mac_resolver.h"
#include "platform/station_instance.h"
#include "platform/udp_endpoint.h"
#include "station/element_database.h"
#include "station/operator_dialogs.h"
#include "station/station_signals.h"
#include "station/station_views.h"

namespace varnetix {

class AlarmList;
class AttenuationControl;
class ConfigurationExchange;
class DatabaseBackups;
class Discovery;
class ElementModel;
class ElementSelection;
class ElementTreeController;
class ElementView;
class ElementWatch;
class EventLog;
class EventLogFile;
class FeedbackHandler;
class InventoryExport;
class LevelMonitor;
class LoggedDialogs;
class NetworkCheckController;
class PingController;
class SilenceWatch;
class StationMetrics;
class SpareReplacement;

class Station : public QObject {
    Q_OBJECT
public:
    // Without a sweeper the elements are not watched.
    Station(StationSettings settings, OperatorDialogs& dialogs, MacResolver& resolver,
            EchoProbe& probe, EchoSweeper* sweeper = nullptr, QObject* parent = nullptr);
    ~Station() override;

    // The face's views; before start(), so that the first tree build is shown.
    void attachViews(const StationViews& views) { m_views.attach(views); }

    // The start-up after the single-instance test: false when the endpoint could not be bound
    // (the operator has been told; the program ends).
    bool start();
    // The end line written and the log flushed, the endpoint closed; the database is not
    // written.
    void stop();
    // The end the system asked for (SIGTERM, SIGINT, named in the log): a discovery under way
    // is undone first, then stop(). A start-up under way then fails.
    void end(const QString& reason);
    bool ended() const { return m_ended; }
    // For the program, not a test: from now on SIGTERM and SIGINT end the station (see
    // StationSignals), and SIGHUP as `hangup` says.
    void answerSignals(StationSignals::Hangup hangup);

    const StationSettings& settings() const { return m_settings; }
    const StationPreferences& preferences() const { return m_preferences; }
    // Stores and applies the operator's new preferences; they apply even when they cannot be
    // stored (the operator is told).
    void changePreferences(const StationPreferences& chosen);
    // The preferences file read again (edited by hand, then SIGHUP) and applied; the log is
    // written out, into a new file where someone rotated the old one away.
    void reloadPreferences();

    // The boxes, each also written to the event log.
    OperatorDialogs& dialogs();
    EventLog& log() { return *m_log; }
    UdpEndpoint& endpoint() { return m_endpoint; }
    ElementDatabase& database() { return m_database; }
    ElementSelection& selection() { return *m_selection; }
    // The elements with what the station knows of each now; the tree shows it.
    ElementModel& elements() { return *m_elements; }
    ElementTreeController& tree() { return *m_tree; }
    LevelMonitor& level() { return *m_level; }
    PingController& ping() { return *m_ping; }
    ElementView& view() { return *m_view; }
    ConfigurationExchange& exchange() { return *m_exchange; }
    AttenuationControl& attenuation() { return *m_attenuation; }
    Discovery& discovery() { return *m_discovery; }
    FeedbackHandler& feedback() { return *m_feedback; }
    ElementWatch* watch() { return m_watch.get(); } // null when the elements are not watched
    // The audio of every encoder, watched for silence.
    SilenceWatch& silence() { return *m_silence; }
    NetworkCheckController& check() { return *m_check; }
    InventoryExport& inventory() { return *m_export; }
    // What needs a person: raised by the watches and the check, acknowledged by the operator.
    AlarmList& alarms() { return *m_alarms; }
    DatabaseBackups& backups() { return *m_backups; }
    // The Prometheus metrics and their endpoint.
    StationMetrics& metrics() { return *m_metrics; }

    // Datagrams dropped for a length no packet of the link has, echo replies the watch did not
    // take, and event lines the log found no room for, since the start.
    quint64 unroutedDatagrams() const { return m_unroutedDatagrams; }
    quint64 rejectedEchoReplies() const { return m_sweeper ? m_sweeper->rejectedReplies() : 0; }
    std::uint64_t droppedLogLines() const;
    SpareReplacement& replacement() { return *m_replacement; }

    // Background trouble: told once in the log and kept until it is over.
    void showNotice(const QString& notice);
    void clearNotice(const QString& notice);
    const QStringList& notices() const { return m_notices; }

signals:
    void noticesChanged(const QStringList& notices);

private:
    void createLog(OperatorDialogs& dialogs);
    void createControllers(MacResolver& resolver, EchoProbe& probe, EchoSweeper* sweeper);
    void connectControllers();
    void connectAlarms();
    void connectMetrics();
    // The encoders online whose level has been unknown for the silence time.
    void followLostLevels();
    void applyPreferences();
    QString badPreferencesNotice() const;

    StationSettings m_settings;
    StationPreferences m_preferences;
    QStringList m_badPreferences; // keys of the preferences file that read as their defaults
    QStringList m_notices;
    QString m_logFailure;   // the notice of an event log that cannot be written
    bool m_running = false; // from the start line to the end line
    QTimer m_levelLostCheck;
    bool m_ended = false; // by end()
    UdpEndpoint m_endpoint;
    EchoSweeper* m_sweeper;
    quint64 m_unroutedDatagrams = 0;
    ElementDatabase m_database;
    ViewRelay m_views;

    std::unique_ptr<EventLogFile> m_logFile;
    std::unique_ptr<EventLog> m_log;
    std::unique_ptr<LoggedDialogs> m_dialogs;
    std::unique_ptr<ElementSelection> m_selection;
    std::unique_ptr<ElementModel> m_elements; // before the controllers that draw on it
    std::unique_ptr<AlarmList> m_alarms;
    std::unique_ptr<ElementTreeController> m_tree;
    std::unique_ptr<LevelMonitor> m_level;
    std::unique_ptr<PingController> m_ping;
    std::unique_ptr<ElementView> m_view;
    std::unique_ptr<ConfigurationExchange> m_exchange;
    std::unique_ptr<AttenuationControl> m_attenuation;
    std::unique_ptr<Discovery> m_discovery;
    std::unique_ptr<SpareReplacement> m_replacement; // before the feedback that answers it
    std::unique_ptr<FeedbackHandler> m_feedback;
    std::unique_ptr<ElementWatch> m_watch;
    std::unique_ptr<SilenceWatch> m_silence;
    std::unique_ptr<NetworkCheckController> m_check;
    std::unique_ptr<InventoryExport> m_export;
    std::unique_ptr<DatabaseBackups> m_backups;
    std::unique_ptr<StationMetrics> m_metrics;
    std::unique_ptr<StationSignals> m_signals;
};

// The first steps of the start-up: the single-instance test, then what crashed writes left
// behind, then the station. nullptr when another station runs (the operator has been told).
std::unique_ptr<Station> openStation(const StationSettings& settings, OperatorDialogs& dialogs,
                                     MacResolver& resolver, EchoProbe& probe,
                                     SingleInstance& instance, EchoSweeper* sweeper = nullptr);

// "Varnetix NMS v.3.0.0 - Halvoren Broadcast", from the program's version numbers.
QString stationTitle();

} // namespace varnetix
