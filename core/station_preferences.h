// The operator's preferences for the station's background work: how often every element is
// watched, after how many missed echoes it counts as offline, how large the event log may grow,
// how the audio of every encoder is watched for silence and where the Prometheus metrics are
// served. They live in the desktop's per-user settings, never in nms.ini.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace varnetix {

struct StationPreferences {
    int watchIntervalSeconds = 10; // 0 turns the watch off
    int missesUntilOffline = 3;
    int logFileKiB = 1024;            // one event log file before it is rotated
    int logFileCount = 5;             // the log and its rotated copies together
    int audioIntervalSeconds = 1;     // 0 turns the silence watch off
    int silenceLevelDbfs = -50;       // an answer below it is silence
    int silenceSeconds = 15;          // silence this long makes an encoder silent
    int restoreSeconds = 3;           // audio this long after a silence restores it
    std::string metricsEndpoint = {}; // [ADDRESS:]PORT; empty serves no metrics

    bool operator==(const StationPreferences&) const = default;
};

// The limits a value must keep.
inline constexpr int kWatchIntervalMax = 3600;
inline constexpr int kMissesMax = 100;
inline constexpr int kLogFileKiBMin = 16;
inline constexpr int kLogFileKiBMax = 100 * 1024;
inline constexpr int kLogFileCountMax = 50;
// Below the time after which an encoder without answers is "level unknown", so that answers
// to requests in time never let it go unknown.
inline constexpr int kAudioIntervalMax = 4;
inline constexpr int kSilenceLevelMin = -90;
inline constexpr int kSilenceLevelMax = -10;
inline constexpr int kSilenceSecondsMin = 2;
inline constexpr int kSilenceSecondsMax = 600;
inline constexpr int kRestoreSecondsMax = 60;

// Why the preferences cannot be stored, for the operator; nullopt when every value is valid.
std::optional<std::string> PreferencesProblem(const StationPreferences& preferences);

// Whether the value of one member keeps that member's limits.
bool PreferenceValid(int StationPreferences::*member, int value);

} // namespace varnetix
