#include "station/alarm_list.h"

#include <algorithm>
#include <set>

#include "core/event_log_line.h"
#include "core/text_procedures.h"

namespace varnetix {

namespace {

// The upper-case section of an element named by either form of its MAC.
std::string sectionOf(const QString& element) {
    std::string text = ToUpperAscii(element.toStdString());
    if (const std::string bare = MacWithoutColons(text); !bare.empty())
        return bare;
    return text;
}

} // namespace

QString alarmKindWord(AlarmKind kind) {
    switch (kind) {
    case AlarmKind::Offline:
        return QStringLiteral("offline");
    case AlarmKind::Silent:
        return QStringLiteral("silent");
    case AlarmKind::NoLevel:
        return QStringLiteral("no-level");
    case AlarmKind::Network:
        return QStringLiteral("network");
    }
    return {};
}

EventSeverity alarmSeverity(AlarmKind kind) {
    return kind == AlarmKind::Network ? EventSeverity::Warning : EventSeverity::Error;
}

QString alarmStateWords(const Alarm& alarm) {
    if (!alarm.active())
        return QStringLiteral("cleared, unacknowledged");
    return alarm.isAcknowledged() ? QStringLiteral("active, acknowledged")
                                  : QStringLiteral("active, unacknowledged");
}

AlarmList::AlarmList(EventSink& log, NameOf nameOf, QObject* parent)
    : QObject(parent), m_log(log), m_nameOf(std::move(nameOf)) {}

std::vector<Alarm>::iterator AlarmList::find(AlarmKind kind, const std::string& section) {
    return std::ranges::find_if(m_alarms, [&](const Alarm& alarm) {
        return alarm.kind == kind && alarm.section == section;
    });
}

void AlarmList::log(EventSeverity severity, const Alarm& alarm, const QString& text) {
    m_log.record(severity, event_category::kAlarm, alarm.mac, text);
}

void AlarmList::raise(AlarmKind kind, const QString& element, const QString& cause) {
    const std::string section = sectionOf(element);
    Alarm alarm;
    if (const auto found = find(kind, section); found != m_alarms.end()) {
        if (found->active())
            return;
        // Back before anyone saw it go: the same entry, raised again.
        alarm = *found;
        m_alarms.erase(found);
    } else {
        alarm.id = m_nextId++;
        alarm.kind = kind;
        alarm.section = section;
        alarm.mac = QString::fromStdString(MacWithColons(section));
        alarm.severity = alarmSeverity(kind);
    }
    alarm.element = m_nameOf ? m_nameOf(section) : QString();
    if (alarm.element.isEmpty())
        alarm.element = section.empty()       ? QStringLiteral("the network")
                        : alarm.mac.isEmpty() ? QString::fromStdString(section)
                                              : alarm.mac;
    alarm.cause = cause;
    if (alarm.cause.isEmpty()) {
        static const char* const sentences[] = {"%1 is offline", "%1 is silent",
                                                "%1 sends no audio level",
                                                "%1 has a network check error"};
        alarm.cause =
            QLatin1String(sentences[static_cast<int>(kind)]).toString().arg(alarm.element);
    }
    alarm.raised = QDateTime::currentDateTime();
    alarm.cleared = {};
    m_alarms.insert(m_alarms.begin(), alarm);
    log(alarm.severity, alarm,
        QStringLiteral("Alarm raised (%1): %2").arg(alarmKindWord(kind), alarm.cause));
    emit raised(alarm);
    emit changed();
}

void AlarmList::clear(AlarmKind kind, const QString& element) {
    const auto found = find(kind, sectionOf(element));
    if (found != m_alarms.end() && found->active())
        clearAt(found, {});
}

void AlarmList::clearAt(std::vector<Alarm>::iterator alarm, const QString& why) {
    alarm->cleared = QDateTime::currentDateTime();
    const Alarm over = *alarm;
    log(EventSeverity::Info, over,
        QStringLiteral("Alarm cleared (%1): %2%3")
            .arg(alarmKindWord(over.kind), over.element, why));
    if (over.isAcknowledged())
        m_alarms.erase(alarm);
    emit cleared(over);
    if (over.isAcknowledged())
        emit removed(over);
    emit changed();
}

void AlarmList::follow(AlarmKind kind, const std::map<QString, QString>& causes) {
    std::set<std::string> lasting;
    bool reworded = false;
    for (const auto& [element, cause] : causes) {
        const std::string section = sectionOf(element);
        lasting.insert(section);
        const auto found = find(kind, section);
        if (found == m_alarms.end() || !found->active()) {
            raise(kind, element, cause);
        } else if (!cause.isEmpty() && found->cause != cause) {
            found->cause = cause;
            reworded = true;
        }
    }
    std::vector<std::string> over;
    for (const Alarm& alarm : m_alarms)
        if (alarm.kind == kind && alarm.active() && !lasting.count(alarm.section))
            over.push_back(alarm.section);
    for (const std::string& section : over)
        if (const auto found = find(kind, section); found != m_alarms.end() && found->active())
            clearAt(found, {});
    if (reworded)
        emit changed();
}

void AlarmList::keepElements(const std::vector<std::string>& sections) {
    std::set<std::string> kept;
    for (const std::string& section : sections)
        kept.insert(ToUpperAscii(section));
    std::vector<std::pair<AlarmKind, std::string>> gone;
    for (const Alarm& alarm : m_alarms)
        if (!alarm.section.empty() && alarm.active() && !kept.count(alarm.section))
            gone.emplace_back(alarm.kind, alarm.section);
    for (const auto& [kind, section] : gone)
        if (const auto found = find(kind, section); found != m_alarms.end() && found->active())
            clearAt(found, QStringLiteral(", no longer in the database"));
}

void AlarmList::acknowledge(quint64 id) {
    const auto found =
        std::ranges::find_if(m_alarms, [id](const Alarm& alarm) { return alarm.id == id; });
    if (found != m_alarms.end() && !found->isAcknowledged())
        acknowledgeAt(found);
}

void AlarmList::acknowledgeAll() {
    std::vector<quint64> ids;
    for (const Alarm& alarm : m_alarms)
        if (!alarm.isAcknowledged())
            ids.push_back(alarm.id);
    // Oldest first, so that the log reads in the order they were raised.
    for (auto id = ids.rbegin(); id != ids.rend(); ++id)
        acknowledge(*id);
}

void AlarmList::acknowledgeAt(std::vector<Alarm>::iterator alarm) {
    alarm->acknowledged = QDateTime::currentDateTime();
    const Alarm seen = *alarm;
    log(EventSeverity::Info, seen,
        QStringLiteral("Alarm acknowledged (%1): %2").arg(alarmKindWord(seen.kind), seen.element));
    if (!seen.active())
        m_alarms.erase(alarm);
    emit acknowledged(seen);
    if (!seen.active())
        emit removed(seen);
    emit changed();
}

AlarmCounts AlarmList::counts() const {
    AlarmCounts counts;
    for (const Alarm& alarm : m_alarms) {
        ++counts.total;
        counts.unacknowledged += alarm.isAcknowledged() ? 0 : 1;
        counts.active += alarm.active() ? 1 : 0;
    }
    return counts;
}

} // namespace varnetix
