#include "core/station_preferences.h"

#include "core/metrics_endpoint.h"

namespace varnetix {

namespace {

struct Limit {
    int StationPreferences::*member;
    int minimum;
    int maximum;
    const char* what;
    const char* unit;
};

constexpr Limit kLimits[] = {
    {&StationPreferences::watchIntervalSeconds, 0, kWatchIntervalMax, "The watch interval",
     " seconds (0 turns it off)"},
    {&StationPreferences::missesUntilOffline, 1, kMissesMax, "The number of missed echoes", ""},
    {&StationPreferences::logFileKiB, kLogFileKiBMin, kLogFileKiBMax, "The size of a log file",
     " KiB"},
    {&StationPreferences::logFileCount, 1, kLogFileCountMax, "The number of log files", ""},
    {&StationPreferences::audioIntervalSeconds, 0, kAudioIntervalMax, "The audio-level interval",
     " seconds (0 turns the silence watch off)"},
    {&StationPreferences::silenceLevelDbfs, kSilenceLevelMin, kSilenceLevelMax, "The silence level",
     " dBFS"},
    {&StationPreferences::silenceSeconds, kSilenceSecondsMin, kSilenceSecondsMax,
     "The silence time", " seconds"},
    {&StationPreferences::restoreSeconds, 1, kRestoreSecondsMax, "The restore time", " seconds"},
};

bool within(const Limit& limit, int value) {
    return value >= limit.minimum && value <= limit.maximum;
}

} // namespace

std::optional<std::string> PreferencesProblem(const StationPreferences& p) {
    for (const Limit& limit : kLimits) {
        if (!within(limit, p.*limit.member))
            return std::string(limit.what) + " must be between " + std::to_string(limit.minimum) +
                   " and " + std::to_string(limit.maximum) + limit.unit + ".";
    }
    if (!p.metricsEndpoint.empty() && !ParseMetricsEndpoint(p.metricsEndpoint))
        return std::string("The metrics endpoint must be empty (off) or ") + kMetricsEndpointForm +
               ".";
    return std::nullopt;
}

bool PreferenceValid(int StationPreferences::*member, int value) {
    for (const Limit& limit : kLimits) {
        if (limit.member == member)
            return within(limit, value);
    }
    return false;
}

} // namespace varnetix
