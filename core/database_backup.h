// Dated backups of the database, made when a discovery is about to replace it.
//
// A backup is the database itself, renamed (never copied, so it works also for a file that
// cannot be read) beside its real target:
//     <name>.<YYYYMMDD>T<HHMMSS>Z.bak        e.g. nms.ini.20250314T101502Z.bak
// The time is UTC, so that the names sort by age also across a change of daylight saving
// time. A second backup within the same second is <name>.<stamp>_2.bak, then _3 and so on: a
// backup never replaces another. At most kDatabaseBackupsKept are kept, the oldest going
// first, but the newest backup that holds a section (or cannot be read, so may hold one) is
// never removed: backups of an empty database, as a discovery on a dead network leaves, never
// push the last good one out. A backup made by a restore keeps the discovery answers of the
// database it holds beside it, as the database does: <backup>.answers; they go with it.
#pragma once

#include "core/store_result.h"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace varnetix {

inline constexpr std::size_t kDatabaseBackupsKept = 10;

struct DatabaseBackup {
    StoreResult result; // ok, or why the database could not be moved aside
    std::string path;   // the backup made; empty when there was no database to move
};

DatabaseBackup moveDatabaseAside(const std::string& databasePath,
                                 std::time_t now = std::time(nullptr),
                                 std::size_t keep = kDatabaseBackupsKept);

// Puts a backup that moveDatabaseAside made back in the database's place, replacing whatever is
// there now. A rename: it needs no room on the disk.
StoreResult restoreDatabaseBackup(const std::string& databasePath, const std::string& backupPath);

// The database's backups, newest first, as paths beside its real target.
std::vector<std::string> listDatabaseBackups(const std::string& databasePath);

// Removes the backups beyond `keep` as a new backup does; for one made with a larger `keep`.
void pruneDatabaseBackups(const std::string& databasePath, std::size_t keep = kDatabaseBackupsKept);

// When the backup was made (UTC, from its name); nullopt for a name no backup has.
std::optional<std::time_t> databaseBackupTime(const std::string& backupPath);

} // namespace varnetix
