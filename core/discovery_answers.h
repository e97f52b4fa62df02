// What the network check keeps of the last discovery's answers, beside the database: for each
// answer its address, serial number and role, so that two elements that answered from one
// address are found again until the next discovery, by the station and by a script alike.
//
// The file is <database>.answers, one answer per line: "<ip>\t<serial>\t<role>".
#pragma once

#include <cstddef>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/feedback_packet.h"

namespace varnetix {

// The answers of one run, each element once: an element that answers again, or a sender that
// floods the station with answers, adds nothing after its first. A run keeps at most kKept,
// several times the largest network the station is meant for, so that what the network check
// reads after every run stays small whatever was sent.
class DiscoveryAnswerSet {
public:
    static constexpr std::size_t kKept = 4096;

    // False when this address, serial number and role answered already, or the set is full.
    bool add(const FeedbackRecord& answer);
    void clear();
    const std::vector<FeedbackRecord>& records() const { return m_records; }

private:
    std::vector<FeedbackRecord> m_records;
    std::unordered_set<std::string> m_known; // each record's line
};

std::string DiscoveryAnswersPath(const std::string& databasePath);
std::string DiscoveryAnswersText(const std::vector<FeedbackRecord>& answers);
// Lines that are not three fields of the right kind are skipped, and so are repeated ones and
// those beyond DiscoveryAnswerSet::kKept.
std::vector<FeedbackRecord> ParseDiscoveryAnswers(const std::string& text);

} // namespace varnetix
