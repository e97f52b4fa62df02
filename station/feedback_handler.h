// Every received feedback packet is decoded and checked, ends the
// configuration time-out, gets its element's MAC, and is then stored as a discovered element or
// checked as the answer to a configuration.
//
// Whether a packet answers a discovery is decided when it arrives. Packets are worked on side
// by side: each MAC lookup has its own budget, and a discovered element is stored as soon as its
// MAC is known, whatever else waits. What the operator must see (a failed check, a MAC not
// found, a configuration answer and its boxes) comes one packet at a time, in the order the
// packets arrived.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "core/feedback_packet.h"
#include "core/station_settings.h"
#include "platform/mac_resolver.h"
#include "station/configuration_exchange.h"
#include "station/discovery.h"
#include "station/element_tree_controller.h"
#include "station/operator_dialogs.h"
#include "station/spare_replacement.h"

namespace varnetix {

class FeedbackHandler : public QObject {
    Q_OBJECT
public:
    // Packets received and not yet done; further ones are dropped, and told with those
    // discarded.
    static constexpr std::size_t kPendingLimit = 4096;
    // Boxes of failed checks and lookups that wait behind the open box. Once a burst has taken
    // them all, the rest of it is discarded and told in one box after them.
    static constexpr std::size_t kBoxesWaiting = 8;

    FeedbackHandler(Discovery& discovery, ConfigurationExchange& exchange,
                    SpareReplacement& replacement, ElementTreeController& tree,
                    MacResolver& resolver, OperatorDialogs& dialogs,
                    const StationSettings& settings, QObject* parent = nullptr);

    // Called for every datagram the dispatch routes here, as it arrives.
    void processFeedback(const QByteArray& datagram);

    bool idle() const {
        return m_arrivals.empty() && m_packets.empty() && !m_presenting && m_discarded == 0;
    }
    std::size_t dropped() const { return m_dropped; }
    std::size_t discarded() const { return m_discardedTotal; }

signals:
    // A packet has been handled completely (stored, refused, or dropped), or the packets
    // discarded have been told.
    void packetFinished();

private:
    struct Arrival {
        QByteArray datagram;
        bool duringDiscovery = false;
    };
    struct Packet {
        enum class Stage { Resolving, Failed, Answer };
        Stage stage = Stage::Resolving;
        bool duringDiscovery = false;
        // The answer to a spare's configuration: its MAC is asked of the network afresh.
        std::unique_ptr<FreshMacLookup> freshLookup;
        bool answersReplacement = false;
        FeedbackRecord record;
        QString failure; // the box of a failed check or lookup
        QElapsedTimer lookupStarted;
    };

    void processArrivals();
    void accept(const Arrival& arrival);
    void retryLookups();
    bool lookup(Packet& packet); // true when the lookup is over, found or given up
    void concluded(std::map<quint64, Packet>::iterator packet);
    void admitBox(std::map<quint64, Packet>::iterator packet);
    void discard(std::map<quint64, Packet>::iterator packet);
    void finish(std::map<quint64, Packet>::iterator packet);
    void present();
    void presentPacket(Packet& packet);
    void discoveryAnswerDone();

    Discovery& m_discovery;
    ConfigurationExchange& m_exchange;
    SpareReplacement& m_replacement;
    ElementTreeController& m_tree;
    MacResolver& m_resolver;
    OperatorDialogs& m_dialogs;
    const StationSettings& m_settings;

    FeedbackRecord m_lastDecoded; // what a packet does not carry comes from the one before
    std::deque<Arrival> m_arrivals;
    std::map<quint64, Packet> m_packets; // by arrival order
    quint64 m_nextSequence = 0;
    bool m_presenting = false;
    bool m_storedLate = false;      // a discovery answer was stored after its run had ended
    std::optional<quint64> m_shown; // the packet whose box is open
    std::set<quint64> m_boxes;      // failed packets kept for their box, the open one among them
    bool m_boxesTaken = false;      // this burst has discarded a packet that ended in a box
    std::size_t m_discarded = 0;    // not yet told, with those dropped
    std::size_t m_discardedTotal = 0;
    std::size_t m_dropped = 0;
    QTimer m_next;    // zero-interval: arrivals are worked on from the event loop
    QTimer m_present; // zero-interval: the next box from the event loop
    QTimer m_macLookup;
};

} // namespace varnetix
