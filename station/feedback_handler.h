// What is done with a received feedback packet: decode and check it, end the configuration
// time-out, find the element's MAC, then store a discovered element or check a configuration
// answer against the panel.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <deque>
#include <string>

#include "core/feedback_packet.h"
#include "core/ini_store.h"
#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "platform/mac_resolver.h"
#include "station/operator_dialogs.h"
#include "station/window_controls.h"

namespace varnetix {

class FeedbackHandler : public QObject {
    Q_OBJECT
public:
    // Packets wait here while an earlier one is handled (its MAC wait and its boxes included).
    static constexpr std::size_t kQueueLimit = 4096;
    static constexpr std::size_t kStoreBatch = 256;

    FeedbackHandler(WindowControls& controls, OperatorDialogs& dialogs, MacResolver& resolver,
                    LinkState& state, const StationSettings& settings, QObject* parent = nullptr);
    ~FeedbackHandler() override { flushStores(); }

    // Called for every datagram the dispatch routes here; the packet is queued and handled from
    // the event loop, after those that came before it.
    void ProcessFeedback(const QByteArray& datagram);

    const FeedbackRecord& record() const { return m_record; }
    std::size_t pending() const { return m_queue.size(); }
    std::size_t dropped() const { return m_dropped; }
    bool idle() const { return !m_busy && m_queue.empty(); }

    void StoreDiscoveredElement();
    // Writes the discovered elements that wait to be stored; the discovery run calls it
    // before the tree is rebuilt.
    void flushStores();
    void ApplyConfigurationAnswer();

signals:
    // Outside discovery the tree is rebuilt after every packet.
    void reloadTree();
    // A packet has been handled completely (stored, refused, or dropped).
    void packetFinished();

private:
    void drain();                           // starts the next queued packet unless one is in hand
    bool begin(const QByteArray& datagram); // true while the packet waits for its MAC
    bool tryLookup();                       // false while a retry is scheduled
    void conclude(const std::string& mac);  // "" when no MAC was found
    void endPacket();                       // a packet dropped after its message
    void finish();

    WindowControls& m_c;
    OperatorDialogs& m_dialogs;
    MacResolver& m_resolver;
    LinkState& m_state;
    const StationSettings& m_settings;
    FeedbackRecord m_record;
    std::deque<QByteArray> m_queue;
    std::vector<std::pair<std::string, IniEntries>> m_pendingStores;
    std::size_t m_dropped = 0;
    bool m_busy = false;
    QTimer m_next; // zero-interval: the next packet starts from the event loop
    QTimer m_retry;
};

} // namespace varnetix
