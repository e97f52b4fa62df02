#include "core/findings_report.h"

#include "core/element_record.h"
#include "core/ini_store.h"
#include "core/inventory_csv.h"
#include "core/text_escape.h"

namespace varnetix {

namespace {

std::string storedText(const IniDocument& database, const std::string& section,
                       std::string_view key) {
    std::string text = database.value(section, std::string(key)).value_or(std::string());
    if (key == record::kName)
        text.erase(text.find_last_not_of(' ') + 1);
    return JsonString(latin1ToUtf8(text));
}

std::string elementJson(const IniDocument& database, const std::string& section) {
    return "{\"section\":" + JsonString(latin1ToUtf8(section)) +
           ",\"name\":" + storedText(database, section, record::kName) +
           ",\"address\":" + storedText(database, section, record::kIp) + "}";
}

} // namespace

std::string findingsText(const std::vector<Finding>& findings) {
    std::string text;
    for (const Finding& finding : findings)
        text += EscapeControls(findingLine(finding)) + '\n';
    return text;
}

std::string findingsJson(const std::string& databasePath, const IniDocument& database,
                         const std::vector<Finding>& findings) {
    std::string json = "{\"database\":" + JsonString(databasePath) + ",\"findings\":[";
    for (std::size_t i = 0; i < findings.size(); ++i) {
        const Finding& finding = findings[i];
        json += std::string(i == 0 ? "" : ",") +
                "{\"severity\":" + JsonString(severityName(findingSeverity(finding.kind))) +
                ",\"kind\":" + JsonString(findingWord(finding.kind)) +
                ",\"text\":" + JsonString(latin1ToUtf8(finding.sentence)) + ",\"elements\":[";
        for (std::size_t k = 0; k < finding.sections.size(); ++k)
            json += (k == 0 ? "" : ",") + elementJson(database, finding.sections[k]);
        json += "]}";
    }
    return json + "]}\n";
}

} // namespace varnetix
