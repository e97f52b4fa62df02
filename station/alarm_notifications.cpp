#include "station/alarm_notifications.h"

namespace varnetix {

namespace {

void notifyOne(DesktopNotifier& notifier, const Alarm& alarm) {
    notifier.notify(QStringLiteral("Alarm raised: %1").arg(alarmKindWord(alarm.kind)), alarm.cause,
                    alarm.severity == EventSeverity::Error ? DesktopNotifier::Urgency::Critical
                                                           : DesktopNotifier::Urgency::Normal);
}

} // namespace

void notifyRaisedAlarms(AlarmList& alarms, DesktopNotifier& notifier) {
    // Oldest first, as they were raised.
    for (auto alarm = alarms.alarms().rbegin(); alarm != alarms.alarms().rend(); ++alarm)
        if (alarm->active() && !alarm->isAcknowledged())
            notifyOne(notifier, *alarm);
    QObject::connect(&alarms, &AlarmList::raised, &notifier,
                     [&notifier](const Alarm& alarm) { notifyOne(notifier, alarm); });
}

} // namespace varnetix
