#include "station/ping_controller.h"

#include "core/echo_status.h"
#include "core/event_log_line.h"

#include "core/text_procedures.h"
#include "platform/echo_probe.h"
#include "station/event_log.h"
#include "station/operator_dialogs.h"

#include <QScopedValueRollback>

using namespace Qt::Literals::StringLiterals;

namespace varnetix {

namespace {
constexpr qint16 kRetryCountdown = 3;
}

PingController::PingController(PingIndicator& indicator, EchoProbe& probe, OperatorDialogs& dialogs,
                               EventSink& log, std::function<QString()> elementIp,
                               std::function<QString()> elementMac, int retryIntervalMs,
                               QObject* parent)
    : QObject(parent), m_indicator(indicator), m_probe(probe), m_dialogs(dialogs), m_log(log),
      m_elementIp(std::move(elementIp)), m_elementMac(std::move(elementMac)) {
    m_pingRetry.setObjectName(u"tmrRetryPing"_s);
    m_pingRetry.setParent(this);
    m_pingRetry.setInterval(retryIntervalMs);
    m_pingRetry.setTimerType(Qt::PreciseTimer);
    connect(&m_pingRetry, &QTimer::timeout, this, &PingController::onRetryTick);
    connect(&m_probe, &EchoProbe::finished, this, &PingController::onEchoFinished);
}

void PingController::pingElement(const QString& address) {
    if (!IsValidIp(address.toStdString()))
        return;
    // One echo at a time: starting the sockets again would take them from the echo in flight.
    if (m_inFlight)
        return;
    if (!m_probe.StartSockets()) {
        m_dialogs.critical(u"Ping failed"_s, u"Windows Sockets not responding correctly."_s);
        m_indicator.showPingColour(PingColour::Failed);
        showOwnCaption(u"Unable to init sockets"_s);
        return;
    }
    if (!m_probe.start(address))
        return;
    m_pingedAddress = address;
    m_pingedMac = m_elementMac();
    m_inFlight = true;
    m_resultStale = false;
}

void PingController::clicked() {
    if (m_pingRetry.isActive()) {
        // The countdown keeps its value: the next time-out continues from it.
        showOwnCaption(u"<Stopped>"_s);
        m_pingRetry.stop();
        return;
    }
    if (m_inFlight)
        return;
    pingElement(m_elementIp());
}

void PingController::setCaption(const QString& caption) {
    m_caption = caption;
    m_indicator.showPingCaption(caption);
    // Someone else wrote the caption (another element loaded, panel cleared): the echo in
    // flight no longer concerns what is shown.
    if (m_inFlight && !m_showingOwnCaption)
        m_resultStale = true;
    if (caption.contains(u"Timed"_s, Qt::CaseSensitive))
        m_pingRetry.start();
}

void PingController::setColour(PingColour colour) {
    m_indicator.showPingColour(colour);
}

void PingController::onRetryTick() {
    // A retry never overlaps an echo; its outcome decides whether the countdown goes on.
    if (m_inFlight)
        return;
    if (m_countdown < 1) {
        m_pingRetry.stop();
        m_countdown = kRetryCountdown;
        // The address in the field now, which may belong to an element loaded meanwhile.
        pingElement(m_elementIp());
        return;
    }
    --m_countdown;
    showOwnCaption(u"Retrying in "_s + QString::number(m_countdown) + u" seconds..."_s);
}

void PingController::onEchoFinished(const EchoReply& reply) {
    if (!m_inFlight)
        return;
    m_inFlight = false;
    const QString outcome = reply.status == kEchoSuccess
                                ? QString::number(reply.roundTripMs) + u" ms"_s
                                : QString::fromStdString(GetStatusText(reply.status));
    m_log.record(event_category::kPing, m_pingedMac,
                 u"Ping %1: %2"_s.arg(m_pingedAddress, outcome));
    if (!m_resultStale) {
        m_indicator.showPingColour(reply.status == kEchoSuccess ? PingColour::Answered
                                                                : PingColour::Failed);
        showOwnCaption(outcome);
    }
    m_resultStale = false;
    m_probe.StopSockets();
}

void PingController::showOwnCaption(const QString& caption) {
    const QScopedValueRollback guard(m_showingOwnCaption, true);
    setCaption(caption);
}

} // namespace varnetix
