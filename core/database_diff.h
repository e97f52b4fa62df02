// What a discovery changed: the database it replaced against the one it wrote, element by
// element, as a summary for the status bar and one line per finding for the event log.
//
// Compared per element (sections match in any letter case): address "ip", name "name"
// (trailing spaces ignored), role "role" (as the station tells roles apart: encoder, decoder,
// anything else) and version "ver" (as the panel shows it, two decimals: 2 and 2.0 are the
// same; a missing version reads as 2).
//
// Texts:
//   summary   "Discovery: 4 elements, 1 new, 1 missing, 1 changed"
//             "Discovery: 4 elements, no earlier database to compare"
//   details   "New element STUDIO [00:1A:2B:3C:4D:5E] at 192.168.1.10"
//             "Missing element STUDIO [00:1A:2B:3C:4D:5E] at 192.168.1.10"
//             "STUDIO [00:1A:2B:3C:4D:5E]: address 192.168.1.10 -> 192.168.1.11"
//             (fields: address, name, role, version; an empty value shows as "(none)")
//             "Found element STUDIO [00:1A:2B:3C:4D:5E] at 192.168.1.10" (no comparison)
// Without an earlier database (the first discovery, or a backup that could not be read) there
// is no comparison: nothing is called new, the elements found are listed as found.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace varnetix {

class IniDocument;

struct FieldChange {
    std::string field; // "address", "name", "role", "version"
    std::string oldValue;
    std::string newValue;
};

struct DiffElement {
    std::string section;
    std::string name; // trailing spaces removed
    std::string ip;
    std::vector<FieldChange> changes; // only for a changed element
};

struct DatabaseDiff {
    bool compared = false;          // false: there was no earlier database
    std::size_t elementCount = 0;   // elements in the new database
    std::vector<DiffElement> found; // every element of the new database, when not compared
    std::vector<DiffElement> added;
    std::vector<DiffElement> missing;
    std::vector<DiffElement> changed;
};

// One line of the details, with the element's MAC in colon form (the section name when it is
// not a MAC) for the event log's element column.
struct DiffLine {
    std::string element;
    std::string text;
};

// previous == nullptr: no earlier database. Lists follow file order (missing: the old file's).
DatabaseDiff CompareDatabases(const IniDocument* previous, const IniDocument& current);

std::string DiffSummary(const DatabaseDiff& diff);
std::vector<DiffLine> DiffDetails(const DatabaseDiff& diff);

} // namespace varnetix
