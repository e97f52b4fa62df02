// The station's light in the desktop's system tray, where the desktop has one. Its picture says
// the worst state of the alarms by its shape as much as its colour: a disc when all is clear, a
// square when every alarm has been acknowledged, a triangle with "!" while one has not. Its
// tooltip counts them; a click raises the window; its menu offers Show, Acknowledge all and
// Quit. A status light, not a place to hide the window: closing the window ends the station.
#pragma once

#include <QIcon>
#include <QObject>

#include "station/alarm_list.h"

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace varnetix {

enum class TrayState { Clear, Acknowledged, Unacknowledged };

class TrayLight : public QObject {
    Q_OBJECT
public:
    // The icon is placed in the tray only where the desktop has one; the rest works without.
    TrayLight(AlarmList& alarms, QWidget& window, QObject* parent = nullptr);
    ~TrayLight() override;

    TrayState state() const;
    // "Varnetix NMS: no alarms", "Varnetix NMS: 2 alarms, 1 unacknowledged, 1 active"
    QString toolTip() const;
    static QIcon picture(TrayState state);
    QMenu* menu() const { return m_menu; }
    // Null where the desktop has no tray.
    QSystemTrayIcon* trayIcon() const { return m_icon; }

    // Shown, in front and given the focus, also when it was minimised.
    void showWindow();

private:
    void showState();

    AlarmList& m_alarms;
    QWidget& m_window;
    QMenu* m_menu;
    QSystemTrayIcon* m_icon = nullptr;
};

} // namespace varnetix
