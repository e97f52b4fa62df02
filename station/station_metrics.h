// The station's Prometheus metrics: what it knows of each element (state, identity, echo round
// trip, audio), the network check, the alarms, discovery and its own health, in the text
// exposition format at /metrics. Every value is read from the station when a scrape asks, on
// the event loop, so that the metrics never disagree with the window; the text is written from
// that reading on a thread of its own, so that a large station's scrape does not hold up the
// event loop. The names and labels are an interface: dashboards and alert rules depend on them.
#pragma once

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/element_identity.h"
#include "platform/metrics_server.h"

namespace prometheus {
struct MetricFamily;
}

namespace varnetix {

class Station;

// An encoder's audio as the silence watch sees it; the peak is -infinity for silence.
struct EncoderAudio {
    bool silent = false;
    double peakDbfs = 0.0;
};

// The alarm kinds' words; every kind has a sample, acknowledged and not.
inline constexpr std::array<std::string_view, 4> kAlarmKindWords = {"offline", "silent", "no-level",
                                                                    "network"};
// The reasons a received datagram is dropped.
inline constexpr std::array<std::string_view, 5> kDropReasons = {
    "length", "level-sender", "pending-limit", "no-room", "echo-reply"};

// What one scrape reads of the station: copies of its values, and the element list, which is
// replaced at a rebuild and never changed, so any thread may read it.
struct MetricsReading {
    struct Element {
        std::optional<bool> up;
        std::optional<double> roundTripSeconds, lastAnswerSeconds;
        std::optional<EncoderAudio> audio;
    };
    std::shared_ptr<const std::vector<ElementIdentity>> identities;
    std::vector<Element> elements; // in the order of the identities
    std::size_t errors = 0, warnings = 0;
    std::array<int, kAlarmKindWords.size() * 2> alarms{}; // by kind, not acknowledged first
    std::optional<double> lastDiscovery;                  // seconds since the epoch
    std::array<std::uint64_t, kDropReasons.size()> dropped{};
    std::uint64_t droppedLogLines = 0;
};

// Every family, each with HELP, and its samples; on any thread.
std::vector<prometheus::MetricFamily> metricFamilies(const MetricsReading& reading);

class StationMetrics : public QObject {
    Q_OBJECT
public:
    // An encoder's audio by its section; nullopt while its level is unknown.
    using AudioReader = std::function<std::optional<EncoderAudio>(const std::string& section)>;
    // How many alarms of a kind are raised now, acknowledged or not.
    using AlarmCounter = std::function<int(std::string_view kind, bool acknowledged)>;

    explicit StationMetrics(Station& station, QObject* parent = nullptr);
    ~StationMetrics() override;

    // Serves the metrics at "[ADDRESS:]PORT", or nowhere for ""; an address that cannot be
    // bound is told once as the station's notice, and the station goes on without metrics.
    void serve(const std::string& endpoint);
    // The port served, 0 when none.
    quint16 port() const { return m_server.isListening() ? m_server.port() : 0; }

    // Where the audio and alarm families read their values at each scrape; without a reader
    // the audio families have no samples and every alarm count is 0.
    void setAudioReader(AudioReader reader) { m_audio = std::move(reader); }
    void setAlarmCounter(AlarmCounter counter) { m_alarms = std::move(counter); }

    // What the station knows now; on the event loop.
    MetricsReading read() const;
    // The families of read(), in the text exposition format.
    std::string exposition() const;

private:
    void listElements();
    void showFailure(const QString& failure);
    void answer(MetricsServer::Reply reply);

    Station& m_station;
    std::shared_ptr<const std::vector<ElementIdentity>> m_elements;
    std::optional<double> m_lastDiscovery; // seconds since the epoch
    AudioReader m_audio;
    AlarmCounter m_alarms;
    MetricsServer m_server;
    std::string m_endpoint;
    QString m_failure; // the notice of an endpoint that could not be bound
    // Writes the text of one scrape at a time. Last, so that it has finished before anything
    // else of this object goes.
    QThreadPool m_writer;
};

} // namespace varnetix
