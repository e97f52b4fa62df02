#include "station/alarm_notifications.h"

#include <algorithm>

namespace varnetix {

AlarmNotifications::AlarmNotifications(AlarmList& alarms, DesktopNotifier& notifier, int quietMs,
                                       QObject* parent)
    : QObject(parent), m_notifier(notifier) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(quietMs);
    connect(&m_quiet, &QTimer::timeout, this, &AlarmNotifications::sendHeld);
    connect(&alarms, &AlarmList::raised, this, &AlarmNotifications::raised);
    for (auto alarm = alarms.alarms().rbegin(); alarm != alarms.alarms().rend(); ++alarm)
        if (alarm->active() && !alarm->isAcknowledged())
            m_held.push_back(*alarm);
    sendHeld();
}

void AlarmNotifications::raised(const Alarm& alarm) {
    m_held.push_back(alarm);
    if (!m_quiet.isActive())
        sendHeld();
}

void AlarmNotifications::sendHeld() {
    if (m_held.empty())
        return;
    const bool critical = std::ranges::any_of(
        m_held, [](const Alarm& alarm) { return alarm.severity == EventSeverity::Error; });
    const auto urgency =
        critical ? DesktopNotifier::Urgency::Critical : DesktopNotifier::Urgency::Normal;
    if (m_held.size() == 1) {
        m_notifier.notify(QStringLiteral("Alarm raised: %1").arg(alarmKindWord(m_held[0].kind)),
                          m_held[0].cause, urgency);
    } else {
        QStringList causes;
        const std::size_t listed = std::min<std::size_t>(m_held.size(), kListedCauses);
        for (std::size_t i = 0; i < listed; ++i)
            causes << QStringLiteral("%1: %2").arg(alarmKindWord(m_held[i].kind), m_held[i].cause);
        if (m_held.size() > listed)
            causes << QStringLiteral("and %1 more").arg(m_held.size() - listed);
        m_notifier.notify(QStringLiteral("%1 alarms raised").arg(m_held.size()), causes.join(u'\n'),
                          urgency);
    }
    m_held.clear();
    // What follows within the quiet time waits for its end.
    m_quiet.start();
}

} // namespace varnetix
