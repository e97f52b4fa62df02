// Where a received datagram goes: by its length to the audio-level display and the silence
// watch (with its sender, which each matches with where its requests went) or to the feedback
// handling; everything else is dropped.
#pragma once

#include <QByteArray>
#include <QHostAddress>

namespace varnetix {

class FeedbackHandler;
class LevelMonitor;
class SilenceWatch;

// False when the datagram was dropped for its length.
bool dispatchDatagram(const QByteArray& datagram, const QHostAddress& sender, LevelMonitor& level,
                      SilenceWatch& silence, FeedbackHandler& feedback);

} // namespace varnetix
