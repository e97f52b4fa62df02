// The audio-level display of an encoder: polls with "VOL" while it runs and shows each
// 1440-byte answer as a bar and in dBFS.
#pragma once

#include <QByteArray>
#include <QObject>

#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/operator_dialogs.h"
#include "station/window_controls.h"

namespace varnetix {

class LevelMonitor : public QObject {
    Q_OBJECT
public:
    LevelMonitor(WindowControls& controls, OperatorDialogs& dialogs, DatagramLink& link,
                 const StationSettings& settings, QObject* parent = nullptr);

    void RequestAudioLevel();
    void ShowAudioLevel(const QByteArray& datagram);

private:
    void displayToggled(bool on);
    void showNoLevel();

    WindowControls& m_c;
    OperatorDialogs& m_dialogs;
    DatagramLink& m_link;
    const StationSettings& m_settings;
};

} // namespace varnetix
