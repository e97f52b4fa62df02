// Whether each element of the database answers its echo: a small state machine per element, the
// book of all elements, and the texts that show a state in the tree and the status bar.
//
// Texts:
//   state words        "online", "offline", "unknown"
//   tooltip, online    "Online: last answer at 12:34:56, round trip 3 ms"
//                      (with ", 2 missed" appended while it misses but is not yet offline)
//   tooltip, offline   "Offline: silent since 12:30:01"
//   tooltip, unknown   "Unknown: not yet answered"
//   status bar         "3 online, 1 offline, 0 unknown - every 10 s"
//                      "3 online, 1 offline, 0 unknown - monitoring off" (interval 0)
// Times are milliseconds since the epoch, given by the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnetix {

enum class ElementState { Unknown, Online, Offline };

struct StateChange {
    ElementState from;
    ElementState to;
};

inline constexpr int kDefaultMissesUntilOffline = 3;

// Unknown until the first answer; an answer makes it Online and forgets the misses; the Nth
// miss in a row makes it Offline. An element that never answered stays Unknown until then.
class ElementStatus {
public:
    // Each returns the change of state it caused, nullopt when the state stays.
    std::optional<StateChange> answered(std::int64_t nowMs, std::uint32_t roundTripMs);
    // A time-out or an error; missesUntilOffline below 1 counts as 1.
    std::optional<StateChange> missed(std::int64_t nowMs, int missesUntilOffline);

    ElementState state() const { return m_state; }
    std::optional<std::int64_t> lastAnswerMs() const { return m_lastAnswerMs; }
    std::uint32_t roundTripMs() const { return m_roundTripMs; }
    // The last answer, or the first miss of an element that never answered; nullopt before
    // either happened.
    std::optional<std::int64_t> silentSinceMs() const;
    int consecutiveMisses() const { return m_misses; }

private:
    std::optional<StateChange> moveTo(ElementState state);

    ElementState m_state = ElementState::Unknown;
    std::optional<std::int64_t> m_lastAnswerMs;
    std::optional<std::int64_t> m_firstMissMs;
    std::uint32_t m_roundTripMs = 0;
    int m_misses = 0;
};

struct StatusCounts {
    std::size_t online = 0;
    std::size_t offline = 0;
    std::size_t unknown = 0;
};

// The status of every element, by section name (the MAC without colons, any letter case).
class StatusBook {
public:
    explicit StatusBook(int missesUntilOffline = kDefaultMissesUntilOffline);

    void setMissesUntilOffline(int misses) { m_missesUntilOffline = misses; }
    int missesUntilOffline() const { return m_missesUntilOffline; }

    // Takes the sections of a newly read database: elements that stay keep their status, new
    // ones start Unknown, the others are forgotten.
    void rebuild(const std::vector<std::string>& sections);

    // Results for a section that is not in the book (an echo that outlived a rebuild) are
    // ignored and change nothing.
    std::optional<StateChange> answered(const std::string& section, std::int64_t nowMs,
                                        std::uint32_t roundTripMs);
    std::optional<StateChange> missed(const std::string& section, std::int64_t nowMs);

    const ElementStatus* find(const std::string& section) const;
    ElementState state(const std::string& section) const; // Unknown when not in the book
    // Section names as last given to rebuild, duplicates removed, in their order.
    const std::vector<std::string>& sections() const { return m_order; }
    StatusCounts counts() const;

private:
    ElementStatus* findMutable(const std::string& section);

    int m_missesUntilOffline;
    std::vector<std::string> m_order;
    std::unordered_map<std::string, ElementStatus> m_byKey; // key: upper-case section name
};

using TimeFormatter = std::function<std::string(std::int64_t msSinceEpoch)>;

// "12:34:56" in the local time zone.
std::string LocalClockTime(std::int64_t msSinceEpoch);

std::string StateWord(ElementState state);
std::string StatusTooltip(const ElementStatus& status,
                          const TimeFormatter& formatTime = LocalClockTime);
// intervalSeconds 0 means the monitoring is off.
std::string StatusSummary(const StatusCounts& counts, int intervalSeconds);

} // namespace varnetix
