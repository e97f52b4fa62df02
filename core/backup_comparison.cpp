#include "core/backup_comparison.h"

#include "core/element_record.h"
#include "core/ini_store.h"
#include "core/text_procedures.h"

#include <unordered_map>
#include <unordered_set>

namespace varnetix {

namespace {

std::string nameKey(const std::string& name) {
    return ToUpperAscii(TrimSpaces(name));
}

// Each element once, in file order, by the name the store finds it under.
std::vector<std::string> uniqueSections(const IniDocument& document) {
    std::vector<std::string> sections;
    std::unordered_set<std::string> seen;
    for (const std::string& section : document.sectionNames()) {
        if (seen.insert(nameKey(section)).second)
            sections.push_back(section);
    }
    return sections;
}

// The record's keys in file order, each once with the value the store reads for it.
IniEntries recordOf(const IniDocument& document, const std::string& section) {
    IniEntries entries;
    std::unordered_set<std::string> seen;
    for (auto& [key, value] : document.allEntries(section)) {
        if (seen.insert(nameKey(key)).second)
            entries.emplace_back(nameKey(key), std::move(value));
    }
    return entries;
}

std::string labelOf(const IniDocument& document, const std::string& section) {
    std::string name = document.value(section, std::string(record::kName)).value_or("");
    name.erase(name.find_last_not_of(' ') + 1);
    const std::string mac = MacWithColons(section);
    const std::string shown = "[" + (mac.empty() ? section : mac) + "]";
    return name.empty() ? shown : name + " " + shown;
}

std::vector<KeyDifference> keyDifferences(const IniEntries& current, const IniEntries& backup) {
    std::unordered_map<std::string, const std::string*> backupValues;
    for (const auto& [key, value] : backup)
        backupValues.emplace(key, &value);
    std::vector<KeyDifference> keys;
    for (const auto& [key, value] : current) {
        const auto found = backupValues.find(key);
        if (found == backupValues.end())
            keys.push_back({key, value, std::nullopt});
        else if (*found->second != value)
            keys.push_back({key, value, *found->second});
    }
    std::unordered_set<std::string> currentKeys;
    for (const auto& entry : current)
        currentKeys.insert(entry.first);
    for (const auto& [key, value] : backup) {
        if (!currentKeys.count(key))
            keys.push_back({key, std::nullopt, value});
    }
    return keys;
}

} // namespace

BackupComparison CompareBackup(const IniDocument& current, const IniDocument& backup,
                               std::size_t kept) {
    BackupComparison comparison;
    const auto keep = [&](RecordChange change, const IniDocument& document,
                          const std::string& section, std::vector<KeyDifference> keys) {
        if (comparison.records.size() < kept)
            comparison.records.push_back(
                {change, section, labelOf(document, section), std::move(keys)});
    };
    const std::vector<std::string> currentSections = uniqueSections(current);
    std::unordered_set<std::string> currentNames;
    for (const std::string& section : currentSections)
        currentNames.insert(nameKey(section));
    const std::vector<std::string> backupSections = uniqueSections(backup);
    comparison.elements = backupSections.size();
    std::unordered_set<std::string> backupNames;
    for (const std::string& section : backupSections) {
        backupNames.insert(nameKey(section));
        const IniEntries record = recordOf(backup, section);
        if (!currentNames.count(nameKey(section))) {
            ++comparison.added;
            keep(RecordChange::New, backup, section, keyDifferences({}, record));
        } else if (std::vector<KeyDifference> keys =
                       keyDifferences(recordOf(current, section), record);
                   !keys.empty()) {
            ++comparison.changed;
            keep(RecordChange::Changed, backup, section, std::move(keys));
        }
    }
    for (const std::string& section : currentSections) {
        if (!backupNames.count(nameKey(section))) {
            ++comparison.missing;
            keep(RecordChange::Missing, current, section,
                 keyDifferences(recordOf(current, section), {}));
        }
    }
    return comparison;
}

std::string ComparisonSummary(const BackupComparison& comparison) {
    if (comparison.added + comparison.missing + comparison.changed == 0)
        return "Same as the current database";
    return std::to_string(comparison.added) + " new, " + std::to_string(comparison.missing) +
           " missing, " + std::to_string(comparison.changed) + " changed";
}

} // namespace varnetix
