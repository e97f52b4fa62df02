#include "ui/station_startup.h"

namespace varnetix {

StationWindow startStation(const StationSettings& settings, OperatorDialogs& dialogs,
                           MacResolver& resolver, EchoProbe& probe, SingleInstance& instance,
                           int& exitCode, EchoSweeper* sweeper) {
    exitCode = 0;
    StationWindow started;
    started.station = openStation(settings, dialogs, resolver, probe, instance, sweeper);
    if (!started.station)
        return {};
    started.window = std::make_unique<MainWindow>(*started.station);
    if (!started.window->start()) {
        exitCode = 1;
        return {};
    }
    return started;
}

} // namespace varnetix
