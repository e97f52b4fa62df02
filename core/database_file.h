// The database as a file: read whole, told missing from unreadable, and replaced atomically by
// a temporary renamed over its real target (a symbolic link is written through, never replaced).
#pragma once

#include "core/store_result.h"

#include <functional>
#include <string>
#include <string_view>

namespace varnetix {

enum class FileState { Missing, Loaded, Unreadable };

struct FileContent {
    FileState state = FileState::Missing;
    std::string text;   // the whole file when Loaded
    StoreResult result; // the system's reason when Unreadable
};

// Only a missing file (ENOENT) is Missing; any other error makes the file Unreadable.
FileContent readWholeFile(const std::string& path);

// The file that a write of the path replaces: the path itself or, for a symbolic link, where
// its links lead, also when that file does not exist yet.
StoreResult resolveLinkTarget(const std::string& path, std::string& target);

// Writes the content to a temporary file in the directory of the path's target, flushes it to
// disk and renames it over the target, keeping its permissions. Refuses a target that the
// process may not write, and a read-only one (no write bit in its mode) even for root. On any
// failure the old file is left as it was and the temporary is removed.
StoreResult WriteFileAtomically(const std::string& path, std::string_view content);

// Whether a write of the database could replace it now: the file can be read (or does not exist
// yet), its target may be written and its directory may take the new file.
StoreResult checkDatabaseWritable(const std::string& path);

// Makes a rename in the directory of the path durable (as far as the file system allows).
void syncDirectoryOf(const std::string& path);

// Writes all of `content` to `fd`; 0, or the errno that stopped it (ENOSPC for a write of 0).
int writeAll(int fd, std::string_view content);

// Removes what writes cut short by a crash left behind: the regular files named "." + the
// target's name + "." + six temporary-name characters, in the directory of the path's target,
// for the database and for the discovery answers kept beside it. Returns how many were removed.
// Only while no other process writes this database.
int removeStaleTemporaries(const std::string& path);

// Test seams. The commit hook runs after the temporary is complete and before the rename; it
// returns 0 to go on, or an errno with which the write then fails, as a failed write, fsync or
// rename would. The read error makes the next reading of a file fail with that errno.
void SetIniCommitHookForTesting(std::function<int()> hook);
void FailNextIniReadForTesting(int error);

} // namespace varnetix
