#include "core/configuration_changes.h"

#include "core/element_record.h"
#include "core/ini_store.h"
#include "core/number_text.h"
#include "core/text_procedures.h"

#include <array>
#include <optional>

namespace varnetix {

namespace {

using List = std::array<const char*, 2>;
constexpr List kInputs = {"Digital", "Analog"};
constexpr List kTypes = {"Left/Right", "MPX"};
constexpr List kTxTypes = {"Unicast", "Multicast"};

std::string shown(const std::string& value) {
    return value.empty() ? "(none)" : value;
}

std::string entryOf(const List& list, int index) {
    return index >= 0 && index < int(list.size()) ? list[std::size_t(index)] : "(none)";
}

// A stored list number by its entry's name; anything else as it is stored.
std::string storedEntry(const List& list, const std::string& stored) {
    const std::optional<int> index = WholeNumber(stored);
    return index && *index >= 0 && *index < int(list.size()) ? list[std::size_t(*index)]
                                                             : shown(stored);
}

} // namespace

std::vector<std::string> ConfigurationChanges(const IniDocument& database,
                                              const std::string& section,
                                              const ConfigurationFields& fields) {
    const auto stored = [&](std::string_view key) {
        return database.value(section, std::string(key)).value_or(std::string());
    };
    std::vector<std::string> changes;
    const auto change = [&](const char* field, const std::string& before,
                            const std::string& after) {
        changes.push_back(std::string(field) + ": " + before + " -> " + after);
    };

    const std::string name = stored(record::kName);
    if (!SameElementName(fields.name, name))
        change("System name", shown(TrimSpaces(name)), TrimSpaces(PadElementName(fields.name)));
    const std::pair<const char*, std::string_view> addresses[] = {
        {"System IP", record::kIp},
        {"Network mask", record::kMask},
        {"Gateway IP", record::kGateway},
        {"Remote IP", record::kRemote},
    };
    const std::string* typed[] = {&fields.ip, &fields.mask, &fields.gateway, &fields.remote};
    for (std::size_t i = 0; i < std::size(addresses); ++i) {
        const std::string before = stored(addresses[i].second);
        if (before != *typed[i])
            change(addresses[i].first, shown(before), *typed[i]);
    }
    const struct {
        const char* field;
        std::string_view key;
        const List& list;
        int index;
    } lists[] = {
        {"Audio source", record::kInput, kInputs, fields.audioInput},
        {"Audio type", record::kType, kTypes, fields.audioType},
        {"TX type", record::kTx, kTxTypes, fields.txType},
    };
    for (const auto& list : lists) {
        const std::string before = stored(list.key);
        if (list.index < 0 || WholeNumber(before) != list.index)
            change(list.field, storedEntry(list.list, before), entryOf(list.list, list.index));
    }
    return changes;
}

} // namespace varnetix
