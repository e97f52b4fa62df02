#include "core/element_status.h"

#include "core/text_procedures.h"

#include <algorithm>
#include <ctime>

namespace varnetix {

std::optional<StateChange> ElementStatus::moveTo(ElementState state) {
    if (state == m_state)
        return std::nullopt;
    const StateChange change{m_state, state};
    m_state = state;
    return change;
}

std::optional<StateChange> ElementStatus::answered(std::int64_t nowMs, std::uint32_t roundTripMs) {
    m_lastAnswerMs = nowMs;
    m_roundTripMs = roundTripMs;
    m_misses = 0;
    m_firstMissMs.reset();
    return moveTo(ElementState::Online);
}

std::optional<StateChange> ElementStatus::missed(std::int64_t nowMs, int missesUntilOffline) {
    if (m_misses == 0)
        m_firstMissMs = nowMs;
    // Saturates, so that an element silent for years cannot overflow the count.
    if (m_misses < 1'000'000)
        ++m_misses;
    if (m_misses < std::max(missesUntilOffline, 1))
        return std::nullopt;
    return moveTo(ElementState::Offline);
}

std::optional<std::int64_t> ElementStatus::silentSinceMs() const {
    return m_lastAnswerMs ? m_lastAnswerMs : m_firstMissMs;
}

StatusBook::StatusBook(int missesUntilOffline) : m_missesUntilOffline(missesUntilOffline) {}

void StatusBook::rebuild(const std::vector<std::string>& sections) {
    std::vector<std::string> order;
    std::unordered_map<std::string, ElementStatus> byKey;
    for (const std::string& section : sections) {
        std::string key = ToUpperAscii(section);
        if (byKey.count(key) != 0)
            continue;
        const auto kept = m_byKey.find(key);
        byKey.emplace(key, kept == m_byKey.end() ? ElementStatus{} : kept->second);
        order.push_back(section);
    }
    m_order = std::move(order);
    m_byKey = std::move(byKey);
}

ElementStatus* StatusBook::findMutable(const std::string& section) {
    const auto it = m_byKey.find(ToUpperAscii(section));
    return it == m_byKey.end() ? nullptr : &it->second;
}

const ElementStatus* StatusBook::find(const std::string& section) const {
    const auto it = m_byKey.find(ToUpperAscii(section));
    return it == m_byKey.end() ? nullptr : &it->second;
}

std::optional<StateChange> StatusBook::answered(const std::string& section, std::int64_t nowMs,
                                                std::uint32_t roundTripMs) {
    ElementStatus* status = findMutable(section);
    return status ? status->answered(nowMs, roundTripMs) : std::nullopt;
}

std::optional<StateChange> StatusBook::missed(const std::string& section, std::int64_t nowMs) {
    ElementStatus* status = findMutable(section);
    return status ? status->missed(nowMs, m_missesUntilOffline) : std::nullopt;
}

ElementState StatusBook::state(const std::string& section) const {
    const ElementStatus* status = find(section);
    return status ? status->state() : ElementState::Unknown;
}

StatusCounts StatusBook::counts() const {
    StatusCounts counts;
    for (const auto& [key, status] : m_byKey) {
        switch (status.state()) {
        case ElementState::Online:
            ++counts.online;
            break;
        case ElementState::Offline:
            ++counts.offline;
            break;
        case ElementState::Unknown:
            ++counts.unknown;
            break;
        }
    }
    return counts;
}

std::string LocalClockTime(std::int64_t msSinceEpoch) {
    // Floor division, so that a time before the epoch still names the second it lies in.
    const std::int64_t seconds = msSinceEpoch / 1000 - (msSinceEpoch % 1000 < 0 ? 1 : 0);
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr)
        return "??:??:??";
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

std::string StateWord(ElementState state) {
    switch (state) {
    case ElementState::Online:
        return "online";
    case ElementState::Offline:
        return "offline";
    case ElementState::Unknown:
        break;
    }
    return "unknown";
}

std::string StatusTooltip(const ElementStatus& status, const TimeFormatter& formatTime) {
    switch (status.state()) {
    case ElementState::Online: {
        std::string text = "Online: last answer at " + formatTime(*status.lastAnswerMs()) +
                           ", round trip " + std::to_string(status.roundTripMs()) + " ms";
        if (status.consecutiveMisses() > 0)
            text += ", " + std::to_string(status.consecutiveMisses()) + " missed";
        return text;
    }
    case ElementState::Offline:
        return "Offline: silent since " + formatTime(*status.silentSinceMs());
    case ElementState::Unknown:
        break;
    }
    return "Unknown: not yet answered";
}

std::string StatusSummary(const StatusCounts& counts, int intervalSeconds) {
    std::string text = std::to_string(counts.online) + " online, " +
                       std::to_string(counts.offline) + " offline, " +
                       std::to_string(counts.unknown) + " unknown - ";
    if (intervalSeconds <= 0)
        return text + "monitoring off";
    return text + "every " + std::to_string(intervalSeconds) + " s";
}

} // namespace varnetix
