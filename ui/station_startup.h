// Start-up of the station: the single-instance test, then the window and its start-up.
#pragma once

#include <memory>

#include "platform/station_instance.h"
#include "ui/main_window.h"

namespace varnetix {

// Runs the start-up sequence. Returns the window when the station runs; nullptr when the
// program must end, with its exit status in exitCode.
std::unique_ptr<MainWindow> startStation(const StationSettings& settings, OperatorDialogs& dialogs,
                                         MacResolver& resolver, EchoProbe& probe,
                                         SingleInstance& instance, int& exitCode,
                                         EchoSweeper* sweeper = nullptr);

} // namespace varnetix
