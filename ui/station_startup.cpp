#include "ui/station_startup.h"

namespace varnetix {

StationWindow startStation(const StationSettings& settings, OperatorDialogs& dialogs,
                           MacResolver& resolver, EchoProbe& probe, SingleInstance& instance,
                           int& exitCode, EchoSweeper* sweeper, bool endOnSignals) {
    exitCode = 0;
    StationWindow started;
    started.station = openStation(settings, dialogs, resolver, probe, instance, sweeper);
    if (!started.station)
        return {};
    if (endOnSignals)
        started.station->answerSignals(StationSignals::Hangup::Ends);
    started.window = std::make_unique<MainWindow>(*started.station);
    if (!started.window->start()) {
        // Ended by a signal during the start-up, the station has done as asked.
        exitCode = started.station->ended() ? 0 : 1;
        return {};
    }
    return started;
}

} // namespace varnetix
