// How a backup of the database differs from the current database, for the operator choosing
// one to restore: element by element (sections match in any letter case, the first of a name
// counts, as the store reads it) and key by key, every key of the record, values as stored.
//
// Seen from a restore: an element only in the backup is new (the restore brings it back), one
// only in the current database is missing (the restore removes it), one in both whose keys
// differ is changed.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace varnetix {

class IniDocument;

enum class RecordChange { New, Missing, Changed };

struct KeyDifference {
    std::string key;                    // upper case, as the station writes keys
    std::optional<std::string> current; // nullopt: the key is not in that record
    std::optional<std::string> backup;
};

struct RecordDifference {
    RecordChange change = RecordChange::Changed;
    std::string section;
    std::string label; // "STUDIO [00:1A:2B:3C:4D:5E]", or the section without a name or MAC
    std::vector<KeyDifference> keys;
};

struct BackupComparison {
    std::size_t elements = 0; // in the backup
    std::size_t added = 0, missing = 0, changed = 0;
    std::vector<RecordDifference> records; // the first `kept` of them, new and changed first
};

// Counts every difference; keeps the details of at most `kept` records, so that a preview of a
// large database stays small.
BackupComparison CompareBackup(const IniDocument& current, const IniDocument& backup,
                               std::size_t kept = std::numeric_limits<std::size_t>::max());

// "2 new, 1 missing, 3 changed", or "Same as the current database".
std::string ComparisonSummary(const BackupComparison& comparison);

} // namespace varnetix
