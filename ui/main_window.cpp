#include "ui/main_window.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "station/alarm_list.h"
#include "station/attenuation_control.h"
#include "station/configuration_exchange.h"
#include "station/discovery.h"
#include "station/element_model.h"
#include "station/element_selection.h"
#include "station/element_tree_controller.h"
#include "station/element_view.h"
#include "station/element_watch.h"
#include "station/inventory_export.h"
#include "station/level_monitor.h"
#include "station/network_check_controller.h"
#include "station/ping_controller.h"
#include "station/silence_watch.h"
#include "station/spare_replacement.h"
#include "ui/alarms_dock.h"
#include "ui/backups_dialog.h"
#include "ui/diagnostics_panel.h"
#include "ui/element_panel.h"
#include "ui/element_tree_panel.h"
#include "ui/event_log_view.h"
#include "ui/findings_dock.h"
#include "ui/paging_window.h"
#include "ui/pictures.h"
#include "ui/preferences_dialog.h"
#include "ui/replace_element_dialog.h"
#include "ui/tray_light.h"

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

MainWindow::MainWindow(Station& station, QWidget* parent)
    : QMainWindow(parent), m_station(station) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Varnetix NMS - Halvoren Broadcast"));
    createToolbar();

    m_treePanel = new ElementTreePanel(m_station.elements());
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
    m_logView = new EventLogView(m_station.log(), this);
    addDockWidget(Qt::BottomDockWidgetArea, m_logView);
    m_logView->hide();
    m_findingsDock = new FindingsDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, m_findingsDock);
    m_findingsDock->hide();
    m_alarmsDock = new AlarmsDock(m_station.alarms(), this);
    addDockWidget(Qt::BottomDockWidgetArea, m_alarmsDock);
    m_alarmsDock->hide();
    m_trayLight = new TrayLight(m_station.alarms(), *this, this);

    QWidget::setTabOrder(m_treePanel->tree(), m_elementPanel->firstField());
    QWidget::setTabOrder(m_elementPanel->lastField(), m_diagnosticsPanel->pingReadout());

    StationViews views;
    views.editor = m_elementPanel;
    views.level = m_diagnosticsPanel;
    views.ping = m_diagnosticsPanel;
    views.paging = m_pagingWindow;
    views.findings = m_findingsDock;
    m_station.attachViews(views);
    createMenus();
    createStatusBar();
    connectStation();
}

MainWindow::~MainWindow() {
    // The station outlives its window, and must not draw on panels that are gone.
    m_station.attachViews({});
}
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
                             &m_station.inventory(), &InventoryExport::exportInventory),
          "actionExport");
    named(station->addAction(QStringLiteral("&Backups..."), this, &MainWindow::showBackups),
          "actionBackups");
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
    QAction* replace = named(element->addAction(QStringLiteral("Replace &missing element..."), this,
                                                &MainWindow::replaceMissingElement),
                             "actionReplaceElement");
    connect(&m_station.replacement(), &SpareReplacement::busyChanged, replace,
            [replace](bool busy) { replace->setEnabled(!busy); });
    element->addSeparator();
    element->addAction(command(kButtonStartLevel, QStringLiteral("Start &audio monitoring"),
                               QKeySequence(Qt::CTRL | Qt::Key_L)));
    element->addAction(command(kButtonStopLevel, QStringLiteral("Sto&p audio monitoring"),
                               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L)));
    element->addSeparator();
    named(element->addAction(QStringLiteral("&Check network"), QKeySequence(Qt::CTRL | Qt::Key_K),
                             this,
                             [this] {
                                 m_station.check().check();
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
    QAction* alarms = m_alarmsDock->toggleViewAction();
    alarms->setText(QStringLiteral("&Alarms"));
    alarms->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    view->addAction(named(alarms, "actionAlarms"));

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

void MainWindow::editPreferences() {
    PreferencesDialog dialog(m_station.preferences(), m_station.dialogs(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_station.changePreferences(dialog.preferences());
}

void MainWindow::showBackups() {
    BackupsDialog dialog(m_station.backups(), m_station.database(), this);
    dialog.exec();
}

void MainWindow::replaceMissingElement() {
    SpareReplacement& replacement = m_station.replacement();
    ReplacementCandidates candidates = replacement.candidates();
    if (candidates.missing.empty()) {
        m_station.dialogs().information(
            QStringLiteral("Replace missing element"),
            joinLines({QStringLiteral("The last discovery found no element missing."),
                       QStringLiteral("Connect the spare in the failed unit's place and run a "
                                      "discovery: the failed unit is then missing, the spare "
                                      "new.")}));
        return;
    }
    ReplaceElementDialog dialog(replacement, std::move(candidates), this);
    if (dialog.exec() == QDialog::Accepted)
        replacement.replace(dialog.missing(), dialog.spare());
}

void MainWindow::showAbout() {
    m_station.dialogs().information(
        QStringLiteral("About Varnetix NMS"),
        joinLines({stationTitle(), QStringLiteral("Network management station of the Varnetix IP "
                                                  "studio-to-transmitter audio link.")}));
}

void MainWindow::connectStation() {
    Station& s = m_station;
    connect(&s.selection(), &ElementSelection::macCaptionChanged, m_elementPanel,
            &ElementPanel::showMacCaption);
    connect(&s.tree(), &ElementTreeController::encodersListed, m_elementPanel,
            &ElementPanel::setEncoderChoices);
    connect(&s.level(), &LevelMonitor::commandsChanged, this, [this](bool start, bool stop) {
        m_toolbarButtons[kButtonStartLevel]->setEnabled(start);
        m_toolbarButtons[kButtonStopLevel]->setEnabled(stop);
    });
    connect(m_elementPanel, &ElementPanel::attenuationChanged, &s.attenuation(),
            &AttenuationControl::attenuationChanged);
    connect(m_diagnosticsPanel, &DiagnosticsPanel::pingClicked, &s.ping(),
            &PingController::clicked);
    connect(m_treePanel, &ElementTreePanel::nodeActivated, &s.view(), &ElementView::loadElement);
    connect(&s, &Station::noticesChanged, this, [this](const QStringList& notices) {
        m_notice->setText(notices.join(QStringLiteral("; ")));
    });
    connect(&s.discovery(), &Discovery::changesFound, this,
            [this](const std::set<std::string>&, const std::set<std::string>&,
                   const QString& summary) { m_discoverySummary->setText(summary); });
    connect(m_findingsDock, &FindingsDock::elementChosen, m_treePanel, &ElementTreePanel::activate);
    connect(m_alarmsDock, &AlarmsDock::elementChosen, m_treePanel, &ElementTreePanel::activate);
    if (ElementWatch* watch = s.watch())
        connect(watch, &ElementWatch::summaryChanged, this, [this](const QString& summary) {
            m_echoSummary = summary;
            showWatchSummary();
        });
    connect(&s.silence(), &SilenceWatch::summaryChanged, this, [this](const QString& addition) {
        m_audioSummary = addition;
        showWatchSummary();
    });
}

void MainWindow::showWatchSummary() {
    m_watchSummary->setText(QString::fromStdString(
        JoinSummaries(m_echoSummary.toStdString(), m_audioSummary.toStdString())));
}

bool MainWindow::start() {
    if (!m_station.start())
        return false;
    setWindowTitle(stationTitle());
    return true;
}

void MainWindow::toolbarClicked(int index) {
    switch (index) {
    case kButtonDiscover:
        m_station.discovery().confirmDiscovery();
        break;
    case kButtonRefresh:
        m_station.view().reloadElementTree();
        break;
    case kButtonSave:
        m_station.exchange().sendConfiguration();
        break;
    case kButtonStartLevel:
        m_station.level().start();
        break;
    case kButtonStopLevel:
        m_station.level().stop();
        break;
    default: // separators and unknown indexes do nothing
        break;
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_station.stop();
    QMainWindow::closeEvent(event);
}

} // namespace varnetix
