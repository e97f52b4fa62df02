#include "station/station_metrics.h"

#include <QDateTime>
#include <QFileInfo>
#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

#include "core/discovery_answers.h"
#include "core/event_log_line.h"
#include "core/metrics_endpoint.h"
#include "station/discovery.h"
#include "station/element_tree_controller.h"
#include "station/element_watch.h"
#include "station/event_log.h"
#include "station/feedback_handler.h"
#include "station/level_monitor.h"
#include "station/network_check_controller.h"
#include "station/station.h"

namespace varnetix {

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using Labels = std::vector<ClientMetric::Label>;

MetricFamily family(const char* name, const char* help,
                    prometheus::MetricType type = prometheus::MetricType::Gauge) {
    return {name, help, type, {}};
}

void gauge(MetricFamily& family, double value, Labels labels = {}) {
    ClientMetric sample;
    sample.label = std::move(labels);
    sample.gauge.value = value;
    family.metric.push_back(std::move(sample));
}

void counter(MetricFamily& family, double value, Labels labels = {}) {
    ClientMetric sample;
    sample.label = std::move(labels);
    sample.counter.value = value;
    family.metric.push_back(std::move(sample));
}

double seconds(std::int64_t msSinceEpoch) {
    return static_cast<double>(msSinceEpoch) / 1000.0;
}

QString written(const MetricsEndpoint& endpoint) {
    const QString address = QString::fromStdString(endpoint.address);
    return (address.contains(u':') ? u'[' + address + u']' : address) + u':' +
           QString::number(endpoint.port);
}

} // namespace

StationMetrics::StationMetrics(Station& station, QObject* parent)
    : QObject(parent), m_station(station),
      m_server([this] { return QByteArray::fromStdString(exposition()); }) {
    m_server.setParent(this);
    connect(&station.tree(), &ElementTreeController::elementsListed, this,
            &StationMetrics::listElements);
    // The last run of an earlier start left its answers beside the database.
    const QFileInfo answers(
        QString::fromStdString(DiscoveryAnswersPath(station.settings().databasePath)));
    if (answers.exists())
        m_lastDiscovery = seconds(answers.lastModified().toMSecsSinceEpoch());
    connect(&station.discovery(), &Discovery::changesFound, this,
            [this] { m_lastDiscovery = seconds(QDateTime::currentMSecsSinceEpoch()); });
}

StationMetrics::~StationMetrics() = default;

void StationMetrics::listElements() {
    m_elements = ElementIdentities(m_station.database().current().document);
}

void StationMetrics::showFailure(const QString& failure) {
    m_failure = failure;
    m_station.showNotice(failure);
}

void StationMetrics::serve(const std::string& endpoint) {
    if (endpoint == m_endpoint)
        return;
    m_endpoint = endpoint;
    m_server.close();
    if (!m_failure.isEmpty())
        m_station.clearNotice(std::exchange(m_failure, {}));
    if (endpoint.empty())
        return;
    const std::optional<MetricsEndpoint> parsed = ParseMetricsEndpoint(endpoint);
    if (!parsed) {
        showFailure(
            QStringLiteral("Metrics not served: %1 is not %2")
                .arg(QString::fromStdString(endpoint), QString::fromLatin1(kMetricsEndpointForm)));
        return;
    }
    QString failure;
    if (!m_server.listen(QHostAddress(QString::fromStdString(parsed->address)), parsed->port,
                         failure)) {
        showFailure(QStringLiteral("Metrics not served at %1: %2").arg(written(*parsed), failure));
        return;
    }
    m_station.log().record(event_category::kStation, {},
                           QStringLiteral("Metrics served at http://%1/metrics")
                               .arg(written({parsed->address, m_server.port()})));
}

std::vector<MetricFamily> StationMetrics::collect() const {
    MetricFamily up = family("varnetix_element_up",
                             "1 while the element answers its echoes (online), 0 when it is "
                             "offline; no sample while its state is unknown.");
    MetricFamily info = family("varnetix_element_info",
                               "The element's name, address and role (encoder or decoder), "
                               "always 1: its identity apart from its state.");
    MetricFamily roundTrip = family("varnetix_element_round_trip_seconds",
                                    "Round trip of the element's last answered echo.");
    MetricFamily lastAnswer = family("varnetix_element_last_answer_timestamp_seconds",
                                     "When the element last answered an echo, in seconds since "
                                     "the epoch.");
    MetricFamily silent = family("varnetix_encoder_audio_silent",
                                 "1 while the encoder's audio is silent, 0 while it is not; no "
                                 "sample while its level is unknown.");
    MetricFamily peak = family("varnetix_encoder_audio_peak_dbfs",
                               "The encoder's audio peak in dBFS, -Inf for silence; no sample "
                               "while its level is unknown.");
    const ElementWatch* watch = m_station.watch();
    for (const ElementIdentity& element : m_elements) {
        const ClientMetric::Label mac{"mac", element.mac};
        gauge(info, 1,
              {mac,
               {"name", element.name},
               {"address", element.address},
               {"role", element.encoder ? "encoder" : "decoder"}});
        const ElementStatus* status = watch ? watch->watchedStatus(element.section) : nullptr;
        if (status && status->state() != ElementState::Unknown)
            gauge(up, status->state() == ElementState::Online ? 1 : 0, {mac});
        if (status && status->lastAnswerMs()) {
            gauge(roundTrip, status->roundTripMs() / 1000.0, {mac});
            gauge(lastAnswer, seconds(*status->lastAnswerMs()), {mac});
        }
        if (!element.encoder || !m_audio)
            continue;
        if (const std::optional<EncoderAudio> audio = m_audio(element.section)) {
            gauge(silent, audio->silent ? 1 : 0, {mac});
            gauge(peak, audio->peakDbfs, {mac});
        }
    }

    MetricFamily findings =
        family("varnetix_network_check_findings", "Findings of the last network check.");
    std::size_t errors = 0;
    for (const Finding& finding : m_station.check().findings())
        errors += findingSeverity(finding.kind) == Severity::Error ? 1 : 0;
    gauge(findings, static_cast<double>(errors), {{"severity", "error"}});
    gauge(findings, static_cast<double>(m_station.check().findings().size() - errors),
          {{"severity", "warning"}});

    MetricFamily alarms =
        family("varnetix_alarms", "Alarms raised now, by kind and whether they are acknowledged.");
    for (const std::string_view kind : kAlarmKinds) {
        for (const bool acknowledged : {false, true})
            gauge(alarms, m_alarms ? m_alarms(kind, acknowledged) : 0,
                  {{"kind", std::string(kind)}, {"acknowledged", acknowledged ? "true" : "false"}});
    }

    MetricFamily elements = family("varnetix_elements", "Elements in the database.");
    gauge(elements, static_cast<double>(m_elements.size()));
    MetricFamily discovery = family("varnetix_discovery_last_timestamp_seconds",
                                    "When the last discovery ended, in seconds since the epoch.");
    if (m_lastDiscovery)
        gauge(discovery, *m_lastDiscovery);
    MetricFamily build = family("varnetix_build_info", "The station's version, always 1.");
    gauge(build, 1,
          {{"version", std::to_string(VARNETIX_VERSION_MAJOR) + '.' +
                           std::to_string(VARNETIX_VERSION_MINOR) + '.' +
                           std::to_string(VARNETIX_VERSION_PATCH)}});

    MetricFamily dropped = family(
        "varnetix_datagrams_dropped_total",
        "Datagrams received and dropped, by reason: length (no packet of the link has it), "
        "level-sender (audio level from another host than the monitored encoder), pending-limit "
        "and no-room (feedback beyond the packets or boxes that may wait), echo-reply (an echo "
        "reply not taken).",
        prometheus::MetricType::Counter);
    Station& station = m_station;
    const std::uint64_t counts[] = {station.unroutedDatagrams(), station.level().foreignDatagrams(),
                                    station.feedback().dropped(), station.feedback().discarded(),
                                    station.rejectedEchoReplies()};
    for (std::size_t i = 0; i < kDropReasons.size(); ++i)
        counter(dropped, static_cast<double>(counts[i]),
                {{"reason", std::string(kDropReasons[i])}});
    MetricFamily logLines = family("varnetix_event_log_lines_dropped_total",
                                   "Event log lines dropped because the log's buffer was full.",
                                   prometheus::MetricType::Counter);
    counter(logLines, static_cast<double>(station.droppedLogLines()));

    return {std::move(up),       std::move(info),      std::move(roundTrip), std::move(lastAnswer),
            std::move(silent),   std::move(peak),      std::move(findings),  std::move(alarms),
            std::move(elements), std::move(discovery), std::move(build),     std::move(dropped),
            std::move(logLines)};
}

std::string StationMetrics::exposition() const {
    return prometheus::TextSerializer().Serialize(collect());
}

} // namespace varnetix
