// What the network check keeps of the last discovery's answers, beside the database: for each
// answer its address, serial number and role, so that two elements that answered from one
// address are found again until the next discovery, by the station and by a script alike.
//
// The file is <database>.answers, one answer per line: "<ip>\t<serial>\t<role>".
#pragma once

#include <string>
#include <vector>

#include "core/feedback_packet.h"

namespace varnetix {

std::string DiscoveryAnswersPath(const std::string& databasePath);
std::string DiscoveryAnswersText(const std::vector<FeedbackRecord>& answers);
// Lines that are not three fields of the right kind are skipped.
std::vector<FeedbackRecord> ParseDiscoveryAnswers(const std::string& text);

} // namespace varnetix
