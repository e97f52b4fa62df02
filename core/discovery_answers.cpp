#include "core/discovery_answers.h"

#include <charconv>
#include <sstream>

namespace varnetix {

namespace {

std::string answerLine(const FeedbackRecord& answer) {
    return answer.ElementIP + '\t' + std::to_string(answer.SerialNumber) + '\t' +
           std::to_string(answer.ElementRole) + '\n';
}

} // namespace

bool DiscoveryAnswerSet::add(const FeedbackRecord& answer) {
    if (m_records.size() >= kKept || !m_known.insert(answerLine(answer)).second)
        return false;
    m_records.push_back(answer);
    return true;
}

void DiscoveryAnswerSet::clear() {
    m_records.clear();
    m_known.clear();
}

std::string DiscoveryAnswersPath(const std::string& databasePath) {
    return databasePath + ".answers";
}

std::string DiscoveryAnswersText(const std::vector<FeedbackRecord>& answers) {
    std::string text;
    for (const FeedbackRecord& answer : answers)
        text += answerLine(answer);
    return text;
}

std::vector<FeedbackRecord> ParseDiscoveryAnswers(const std::string& text) {
    DiscoveryAnswerSet answers;
    std::istringstream lines(text);
    for (std::string line;
         answers.records().size() < DiscoveryAnswerSet::kKept && std::getline(lines, line);) {
        const std::size_t first = line.find('\t');
        const std::size_t second = line.find('\t', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        FeedbackRecord answer;
        answer.ElementIP = line.substr(0, first);
        int role = 0;
        const char* end = line.data() + line.size();
        const auto serial =
            std::from_chars(line.data() + first + 1, line.data() + second, answer.SerialNumber);
        const auto kind = std::from_chars(line.data() + second + 1, end, role);
        if (serial.ec != std::errc() || kind.ec != std::errc() || role < 0 || role > 255)
            continue;
        answer.ElementRole = static_cast<std::uint8_t>(role);
        answers.add(answer);
    }
    return answers.records();
}

} // namespace varnetix
