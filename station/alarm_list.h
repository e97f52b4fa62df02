// What needs a person: the station's alarms, raised and cleared by the watches and the network
// check, and kept until each has both cleared and been acknowledged, so that twenty seconds of
// dead air at night are still there in the morning. Raising, clearing and acknowledging are
// logged; the element model, the alarms dock, the tray light, notifications and metrics follow
// the signals.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "station/event_log.h"

namespace varnetix {

// offline   the watch: the element misses its echoes
// silent    the silence watch: an encoder sends silence
// no-level  the silence watch: an encoder online whose level is unknown (a hung audio engine is
//           dead air too)
// network   the network check finds an error that concerns the element (warnings raise none)
enum class AlarmKind { Offline, Silent, NoLevel, Network };

inline constexpr AlarmKind kAlarmKinds[] = {AlarmKind::Offline, AlarmKind::Silent,
                                            AlarmKind::NoLevel, AlarmKind::Network};

QString alarmKindWord(AlarmKind kind); // "offline", "silent", "no-level", "network"
// Dead air and a lost element are errors; a configuration that would break the link is found
// in the database, not on the air, and is a warning.
EventSeverity alarmSeverity(AlarmKind kind);

struct Alarm {
    quint64 id = 0; // unique for the station's run
    AlarmKind kind = AlarmKind::Offline;
    std::string section; // the element's upper-case section; empty for none
    QString mac;         // colon form; empty for none
    QString element;     // how the tree names it ("STUDIO [00:1A:...]"), or "the network"
    QString cause;       // what is wrong, in words
    EventSeverity severity = EventSeverity::Error;
    QDateTime raised;
    QDateTime cleared;      // null while the cause lasts
    QDateTime acknowledged; // null until someone has seen it

    bool active() const { return cleared.isNull(); }
    bool isAcknowledged() const { return !acknowledged.isNull(); }
};

// "active, unacknowledged", "active, acknowledged", "cleared, unacknowledged"
QString alarmStateWords(const Alarm& alarm);

struct AlarmCounts {
    int total = 0;
    int unacknowledged = 0;
    int active = 0;
};

class AlarmList : public QObject {
    Q_OBJECT
public:
    // How the tree names an element, by section; empty when it has no node.
    using NameOf = std::function<QString(const std::string& section)>;

    explicit AlarmList(EventSink& log, NameOf nameOf = {}, QObject* parent = nullptr);

    // An element is named by its section or its MAC in colon form (any letter case), or empty
    // for an alarm of no one element. Raising an alarm whose cause already lasts changes
    // nothing; the same cause again after it cleared (acknowledged or not) is raised anew.
    // An empty cause is the kind's own sentence.
    void raise(AlarmKind kind, const QString& element, const QString& cause = {});
    void clear(AlarmKind kind, const QString& element);
    // The causes of a kind that last now, by element: the missing ones are raised, the others
    // of the kind cleared; a lasting cause whose words changed is kept with the new words.
    void follow(AlarmKind kind, const std::map<QString, QString>& causes);
    // The elements of a newly read database: the alarms of the others are cleared, as nothing
    // watches them any more.
    void keepElements(const std::vector<std::string>& sections);

    void acknowledge(quint64 id);
    void acknowledgeAll();

    // Newest first.
    const std::vector<Alarm>& alarms() const { return m_alarms; }
    AlarmCounts counts() const;

signals:
    void raised(const varnetix::Alarm& alarm);
    void cleared(const varnetix::Alarm& alarm);
    void acknowledged(const varnetix::Alarm& alarm);
    // An alarm that has cleared and been acknowledged leaves the list.
    void removed(const varnetix::Alarm& alarm);
    // After any of the above, and after a cause's new words.
    void changed();

private:
    std::vector<Alarm>::iterator find(AlarmKind kind, const std::string& section);
    void clearAt(std::vector<Alarm>::iterator alarm, const QString& why);
    void acknowledgeAt(std::vector<Alarm>::iterator alarm);
    void log(EventSeverity severity, const Alarm& alarm, const QString& text);

    EventSink& m_log;
    NameOf m_nameOf;
    std::vector<Alarm> m_alarms;
    quint64 m_nextId = 1;
};

} // namespace varnetix
