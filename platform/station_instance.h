// What makes one station per installation: the single-instance lock and the database location.
#pragma once

#include <QLockFile>
#include <QString>

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
// user's data directory, which is created unless `create` is false (a reader of the database
// leaves no trace).
QString databasePathFor(const QString& executableDir, bool create = true);

} // namespace varnetix
