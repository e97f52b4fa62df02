// A failed element replaced by a spare: the elements a discovery found missing and the new ones
// that can take their place, the configuration a missing element's record makes, and how an
// answer to a configuration compares with what was sent (Save's answers are checked the same way).
//
// The missing elements are the records of the backup a discovery made that the database lacks;
// the spares are the database's records that the backup lacks. Only encoders and decoders are
// listed: a spare takes the place of an element of its own role.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/config_packet.h"
#include "core/feedback_packet.h"
#include "core/ini_store.h"

namespace varnetix {

struct ReplacementUnit {
    std::string section; // as its file names it
    std::string mac;     // colon form; the section when it is not a MAC
    std::string name;    // trailing spaces removed
    std::string ip;
    int role = 0;            // record::kRoleEncoder or record::kRoleDecoder
    std::string sfn, buffer; // as stored, "" when missing: a configuration carries neither
};

struct ReplacementCandidates {
    std::vector<ReplacementUnit> missing; // in the backup's order
    std::vector<ReplacementUnit> spares;  // in the database's order
};

ReplacementCandidates FindReplacementCandidates(const IniDocument& backup,
                                                const IniDocument& current);

// What a spare is sent in a missing element's place: its configuration, and for a decoder its
// attenuation step (sent after the answer, as an attenuation command).
struct ReplacementConfiguration {
    ConfigFields fields;
    std::optional<int> attenuation;
};

// The section's configuration; nullopt when the record cannot make one (an address that is not
// a dotted quad, an audio or TX code that is not 0 or 1, no name), and `why` names the key.
std::optional<ReplacementConfiguration>
StoredConfiguration(const IniDocument& document, const std::string& section, std::string* why);

// An answer to a configuration against what was sent: the entries of the settings the element
// took (as a configuration answer stores them: the sent values, then role, serial number and
// version as reported) and, in the order of the checks, the fields it did not take ("Element
// Name", "Element IP", ... "Audio TX").
struct AnswerComparison {
    IniEntries entries;
    std::vector<std::string> differing;
};

AnswerComparison CompareConfigurationAnswer(const ConfigFields& sent, const FeedbackRecord& answer);

} // namespace varnetix
