#include "core/audio_status.h"

namespace varnetix {

std::optional<AudioChange> AudioStatus::moveTo(AudioState state, std::int64_t sinceMs) {
    if (state == m_state)
        return std::nullopt;
    const AudioChange change{m_state, state};
    m_state = state;
    m_sinceMs = sinceMs;
    return change;
}

std::optional<AudioChange> AudioStatus::answered(std::int64_t nowMs, double dbfs,
                                                 const std::string& text, const AudioRules& rules) {
    m_lastHeardMs = nowMs;
    m_lastAnswerMs = nowMs;
    m_lastDbfs = dbfs;
    m_lastText = text;
    const bool quiet = dbfs < rules.silenceLevelDbfs;
    // One answer on the other side breaks a run.
    if (quiet) {
        m_quietSinceMs = m_quietSinceMs.value_or(nowMs);
        m_loudSinceMs.reset();
    } else {
        m_loudSinceMs = m_loudSinceMs.value_or(nowMs);
        m_quietSinceMs.reset();
    }
    if (m_state == AudioState::Silent) {
        if (quiet || nowMs - *m_loudSinceMs < rules.restoreMs)
            return std::nullopt;
        const std::int64_t silentSince = m_sinceMs;
        auto change = moveTo(AudioState::Audio, *m_loudSinceMs);
        change->silentSinceMs = silentSince;
        change->silenceMs = *m_loudSinceMs - silentSince;
        return change;
    }
    if (quiet && nowMs - *m_quietSinceMs >= rules.silenceMs) {
        auto change = moveTo(AudioState::Silent, *m_quietSinceMs);
        change->silentSinceMs = *m_quietSinceMs;
        return change;
    }
    // A first answer, or the first after a time without, makes the level known.
    return moveTo(AudioState::Audio, nowMs);
}

std::optional<AudioChange> AudioStatus::checkAnswers(std::int64_t nowMs, const AudioRules& rules) {
    if (m_state == AudioState::Unknown || nowMs - m_lastHeardMs < rules.unknownMs)
        return std::nullopt;
    return unknown(nowMs);
}

std::optional<AudioChange> AudioStatus::unknown(std::int64_t nowMs) {
    m_quietSinceMs.reset();
    m_loudSinceMs.reset();
    return moveTo(AudioState::Unknown, nowMs);
}

void AudioStatus::restart(std::int64_t nowMs) {
    m_lastHeardMs = nowMs;
    m_quietSinceMs.reset();
    m_loudSinceMs.reset();
}

std::string AudioWord(AudioState state) {
    switch (state) {
    case AudioState::Silent:
        return "silent";
    case AudioState::Unknown:
        return "level unknown";
    case AudioState::Pending:
    case AudioState::Audio:
        break;
    }
    return {};
}

std::string AudioTooltip(const AudioStatus& status, const TimeFormatter& formatTime) {
    const auto last = [&] {
        return status.lastText() + " at " + formatTime(status.lastAnswerMs().value_or(0));
    };
    switch (status.state()) {
    case AudioState::Pending:
        break;
    case AudioState::Audio:
        return "Audio: " + last() + ", audio since " + formatTime(status.sinceMs());
    case AudioState::Silent:
        return "Audio: " + last() + ", silent since " + formatTime(status.sinceMs());
    case AudioState::Unknown:
        return "Audio: level unknown since " + formatTime(status.sinceMs()) +
               (status.lastAnswerMs() ? ", last " + last() : ", no answer to a level request");
    }
    return "Audio: not yet measured";
}

std::string AudioSummary(std::size_t silent) {
    return ", " + std::to_string(silent) + " silent";
}

std::string JoinSummaries(const std::string& watch, const std::string& audio) {
    if (audio.empty())
        return watch;
    if (watch.empty())
        return audio.substr(2); // no ", " before the first part
    const std::size_t interval = watch.rfind(" - ");
    if (interval == std::string::npos)
        return watch + audio;
    return watch.substr(0, interval) + audio + watch.substr(interval);
}

} // namespace varnetix
