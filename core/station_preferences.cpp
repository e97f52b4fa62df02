#include "core/station_preferences.h"

namespace varnetix {

namespace {

std::string outside(const char* what, int minimum, int maximum, const char* unit) {
    return std::string(what) + " must be between " + std::to_string(minimum) + " and " +
           std::to_string(maximum) + unit + ".";
}

} // namespace

std::optional<std::string> PreferencesProblem(const StationPreferences& p) {
    if (p.watchIntervalSeconds < 0 || p.watchIntervalSeconds > kWatchIntervalMax)
        return outside("The watch interval", 0, kWatchIntervalMax, " seconds (0 turns it off)");
    if (p.missesUntilOffline < 1 || p.missesUntilOffline > kMissesMax)
        return outside("The number of missed echoes", 1, kMissesMax, "");
    if (p.logFileKiB < kLogFileKiBMin || p.logFileKiB > kLogFileKiBMax)
        return outside("The size of a log file", kLogFileKiBMin, kLogFileKiBMax, " KiB");
    if (p.logFileCount < 1 || p.logFileCount > kLogFileCountMax)
        return outside("The number of log files", 1, kLogFileCountMax, "");
    return std::nullopt;
}

} // namespace varnetix
