#include "core/inventory_csv.h"

#include "core/commands.h"
#include "core/element_record.h"
#include "core/element_tree.h"
#include "core/ini_store.h"
#include "core/number_text.h"
#include "core/text_procedures.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_set>

namespace varnetix {

namespace {

constexpr int kLargestListIndex = 65535;

// No column name needs quoting.
constexpr std::string_view kHeader =
    "MAC,Name,IP address,Mask,Gateway,Remote IP,Role,Audio type,Audio input,TX type,"
    "Serial number,Version,SFN (1 = on),Buffer (2.5 ms steps),Attenuation (steps),"
    "Attenuation (dB),Status\r\n";

const std::array<const char*, 2> kAudioTypes = {"Left/Right", "MPX"};
const std::array<const char*, 2> kAudioInputs = {"Digital", "Analog"};
const std::array<const char*, 2> kTxTypes = {"Unicast", "Multicast"};

std::string withoutTrailingSpaces(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// A spreadsheet runs a cell that starts with one of these as a formula (OWASP, CSV injection).
bool startsAsFormula(std::string_view field) {
    constexpr std::string_view kFormulaStarts("=+-@\t\r\0", 7);
    return !field.empty() && kFormulaStarts.find(field.front()) != std::string_view::npos;
}

// RFC 4180: a field holding a comma, a quote or a line break is quoted, its quotes doubled. A
// text field that would start a formula is quoted with a leading apostrophe, so that it is shown
// as the text it is; numbers the station made (a dB value of -7.5) stay numbers.
void appendField(std::string& row, std::string_view field, bool text) {
    const bool formula = text && startsAsFormula(field);
    if (!formula && field.find_first_of(",\"\r\n") == std::string_view::npos) {
        row += field;
        return;
    }
    row += formula ? "\"'" : "\"";
    for (char c : field) {
        if (c == '"')
            row += '"';
        row += c;
    }
    row += '"';
}

template <std::size_t N>
std::string listName(const std::array<const char*, N>& names, std::optional<int> index) {
    if (!index || *index < 0 || static_cast<std::size_t>(*index) >= names.size())
        return {};
    return names[static_cast<std::size_t>(*index)];
}

// The readout's dB value for a step of the scale; mute and steps off the scale have none.
std::string attenuationDb(const std::optional<std::string>& stored) {
    const std::optional<int> step = storedListIndex(stored);
    if (!step || *step <= kAttenuationMinimum || *step > kAttenuationMaximum)
        return {};
    return PlainNumber((static_cast<double>(*step) - kAttenuationMaximum) * 0.5);
}

class RowWriter {
public:
    RowWriter(const IniDocument& database, const std::string& section)
        : m_database(database), m_section(section) {}

    std::optional<std::string> stored(std::string_view key) const {
        return m_database.value(m_section, std::string(key));
    }
    std::string text(std::string_view key) const {
        return latin1ToUtf8(stored(key).value_or(std::string()));
    }
    void cell(std::string_view field, bool text = true) {
        if (!m_row.empty())
            m_row += ',';
        appendField(m_row, field, text);
    }
    void number(std::string_view field) { cell(field, false); }
    std::string row() && { return std::move(m_row) + "\r\n"; }

private:
    const IniDocument& m_database;
    const std::string& m_section;
    std::string m_row;
};

std::string elementRow(const IniDocument& database, const std::string& section,
                       const ElementStatusText& status) {
    RowWriter r(database, section);
    r.cell(MacWithColons(section));
    r.cell(withoutTrailingSpaces(r.text(record::kName)));
    r.cell(r.text(record::kIp));
    r.cell(r.text(record::kMask));
    r.cell(r.text(record::kGateway));
    r.cell(r.text(record::kRemote));
    const std::optional<std::string> role = r.stored(record::kRole);
    r.cell(role ? roleName(storedRole(role)) : "");
    r.cell(listName(kAudioTypes, storedListIndex(r.stored(record::kType))));
    r.cell(listName(kAudioInputs, storedListIndex(r.stored(record::kInput))));
    r.cell(listName(kTxTypes, storedListIndex(r.stored(record::kTx))));
    r.cell(r.text(record::kSerial));
    // As the panel shows it, also when the key is missing.
    r.number(VersionTwoDecimals(r.stored(record::kVersion).value_or("2")));
    r.cell(r.text(record::kSfn));
    r.cell(r.text(record::kBuffer));
    r.cell(r.text(record::kAttenuation));
    r.number(attenuationDb(r.stored(record::kAttenuation)));
    r.cell(status ? status(section) : std::string());
    return std::move(r).row();
}

} // namespace

bool isMacSection(const std::string& section) {
    return section.size() == 12 && std::all_of(section.begin(), section.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c));
           });
}

std::string inventoryCsv(const IniDocument& database, const ElementStatusText& status) {
    std::string csv(kHeader);
    std::unordered_set<std::string> seen;
    for (const std::string& section : database.sectionNames()) {
        if (isMacSection(section) && seen.insert(ToUpperAscii(section)).second)
            csv += elementRow(database, section, status);
    }
    return csv;
}

std::vector<std::string> elementSections(const IniDocument& database) {
    std::vector<std::string> sections;
    std::unordered_set<std::string> seen;
    for (std::string& name : database.sectionNames()) {
        if (name.empty())
            break;
        if (seen.insert(ToUpperAscii(name)).second)
            sections.push_back(std::move(name));
    }
    return sections;
}

std::optional<int> storedListIndex(const std::optional<std::string>& stored) {
    if (!stored || stored->empty())
        return std::nullopt;
    int value = 0;
    for (char c : *stored) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > kLargestListIndex)
            return std::nullopt;
    }
    return value;
}

int storedRole(const std::optional<std::string>& stored) {
    const double role = LeadingNumber(stored.value_or(std::string()));
    if (role == record::kRoleEncoder)
        return record::kRoleEncoder;
    if (role == record::kRoleDecoder)
        return record::kRoleDecoder;
    return 0;
}

const char* roleName(int role) {
    if (role == record::kRoleEncoder)
        return "ENCODER";
    if (role == record::kRoleDecoder)
        return "DECODER";
    return "UNKNOWN";
}

std::string latin1ToUtf8(std::string_view text) {
    std::string utf8;
    utf8.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

} // namespace varnetix
