#include "station/level_monitor.h"

#include <string_view>

#include "core/audio_level.h"
#include "core/commands.h"
#include "platform/byte_text.h"
#include "station/config_sender.h"

namespace varnetix {

LevelMonitor::LevelMonitor(WindowControls& controls, OperatorDialogs& dialogs, DatagramLink& link,
                           const StationSettings& settings, QObject* parent)
    : QObject(parent), m_c(controls), m_dialogs(dialogs), m_link(link), m_settings(settings) {
    connect(m_c.chkGetVolume, &QCheckBox::toggled, this, &LevelMonitor::displayToggled);
    connect(m_c.tmrVolume, &QTimer::timeout, this, &LevelMonitor::RequestAudioLevel);
    connect(m_c.Slider1, &QSlider::valueChanged, m_c.tmrVolume,
            [this](int interval) { m_c.tmrVolume->setInterval(interval); });
}

void LevelMonitor::displayToggled(bool on) {
    if (on) {
        m_c.tmrVolume->start();
        return;
    }
    m_c.tmrVolume->stop();
    showNoLevel();
}

void LevelMonitor::showNoLevel() {
    m_c.lblVolume->setText(QString::fromLatin1(kNoLevelText));
    m_c.VUMeter->setLevelWidth(0);
}

void LevelMonitor::RequestAudioLevel() {
    const QString address = selectedElementAddress(m_c, m_settings.databasePath);
    if (m_link.sendDatagram(toByteArray(AudioLevelRequest()), address, m_settings.commandPort))
        return;
    // Stop before telling, so that the box is not repeated at every tick.
    m_c.chkGetVolume->setChecked(false);
    m_c.button(kButtonStartLevel)->setEnabled(true);
    m_c.button(kButtonStopLevel)->setEnabled(false);
    m_dialogs.critical(
        kApplicationTitle,
        unreachableMessage(address, QStringLiteral("Audio monitoring has been stopped.")));
}

void LevelMonitor::ShowAudioLevel(const QByteArray& datagram) {
    const AudioLevel level = EvaluateAudioLevel(
        std::string_view(datagram.constData(), static_cast<std::size_t>(datagram.size())));
    // A late answer after the display was stopped shows nothing.
    if (!m_c.tmrVolume->isActive()) {
        showNoLevel();
        return;
    }
    m_c.VUMeter->setLevelWidth(level.barWidth);
    m_c.lblVolume->setText(fromBytes(level.text));
}

} // namespace varnetix
