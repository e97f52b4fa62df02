// The operator's preferences for the station's background work: how often every element is
// watched, after how many missed echoes it counts as offline, how large the event log may grow
// and where the Prometheus metrics are served. They live in the desktop's per-user settings, never
// in nms.ini.
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
    std::string metricsEndpoint = {}; // [ADDRESS:]PORT; empty serves no metrics

    bool operator==(const StationPreferences&) const = default;
};

// The limits a value must keep.
inline constexpr int kWatchIntervalMax = 3600;
inline constexpr int kMissesMax = 100;
inline constexpr int kLogFileKiBMin = 16;
inline constexpr int kLogFileKiBMax = 100 * 1024;
inline constexpr int kLogFileCountMax = 50;

// Why the preferences cannot be stored, for the operator; nullopt when every value is valid.
std::optional<std::string> PreferencesProblem(const StationPreferences& preferences);

// Whether the value of one member keeps that member's limits.
bool PreferenceValid(int StationPreferences::*member, int value);

} // namespace varnetix
