// A decoder's output attenuation follows its scroll bar at once; the dB and latency readouts
// follow the panel's scroll bars.
#pragma once

#include <QObject>
#include <cstdint>

#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/operator_dialogs.h"
#include "station/window_controls.h"

namespace varnetix {

class AttenuationControl : public QObject {
    Q_OBJECT
public:
    AttenuationControl(WindowControls& controls, OperatorDialogs& dialogs, DatagramLink& link,
                       const StationSettings& settings, QObject* parent = nullptr);

    // Sends the 2-byte command to the selected element; false (after telling the operator) when
    // it could not be sent.
    bool SendAttenuation(std::uint8_t step);

private:
    void attenuationChanged(int value);

    WindowControls& m_c;
    OperatorDialogs& m_dialogs;
    DatagramLink& m_link;
    const StationSettings& m_settings;
};

} // namespace varnetix
