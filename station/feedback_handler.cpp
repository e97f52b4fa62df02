#include "station/feedback_handler.h"

#include <string_view>

#include "platform/byte_text.h"

namespace varnetix {

namespace {

const QString kFeedbackCorrupted = QStringLiteral("Feedback is corrupted.");

} // namespace

FeedbackHandler::FeedbackHandler(Discovery& discovery, ConfigurationExchange& exchange,
                                 ElementTreeController& tree, MacResolver& resolver,
                                 OperatorDialogs& dialogs, const StationSettings& settings,
                                 QObject* parent)
    : QObject(parent), m_discovery(discovery), m_exchange(exchange), m_tree(tree),
      m_resolver(resolver), m_dialogs(dialogs), m_settings(settings) {
    m_timerGetMAC.setObjectName(QStringLiteral("timerGetMAC"));
    m_timerGetMAC.setParent(this);
    m_timerGetMAC.setInterval(settings.macBudgetMs);
    m_timerGetMAC.setTimerType(Qt::PreciseTimer);
    // The MAC budget ends at its first tick.
    connect(&m_timerGetMAC, &QTimer::timeout, &m_timerGetMAC, &QTimer::stop);
    m_next.setSingleShot(true);
    m_next.setInterval(0);
    connect(&m_next, &QTimer::timeout, this, &FeedbackHandler::drain);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        // The MAC budget is over once timerGetMAC has ticked (it stops itself).
        if (!m_timerGetMAC.isActive())
            conclude({});
        else if (!tryLookup())
            return;
        finish();
    });
}

void FeedbackHandler::ProcessFeedback(const QByteArray& datagram) {
    if (m_queue.size() >= kQueueLimit) {
        ++m_dropped;
        return;
    }
    m_queue.push_back(datagram);
    // Handled from the event loop, not from inside the socket's read: a burst of answers then
    // waits here while the socket keeps being emptied, instead of overflowing its buffer.
    if (!m_busy)
        m_next.start();
}

void FeedbackHandler::drain() {
    // One packet per turn of the event loop; a box shown for it runs a nested loop that may
    // deliver further datagrams, and they wait in the queue instead of opening boxes on top.
    if (m_busy || m_queue.empty())
        return;
    const QByteArray datagram = m_queue.front();
    m_queue.pop_front();
    m_busy = true;
    if (!begin(datagram))
        finish();
}

bool FeedbackHandler::begin(const QByteArray& datagram) {
    const std::string_view bytes(datagram.constData(), static_cast<std::size_t>(datagram.size()));
    // Lengths without a decoding (below 40, 42, 43) carry nothing the station can use.
    if (!DecodeFeedback(bytes, m_record))
        return false;

    const FeedbackCheck check = CheckFeedback(m_record);
    if (check != FeedbackCheck::Passed) {
        m_dialogs.critical(kApplicationTitle,
                           joinLines({fromBytes(FeedbackCheckLine(check)), kFeedbackCorrupted}));
        endPacket();
        return false;
    }

    m_exchange.stopAnswerTimeout();
    m_timerGetMAC.start();
    return !tryLookup();
}

bool FeedbackHandler::tryLookup() {
    std::string mac;
    if (!m_resolver.LookupMac(m_record.ElementIP, mac, ":")) {
        m_retry.start(m_settings.macRetryMs);
        return false;
    }
    conclude(mac);
    return true;
}

void FeedbackHandler::conclude(const std::string& mac) {
    // An address that was never found and one that is not six bytes long are the same failure.
    if (mac.empty()) {
        m_dialogs.critical(kApplicationTitle,
                           joinLines({fromBytes(MacLookupFailedLine()), kFeedbackCorrupted}));
        endPacket();
        return;
    }
    m_record.ElementMAC = mac;
    if (m_discovery.awaitingAnswers())
        m_discovery.StoreDiscoveredElement(m_record, !m_queue.empty());
    else
        m_exchange.ApplyConfigurationAnswer(m_record);
}

void FeedbackHandler::endPacket() {
    // During discovery the tree is rebuilt once, when the run ends.
    if (!m_discovery.awaitingAnswers())
        m_tree.Load_Config();
}

void FeedbackHandler::finish() {
    m_busy = false;
    emit packetFinished();
    if (!m_queue.empty())
        m_next.start();
}

} // namespace varnetix
