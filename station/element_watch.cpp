#include "station/element_watch.h"

#include <QDateTime>

#include "core/echo_status.h"
#include "core/event_log_line.h"
#include "platform/byte_text.h"

namespace varnetix {

ElementWatch::ElementWatch(ElementStatusView& view, EchoSweeper& sweeper, EventSink& log,
                           int secondMs, QObject* parent)
    : QObject(parent), m_view(view), m_sweeper(sweeper), m_log(log), m_secondMs(secondMs) {
    m_timer.setObjectName(QStringLiteral("tmrWatch"));
    m_timer.setParent(this);
    connect(&m_timer, &QTimer::timeout, this, &ElementWatch::round);
    connect(&m_sweeper, &EchoSweeper::finished, this, &ElementWatch::onFinished);
}

void ElementWatch::setPreferences(int intervalSeconds, int missesUntilOffline) {
    m_book.setMissesUntilOffline(missesUntilOffline);
    m_intervalSeconds = intervalSeconds;
    m_timer.stop();
    if (intervalSeconds > 0 && !m_available)
        intervalSeconds = 0;
    if (intervalSeconds > 0 && !m_sweeper.open()) {
        m_available = false;
        m_unavailableReason = m_sweeper.unavailableReason();
        // The face that shows the notice also logs it.
        emit notice(QStringLiteral("Elements are not watched: %1").arg(m_unavailableReason));
        for (const auto& [section, element] : m_elements)
            showElement(section);
    }
    if (m_available && intervalSeconds > 0) {
        m_timer.start(intervalSeconds * m_secondMs);
        round();
    }
    showSummary();
}

void ElementWatch::watch(const std::vector<ElementNode>& elements) {
    std::vector<std::string> sections;
    m_elements.clear();
    for (const ElementNode& node : elements) {
        sections.push_back(node.section);
        m_elements[node.section] = {node.ip, fromBytes(node.key), fromBytes(node.text)};
    }
    m_book.rebuild(sections);
    for (const std::string& section : sections)
        showElement(section);
    showSummary();
    // A new database is watched at once, not an interval later.
    if (m_timer.isActive())
        round();
}

QString ElementWatch::stateWord(const std::string& section) const {
    const ElementStatus* status = watchedStatus(section);
    return status ? QString::fromStdString(StateWord(status->state())) : QString();
}

const ElementStatus* ElementWatch::watchedStatus(const std::string& section) const {
    if (m_intervalSeconds == 0 || !m_available || !m_elements.count(section))
        return nullptr;
    return m_book.find(section);
}

void ElementWatch::round() {
    for (const auto& [section, element] : m_elements) {
        // An echo still out is not doubled; its own time-out decides it.
        if (m_tokenOf.count(section))
            continue;
        const quint64 token = m_nextToken++;
        m_inFlight[token] = section;
        m_tokenOf[section] = token;
        m_sweeper.send(fromBytes(element.ip), token);
    }
}

void ElementWatch::onFinished(quint64 token, const EchoReply& reply) {
    const auto found = m_inFlight.find(token);
    if (found == m_inFlight.end())
        return;
    const std::string section = found->second;
    m_inFlight.erase(found);
    if (m_tokenOf[section] == token)
        m_tokenOf.erase(section);
    const auto element = m_elements.find(section);
    if (element == m_elements.end())
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const auto change = reply.status == kEchoSuccess
                            ? m_book.answered(section, now, reply.roundTripMs)
                            : m_book.missed(section, now);
    showElement(section);
    if (!change)
        return;
    m_log.record(change->to == ElementState::Offline ? EventSeverity::Warning : EventSeverity::Info,
                 event_category::kStatus, element->second.mac,
                 QStringLiteral("%1 is %2 (was %3)")
                     .arg(element->second.label, QString::fromStdString(StateWord(change->to)),
                          QString::fromStdString(StateWord(change->from))));
    showSummary();
    emit stateChanged(section, change->from, change->to);
}

void ElementWatch::showElement(const std::string& section) {
    const ElementStatus* status = m_book.find(section);
    if (!status)
        return;
    // Unwatched, a state once known would go stale: it shows as unknown, and says why.
    if (!m_available)
        m_view.showStatus(section, ElementState::Unknown,
                          QStringLiteral("Not watched: %1").arg(m_unavailableReason));
    else if (m_intervalSeconds == 0)
        m_view.showStatus(section, ElementState::Unknown,
                          QStringLiteral("Not watched: monitoring is off"));
    else
        m_view.showStatus(section, status->state(), QString::fromStdString(StatusTooltip(*status)));
}

void ElementWatch::showSummary() {
    emit summaryChanged(QString::fromStdString(
        StatusSummary(m_book.counts(), m_available ? m_intervalSeconds : 0)));
}

} // namespace varnetix
