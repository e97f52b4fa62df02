#include "station/feedback_handler.h"

#include <QLoggingCategory>
#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/byte_text.h"

namespace varnetix {

namespace {

Q_LOGGING_CATEGORY(lcFeedback, "varnetix.feedback", QtWarningMsg)

const QString kFeedbackCorrupted = QStringLiteral("Feedback is corrupted.");
// Arrivals worked on in one turn of the event loop: a burst is taken in a few turns while the
// window stays responsive.
constexpr std::size_t kArrivalsPerTurn = 64;

QString discardedMessage(std::size_t count) {
    return joinLines({QStringLiteral("%1 further feedback %2 could not be used while a message "
                                     "was shown.")
                          .arg(count)
                          .arg(count == 1 ? QStringLiteral("packet") : QStringLiteral("packets")),
                      count == 1 ? QStringLiteral("It was discarded.")
                                 : QStringLiteral("They were discarded.")});
}

} // namespace

FeedbackHandler::FeedbackHandler(Discovery& discovery, ConfigurationExchange& exchange,
                                 SpareReplacement& replacement, ElementTreeController& tree,
                                 MacResolver& resolver, OperatorDialogs& dialogs,
                                 const StationSettings& settings, QObject* parent)
    : QObject(parent), m_discovery(discovery), m_exchange(exchange), m_replacement(replacement),
      m_tree(tree), m_resolver(resolver), m_dialogs(dialogs), m_settings(settings) {
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &FeedbackHandler::processArrivals);
    m_present.setSingleShot(true);
    m_present.setInterval(0);
    connect(&m_present, &QTimer::timeout, this, &FeedbackHandler::present);
    // One tick retries every lookup still waiting, each against its own budget.
    m_macLookup.setObjectName(QStringLiteral("timerGetMAC"));
    m_macLookup.setParent(this);
    m_macLookup.setInterval(settings.macRetryMs);
    connect(&m_macLookup, &QTimer::timeout, this, &FeedbackHandler::retryLookups);
}

void FeedbackHandler::processFeedback(const QByteArray& datagram) {
    if (m_arrivals.size() + m_packets.size() >= kPendingLimit) {
        // Told with the packets discarded: nothing is lost without a word.
        ++m_dropped;
        ++m_discarded;
        qCDebug(lcFeedback) << "feedback packet of" << datagram.size()
                            << "bytes dropped: pending limit" << kPendingLimit << "reached,"
                            << m_dropped << "so far";
        return;
    }
    // An answer that arrives while a discovery waits belongs to it, however long its MAC takes.
    m_arrivals.push_back({datagram, m_discovery.awaitingAnswers()});
    // Worked on from the event loop, not from inside the socket's read: a burst of answers then
    // waits here while the socket keeps being emptied, instead of overflowing its buffer.
    if (!m_next.isActive())
        m_next.start();
}

void FeedbackHandler::processArrivals() {
    m_resolver.beginLookups();
    for (std::size_t n = 0; n < kArrivalsPerTurn && !m_arrivals.empty(); ++n) {
        const Arrival arrival = std::move(m_arrivals.front());
        m_arrivals.pop_front();
        accept(arrival);
    }
    m_resolver.endLookups();
    // While a burst still comes in, its answers gather for a few larger writes.
    if (m_arrivals.empty())
        m_discovery.flushStores();
    else
        m_next.start();
    if (m_discarded > 0)
        m_present.start();
}

void FeedbackHandler::accept(const Arrival& arrival) {
    const std::string_view bytes(arrival.datagram.constData(),
                                 static_cast<std::size_t>(arrival.datagram.size()));
    FeedbackRecord record = m_lastDecoded;
    // Lengths without a decoding (below 40, 42, 43) carry nothing the station can use.
    if (!DecodeFeedback(bytes, record)) {
        emit packetFinished();
        return;
    }
    m_lastDecoded = record;

    Packet packet;
    packet.duringDiscovery = arrival.duringDiscovery;
    packet.record = std::move(record);
    const FeedbackCheck check = CheckFeedback(packet.record);
    if (check != FeedbackCheck::Passed) {
        packet.stage = Packet::Stage::Failed;
        packet.failure = joinLines({fromBytes(FeedbackCheckLine(check)), kFeedbackCorrupted});
        admitBox(m_packets.emplace(m_nextSequence++, std::move(packet)).first);
        return;
    }

    // Whatever the packet answers, the wait for a configuration answer is over.
    m_exchange.stopAnswerTimeout();
    if (!packet.duringDiscovery && m_replacement.takeAnswer()) {
        packet.answersReplacement = true;
        // The neighbour table may still hold the unit the spare replaces under this address.
        packet.freshLookup = m_resolver.lookUpAfresh(packet.record.ElementIP, nullptr);
    }
    packet.lookupStarted.start();
    const auto added = m_packets.emplace(m_nextSequence++, std::move(packet)).first;
    if (lookup(added->second))
        concluded(added);
    else if (!m_macLookup.isActive())
        m_macLookup.start();
}

bool FeedbackHandler::lookup(Packet& packet) {
    std::string mac;
    if (packet.answersReplacement) {
        // Found or not, the replacement tells the outcome: "" is no MAC.
        const bool found = packet.freshLookup && packet.freshLookup->poll(mac, ":");
        if (!found && packet.freshLookup && packet.lookupStarted.elapsed() < m_settings.macBudgetMs)
            return false;
        packet.record.ElementMAC = mac;
        packet.freshLookup.reset();
        return true;
    }
    const bool known = m_resolver.LookupMac(packet.record.ElementIP, mac, ":");
    if (known && !mac.empty()) {
        packet.record.ElementMAC = mac;
        return true;
    }
    // An address that is never found and one that is not six bytes long are the same failure.
    if (known || packet.lookupStarted.elapsed() >= m_settings.macBudgetMs) {
        packet.stage = Packet::Stage::Failed;
        packet.failure = joinLines({fromBytes(MacLookupFailedLine()), kFeedbackCorrupted});
        return true;
    }
    return false;
}

void FeedbackHandler::retryLookups() {
    std::vector<quint64> over;
    m_resolver.beginLookups();
    for (auto& [sequence, packet] : m_packets) {
        if (packet.stage == Packet::Stage::Resolving && lookup(packet))
            over.push_back(sequence);
    }
    m_resolver.endLookups();
    // Concluding one may open a box, and its loop may finish others of these.
    for (const quint64 sequence : over) {
        if (const auto it = m_packets.find(sequence); it != m_packets.end())
            concluded(it);
    }
    m_discovery.flushStores();
    const bool waiting = std::any_of(m_packets.begin(), m_packets.end(), [](const auto& entry) {
        return entry.second.stage == Packet::Stage::Resolving;
    });
    if (!waiting)
        m_macLookup.stop();
}

void FeedbackHandler::concluded(std::map<quint64, Packet>::iterator it) {
    Packet& packet = it->second;
    if (packet.stage == Packet::Stage::Failed) {
        admitBox(it);
        return;
    }
    if (packet.stage == Packet::Stage::Resolving) {
        if (packet.duringDiscovery) {
            // A discovered element is stored silently, without waiting for any box.
            m_discovery.storeDiscoveredElement(packet.record);
            m_storedLate = m_storedLate || !m_discovery.awaitingAnswers();
            finish(it);
            return;
        }
        packet.stage = Packet::Stage::Answer;
    }
    m_present.start();
}

void FeedbackHandler::admitBox(std::map<quint64, Packet>::iterator it) {
    // A flood of bad packets must not lock the operator out with box after box: behind the box
    // that is (or is about to be) open, a few wait their turn, and once they are taken the rest
    // of the burst waits for nothing but the one box that tells it.
    const bool openIsBox = m_shown && m_boxes.count(*m_shown);
    const std::size_t waiting = m_boxes.size() - (openIsBox ? 1 : 0);
    if (!m_boxesTaken && waiting < kBoxesWaiting + (m_presenting ? 0 : 1)) {
        m_boxes.insert(it->first);
        m_present.start();
        return;
    }
    m_boxesTaken = true;
    // A lookup given up late still arrived before the packets behind it: its box takes the place
    // of the last one that waits.
    if (!m_boxes.empty() && *m_boxes.rbegin() > it->first && *m_boxes.rbegin() != m_shown) {
        const auto last = m_packets.find(*m_boxes.rbegin());
        m_boxes.erase(last->first);
        m_boxes.insert(it->first);
        it = last;
    }
    discard(it);
}

void FeedbackHandler::discard(std::map<quint64, Packet>::iterator it) {
    ++m_discarded;
    ++m_discardedTotal;
    qCDebug(lcFeedback) << "feedback packet discarded: its box found no room," << m_discardedTotal
                        << "so far";
    finish(it);
}

void FeedbackHandler::finish(std::map<quint64, Packet>::iterator it) {
    const bool discoveryAnswer = it->second.duringDiscovery;
    m_boxes.erase(it->first);
    m_packets.erase(it);
    emit packetFinished();
    // A box held back by this packet, or the one that tells what was discarded, may now be
    // shown.
    if (!m_packets.empty() || m_discarded > 0)
        m_present.start();
    if (discoveryAnswer)
        discoveryAnswerDone();
}

void FeedbackHandler::discoveryAnswerDone() {
    if (m_discovery.awaitingAnswers())
        return;
    const bool more = std::any_of(m_packets.begin(), m_packets.end(),
                                  [](const auto& entry) { return entry.second.duringDiscovery; });
    // Answers that arrived during the run and were stored after it: the tree shows them too.
    if (!more && std::exchange(m_storedLate, false))
        m_discovery.lateAnswersStored();
}

void FeedbackHandler::present() {
    // A box runs a nested event loop; what arrives meanwhile waits for its turn here.
    if (m_presenting)
        return;
    for (;;) {
        if (!m_packets.empty()) {
            const auto it = m_packets.begin();
            // Boxes come in the order the packets arrived: one still looking for its MAC may yet
            // need one.
            if (it->second.stage == Packet::Stage::Resolving)
                return;
            m_presenting = true;
            m_shown = it->first;
            presentPacket(it->second);
            m_presenting = false;
            m_shown.reset();
            finish(it);
            continue;
        }
        // What was discarded is told after the last box of its burst, once nothing more of the
        // burst can end in a box.
        if (m_discarded == 0 || !m_arrivals.empty())
            return;
        m_presenting = true;
        m_boxesTaken = false;
        m_dialogs.critical(kApplicationTitle, discardedMessage(std::exchange(m_discarded, 0)));
        m_presenting = false;
        emit packetFinished();
    }
}

void FeedbackHandler::presentPacket(Packet& packet) {
    if (packet.stage == Packet::Stage::Answer) {
        if (packet.answersReplacement)
            m_replacement.applyAnswer(packet.record);
        else
            m_exchange.applyConfigurationAnswer(packet.record);
        return;
    }
    m_dialogs.critical(kApplicationTitle, packet.failure);
    // During discovery the tree is rebuilt once, when the run ends.
    if (!packet.duringDiscovery)
        m_tree.reload();
}

} // namespace varnetix
