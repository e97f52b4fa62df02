// The alarms in a dock: newest first, each with its state in words; Acknowledge takes the
// selected ones, Acknowledge all every one. A double-click (or Return) on an alarm selects its
// element in the tree. Unacknowledged alarms are drawn in bold, so that no colour is needed.
#pragma once

#include <QDockWidget>
#include <string>

#include "station/alarm_list.h"

class QPushButton;
class QTreeWidget;

namespace varnetix {

class AlarmsDock : public QDockWidget {
    Q_OBJECT
public:
    explicit AlarmsDock(AlarmList& alarms, QWidget* parent = nullptr);

signals:
    void elementChosen(const std::string& section);

private:
    void showAlarms();
    void showCommands();
    void acknowledgeSelected();

    AlarmList& m_alarms;
    QTreeWidget* m_list;
    QPushButton* m_acknowledge;
    QPushButton* m_acknowledgeAll;
};

} // namespace varnetix
