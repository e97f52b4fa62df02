// The configuration send: checks the panel, asks, sends the 35-byte packet to the element's
// stored address and waits for its answer.
#pragma once

#include <QObject>
#include <string>

#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/operator_dialogs.h"
#include "station/window_controls.h"

namespace varnetix {

class ConfigSender : public QObject {
    Q_OBJECT
public:
    ConfigSender(WindowControls& controls, OperatorDialogs& dialogs, DatagramLink& link,
                 const StationSettings& settings, QObject* parent = nullptr);

    void SendConfig();
    void SendConfigPacket();

private:
    void error(const QString& line);
    void timedOut();

    WindowControls& m_c;
    OperatorDialogs& m_dialogs;
    DatagramLink& m_link;
    const StationSettings& m_settings;
};

// The selected element's stored address, and a send to it that reports its own failure.
// Shared by every command that goes to the selected element.
QString selectedElementAddress(const WindowControls& controls, const std::string& databasePath);
// "Unable to reach the Network Element at 'x'." CR consequence.
QString unreachableMessage(const QString& address, const QString& consequence);

} // namespace varnetix
