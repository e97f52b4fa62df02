// frmMain: the station's window. It creates the panels, attaches them to the station as its
// views and connects them to the station's controllers, which carry the behaviour.
#pragma once

#include <QMainWindow>
#include <array>

#include "station/station.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace varnetix {

class AlarmsDock;
class DiagnosticsPanel;
class ElementPanel;
class ElementTreePanel;
class EventLogView;
class FindingsDock;
class PagingWindow;
class TrayLight;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Station& station, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The station's start-up, then the window's title: false when the program must end.
    bool start();

protected:
    void closeEvent(QCloseEvent* event) override;
    // No context menu that could hide the toolbar.
    QMenu* createPopupMenu() override { return nullptr; }

private:
    void createToolbar();
    void createMenus();
    void createStatusBar();
    void connectStation();
    void toolbarClicked(int index);
    void showAbout();
    void editPreferences();
    void showBackups();
    void showWatchSummary();
    void replaceMissingElement();

    Station& m_station;
    QToolBar* m_toolbar = nullptr;
    std::array<QAction*, 8> m_toolbarButtons{}; // [1..7] as the toolbar counts; 3, 5 separators
    ElementTreePanel* m_treePanel = nullptr;
    ElementPanel* m_elementPanel = nullptr;
    DiagnosticsPanel* m_diagnosticsPanel = nullptr;
    PagingWindow* m_pagingWindow = nullptr;
    EventLogView* m_logView = nullptr;
    FindingsDock* m_findingsDock = nullptr;
    AlarmsDock* m_alarmsDock = nullptr;
    TrayLight* m_trayLight = nullptr;
    QLabel* m_watchSummary = nullptr;
    QLabel* m_discoverySummary = nullptr;
    QLabel* m_notice = nullptr;
    QString m_echoSummary;  // the watch over echoes
    QString m_audioSummary; // the silence watch's addition
};

} // namespace varnetix
