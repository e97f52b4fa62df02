// Each raised alarm as a desktop notification, for whoever sits at a desktop whose window is
// covered: the kind in the summary, the cause in the body, dead air as critical.
#pragma once

#include "platform/desktop_notifier.h"
#include "station/alarm_list.h"

namespace varnetix {

// The unacknowledged alarms that already last, then each one raised from now on, for as long
// as both live.
void notifyRaisedAlarms(AlarmList& alarms, DesktopNotifier& notifier);

} // namespace varnetix
