#include "station/level_monitor.h"

#include <QLoggingCategory>
#include <string_view>

#include "core/audio_level.h"
#include "core/commands.h"
#include "core/event_log_line.h"
#include "core/mac_format.h"
#include "core/unicast_destination.h"

#include "platform/byte_text.h"
#include "station/unreachable_message.h"

namespace varnetix {

namespace {
Q_LOGGING_CATEGORY(lcLevel, "varnetix.level", QtWarningMsg)
} // namespace

LevelMonitor::LevelMonitor(LevelDisplay& display, const ElementSelection& selection,
                           ElementDatabase& database, DatagramLink& link, OperatorDialogs& dialogs,
                           EventSink& log, const StationSettings& settings,
                           std::function<std::vector<Subnet>()> subnets, QObject* parent)
    : QObject(parent), m_display(display), m_selection(selection), m_database(database),
      m_link(link), m_dialogs(dialogs), m_log(log), m_settings(settings),
      m_subnets(std::move(subnets)) {
    m_levelPoll.setObjectName(QStringLiteral("tmrVolume"));
    m_levelPoll.setParent(this);
    m_levelPoll.setInterval(settings.volumeMs);
    m_levelPoll.setTimerType(Qt::PreciseTimer);
    connect(&m_levelPoll, &QTimer::timeout, this, &LevelMonitor::requestAudioLevel);
}

void LevelMonitor::setRunning(bool running) {
    if (running != m_running)
        m_log.record(event_category::kLevel, m_selection.mac(),
                     running ? QStringLiteral("Audio-level monitoring started")
                             : QStringLiteral("Audio-level monitoring stopped"));
    m_running = running;
    if (running) {
        m_levelPoll.start();
        return;
    }
    m_levelPoll.stop();
    showNoLevel();
}

void LevelMonitor::setCommands(bool startEnabled, bool stopEnabled) {
    emit commandsChanged(startEnabled, stopEnabled);
}

void LevelMonitor::start() {
    setRunning(true);
    setCommands(false, true);
}

void LevelMonitor::stop() {
    setRunning(false);
    setCommands(true, false);
}

void LevelMonitor::switchOff() {
    setRunning(false);
}

void LevelMonitor::roleChanged(ElementRole role) {
    const bool encoder = role == ElementRole::Encoder;
    setRunning(false);
    setCommands(encoder, false);
    m_display.enableLevelBar(encoder);
}

void LevelMonitor::disableCommands() {
    setCommands(false, false);
}

void LevelMonitor::emptyBar() {
    m_display.showLevelWidth(0);
}

void LevelMonitor::setPollingInterval(int milliseconds) {
    m_levelPoll.setInterval(milliseconds);
}

void LevelMonitor::showNoLevel() {
    m_display.showLevelText(QString::fromLatin1(kNoLevelText));
    m_display.showLevelWidth(0);
}

void LevelMonitor::requestAudioLevel() {
    const QString address = m_selection.storedAddress(m_database);
    if (IsRefusedDestination(address.toStdString(), m_subnets())) {
        stop();
        emit notice(QStringLiteral("Audio monitoring stopped: %1 is not the address of one element")
                        .arg(address));
        return;
    }
    if (m_link.sendDatagram(toByteArray(AudioLevelRequest()), address, m_settings.commandPort)) {
        m_requestedAddress = ParseIpAddress(address.toStdString());
        return;
    }
    // Stop before telling, so that the box is not repeated at every tick.
    stop();
    m_dialogs.critical(
        kApplicationTitle,
        unreachableMessage(address, QStringLiteral("Audio monitoring has been stopped.")));
}

void LevelMonitor::showAudioLevel(const QByteArray& datagram, const QHostAddress& sender) {
    // Another host's audio shown as this encoder's would be a wrong reading.
    bool ipv4 = false;
    const quint32 from = sender.toIPv4Address(&ipv4);
    if (!ipv4 || !m_requestedAddress || from != *m_requestedAddress) {
        ++m_foreignDatagrams;
        qCDebug(lcLevel) << "level datagram from" << sender.toString() << "dropped,"
                         << m_foreignDatagrams << "so far";
        return;
    }
    const AudioLevel level = EvaluateAudioLevel(
        std::string_view(datagram.constData(), static_cast<std::size_t>(datagram.size())));
    // A late answer after the display was stopped shows nothing.
    if (!m_levelPoll.isActive()) {
        showNoLevel();
        return;
    }
    m_display.showLevelWidth(level.barWidth);
    m_display.showLevelText(fromBytes(level.text));
}

} // namespace varnetix
