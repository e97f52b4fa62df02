#include "station/datagram_dispatch.h"

#include <QLoggingCategory>

#include "core/datagram_route.h"
#include "station/feedback_handler.h"
#include "station/level_monitor.h"
#include "station/silence_watch.h"

namespace varnetix {

namespace {
Q_LOGGING_CATEGORY(lcDatagram, "varnetix.datagram", QtWarningMsg)
} // namespace

bool dispatchDatagram(const QByteArray& datagram, const QHostAddress& sender, LevelMonitor& level,
                      SilenceWatch& silence, FeedbackHandler& feedback) {
    switch (RouteDatagram(static_cast<std::size_t>(datagram.size()))) {
    case DatagramRoute::AudioLevel:
        level.showAudioLevel(datagram, sender);
        silence.levelAnswered(datagram, sender);
        break;
    case DatagramRoute::Feedback:
        feedback.processFeedback(datagram);
        break;
    case DatagramRoute::Dropped:
        qCDebug(lcDatagram) << "datagram of" << datagram.size() << "bytes from" << sender.toString()
                            << "dropped: no packet of the link has that length";
        return false;
    }
    return true;
}

} // namespace varnetix
