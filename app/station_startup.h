// Start-up of the station: one instance per installation, the database location, the window.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

#include "app/main_window.h"

namespace varnetix {

// One running station per executable directory. A lock left by a copy that crashed is stale
// and does not block the next start.
class SingleInstance {
public:
    explicit SingleInstance(const QString& executableDir, const QString& lockDir = {});
    bool acquire();
    QString lockPath() const { return m_lock.fileName(); }

private:
    QLockFile m_lock;
};

// nms.ini beside the executable; for an installed program (bin/ beside
// share/applications/varnetix-nms.desktop), or where that directory cannot be written, in the
// user's data directory, which is created.
QString databasePathFor(const QString& executableDir);

// Runs the start-up sequence. Returns the window when the station runs; nullptr when the
// program must end, with its exit status in exitCode.
std::unique_ptr<MainWindow> startStation(const StationSettings& settings, OperatorDialogs& dialogs,
                                         MacResolver& resolver, EchoProbe& probe,
                                         SingleInstance& instance, int& exitCode);

} // namespace varnetix
