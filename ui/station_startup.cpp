#include "ui/station_startup.h"

#include "core/database_file.h"

namespace varnetix {

std::unique_ptr<MainWindow> startStation(const StationSettings& settings, OperatorDialogs& dialogs,
                                         MacResolver& resolver, EchoProbe& probe,
                                         SingleInstance& instance, int& exitCode,
                                         EchoSweeper* sweeper) {
    if (!instance.acquire()) {
        dialogs.information(
            QStringLiteral("Halvoren Varnetix NMS"),
            QStringLiteral(
                "Halvoren Varnetix NMS is already running (check the icon in system tray)!"));
        exitCode = 0;
        return nullptr;
    }
    // Only the station that holds the lock may take what a crashed write left behind: another
    // process reading the database never writes it.
    removeStaleTemporaries(settings.databasePath);
    auto window = std::make_unique<MainWindow>(settings, dialogs, resolver, probe, sweeper);
    if (!window->Form_Load()) {
        exitCode = 1;
        return nullptr;
    }
    exitCode = 0;
    return window;
}

} // namespace varnetix
