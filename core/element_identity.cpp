#include "core/element_identity.h"

#include "core/element_record.h"
#include "core/event_log_line.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "core/text_procedures.h"

namespace varnetix {

std::vector<ElementIdentity> ElementIdentities(const IniDocument& database) {
    std::vector<ElementIdentity> elements;
    const auto text = [&database](const std::string& section, std::string_view key) {
        return EscapeLogField(
            latin1ToUtf8(database.value(section, std::string(key)).value_or(std::string())));
    };
    for (const std::string& section : elementSections(database)) {
        if (!isMacSection(section))
            continue;
        // The tree draws every element that is no encoder as a decoder.
        elements.push_back({section, ToUpperAscii(section), text(section, record::kName),
                            text(section, record::kIp),
                            storedRole(database.value(section, std::string(record::kRole))) ==
                                record::kRoleEncoder});
    }
    return elements;
}

} // namespace varnetix
