#include "core/database_backup.h"

#include "core/database_file.h"
#include "core/discovery_answers.h"
#include "core/ini_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace varnetix {

namespace {

constexpr std::string_view kSuffix = ".bak";
constexpr std::string_view kStampPattern = "ddddddddTddddddZ"; // d: a digit
constexpr unsigned kMaxSequence = 999;

struct Backup {
    std::string stamp;
    unsigned sequence = 1;
    std::string path;
};

std::string stampOf(std::time_t now) {
    std::tm utc{};
    char text[32] = {};
    if (!::gmtime_r(&now, &utc) || std::strftime(text, sizeof text, "%Y%m%dT%H%M%SZ", &utc) == 0)
        return "00000000T000000Z";
    return text;
}

bool matchesStamp(std::string_view stamp) {
    if (stamp.size() != kStampPattern.size())
        return false;
    for (std::size_t i = 0; i < stamp.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (kStampPattern[i] == 'd' ? !digit : stamp[i] != kStampPattern[i])
            return false;
    }
    return true;
}

// "_2" and on; nothing for a first backup; nullopt for anything else.
std::optional<unsigned> sequenceOf(std::string_view text) {
    if (text.empty())
        return 1u;
    if (text.size() < 2 || text.size() > 4 || text[0] != '_' || text[1] == '0')
        return std::nullopt;
    unsigned sequence = 0;
    for (char c : text.substr(1)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        sequence = sequence * 10 + unsigned(c - '0');
    }
    return sequence >= 2 ? std::optional<unsigned>(sequence) : std::nullopt;
}

std::optional<Backup> backupNamed(std::string_view name, const std::string& base) {
    const std::size_t stampAt = base.size() + 1;
    if (name.size() < stampAt + kStampPattern.size() + kSuffix.size() ||
        name.substr(0, base.size()) != base || name[base.size()] != '.' || !name.ends_with(kSuffix))
        return std::nullopt;
    const std::string_view stamp = name.substr(stampAt, kStampPattern.size());
    const std::size_t restAt = stampAt + kStampPattern.size();
    const std::optional<unsigned> sequence =
        sequenceOf(name.substr(restAt, name.size() - restAt - kSuffix.size()));
    if (!matchesStamp(stamp) || !sequence)
        return std::nullopt;
    return Backup{std::string(stamp), *sequence, {}};
}

std::vector<Backup> backupsOf(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    const std::string dir =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = target.substr(dir.size());
    std::vector<Backup> backups;
    DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!listing)
        return backups;
    while (const dirent* entry = ::readdir(listing)) {
        std::optional<Backup> backup = backupNamed(entry->d_name, base);
        struct stat st {};
        if (backup && ::fstatat(::dirfd(listing), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode)) {
            backup->path = dir + entry->d_name;
            backups.push_back(std::move(*backup));
        }
    }
    ::closedir(listing);
    std::sort(backups.begin(), backups.end(), [](const Backup& a, const Backup& b) {
        return a.stamp != b.stamp ? a.stamp > b.stamp : a.sequence > b.sequence;
    });
    return backups;
}

// What the station would show of it: a first section with a name. A backup that cannot be
// read might hold one.
bool mayHoldElements(const std::string& path) {
    const IniLoad load = readIniFile(path);
    if (load.state == FileState::Unreadable)
        return true;
    const std::vector<std::string> names = load.document.sectionNames();
    return !names.empty() && !names.front().empty();
}

void prune(const std::string& target, std::size_t keep) {
    const std::vector<Backup> backups = backupsOf(target);
    if (backups.size() <= keep)
        return;
    std::size_t kept = backups.size();
    for (std::size_t i = 0; i < backups.size(); ++i) {
        if (mayHoldElements(backups[i].path)) {
            kept = i;
            break;
        }
    }
    // A backup that cannot be removed still counts, so that no newer one goes in its place.
    std::size_t surplus = backups.size() - keep;
    for (std::size_t i = backups.size(); i-- > 0 && surplus > 0;) {
        if (i == kept)
            continue;
        ::unlink(backups[i].path.c_str());
        ::unlink(DiscoveryAnswersPath(backups[i].path).c_str());
        --surplus;
    }
}

int renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without the flag: nothing else writes here while the station holds its
    // single-instance lock, so a test before the rename is enough.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0)
        return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

DatabaseBackup moveAside(const std::string& databasePath, std::time_t now, std::size_t keep) {
    std::string target;
    if (StoreResult resolved = resolveLinkTarget(databasePath, target); !resolved.ok())
        return {resolved, {}};
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0)
        return {errno == ENOENT ? StoreResult{} : StoreResult::failure(errno, target), {}};
    const std::string stamp = stampOf(now);
    for (unsigned sequence = 1; sequence <= kMaxSequence; ++sequence) {
        const std::string backup = target + "." + stamp +
                                   (sequence > 1 ? "_" + std::to_string(sequence) : "") +
                                   std::string(kSuffix);
        const int error = renameWithoutReplacing(target, backup);
        if (error == EEXIST)
            continue;
        if (error != 0)
            return {StoreResult::failure(error, target), {}};
        syncDirectoryOf(target);
        prune(target, std::max<std::size_t>(keep, 1));
        return {{}, backup};
    }
    return {StoreResult::failure(EEXIST, target, "too many backups within one second"), {}};
}

} // namespace

DatabaseBackup moveDatabaseAside(const std::string& databasePath, std::time_t now,
                                 std::size_t keep) {
    try {
        return moveAside(databasePath, now, keep);
    } catch (const std::bad_alloc&) {
        return {StoreResult::failure(ENOMEM, databasePath), {}};
    }
}

StoreResult restoreDatabaseBackup(const std::string& databasePath, const std::string& backupPath) {
    try {
        std::string target;
        if (StoreResult resolved = resolveLinkTarget(databasePath, target); !resolved.ok())
            return resolved;
        if (::rename(backupPath.c_str(), target.c_str()) != 0)
            return StoreResult::failure(errno, backupPath);
        syncDirectoryOf(target);
        return {};
    } catch (const std::bad_alloc&) {
        return StoreResult::failure(ENOMEM, databasePath);
    }
}

std::vector<std::string> listDatabaseBackups(const std::string& databasePath) {
    std::string target;
    std::vector<std::string> paths;
    if (!resolveLinkTarget(databasePath, target).ok())
        return paths;
    for (Backup& backup : backupsOf(target))
        paths.push_back(std::move(backup.path));
    return paths;
}

void pruneDatabaseBackups(const std::string& databasePath, std::size_t keep) {
    try {
        std::string target;
        if (resolveLinkTarget(databasePath, target).ok())
            prune(target, std::max<std::size_t>(keep, 1));
    } catch (const std::bad_alloc&) {
        // Nothing is removed: a backup too many is no loss.
    }
}

std::optional<std::time_t> databaseBackupTime(const std::string& backupPath) {
    std::string_view name = backupPath;
    name.remove_prefix(name.rfind('/') == std::string_view::npos ? 0 : name.rfind('/') + 1);
    if (!name.ends_with(kSuffix))
        return std::nullopt;
    name.remove_suffix(kSuffix.size());
    if (const std::size_t sequence = name.rfind('_'); sequence != std::string_view::npos &&
                                                      sequence + 1 < name.size() &&
                                                      sequenceOf(name.substr(sequence)))
        name = name.substr(0, sequence);
    if (name.size() < kStampPattern.size() + 1 ||
        !matchesStamp(name.substr(name.size() - kStampPattern.size())))
        return std::nullopt;
    const std::string stamp(name.substr(name.size() - kStampPattern.size()));
    std::tm utc{};
    utc.tm_year = std::stoi(stamp.substr(0, 4)) - 1900;
    utc.tm_mon = std::stoi(stamp.substr(4, 2)) - 1;
    utc.tm_mday = std::stoi(stamp.substr(6, 2));
    utc.tm_hour = std::stoi(stamp.substr(9, 2));
    utc.tm_min = std::stoi(stamp.substr(11, 2));
    utc.tm_sec = std::stoi(stamp.substr(13, 2));
    return ::timegm(&utc);
}

} // namespace varnetix
