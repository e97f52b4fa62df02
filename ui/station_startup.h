// Start-up of the station with its window: the single-instance test, then the station, its
// window and the start-up sequence.
#pragma once

#include <memory>

#include "platform/station_instance.h"
#include "ui/main_window.h"

namespace varnetix {

// The window goes before the station it draws on.
struct StationWindow {
    std::unique_ptr<Station> station;
    std::unique_ptr<MainWindow> window;
};

// Runs the start-up sequence. Returns the station and its window when the station runs; nothing
// when the program must end, with its exit status in exitCode. With endOnSignals, SIGTERM,
// SIGINT and SIGHUP end the station from before its start-up on (its boxes included).
StationWindow startStation(const StationSettings& settings, OperatorDialogs& dialogs,
                           MacResolver& resolver, EchoProbe& probe, SingleInstance& instance,
                           int& exitCode, EchoSweeper* sweeper = nullptr,
                           bool endOnSignals = false);

} // namespace varnetix
