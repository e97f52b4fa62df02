// What the station does when the system asks: SIGTERM and SIGINT (logout, shutdown, systemctl
// stop, Ctrl-C) end it cleanly in every face, also while a box is open: a discovery under way
// is undone, the end line written and the log flushed, the endpoint closed, exit status 0.
// Headless, SIGHUP reads the preferences again and starts a new log file where the old one was
// rotated away, and the watch goes on; a window's SIGHUP (its terminal closed) ends it as
// SIGTERM does.
#pragma once

#include <QObject>

#include "platform/signal_notifier.h"

namespace varnetix {

class Station;

class StationSignals : public QObject {
    Q_OBJECT
public:
    enum class Hangup { Ends, ReloadPreferences };
    StationSignals(Station& station, Hangup hangup, QObject* parent = nullptr);

private:
    void received(int signalNumber);

    Station& m_station;
    Hangup m_hangup;
    SignalNotifier m_notifier;
};

} // namespace varnetix
