// nms.ini and its one owner in the station: the last read is kept and read again only when the
// file changed on disk (its inode, size, modification or change time), every operation is one
// write, and every write that changes the file is signalled.
#pragma once

#include <QObject>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/database_backup.h"
#include "core/ini_store.h"

namespace varnetix {

class ElementDatabase : public QObject {
    Q_OBJECT
public:
    explicit ElementDatabase(std::string path, QObject* parent = nullptr);

    const std::string& path() const { return m_path; }

    // The database as last read, read again first when the file has changed since.
    const IniLoad& current();
    // Read whatever the file's stamp says: the moments the station rebuilds its tree.
    const IniLoad& reload();

    bool exists() { return current().state != FileState::Missing; }
    std::string value(const std::string& section, std::string_view key,
                      const std::string& fallback = {});
    // The section's entries as the store counts them; 0 for a missing section.
    std::int16_t entryCount(const std::string& section);
    StoreResult checkWritable() const { return checkDatabaseWritable(m_path); }

    StoreResult writeValue(const std::string& section, std::string_view key,
                           const std::string& value);
    StoreResult writeSection(const std::string& section, const IniEntries& entries);
    StoreResult writeSections(const std::vector<std::pair<std::string, IniEntries>>& sections);
    // The whole file replaced by the content (an empty database at the start of a discovery).
    StoreResult replace(std::string_view content);
    // The database moved aside as a dated backup (keeping `keep` backups), and a backup put back.
    DatabaseBackup moveAside(std::size_t keep = kDatabaseBackupsKept);
    StoreResult restore(const std::string& backup);
    void remove();

    // The writes of one operation are signalled once, when it ends.
    class Operation {
    public:
        explicit Operation(ElementDatabase& database) : m_database(database) {
            ++m_database.m_operations;
        }
        ~Operation() { m_database.operationEnded(); }
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        ElementDatabase& m_database;
    };

signals:
    // The station has written the file (at the end of the operation that wrote it).
    void changed();

private:
    struct Stamp {
        bool exists = false;
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, modified = 0, statusChanged = 0; // times in ns
        bool operator==(const Stamp&) const = default;
    };
    Stamp stamp() const;
    StoreResult written(StoreResult result);
    void operationEnded();

    std::string m_path;
    IniLoad m_last;
    Stamp m_lastStamp;
    bool m_read = false;
    int m_operations = 0;        // operations under way
    bool m_changedLater = false; // written during one of them
};

} // namespace varnetix
