// The network check's findings as a command prints them: lines for a person at a terminal, or
// one JSON document for a program (alarms, metrics, a CI job).
#pragma once

#include "core/network_check.h"

#include <string>
#include <vector>

namespace varnetix {

class IniDocument;

// One findingLine per finding, each ended by LF, control characters escaped (EscapeControls).
std::string findingsText(const std::vector<Finding>& findings);

// {"database": PATH, "findings": [{"severity", "kind", "text", "elements": [{"section", "name",
// "address"}]}]} and a LF. The path is UTF-8; the database's texts are read as Latin-1. An
// element's name (trailing spaces removed) and address are as stored, "" when missing.
std::string findingsJson(const std::string& databasePath, const IniDocument& database,
                         const std::vector<Finding>& findings);

} // namespace varnetix
