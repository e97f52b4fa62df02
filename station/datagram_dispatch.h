// Where a received datagram goes: by its length to the audio-level display (with its sender,
// which the display compares with where its requests went) or to the feedback handling;
// everything else is dropped.
#pragma once

#include <QByteArray>
#include <QHostAddress>

namespace varnetix {

class FeedbackHandler;
class LevelMonitor;

// False when the datagram was dropped for its length.
bool dispatchDatagram(const QByteArray& datagram, const QHostAddress& sender, LevelMonitor& level,
                      FeedbackHandler& feedback);

} // namespace varnetix
