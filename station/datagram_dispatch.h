// Where a received datagram goes: by its length to the audio-level display or to the feedback
// handling; everything else is dropped.
#pragma once

#include <QByteArray>

namespace varnetix {

class FeedbackHandler;
class LevelMonitor;

void dispatchDatagram(const QByteArray& datagram, LevelMonitor& level, FeedbackHandler& feedback);

} // namespace varnetix
