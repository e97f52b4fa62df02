// frmMain: the station's one window. It creates the panels, the controllers and the adapters
// they share, connects them, and runs the start-up sequence; the controllers carry the
// behaviour.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <memory>

#include "core/station_preferences.h"
#include "core/station_settings.h"
#include "platform/echo_probe.h"
#include "platform/echo_sweeper.h"
#include "platform/mac_resolver.h"
#include "platform/udp_endpoint.h"
#include "station/operator_dialogs.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace varnetix {

class AttenuationControl;
class ConfigurationExchange;
class DiagnosticsPanel;
class Discovery;
class ElementPanel;
class ElementSelection;
class ElementTreeController;
class ElementTreePanel;
class ElementView;
class ElementWatch;
class EventLog;
class EventLogFile;
class EventLogView;
class FindingsDock;
class InventoryExport;
class NetworkCheckController;
class FeedbackHandler;
class LevelMonitor;
class LoggedDialogs;
class PagingWindow;
class PingController;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Without a sweeper the elements are not watched.
    MainWindow(StationSettings settings, OperatorDialogs& dialogs, MacResolver& resolver,
               EchoProbe& probe, EchoSweeper* sweeper = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up after the single-instance test: false when the endpoint could not be bound
    // (the operator has been told; the program ends).
    bool Form_Load();

protected:
    void closeEvent(QCloseEvent* event) override;
    // No context menu that could hide the toolbar.
    QMenu* createPopupMenu() override { return nullptr; }

private:
    void createToolbar();
    void createMenus();
    void createStatusBar();
    void createLog(OperatorDialogs& dialogs);
    void createControllers(MacResolver& resolver, EchoProbe& probe, EchoSweeper* sweeper);
    void connectControllers();
    void toolbarClicked(int index);
    void showAbout();
    void editPreferences();
    void applyPreferences();
    void showNotice(const QString& notice);
    void clearNotice(const QString& notice);
    QString badPreferencesNotice() const;

    StationSettings m_settings;
    StationPreferences m_preferences;
    UdpEndpoint m_udpClient;

    QToolBar* m_toolbar = nullptr;
    std::array<QAction*, 8> m_toolbarButtons{}; // [1..7] as the toolbar counts; 3, 5 separators
    ElementTreePanel* m_treePanel = nullptr;
    ElementPanel* m_elementPanel = nullptr;
    DiagnosticsPanel* m_diagnosticsPanel = nullptr;
    PagingWindow* m_pagingWindow = nullptr;
    EventLogView* m_logView = nullptr;
    FindingsDock* m_findingsDock = nullptr;
    QLabel* m_watchSummary = nullptr;
    QLabel* m_discoverySummary = nullptr;
    QLabel* m_notice = nullptr;
    QStringList m_notices;        // shown in m_notice, joined by "; "
    QString m_logFailure;         // the notice of an event log that cannot be written
    QStringList m_badPreferences; // keys of the preferences file that read as their defaults

    std::unique_ptr<EventLogFile> m_logFile;
    std::unique_ptr<EventLog> m_log;
    std::unique_ptr<LoggedDialogs> m_dialogs;
    std::unique_ptr<ElementSelection> m_selection;
    std::unique_ptr<ElementTreeController> m_tree;
    std::unique_ptr<LevelMonitor> m_level;
    std::unique_ptr<PingController> m_ping;
    std::unique_ptr<ElementView> m_view;
    std::unique_ptr<ConfigurationExchange> m_exchange;
    std::unique_ptr<AttenuationControl> m_attenuation;
    std::unique_ptr<Discovery> m_discovery;
    std::unique_ptr<FeedbackHandler> m_feedback;
    std::unique_ptr<ElementWatch> m_watch;
    std::unique_ptr<NetworkCheckController> m_check;
    std::unique_ptr<InventoryExport> m_export;
};

// "Varnetix NMS v.3.0.0 - Halvoren Broadcast", from the program's version numbers.
QString stationTitle();

} // namespace varnetix
