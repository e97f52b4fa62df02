#include "core/replacement_plan.h"

#include "core/commands.h"
#include "core/database_diff.h"
#include "core/element_record.h"
#include "core/element_tree.h"
#include "core/number_text.h"
#include "core/text_procedures.h"

#include <string_view>

namespace varnetix {

namespace {

std::string valueOf(const IniDocument& document, const std::string& section, std::string_view key) {
    return document.value(section, std::string(key)).value_or(std::string());
}

std::optional<ReplacementUnit> unitOf(const IniDocument& document, const DiffElement& element) {
    const double role = LeadingNumber(valueOf(document, element.section, record::kRole));
    if (role != record::kRoleEncoder && role != record::kRoleDecoder)
        return std::nullopt;
    const std::string colons = MacWithColons(element.section);
    return ReplacementUnit{element.section,
                           colons.empty() ? element.section : colons,
                           element.name,
                           element.ip,
                           static_cast<int>(role),
                           valueOf(document, element.section, record::kSfn),
                           valueOf(document, element.section, record::kBuffer)};
}

// A whole decimal number within [low, high], nothing else around it.
std::optional<int> storedNumber(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(text);
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::string decimal(long long value) {
    return std::to_string(value);
}

} // namespace

ReplacementCandidates FindReplacementCandidates(const IniDocument& backup,
                                                const IniDocument& current) {
    const DatabaseDiff diff = CompareDatabases(&backup, current);
    ReplacementCandidates candidates;
    for (const DiffElement& element : diff.missing) {
        if (auto unit = unitOf(backup, element))
            candidates.missing.push_back(std::move(*unit));
    }
    // The answer is matched by the spare's MAC: a section that names none cannot be matched.
    for (const DiffElement& element : diff.added) {
        auto unit = unitOf(current, element);
        if (unit && !MacWithColons(element.section).empty())
            candidates.spares.push_back(std::move(*unit));
    }
    return candidates;
}

std::optional<ReplacementConfiguration>
StoredConfiguration(const IniDocument& document, const std::string& section, std::string* why) {
    const auto refuse = [why](std::string_view key) {
        if (why)
            *why = std::string(key);
        return std::nullopt;
    };
    ReplacementConfiguration configuration;
    ConfigFields& fields = configuration.fields;
    const struct {
        std::string_view key;
        std::string* target;
    } addresses[] = {{record::kIp, &fields.ip},
                     {record::kMask, &fields.mask},
                     {record::kGateway, &fields.gateway},
                     {record::kRemote, &fields.remote}};
    for (const auto& address : addresses) {
        *address.target = valueOf(document, section, address.key);
        if (!IsValidIp(*address.target))
            return refuse(address.key);
    }
    const struct {
        std::string_view key;
        int* target;
    } codes[] = {{record::kInput, &fields.audioInput},
                 {record::kType, &fields.audioType},
                 {record::kTx, &fields.txType}};
    for (const auto& code : codes) {
        const std::optional<int> value = storedNumber(valueOf(document, section, code.key), 0, 1);
        if (!value)
            return refuse(code.key);
        *code.target = *value;
    }
    fields.name = TrimSpaces(valueOf(document, section, record::kName));
    if (fields.name.empty())
        return refuse(record::kName);
    if (LeadingNumber(valueOf(document, section, record::kRole)) == record::kRoleDecoder)
        configuration.attenuation = storedNumber(valueOf(document, section, record::kAttenuation),
                                                 kAttenuationMinimum, kAttenuationMaximum);
    return configuration;
}

AnswerComparison CompareConfigurationAnswer(const ConfigFields& sent, const FeedbackRecord& r) {
    const auto sameIndex = [](int index, std::uint8_t reported) {
        return index >= 0 && index == reported;
    };
    const struct {
        bool agrees;
        std::string_view key;
        std::string value;
        const char* field;
    } rows[] = {
        {SameElementName(sent.name, r.ElementName), record::kName, PadElementName(sent.name),
         "Element Name"},
        {sent.ip == r.ElementIP, record::kIp, sent.ip, "Element IP"},
        {sent.mask == r.ElementMask, record::kMask, sent.mask, "Element Mask"},
        {sent.gateway == r.ElementGW, record::kGateway, sent.gateway, "Element GW"},
        {sent.remote == r.RemoteIP, record::kRemote, sent.remote, "Remote IP"},
        {sameIndex(sent.audioInput, r.AudioInput), record::kInput, decimal(sent.audioInput),
         "Audio Input"},
        {sameIndex(sent.audioType, r.AudioType), record::kType, decimal(sent.audioType),
         "Audio Type"},
        {sameIndex(sent.txType, r.TxType), record::kTx, decimal(sent.txType), "Audio TX"},
    };
    AnswerComparison comparison;
    for (const auto& row : rows) {
        if (row.agrees)
            comparison.entries.emplace_back(row.key, row.value);
        else
            comparison.differing.emplace_back(row.field);
    }
    comparison.entries.emplace_back(record::kRole, decimal(r.ElementRole));
    comparison.entries.emplace_back(record::kSerial, decimal(r.SerialNumber));
    comparison.entries.emplace_back(record::kVersion, StoredVersion(r.DspVersion));
    return comparison;
}

} // namespace varnetix
