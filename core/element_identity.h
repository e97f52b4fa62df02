// Each element of the database as the metrics name it: the MAC of its section and its name,
// address and role as texts a label may carry.
#pragma once

#include <string>
#include <vector>

namespace varnetix {

class IniDocument;

struct ElementIdentity {
    std::string section; // as the file writes it
    std::string mac;     // the section, upper case
    std::string name;    // UTF-8, control characters escaped as in the event log
    std::string address; // likewise: it is only what the element reported
    bool encoder = false;
};

// The sections named by a MAC address, each once, in file order: the elements the tree shows.
std::vector<ElementIdentity> ElementIdentities(const IniDocument& database);

} // namespace varnetix
