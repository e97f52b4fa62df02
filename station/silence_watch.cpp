#include "station/silence_watch.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "core/audio_level.h"
#include "core/element_tree.h"
#include "core/event_log_line.h"
#include "core/mac_format.h"
#include "core/text_procedures.h"
#include "core/unicast_destination.h"
#include "platform/byte_text.h"

namespace varnetix {

namespace {
Q_LOGGING_CATEGORY(lcSilence, "varnetix.level", QtWarningMsg)

} // namespace

qint64 SilenceWatch::now() const {
    // A monotonic clock: a step of the system clock must not make a short quiet spell look
    // long enough to be silence.
    return m_clock.elapsed();
}

qint64 SilenceWatch::wallTime(qint64 at) const {
    return QDateTime::currentMSecsSinceEpoch() - (m_clock.elapsed() - at);
}

SilenceWatch::SilenceWatch(AudioStatusView& view, ElementDatabase& database, DatagramLink& link,
                           EventSink& log, const StationSettings& settings,
                           std::function<std::vector<Subnet>()> subnets,
                           std::function<bool()> paused,
                           std::function<std::optional<quint32>()> served, QObject* parent)
    : QObject(parent), m_view(view), m_database(database), m_link(link), m_log(log),
      m_settings(settings), m_subnets(std::move(subnets)), m_paused(std::move(paused)),
      m_served(std::move(served)), m_request(toByteArray(AudioLevelRequest())) {
    m_clock.start();
    m_timer.setObjectName(QStringLiteral("tmrSilenceWatch"));
    m_timer.setParent(this);
    connect(&m_timer, &QTimer::timeout, this, &SilenceWatch::round);
}

AudioRules SilenceWatch::rules() const {
    const std::int64_t second = m_settings.audioSecondMs;
    return {static_cast<double>(m_preferences.silenceLevelDbfs),
            m_preferences.silenceSeconds * second, m_preferences.restoreSeconds * second,
            kAudioUnknownSeconds * second};
}

void SilenceWatch::setPreferences(const StationPreferences& preferences) {
    const bool wasWatching = watching();
    m_preferences = preferences;
    m_intervalSeconds = preferences.audioIntervalSeconds;
    m_timer.stop();
    if (watching() != wasWatching) {
        // A state from before the watch was off would be stale: it starts anew.
        const qint64 start = now();
        for (Encoder& encoder : m_encoders) {
            encoder.status = AudioStatus(start);
            if (watching() && !encoder.refusal.isEmpty())
                (void)encoder.status.unknown(start);
            show(encoder);
        }
    }
    showSummary();
    if (!watching())
        return;
    m_timer.start(m_intervalSeconds * m_settings.audioSecondMs);
    round();
}

void SilenceWatch::followDatabase() {
    const IniLoad& load = m_database.current();
    const ElementTree tree = BuildElementTree(load.document, load.state == FileState::Loaded);
    std::unordered_map<std::string, Encoder> kept;
    for (Encoder& encoder : m_encoders)
        kept.emplace(encoder.section, std::move(encoder));
    m_encoders.clear();
    m_byAddress.clear();
    m_bySection.clear();
    const qint64 start = now();
    std::unordered_set<std::string> listed;
    for (const ElementNode& node : tree.nodes) {
        // The first of two sections that differ only in case is the one the database reads.
        std::string section = ToUpperAscii(node.section);
        if (!listed.insert(section).second || !node.encoder)
            continue;
        const auto stays = kept.find(section);
        Encoder encoder{section,
                        fromBytes(node.key),
                        fromBytes(node.text),
                        fromBytes(node.ip),
                        std::nullopt,
                        {},
                        stays == kept.end() ? AudioStatus(start) : stays->second.status};
        if (stays != kept.end())
            kept.erase(stays);
        if (!IsValidIp(node.ip)) {
            encoder.refusal = node.ip.empty() ? QStringLiteral("it has no address")
                                              : QStringLiteral("%1 is not the address of one "
                                                               "element")
                                                    .arg(encoder.ip);
        } else if (const quint32 address = ParseIpAddress(node.ip); m_byAddress.count(address)) {
            // One answer cannot tell two encoders apart: the first in the database has it.
            encoder.refusal = QStringLiteral("another encoder has the address %1").arg(encoder.ip);
        } else {
            encoder.address = address;
            m_byAddress.emplace(address, m_encoders.size());
        }
        if (watching() && !encoder.refusal.isEmpty())
            (void)encoder.status.unknown(start);
        m_bySection.emplace(encoder.section, m_encoders.size());
        m_encoders.push_back(std::move(encoder));
    }
    // What is no longer an encoder shows no audio.
    for (const auto& [section, encoder] : kept)
        m_view.showAudio(section, std::nullopt);
    for (const Encoder& encoder : m_encoders)
        show(encoder);
    showSummary();
}

void SilenceWatch::resumeAfterPause(qint64 at) {
    // The time of the pause is neither silence nor a missing answer.
    for (Encoder& encoder : m_encoders)
        encoder.status.restart(at);
}

void SilenceWatch::round() {
    if (m_paused()) {
        m_wasPaused = true;
        return;
    }
    const qint64 at = now();
    if (std::exchange(m_wasPaused, false))
        resumeAfterPause(at);
    const std::vector<Subnet> subnets = m_subnets();
    const std::optional<quint32> served = m_served();
    const AudioRules limits = rules();
    for (Encoder& encoder : m_encoders) {
        if (!encoder.address) {
            apply(encoder, encoder.status.unknown(at));
            continue;
        }
        // The station's networks may have changed since the database was read.
        if (!IsUnicastDestination(*encoder.address, subnets)) {
            encoder.refusal =
                QStringLiteral("%1 is not the address of one element").arg(encoder.ip);
            apply(encoder, encoder.status.unknown(at));
            continue;
        }
        encoder.refusal.clear();
        apply(encoder, encoder.status.checkAnswers(at, limits));
        if (served == encoder.address)
            continue; // the operator's display asks it already
        if (!m_link.sendDatagram(m_request, encoder.ip, m_settings.commandPort))
            qCDebug(lcSilence) << "level request to" << encoder.ip << "not sent";
    }
}

void SilenceWatch::levelAnswered(const QByteArray& datagram, const QHostAddress& sender) {
    if (!watching() || m_paused())
        return;
    bool ipv4 = false;
    const quint32 from = sender.toIPv4Address(&ipv4);
    const auto found = ipv4 ? m_byAddress.find(from) : m_byAddress.end();
    if (found == m_byAddress.end()) {
        ++m_foreignDatagrams;
        return;
    }
    Encoder& encoder = m_encoders[found->second];
    if (!encoder.refusal.isEmpty())
        return;
    ++m_attributedDatagrams;
    const AudioLevel level = EvaluateAudioLevel(
        std::string_view(datagram.constData(), static_cast<std::size_t>(datagram.size())));
    const auto change = encoder.status.answered(now(), level.dbfs, level.text, rules());
    if (change)
        apply(encoder, change);
    else
        show(encoder); // the last level in its tooltip
}

void SilenceWatch::apply(Encoder& encoder, const std::optional<AudioChange>& change) {
    if (!change)
        return;
    show(encoder);
    if (change->to == AudioState::Silent) {
        m_log.record(EventSeverity::Error, event_category::kLevel, encoder.mac,
                     QStringLiteral("Audio silent on %1 since %2")
                         .arg(encoder.label, QString::fromStdString(
                                                 LocalClockTime(wallTime(change->silentSinceMs)))));
        emit audioSilent(encoder.mac, wallTime(change->silentSinceMs));
    } else if (change->from == AudioState::Silent && change->to == AudioState::Audio) {
        const auto seconds = static_cast<qint64>(
            std::llround(static_cast<double>(change->silenceMs) / m_settings.audioSecondMs));
        m_log.record(
            event_category::kLevel, encoder.mac,
            QStringLiteral("Audio restored on %1 after %2 s").arg(encoder.label).arg(seconds));
        emit audioRestored(encoder.mac, seconds);
    } else if (change->to == AudioState::Unknown) {
        if (change->from != AudioState::Pending)
            m_log.record(event_category::kLevel, encoder.mac,
                         QStringLiteral("Audio level unknown on %1").arg(encoder.label));
        emit levelUnknown(encoder.mac);
    }
    if (change->from == AudioState::Silent || change->to == AudioState::Silent)
        showSummary();
}

void SilenceWatch::show(const Encoder& encoder) {
    if (!watching()) {
        m_view.showAudio(encoder.section, std::nullopt);
        return;
    }
    m_view.showAudio(encoder.section, reportOf(encoder));
}

AudioReport SilenceWatch::reportOf(const Encoder& encoder) const {
    const AudioStatus& status = encoder.status;
    AudioReport report{status.state(), std::nullopt, wallTime(status.sinceMs()), {}};
    if (status.lastAnswerMs())
        report.dbfs = status.lastDbfs();
    report.tooltip = !encoder.refusal.isEmpty() && status.state() == AudioState::Unknown
                         ? QStringLiteral("Audio: level unknown, %1").arg(encoder.refusal)
                         : QString::fromStdString(AudioTooltip(status, [this](std::int64_t at) {
                               return LocalClockTime(wallTime(at));
                           }));
    return report;
}

const SilenceWatch::Encoder* SilenceWatch::find(const std::string& section) const {
    const auto found = m_bySection.find(ToUpperAscii(section));
    return found == m_bySection.end() || !watching() ? nullptr : &m_encoders[found->second];
}

std::optional<AudioState> SilenceWatch::state(const std::string& section) const {
    const Encoder* encoder = find(section);
    return encoder ? std::optional(encoder->status.state()) : std::nullopt;
}

std::optional<double> SilenceWatch::lastDbfs(const std::string& section) const {
    const Encoder* encoder = find(section);
    if (!encoder || !encoder->status.lastAnswerMs())
        return std::nullopt;
    return encoder->status.lastDbfs();
}

std::vector<std::string> SilenceWatch::levelLostSections() const {
    std::vector<std::string> lost;
    if (!watching())
        return lost;
    const qint64 at = now();
    const std::int64_t silenceMs = rules().silenceMs;
    for (const Encoder& encoder : m_encoders)
        if (encoder.refusal.isEmpty() && encoder.status.state() == AudioState::Unknown &&
            at - encoder.status.sinceMs() >= silenceMs)
            lost.push_back(encoder.section);
    return lost;
}

std::size_t SilenceWatch::silentCount() const {
    return static_cast<std::size_t>(
        std::count_if(m_encoders.begin(), m_encoders.end(), [](const Encoder& encoder) {
            return encoder.status.state() == AudioState::Silent;
        }));
}

void SilenceWatch::showSummary() {
    emit summaryChanged(watching() ? QString::fromStdString(AudioSummary(silentCount()))
                                   : QString());
}

} // namespace varnetix
