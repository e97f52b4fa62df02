// The audio-level display of an encoder: while it runs, "VOL" is sent at every tick of
// tmrVolume and each 1440-byte answer is shown as a bar and in dBFS. This object owns whether
// the display runs and which of its two toolbar commands may be used.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

#include "core/network_check.h"
#include "core/station_settings.h"
#include "platform/datagram_link.h"
#include "station/element_selection.h"
#include "station/event_log.h"
#include "station/operator_dialogs.h"

namespace varnetix {

// The level bar and its readout as the monitor sees them.
class LevelDisplay {
public:
    virtual ~LevelDisplay() = default;
    // Width in the units of the level scale (2100 at full scale).
    virtual void showLevelWidth(int units) = 0;
    virtual void showLevelText(const QString& text) = 0;
    virtual void enableLevelBar(bool enabled) = 0;
};

class LevelMonitor : public QObject {
    Q_OBJECT
public:
    LevelMonitor(LevelDisplay& display, const ElementSelection& selection,
                 ElementDatabase& database, DatagramLink& link, OperatorDialogs& dialogs,
                 EventSink& log, const StationSettings& settings,
                 std::function<std::vector<Subnet>()> subnets, QObject* parent = nullptr);

    bool isRunning() const { return m_running; }
    // The toolbar's "Start audio monitoring" and "Stop audio monitoring".
    void start();
    void stop();
    // Switches the display off without touching the commands (a discovery run does so).
    void switchOff();
    // A new role relays out the display: stopped, its commands for encoders only.
    void roleChanged(ElementRole role);
    // Loading an element disables both commands until its role is known.
    void disableCommands();
    void emptyBar();
    void setPollingInterval(int milliseconds);

    void requestAudioLevel();
    // A 1440-byte datagram; shown only when it comes from the address the requests went to.
    void showAudioLevel(const QByteArray& datagram, const QHostAddress& sender);
    // Where the running display's requests go; nullopt while it is stopped.
    std::optional<quint32> polledAddress() const {
        return m_running ? m_requestedAddress : std::nullopt;
    }
    // Level datagrams dropped because another host sent them.
    quint64 foreignDatagrams() const { return m_foreignDatagrams; }

signals:
    void commandsChanged(bool startEnabled, bool stopEnabled);
    // Why the display stopped by itself, for the status bar.
    void notice(const QString& notice);

private:
    void setRunning(bool running);
    void setCommands(bool startEnabled, bool stopEnabled);
    void showNoLevel();

    LevelDisplay& m_display;
    const ElementSelection& m_selection;
    ElementDatabase& m_database;
    DatagramLink& m_link;
    OperatorDialogs& m_dialogs;
    EventSink& m_log;
    const StationSettings& m_settings;
    std::function<std::vector<Subnet>()> m_subnets;
    QTimer m_levelPoll;
    bool m_running = false;
    std::optional<quint32> m_requestedAddress; // where the last request went
    quint64 m_foreignDatagrams = 0;
};

} // namespace varnetix
