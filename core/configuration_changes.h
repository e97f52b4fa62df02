// What Save will change in an element's record: each field of the panel against what the
// database holds, decided as the element's answer is checked afterwards, so that what the
// operator is shown as unchanged is what the answer check will find unchanged.
//
// A name is the same when both, stored as an answer stores them (16 characters, upper case),
// match without their spaces; an address only when the texts are equal character for character
// (192.168.001.010 is not 192.168.1.10); a list only when its index equals the stored number.
//
// One line per field that changes, in the answer check's order:
//     "System IP: 192.168.1.10 -> 192.168.1.11"
//     "Audio source: Digital -> Analog"      (a stored number on no list entry shows as stored)
// A value missing from the record shows as "(none)"; a name without its padding, as stored.
#pragma once

#include <string>
#include <vector>

namespace varnetix {

class IniDocument;

// The panel's values (names and addresses as typed; list indexes, -1 without a selection).
struct ConfigurationFields {
    std::string name, ip, mask, gateway, remote;
    int audioInput = -1, audioType = -1, txType = -1;
};

inline constexpr const char* kNoFieldChanged = "No field changed.";

std::vector<std::string> ConfigurationChanges(const IniDocument& database,
                                              const std::string& section,
                                              const ConfigurationFields& fields);

} // namespace varnetix
