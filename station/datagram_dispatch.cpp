#include "station/datagram_dispatch.h"

#include "core/datagram_route.h"
#include "station/feedback_handler.h"
#include "station/level_monitor.h"

namespace varnetix {

void dispatchDatagram(const QByteArray& datagram, const QHostAddress& sender, LevelMonitor& level,
                      FeedbackHandler& feedback) {
    switch (RouteDatagram(static_cast<std::size_t>(datagram.size()))) {
    case DatagramRoute::AudioLevel:
        level.showAudioLevel(datagram, sender);
        break;
    case DatagramRoute::Feedback:
        feedback.processFeedback(datagram);
        break;
    case DatagramRoute::Dropped:
        break;
    }
}

} // namespace varnetix
