// The watch over every element of the database: an ICMP echo to each at every interval, and
// each element's state (online, offline, not yet known) from its answers. One element's
// silence never delays another's result; the manual ping test keeps its own echo.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/element_status.h"
#include "core/element_tree.h"
#include "platform/echo_sweeper.h"
#include "station/event_log.h"

namespace varnetix {

// Where the watch shows each element's state: on its node of the tree.
class ElementStatusView {
public:
    virtual ~ElementStatusView() = default;
    virtual void showStatus(const std::string& section, ElementState state,
                            const QString& tooltip) = 0;
};

class ElementWatch : public QObject {
    Q_OBJECT
public:
    // `secondMs` is how long a second of the interval lasts (tests shorten it).
    ElementWatch(ElementStatusView& view, EchoSweeper& sweeper, EventSink& log, int secondMs = 1000,
                 QObject* parent = nullptr);

    // 0 seconds turns the watch off.
    void setPreferences(int intervalSeconds, int missesUntilOffline);
    // The elements of a newly read database; the states of those that stay are kept.
    void watch(const std::vector<ElementNode>& elements);
    // The state word of an element ("online", "offline", "unknown"), empty when not watched.
    QString stateWord(const std::string& section) const;
    // What the watch knows of an element; null when it is not watched.
    const ElementStatus* watchedStatus(const std::string& section) const;

signals:
    // The counts of each state and the interval, for the status bar.
    void summaryChanged(const QString& summary);
    // Background trouble, told once and never as a box.
    void notice(const QString& notice);
    // An element's state moved, by its section as the tree has it: alarms follow it.
    void stateChanged(const std::string& section, varnetix::ElementState from,
                      varnetix::ElementState to);

private:
    struct Watched {
        std::string ip;
        QString mac;   // colon form, for the log
        QString label; // the node's text
    };

    void round();
    void onFinished(quint64 token, const EchoReply& reply);
    void showElement(const std::string& section);
    void showSummary();

    ElementStatusView& m_view;
    EchoSweeper& m_sweeper;
    EventSink& m_log;
    StatusBook m_book;
    std::unordered_map<std::string, Watched> m_elements; // by section as the tree has it
    std::unordered_map<quint64, std::string> m_inFlight; // token -> section
    std::unordered_map<std::string, quint64> m_tokenOf;  // section -> its echo in flight
    quint64 m_nextToken = 1;
    int m_intervalSeconds = 0;
    int m_secondMs;
    bool m_available = true;
    QString m_unavailableReason;
    QTimer m_timer;
};

} // namespace varnetix
