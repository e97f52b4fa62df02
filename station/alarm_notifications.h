// Each raised alarm as a desktop notification, for whoever sits at a desktop whose window is
// covered: the kind in the summary, the cause in the body, dead air as critical. A switch that
// fails takes many elements down at once; so that their alarms do not bury the desktop, the
// first goes out at once and those that follow within the quiet time go out together.
#pragma once

#include <QTimer>
#include <vector>

#include "platform/desktop_notifier.h"
#include "station/alarm_list.h"

namespace varnetix {

class AlarmNotifications : public QObject {
    Q_OBJECT
public:
    // One notification sums up at most this many causes, then how many more.
    static constexpr int kListedCauses = 5;

    // The unacknowledged alarms that already last are sent at once, together; then each one
    // raised, for as long as both live.
    AlarmNotifications(AlarmList& alarms, DesktopNotifier& notifier, int quietMs = 2000,
                       QObject* parent = nullptr);

private:
    void raised(const Alarm& alarm);
    void sendHeld();

    DesktopNotifier& m_notifier;
    std::vector<Alarm> m_held; // raised within the quiet time, oldest first
    QTimer m_quiet;
};

} // namespace varnetix
