// A decoder's output attenuation follows its scroll bar at once: each value the operator sets
// is sent as the 2-byte command and stored as "att".
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/network_check.h"
#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/element_selection.h"
#include "station/event_log.h"

#include "station/operator_dialogs.h"

namespace varnetix {

class AttenuationControl : public QObject {
    Q_OBJECT
public:
    AttenuationControl(const ElementSelection& selection, ElementDatabase& database,
                       DatagramLink& link, OperatorDialogs& dialogs, EventSink& log,
                       const StationSettings& settings,
                       std::function<std::vector<Subnet>()> subnets, QObject* parent = nullptr);

    // A new value of the attenuation scroll bar. Only the operator's own use of it commands the
    // decoder: `active` tells whether the scroll bar is the window's active control.
    void attenuationChanged(int value, bool active);
    // Sends the 2-byte command to the selected element; false (after telling the operator) when
    // it could not be sent or its stored address is not one element's.
    bool sendAttenuation(std::uint8_t step);

signals:
    // Why a step was not sent, for the status bar.
    void notice(const QString& notice);

private:
    const ElementSelection& m_selection;
    ElementDatabase& m_database;
    DatagramLink& m_link;
    OperatorDialogs& m_dialogs;
    EventSink& m_log;
    const StationSettings& m_settings;
    std::function<std::vector<Subnet>()> m_subnets;
    bool m_storeFailureTold = false;
};

} // namespace varnetix
