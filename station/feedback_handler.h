// ProcessFeedback: a received feedback packet is decoded and checked, ends the configuration
// time-out, gets its element's MAC, and is then stored as a discovered element or checked as
// the answer to a configuration.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <deque>
#include <string>

#include "core/feedback_packet.h"
#include "core/station_settings.h"
#include "platform/mac_resolver.h"
#include "station/configuration_exchange.h"
#include "station/discovery.h"
#include "station/element_tree_controller.h"
#include "station/operator_dialogs.h"

namespace varnetix {

class FeedbackHandler : public QObject {
    Q_OBJECT
public:
    // Packets wait here while an earlier one is handled (its MAC wait and its boxes included).
    static constexpr std::size_t kQueueLimit = 4096;

    FeedbackHandler(Discovery& discovery, ConfigurationExchange& exchange,
                    ElementTreeController& tree, MacResolver& resolver, OperatorDialogs& dialogs,
                    const StationSettings& settings, QObject* parent = nullptr);

    // Called for every datagram the dispatch routes here; the packet is queued and handled from
    // the event loop, after those that came before it.
    void ProcessFeedback(const QByteArray& datagram);

    const FeedbackRecord& record() const { return m_record; }
    std::size_t pending() const { return m_queue.size(); }
    std::size_t dropped() const { return m_dropped; }
    bool idle() const { return !m_busy && m_queue.empty(); }

signals:
    // A packet has been handled completely (stored, refused, or dropped).
    void packetFinished();

private:
    void drain();                           // starts the next queued packet unless one is in hand
    bool begin(const QByteArray& datagram); // true while the packet waits for its MAC
    bool tryLookup();                       // false while a retry is scheduled
    void conclude(const std::string& mac);  // "" when no MAC was found
    void endPacket();                       // a packet dropped after its message
    void finish();

    Discovery& m_discovery;
    ConfigurationExchange& m_exchange;
    ElementTreeController& m_tree;
    MacResolver& m_resolver;
    OperatorDialogs& m_dialogs;
    const StationSettings& m_settings;
    FeedbackRecord m_record;
    std::deque<QByteArray> m_queue;
    std::size_t m_dropped = 0;
    bool m_busy = false;
    QTimer m_next; // zero-interval: the next packet starts from the event loop
    QTimer m_retry;
    QTimer m_timerGetMAC;
};

} // namespace varnetix
