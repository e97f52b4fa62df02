#include "core/database_diff.h"

#include "core/element_record.h"
#include "core/element_tree.h"
#include "core/ini_store.h"
#include "core/number_text.h"
#include "core/text_procedures.h"

#include <unordered_set>

namespace varnetix {

namespace {

std::string keyOf(const std::string& section) {
    return ToUpperAscii(TrimSpaces(section));
}

// Each element once, in file order; a later section that differs only in case is the same
// element, and the store reads the first one anyway.
std::vector<std::string> uniqueSections(const IniDocument& document) {
    std::vector<std::string> sections;
    std::unordered_set<std::string> seen;
    for (const std::string& section : document.sectionNames()) {
        if (seen.insert(keyOf(section)).second)
            sections.push_back(section);
    }
    return sections;
}

std::unordered_set<std::string> keysOf(const std::vector<std::string>& sections) {
    std::unordered_set<std::string> keys;
    for (const std::string& section : sections)
        keys.insert(keyOf(section));
    return keys;
}

std::string valueOf(const IniDocument& document, const std::string& section, std::string_view key,
                    const std::string& fallback = {}) {
    return document.value(section, std::string(key)).value_or(fallback);
}

std::string trimmedName(const IniDocument& document, const std::string& section) {
    std::string name = valueOf(document, section, record::kName);
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

std::string ipOf(const IniDocument& document, const std::string& section) {
    return valueOf(document, section, record::kIp);
}

DiffElement elementOf(const IniDocument& document, const std::string& section) {
    return DiffElement{section, trimmedName(document, section), ipOf(document, section), {}};
}

std::string roleWord(const IniDocument& document, const std::string& section) {
    const double role = LeadingNumber(valueOf(document, section, record::kRole));
    if (role == record::kRoleEncoder)
        return "ENCODER";
    if (role == record::kRoleDecoder)
        return "DECODER";
    return "UNKNOWN";
}

// The panel's default for a record without a version.
std::string versionOf(const IniDocument& document, const std::string& section) {
    return valueOf(document, section, record::kVersion, "2");
}

std::string asStored(const std::string& value) {
    return value;
}

struct ComparedField {
    const char* field;
    std::string (*read)(const IniDocument&, const std::string&);
    std::string (*comparable)(const std::string&); // two values are the same when these match
};

const ComparedField kComparedFields[] = {
    {"address", ipOf, asStored},
    {"name", trimmedName, asStored},
    {"role", roleWord, asStored},
    {"version", versionOf, VersionTwoDecimals},
};

// The old section is found by the new one's name: the store matches names in any letter case.
std::vector<FieldChange> changesOf(const IniDocument& previous, const IniDocument& current,
                                   const std::string& section) {
    std::vector<FieldChange> changes;
    for (const ComparedField& compared : kComparedFields) {
        std::string before = compared.read(previous, section);
        std::string after = compared.read(current, section);
        if (compared.comparable(before) != compared.comparable(after))
            changes.push_back({compared.field, std::move(before), std::move(after)});
    }
    return changes;
}

std::string plural(std::size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

std::string macColumn(const std::string& section) {
    const std::string colons = MacWithColons(section);
    return colons.empty() ? section : colons;
}

std::string label(const DiffElement& element) {
    const std::string mac = "[" + macColumn(element.section) + "]";
    return element.name.empty() ? mac : element.name + " " + mac;
}

std::string atAddress(const DiffElement& element) {
    return element.ip.empty() ? std::string() : " at " + element.ip;
}

std::string shown(const std::string& value) {
    return value.empty() ? "(none)" : value;
}

void addLines(std::vector<DiffLine>& lines, const std::vector<DiffElement>& elements,
              const std::string& prefix) {
    for (const DiffElement& element : elements)
        lines.push_back({macColumn(element.section), prefix + label(element) + atAddress(element)});
}

} // namespace

DatabaseDiff CompareDatabases(const IniDocument* previous, const IniDocument& current) {
    DatabaseDiff diff;
    const std::vector<std::string> sections = uniqueSections(current);
    diff.elementCount = sections.size();
    if (previous == nullptr) {
        for (const std::string& section : sections)
            diff.found.push_back(elementOf(current, section));
        return diff;
    }
    diff.compared = true;
    const std::vector<std::string> oldSections = uniqueSections(*previous);
    const std::unordered_set<std::string> oldKeys = keysOf(oldSections);
    for (const std::string& section : sections) {
        DiffElement element = elementOf(current, section);
        if (oldKeys.count(keyOf(section)) == 0) {
            diff.added.push_back(std::move(element));
            continue;
        }
        element.changes = changesOf(*previous, current, section);
        if (!element.changes.empty())
            diff.changed.push_back(std::move(element));
    }
    const std::unordered_set<std::string> newKeys = keysOf(sections);
    for (const std::string& section : oldSections) {
        if (newKeys.count(keyOf(section)) == 0)
            diff.missing.push_back(elementOf(*previous, section));
    }
    return diff;
}

std::string DiffSummary(const DatabaseDiff& diff) {
    const std::string head = "Discovery: " + plural(diff.elementCount, "element");
    if (!diff.compared)
        return head + ", no earlier database to compare";
    return head + ", " + std::to_string(diff.added.size()) + " new, " +
           std::to_string(diff.missing.size()) + " missing, " +
           std::to_string(diff.changed.size()) + " changed";
}

std::vector<DiffLine> DiffDetails(const DatabaseDiff& diff) {
    std::vector<DiffLine> lines;
    addLines(lines, diff.found, "Found element ");
    addLines(lines, diff.added, "New element ");
    addLines(lines, diff.missing, "Missing element ");
    for (const DiffElement& element : diff.changed) {
        for (const FieldChange& change : element.changes) {
            lines.push_back({macColumn(element.section), label(element) + ": " + change.field +
                                                             " " + shown(change.oldValue) + " -> " +
                                                             shown(change.newValue)});
        }
    }
    return lines;
}

} // namespace varnetix
