// Whether an encoder sends audio: a small state machine per encoder fed with the level of each
// answer to its audio-level request, and the texts that show its state.
//
// Texts:
//   description word   "silent", "level unknown" ("" while audio is heard or nothing is known)
//   tooltip, audio     "Audio: -6dBFS at 12:34:56, heard since 12:00:01"
//   tooltip, silent    "Audio: -oodBFS at 12:34:56, silent since 12:30:01"
//   tooltip, unknown   "Audio: level unknown since 12:30:06, last -6dBFS at 12:30:01"
//                      "Audio: level unknown since 12:30:06, no answer to a level request"
//   tooltip, pending   "Audio: not yet measured"
//   status bar         ", 2 silent"
// Times are milliseconds since the epoch, given by the caller.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "core/element_status.h"

namespace varnetix {

// Pending until the first answer or the first time-out; Audio while answers come and the
// encoder is not silent.
enum class AudioState { Pending, Audio, Silent, Unknown };

inline constexpr int kAudioUnknownSeconds = 5; // no answer for this long: level unknown

struct AudioRules {
    double silenceLevelDbfs = -50; // an answer below it is silence
    std::int64_t silenceMs = 15000;
    std::int64_t restoreMs = 3000;
    std::int64_t unknownMs = kAudioUnknownSeconds * 1000;
};

struct AudioChange {
    AudioState from;
    AudioState to;
    std::int64_t silentSinceMs = 0; // where the silence began (to Silent, and Silent to Audio)
    std::int64_t silenceMs = 0;     // how long it lasted (Silent to Audio)
};

// Silent when every answer for the silence time was below the level; Audio again when every
// answer for the restore time was at or above it; Unknown when no answer came for the unknown
// time. A missing answer between others does not break a run.
class AudioStatus {
public:
    explicit AudioStatus(std::int64_t startMs) : m_sinceMs(startMs), m_lastHeardMs(startMs) {}

    // One answer's level in dBFS, -infinity for no positive peak; the text is as shown.
    std::optional<AudioChange> answered(std::int64_t nowMs, double dbfs, const std::string& text,
                                        const AudioRules& rules);
    // Checked at every round: Unknown when no answer came for the unknown time.
    std::optional<AudioChange> checkAnswers(std::int64_t nowMs, const AudioRules& rules);
    // Unknown at once (no request can be sent to its address).
    std::optional<AudioChange> unknown(std::int64_t nowMs);
    // After a pause: the runs start again and the time without answers counts from now.
    void restart(std::int64_t nowMs);

    AudioState state() const { return m_state; }
    std::int64_t sinceMs() const { return m_sinceMs; }
    std::optional<std::int64_t> lastAnswerMs() const { return m_lastAnswerMs; }
    double lastDbfs() const { return m_lastDbfs; }
    const std::string& lastText() const { return m_lastText; }

private:
    std::optional<AudioChange> moveTo(AudioState state, std::int64_t sinceMs);

    AudioState m_state = AudioState::Pending;
    std::int64_t m_sinceMs;     // when the state began
    std::int64_t m_lastHeardMs; // the last answer, or the start of the watch or of a run
    std::optional<std::int64_t> m_lastAnswerMs;
    std::optional<std::int64_t> m_quietSinceMs; // the run of answers below the level
    std::optional<std::int64_t> m_loudSinceMs;  // the run of answers at or above it
    double m_lastDbfs = -std::numeric_limits<double>::infinity();
    std::string m_lastText;
};

std::string AudioWord(AudioState state);
std::string AudioTooltip(const AudioStatus& status,
                         const TimeFormatter& formatTime = LocalClockTime);
// The status bar's addition, ", 2 silent".
std::string AudioSummary(std::size_t silent);
// The watch's summary with the audio's addition before its interval: "3 online, 1 offline,
// 0 unknown, 2 silent - every 10 s".
std::string JoinSummaries(const std::string& watch, const std::string& audio);

} // namespace varnetix
