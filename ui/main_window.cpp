#include "ui/main_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/event_log_line.h"
#include "platform/event_log_file.h"
#include "platform/preferences_file.h"
#include "platform/station_networks.h"
#include "station/attenuation_control.h"
#include "station/configuration_exchange.h"
#include "station/datagram_dispatch.h"
#include "station/discovery.h"
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
#include "ui/diagnostics_panel.h"
#include "ui/element_panel.h"
#include "ui/element_tree_panel.h"
#include "ui/event_log_view.h"
#include "ui/findings_dock.h"
#include "ui/paging_window.h"
#include "ui/pictures.h"
#include "ui/preferences_dialog.h"

namespace varnetix {

namespace {

// Toolbar button indexes, counted from 1 as the operator's toolbar has them.
enum ToolbarButton {
    kButtonDiscover = 1,
    kButtonRefresh = 2,
    kButtonSave = 4,
    kButtonStartLevel = 6,
    kButtonStopLevel = 7,
};

} // namespace

QString stationTitle() {
    return QStringLiteral("Varnetix NMS v.%1.%2.%3 - Halvoren Broadcast")
        .arg(VARNETIX_VERSION_MAJOR)
        .arg(VARNETIX_VERSION_MINOR)
        .arg(VARNETIX_VERSION_PATCH);
}

MainWindow::MainWindow(StationSettings settings, OperatorDialogs& dialogs, MacResolver& resolver,
                       EchoProbe& probe, EchoSweeper* sweeper, QWidget* parent)
    : QMainWindow(parent), m_settings(std::move(settings)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Varnetix NMS - Halvoren Broadcast"));
    m_udpClient.setObjectName(QStringLiteral("udpClient"));
    m_udpClient.setParent(this);
    if (!m_settings.preferencesPath.empty())
        m_preferences = PreferencesFile(QString::fromStdString(m_settings.preferencesPath))
                            .load(&m_badPreferences);
    createLog(dialogs);
    createToolbar();

    m_treePanel = new ElementTreePanel;
    m_elementPanel = new ElementPanel;
    m_diagnosticsPanel = new DiagnosticsPanel;
    auto* central = new QWidget;
    auto* columns = new QHBoxLayout(central);
    auto* right = new QVBoxLayout;
    right->addWidget(m_elementPanel, 1);
    right->addWidget(m_diagnosticsPanel);
    // Extra room goes to the element tree.
    columns->addWidget(m_treePanel, 1);
    columns->addLayout(right, 0);
    setCentralWidget(central);
    m_pagingWindow = new PagingWindow(this);
    m_logView = new EventLogView(*m_log, this);
    addDockWidget(Qt::BottomDockWidgetArea, m_logView);
    m_logView->hide();
    m_findingsDock = new FindingsDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, m_findingsDock);
    m_findingsDock->hide();

    QWidget::setTabOrder(m_treePanel->tree(), m_elementPanel->firstField());
    QWidget::setTabOrder(m_elementPanel->lastField(), m_diagnosticsPanel->pingReadout());

    createControllers(resolver, probe, sweeper);
    createMenus();
    createStatusBar();
    connectControllers();
}

MainWindow::~MainWindow() = default;

void MainWindow::createToolbar() {
    m_toolbar = addToolBar(QStringLiteral("Toolbar1"));
    m_toolbar->setObjectName(QStringLiteral("Toolbar1"));
    m_toolbar->setIconSize(QSize(16, 16));
    m_toolbar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->toggleViewAction()->setVisible(false);
    const struct {
        int index;
        Picture picture;
        const char* tooltip;
    } buttons[] = {{kButtonDiscover, kPictureDiscover, "Discover elements"},
                   {kButtonRefresh, kPictureRefresh, "Refresh list"},
                   {kButtonSave, kPictureSave, "Save changes"},
                   {kButtonStartLevel, kPictureStartLevel, "Start audio monitoring"},
                   {kButtonStopLevel, kPictureStopLevel, "Stop audio monitoring"}};
    int next = 0;
    for (const auto& button : buttons) {
        while (++next < button.index)
            m_toolbarButtons[static_cast<std::size_t>(next)] = m_toolbar->addSeparator();
        QAction* action = m_toolbar->addAction(picture(button.picture), QString());
        action->setToolTip(QLatin1String(button.tooltip));
        action->setObjectName(QStringLiteral("Toolbar1Button%1").arg(button.index));
        m_toolbarButtons[static_cast<std::size_t>(button.index)] = action;
        const int index = button.index;
        connect(action, &QAction::triggered, this, [this, index] { toolbarClicked(index); });
        if (QWidget* widget = m_toolbar->widgetForAction(action)) {
            widget->setAccessibleName(QLatin1String(button.tooltip));
            widget->setObjectName(action->objectName());
        }
    }
}

namespace {

EventLogLimits logLimits(const StationPreferences& preferences) {
    EventLogLimits limits;
    limits.maxFileBytes = std::int64_t{preferences.logFileKiB} * 1024;
    limits.fileCount = preferences.logFileCount;
    return limits;
}

} // namespace

void MainWindow::createLog(OperatorDialogs& dialogs) {
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

void MainWindow::createMenus() {
    // The menus offer every toolbar command by name, with a shortcut; they are the same actions,
    // so they are enabled and disabled together. Commands beyond the toolbar's live here only.
    const auto command = [this](int index, const QString& text, const QKeySequence& shortcut) {
        QAction* action = m_toolbarButtons[static_cast<std::size_t>(index)];
        action->setText(text);
        action->setShortcut(shortcut);
        return action;
    };
    const auto named = [](QAction* action, const char* name) {
        action->setObjectName(QLatin1String(name));
        return action;
    };
    QMenu* station = menuBar()->addMenu(QStringLiteral("&Station"));
    station->setObjectName(QStringLiteral("menuStation"));
    station->addAction(command(kButtonDiscover, QStringLiteral("&Discover elements..."),
                               QKeySequence(Qt::CTRL | Qt::Key_D)));
    station->addAction(
        command(kButtonRefresh, QStringLiteral("&Refresh list"), QKeySequence::Refresh));
    station->addSeparator();
    named(station->addAction(QStringLiteral("&Export..."), QKeySequence(Qt::CTRL | Qt::Key_E),
                             m_export.get(), &InventoryExport::exportInventory),
          "actionExport");
    named(station->addAction(QStringLiteral("&Preferences..."),
                             QKeySequence(Qt::CTRL | Qt::Key_Comma), this,
                             &MainWindow::editPreferences),
          "actionPreferences");
    station->addSeparator();
    named(station->addAction(QStringLiteral("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q), this,
                             &QWidget::close),
          "actionQuit");

    QMenu* element = menuBar()->addMenu(QStringLiteral("&Element"));
    element->setObjectName(QStringLiteral("menuElement"));
    element->addAction(command(kButtonSave, QStringLiteral("&Save changes"), QKeySequence::Save));
    element->addSeparator();
    element->addAction(command(kButtonStartLevel, QStringLiteral("Start &audio monitoring"),
                               QKeySequence(Qt::CTRL | Qt::Key_L)));
    element->addAction(command(kButtonStopLevel, QStringLiteral("Sto&p audio monitoring"),
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L)));
    element->addSeparator();
    named(element->addAction(QStringLiteral("&Check network"), QKeySequence(Qt::CTRL | Qt::Key_K),
                             this,
                             [this] {
                                 m_check->check();
                                 m_findingsDock->show();
                             }),
          "actionCheckNetwork");

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("menuView"));
    QAction* log = m_logView->toggleViewAction();
    log->setText(QStringLiteral("Event &log"));
    log->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_J));
    view->addAction(named(log, "actionEventLog"));
    QAction* findings = m_findingsDock->toggleViewAction();
    findings->setText(QStringLiteral("Network check &findings"));
    findings->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K));
    view->addAction(named(findings, "actionFindings"));

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    named(help->addAction(QStringLiteral("&About Varnetix NMS"), this, &MainWindow::showAbout),
          "actionAbout");
}

void MainWindow::createStatusBar() {
    const auto label = [this](const char* name) {
        auto* shown = new QLabel;
        shown->setObjectName(QLatin1String(name));
        statusBar()->addPermanentWidget(shown);
        return shown;
    };
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    m_notice = label("lblNotice");
    m_discoverySummary = label("lblDiscoverySummary");
    m_watchSummary = label("lblWatchSummary");
}

void MainWindow::showNotice(const QString& notice) {
    // Background trouble is told once, here, never in a box.
    if (m_notices.contains(notice))
        return;
    m_notices << notice;
    m_notice->setText(m_notices.join(QStringLiteral("; ")));
    m_log->record(EventSeverity::Warning, event_category::kStation, {}, notice);
}

void MainWindow::clearNotice(const QString& notice) {
    if (m_notices.removeAll(notice) > 0)
        m_notice->setText(m_notices.join(QStringLiteral("; ")));
}

QString MainWindow::badPreferencesNotice() const {
    return QStringLiteral("Invalid preferences read as their defaults: %1 (%2)")
        .arg(m_badPreferences.join(QStringLiteral(", ")),
             QString::fromStdString(m_settings.preferencesPath));
}

void MainWindow::editPreferences() {
    PreferencesDialog dialog(m_preferences, *m_dialogs, this);
    if (dialog.exec() != QDialog::Accepted || dialog.preferences() == m_preferences)
        return;
    const StationPreferences chosen = dialog.preferences();
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

void MainWindow::applyPreferences() {
    if (m_watch)
        m_watch->setPreferences(m_preferences.watchIntervalSeconds,
                                m_preferences.missesUntilOffline);
    if (m_logFile)
        m_logFile->setLimits(logLimits(m_preferences));
}

void MainWindow::showAbout() {
    m_dialogs->information(
        QStringLiteral("About Varnetix NMS"),
        joinLines({stationTitle(), QStringLiteral("Network management station of the Varnetix IP "
                                                  "studio-to-transmitter audio link.")}));
}

void MainWindow::createControllers(MacResolver& resolver, EchoProbe& probe, EchoSweeper* sweeper) {
    const std::string& path = m_settings.databasePath;
    OperatorDialogs& dialogs = *m_dialogs;
    EventSink& log = *m_log;
    // The senders and the check judge addresses against the same networks of the station.
    std::function<std::vector<Subnet>()> networks = &stationSubnets;
    if (m_settings.stationNetworks)
        networks = [fixed = *m_settings.stationNetworks] { return fixed; };
    m_selection = std::make_unique<ElementSelection>(this);
    m_tree = std::make_unique<ElementTreeController>(*m_treePanel, dialogs, path, this);
    m_level = std::make_unique<LevelMonitor>(*m_diagnosticsPanel, *m_selection, m_udpClient,
                                             dialogs, log, m_settings, networks, this);
    m_ping = std::make_unique<PingController>(
        *m_diagnosticsPanel, probe, dialogs, log,
        [panel = m_elementPanel] { return panel->editedConfiguration().ip; },
        [selection = m_selection.get()] { return selection->mac(); }, m_settings.pingRetryMs, this);
    m_view = std::make_unique<ElementView>(*m_elementPanel, *m_selection, *m_tree, *m_level,
                                           *m_ping, dialogs, path, this);
    m_exchange =
        std::make_unique<ConfigurationExchange>(*m_elementPanel, *m_selection, *m_tree, m_udpClient,
                                                dialogs, log, m_settings, networks, this);
    m_attenuation = std::make_unique<AttenuationControl>(*m_selection, m_udpClient, dialogs, log,
                                                         m_settings, networks, this);
    m_discovery = std::make_unique<Discovery>(*m_pagingWindow, *m_view, *m_tree, *m_level,
                                              m_udpClient, dialogs, log, m_settings, this);
    m_feedback = std::make_unique<FeedbackHandler>(*m_discovery, *m_exchange, *m_tree, resolver,
                                                   dialogs, m_settings, this);
    if (sweeper)
        m_watch = std::make_unique<ElementWatch>(*m_treePanel, *sweeper, log,
                                                 m_settings.watchSecondMs, this);
    m_check = std::make_unique<NetworkCheckController>(*m_findingsDock, log, path, networks, this);
    m_export = std::make_unique<InventoryExport>(
        dialogs, log, path,
        [watch = m_watch.get()](const std::string& section) {
            return watch ? watch->stateWord(section) : QString();
        },
        this);
}

void MainWindow::connectControllers() {
    // A new role relays out the panel first, then the audio-level display.
    connect(m_selection.get(), &ElementSelection::roleChanged, m_elementPanel,
            &ElementPanel::arrange);
    connect(m_selection.get(), &ElementSelection::roleChanged, m_level.get(),
            &LevelMonitor::roleChanged);
    connect(m_selection.get(), &ElementSelection::macCaptionChanged, m_elementPanel,
            &ElementPanel::showMacCaption);
    connect(m_tree.get(), &ElementTreeController::encodersListed, m_elementPanel,
            &ElementPanel::setEncoderChoices);
    connect(m_tree.get(), &ElementTreeController::listsEmptied, m_level.get(),
            &LevelMonitor::emptyBar);
    connect(m_level.get(), &LevelMonitor::commandsChanged, this, [this](bool start, bool stop) {
        m_toolbarButtons[kButtonStartLevel]->setEnabled(start);
        m_toolbarButtons[kButtonStopLevel]->setEnabled(stop);
    });
    connect(m_elementPanel, &ElementPanel::attenuationChanged, m_attenuation.get(),
            &AttenuationControl::attenuationChanged);
    connect(m_diagnosticsPanel, &DiagnosticsPanel::pingClicked, m_ping.get(),
            &PingController::clicked);
    connect(m_treePanel, &ElementTreePanel::nodeActivated, m_view.get(), &ElementView::NodeClick);
    connect(&m_udpClient, &UdpEndpoint::DataArrival, this,
            [this](const QByteArray& datagram, const QHostAddress& sender) {
                dispatchDatagram(datagram, sender, *m_level, *m_feedback);
            });
    connect(m_level.get(), &LevelMonitor::notice, this, &MainWindow::showNotice);
    connect(m_attenuation.get(), &AttenuationControl::notice, this, &MainWindow::showNotice);
    connect(m_discovery.get(), &Discovery::changesFound, this,
            [this](const std::set<std::string>& added, const std::set<std::string>& changed,
                   const QString& summary) {
                m_treePanel->showChanges(added, changed);
                m_discoverySummary->setText(summary);
                m_check->check();
            });
    connect(m_exchange.get(), &ConfigurationExchange::answerStored, m_check.get(),
            &NetworkCheckController::check);
    connect(m_check.get(), &NetworkCheckController::warningsChanged, m_treePanel,
            &ElementTreePanel::showWarnings);
    connect(m_findingsDock, &FindingsDock::elementChosen, m_treePanel, &ElementTreePanel::activate);
    if (m_watch) {
        connect(m_tree.get(), &ElementTreeController::elementsListed, m_watch.get(),
                &ElementWatch::watch);
        connect(m_watch.get(), &ElementWatch::summaryChanged, m_watchSummary, &QLabel::setText);
        connect(m_watch.get(), &ElementWatch::notice, this, &MainWindow::showNotice);
    }
}

bool MainWindow::Form_Load() {
    // First, so that the boxes of the start-up follow it in the log.
    m_log->record(event_category::kStation, {},
                  QStringLiteral("%1 started, database %2")
                      .arg(stationTitle(), QString::fromStdString(m_settings.databasePath)));
    if (!m_badPreferences.isEmpty())
        showNotice(badPreferencesNotice());
    m_level->disableCommands();
    m_tree->Load_Config();
    if (!m_udpClient.Bind(m_settings.localPort)) {
        m_dialogs->critical(kApplicationTitle,
                            QStringLiteral("Unable to use UDP port 2976: occupied."));
        return false;
    }
    m_ping->setCountdown(3);
    setWindowTitle(stationTitle());
    applyPreferences();
    m_check->check();
    return true;
}

void MainWindow::toolbarClicked(int index) {
    switch (index) {
    case kButtonDiscover:
        m_discovery->ConfirmAutoDiscovery();
        break;
    case kButtonRefresh:
        m_view->ReloadElementTree();
        break;
    case kButtonSave:
        m_exchange->SendConfig();
        break;
    case kButtonStartLevel:
        m_level->start();
        break;
    case kButtonStopLevel:
        m_level->stop();
        break;
    default: // separators and unknown indexes do nothing
        break;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_udpClient.isBound())
        m_log->record(event_category::kStation, {}, QStringLiteral("Station ended"));
    m_udpClient.Close();
    QMainWindow::closeEvent(event);
}

} // namespace varnetix
