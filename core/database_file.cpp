#include "core/database_file.h"

#include "core/discovery_answers.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace varnetix {

namespace {

// Room for the edits of one call, so that changing a line of a large file does not move it.
constexpr std::size_t kEditRoom = 65536;
constexpr int kMaxLinkHops = 40; // as the kernel's own limit

std::function<int()>& commitHook() {
    static std::function<int()> hook;
    return hook;
}

int& injectedReadError() {
    static int error = 0;
    return error;
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileContent unreadable(int error, const std::string& path) {
    FileContent content;
    content.state = FileState::Unreadable;
    content.result = StoreResult::failure(error, path);
    return content;
}

// Reads to the end, also when the file grew since its size was taken.
int readAll(int fd, std::string& text) {
    std::size_t used = 0;
    for (;;) {
        if (used == text.size())
            text.resize(used + kEditRoom);
        const ssize_t n = ::read(fd, text.data() + used, text.size() - used);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            break;
        used += std::size_t(n);
    }
    text.resize(used);
    return 0;
}

// Whether the target may be replaced, and the permissions its replacement gets.
StoreResult checkWritable(const std::string& target, struct stat& old, bool& exists) {
    exists = ::stat(target.c_str(), &old) == 0;
    if (!exists)
        return errno == ENOENT ? StoreResult{} : StoreResult::failure(errno, target);
    if (S_ISDIR(old.st_mode))
        return StoreResult::failure(EISDIR, target);
    // Root could rename over a file without any write bit; the mode says it is not to be
    // changed, so nobody changes it.
    if ((old.st_mode & 0222) == 0)
        return StoreResult::failure(EACCES, target, "the file is read-only");
    if (::access(target.c_str(), W_OK) != 0)
        return StoreResult::failure(errno, target);
    return {};
}

// The temporary is complete and on disk when this returns 0.
int fillTemporary(int fd, std::string_view content, const struct stat* old) {
    if (::fchmod(fd, old ? old->st_mode & 07777 : 0644) != 0)
        return errno;
    // A file of another owner stays theirs where the process may give it away (as root).
    if (old && (old->st_uid != ::geteuid() || old->st_gid != ::getegid()))
        (void)!::fchown(fd, old->st_uid, old->st_gid);
    if (const int error = writeAll(fd, content))
        return error;
    return ::fsync(fd) == 0 ? 0 : errno;
}

StoreResult replaceTarget(const std::string& target, std::string_view content) {
    struct stat old {};
    bool exists = false;
    if (StoreResult writable = checkWritable(target, old, exists); !writable.ok())
        return writable;

    const std::string dir = directoryOf(target);
    // Hidden and unique: a copy left by a crash is never taken for the database.
    std::string temp = dir + "." + nameOf(target) + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return StoreResult::failure(errno, dir.empty() ? std::string(".") : dir);

    int error = fillTemporary(fd, content, exists ? &old : nullptr);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && commitHook())
        error = commitHook()();
    if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        return StoreResult::failure(error, target);
    }
    // The new content is in place either way; this makes the rename itself durable.
    syncDirectoryOf(target);
    return {};
}

bool isTemporaryNameCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool isTemporaryOf(std::string_view name, const std::string& base) {
    const std::size_t prefix = base.size() + 2;
    if (name.size() != prefix + 6 || name[0] != '.' || name.substr(1, base.size()) != base ||
        name[base.size() + 1] != '.')
        return false;
    for (char c : name.substr(prefix)) {
        if (!isTemporaryNameCharacter(c))
            return false;
    }
    return true;
}

int removeTemporariesOf(const std::string& path) {
    std::string target;
    if (!resolveLinkTarget(path, target).ok())
        return 0;
    const std::string dir = directoryOf(target);
    const std::string base = nameOf(target);
    DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!listing)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat st {};
        if (isTemporaryOf(entry->d_name, base) &&
            ::fstatat(::dirfd(listing), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && ::unlinkat(::dirfd(listing), entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(listing);
    return removed;
}

} // namespace

FileContent readWholeFile(const std::string& path) {
    try {
        if (const int error = std::exchange(injectedReadError(), 0))
            return unreadable(error, path);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return errno == ENOENT ? FileContent{} : unreadable(errno, path);
        FileContent content;
        struct stat st {};
        int error = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
        if (error == 0) {
            content.text.reserve(std::size_t(st.st_size) + kEditRoom);
            content.text.resize(std::size_t(st.st_size));
            error = readAll(fd, content.text);
        }
        ::close(fd);
        if (error != 0)
            return unreadable(error, path);
        content.state = FileState::Loaded;
        return content;
    } catch (const std::bad_alloc&) {
        return unreadable(ENOMEM, path);
    } catch (const std::length_error&) {
        return unreadable(EFBIG, path);
    }
}

StoreResult resolveLinkTarget(const std::string& path, std::string& target) {
    std::string current = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT)
                return StoreResult::failure(errno, current);
            target = current;
            return {};
        }
        if (!S_ISLNK(st.st_mode)) {
            target = current;
            return {};
        }
        std::string link(std::size_t(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(current.c_str(), link.data(), link.size());
        if (n < 0)
            return StoreResult::failure(errno, current);
        if (std::size_t(n) >= link.size()) // the link changed while it was read
            return StoreResult::failure(EAGAIN, current);
        link.resize(std::size_t(n));
        current = link.front() == '/' ? link : directoryOf(current) + link;
    }
    return StoreResult::failure(ELOOP, path);
}

StoreResult WriteFileAtomically(const std::string& path, std::string_view content) {
    try {
        std::string target;
        if (StoreResult resolved = resolveLinkTarget(path, target); !resolved.ok())
            return resolved;
        return replaceTarget(target, content);
    } catch (const std::bad_alloc&) {
        return StoreResult::failure(ENOMEM, path);
    }
}

StoreResult checkDatabaseWritable(const std::string& path) {
    std::string target;
    if (StoreResult resolved = resolveLinkTarget(path, target); !resolved.ok())
        return resolved;
    if (const FileContent content = readWholeFile(target); content.state == FileState::Unreadable)
        return StoreResult::failure(content.result.error, target,
                                    "the file cannot be read: " + content.result.reason);
    // The write is a new file renamed in the directory: that directory must exist and take it.
    const std::string dir = directoryOf(target);
    if (::access(dir.empty() ? "." : dir.c_str(), W_OK | X_OK) != 0)
        return StoreResult::failure(errno, dir.empty() ? std::string(".") : dir);
    struct stat old {};
    bool exists = false;
    return checkWritable(target, old, exists);
}

void syncDirectoryOf(const std::string& path) {
    const std::string dir = directoryOf(path);
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int removeStaleTemporaries(const std::string& path) {
    // The answers of the last discovery are written beside the database the same way.
    int removed = 0;
    for (const std::string& file : {path, DiscoveryAnswersPath(path)})
        removed += removeTemporariesOf(file);
    return removed;
}

void SetIniCommitHookForTesting(std::function<int()> hook) {
    commitHook() = std::move(hook);
}

void FailNextIniReadForTesting(int error) {
    injectedReadError() = error;
}

int writeAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t n = ::write(fd, content.data(), content.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        content.remove_prefix(std::size_t(n));
    }
    return 0;
}

} // namespace varnetix
