#include "station/element_database.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <utility>

namespace varnetix {

namespace {

std::string lowerText(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

} // namespace

ElementDatabase::ElementDatabase(std::string path, QObject* parent)
    : QObject(parent), m_path(std::move(path)) {}

ElementDatabase::Stamp ElementDatabase::stamp() const {
    struct stat status {};
    if (::stat(m_path.c_str(), &status) != 0)
        return {};
    const auto nanoseconds = [](const timespec& t) {
        return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
    };
    return {true,
            status.st_dev,
            status.st_ino,
            status.st_size,
            nanoseconds(status.st_mtim),
            nanoseconds(status.st_ctim)};
}

const IniLoad& ElementDatabase::current() {
    // The file system stamps times in coarse ticks: a rewrite in place of the same size within
    // the tick of the last one would look unchanged, so a file changed lately is read anyway.
    constexpr std::int64_t kLately = 2'000'000'000;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t nowNs = std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
    const Stamp seen = stamp();
    if (!m_read || seen != m_lastStamp || nowNs - seen.statusChanged < kLately)
        return reload();
    return m_last;
}

const IniLoad& ElementDatabase::reload() {
    // Stamped before the read: a change during the read is seen at the next look.
    m_lastStamp = stamp();
    m_last = readIniFile(m_path);
    m_read = true;
    return m_last;
}

std::string ElementDatabase::value(const std::string& section, std::string_view key,
                                   const std::string& fallback) {
    return current().document.value(section, lowerText(key)).value_or(fallback);
}

std::int16_t ElementDatabase::entryCount(const std::string& section) {
    return static_cast<std::int16_t>(current().document.sectionEntries(section).size());
}

StoreResult ElementDatabase::written(StoreResult result) {
    // Whatever happened, the next look reads the file again.
    m_read = false;
    if (result.ok()) {
        if (m_operations > 0)
            m_changedLater = true;
        else
            emit changed();
    }
    return result;
}

void ElementDatabase::operationEnded() {
    if (--m_operations == 0 && std::exchange(m_changedLater, false))
        emit changed();
}

StoreResult ElementDatabase::writeValue(const std::string& section, std::string_view key,
                                        const std::string& value) {
    return written(WriteToINI(section, std::string(key), value, m_path));
}

StoreResult ElementDatabase::writeSection(const std::string& section, const IniEntries& entries) {
    return written(WriteSectionToINI(section, entries, m_path));
}

StoreResult
ElementDatabase::writeSections(const std::vector<std::pair<std::string, IniEntries>>& sections) {
    return written(WriteSectionsToINI(sections, m_path));
}

StoreResult ElementDatabase::replace(std::string_view content) {
    return written(WriteFileAtomically(m_path, content));
}

DatabaseBackup ElementDatabase::moveAside(std::size_t keep) {
    DatabaseBackup backup = moveDatabaseAside(m_path, std::time(nullptr), keep);
    written(backup.result);
    return backup;
}

StoreResult ElementDatabase::restore(const std::string& backup) {
    return written(restoreDatabaseBackup(m_path, backup));
}

void ElementDatabase::remove() {
    std::remove(m_path.c_str());
    written({});
}

} // namespace varnetix
