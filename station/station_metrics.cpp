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
      m_elements(std::make_shared<const std::vector<ElementIdentity>>()),
      m_server([this](MetricsServer::Reply reply) { answer(std::move(reply)); }) {
    m_server.setParent(this);
    m_writer.setMaxThreadCount(1);
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

StationMetrics::~StationMetrics() {
    m_writer.waitForDone();
}

void StationMetrics::listElements() {
    // A new list, never a change to the one a writer may be reading.
    m_elements = std::make_shared<const std::vector<ElementIdentity>>(
        ElementIdentities(m_station.database().current().document));
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

MetricsReading StationMetrics::read() const {
    MetricsReading reading;
    reading.identities = m_elements;
    const ElementWatch* watch = m_station.watch();
    reading.elements.reserve(m_elements->size());
    for (const ElementIdentity& identity : *m_elements) {
        MetricsReading::Element& element = reading.elements.emplace_back();
        const ElementStatus* status = watch ? watch->watchedStatus(identity.section) : nullptr;
        if (status && status->state() != ElementState::Unknown)
            element.up = status->state() == ElementState::Online;
        if (status && status->lastAnswerMs()) {
            element.roundTripSeconds = status->roundTripMs() / 1000.0;
            element.lastAnswerSeconds = seconds(*status->lastAnswerMs());
        }
        if (identity.encoder && m_audio)
            element.audio = m_audio(identity.section);
    }
    for (const Finding& finding : m_station.check().findings())
        ++(findingSeverity(finding.kind) == Severity::Error ? reading.errors : reading.warnings);
    for (std::size_t i = 0; i < reading.alarms.size(); ++i)
        reading.alarms[i] = m_alarms ? m_alarms(kAlarmKindWords[i / 2], i % 2 == 1) : 0;
    reading.lastDiscovery = m_lastDiscovery;
    Station& station = m_station;
    reading.dropped = {station.unroutedDatagrams(), station.level().foreignDatagrams(),
                       station.feedback().dropped(), station.feedback().discarded(),
                       station.rejectedEchoReplies()};
    reading.droppedLogLines = station.droppedLogLines();
    return reading;
}

std::string StationMetrics::exposition() const {
    return prometheus::TextSerializer().Serialize(metricFamilies(read()));
}

void StationMetrics::answer(MetricsServer::Reply reply) {
    // The values are read here, on the event loop; the writer gets its own copy of them and
    // hands the text back through the event loop, so no value is shared between threads.
    m_writer.start([this, reading = read(), reply = std::move(reply)]() mutable {
        const std::string text = prometheus::TextSerializer().Serialize(metricFamilies(reading));
        QMetaObject::invokeMethod(
            this,
            [reply = std::move(reply), text = QByteArray::fromStdString(text)] { reply(text); },
            Qt::QueuedConnection);
    });
}

std::vector<MetricFamily> metricFamilies(const MetricsReading& reading) {
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
    const std::vector<ElementIdentity>& identities = *reading.identities;
    for (std::size_t i = 0; i < identities.size(); ++i) {
        const ElementIdentity& identity = identities[i];
        const MetricsReading::Element& element = reading.elements[i];
        const ClientMetric::Label mac{"mac", identity.mac};
        gauge(info, 1,
              {mac,
               {"name", identity.name},
               {"address", identity.address},
               {"role", identity.encoder ? "encoder" : "decoder"}});
        if (element.up)
            gauge(up, *element.up ? 1 : 0, {mac});
        if (element.lastAnswerSeconds) {
            gauge(roundTrip, *element.roundTripSeconds, {mac});
            gauge(lastAnswer, *element.lastAnswerSeconds, {mac});
        }
        if (element.audio) {
            gauge(silent, element.audio->silent ? 1 : 0, {mac});
            gauge(peak, element.audio->peakDbfs, {mac});
        }
    }

    MetricFamily findings =
        family("varnetix_network_check_findings", "Findings of the last network check.");
    gauge(findings, static_cast<double>(reading.errors), {{"severity", "error"}});
    gauge(findings, static_cast<double>(reading.warnings), {{"severity", "warning"}});
    MetricFamily alarms =
        family("varnetix_alarms", "Alarms raised now, by kind and whether they are acknowledged.");
    for (std::size_t i = 0; i < reading.alarms.size(); ++i)
        gauge(alarms, reading.alarms[i],
              {{"kind", std::string(kAlarmKindWords[i / 2])},
               {"acknowledged", i % 2 == 1 ? "true" : "false"}});

    MetricFamily elements = family("varnetix_elements", "Elements in the database.");
    gauge(elements, static_cast<double>(identities.size()));
    MetricFamily discovery = family("varnetix_discovery_last_timestamp_seconds",
                                    "When the last discovery ended, in seconds since the epoch.");
    if (reading.lastDiscovery)
        gauge(discovery, *reading.lastDiscovery);
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
    for (std::size_t i = 0; i < kDropReasons.size(); ++i)
        counter(dropped, static_cast<double>(reading.dropped[i]),
                {{"reason", std::string(kDropReasons[i])}});
    MetricFamily logLines = family("varnetix_event_log_lines_dropped_total",
                                   "Event log lines dropped because the log's buffer was full.",
                                   prometheus::MetricType::Counter);
    counter(logLines, static_cast<double>(reading.droppedLogLines));

    return {std::move(up),       std::move(info),      std::move(roundTrip), std::move(lastAnswer),
            std::move(silent),   std::move(peak),      std::move(findings),  std::move(alarms),
            std::move(elements), std::move(discovery), std::move(build),     std::move(dropped),
            std::move(logLines)};
}

} // namespace varnetix
