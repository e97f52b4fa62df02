// Feeds arbitrary bytes to the INI parser as a database written by anyone. Input: the file
// text, optionally followed by NUL-separated section, key and value to write.
#include "core/element_tree.h"
#include "core/ini_store.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace varnetix;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::string trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// What a reader sees of a value written through the store.
std::string expectedRead(const std::string& written) {
    std::string v = trim(written.substr(0, written.find_first_of("\r\n")));
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    return v.substr(0, kIniValueLimit);
}

void checkDocument(const IniDocument& doc) {
    const std::string once = doc.serialize();
    const IniDocument again = IniDocument::parse(once);
    check(again.serialize() == once);
    check(again.sectionNames() == doc.sectionNames());

    for (const std::string& name : doc.sectionNames()) {
        check(doc.hasSection(name));
        const IniEntries all = doc.allEntries(name);
        const std::vector<std::string> seen = doc.sectionEntries(name);
        check(seen.size() <= all.size());
        std::size_t used = 0;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const std::string full = all[i].first + "=" + all[i].second;
            check(full.compare(0, seen[i].size(), seen[i]) == 0);
            check(!seen[i].empty());
            used += seen[i].size() + (i + 1 < seen.size() ? 1 : 0);
        }
        check(used <= kIniSectionEntryBudget);
        for (const auto& [key, value] : all) {
            const std::optional<std::string> read = doc.value(name, key);
            check(read.has_value() && read->size() <= kIniValueLimit);
            check(again.value(name, key) == read);
        }
    }

    const ElementTree tree = BuildElementTree(doc, true);
    check(tree.nodes.size() == tree.sections.size());
    check(tree.encoders.size() <= tree.nodes.size());
    check((tree.database == ElementTree::Database::Loaded) == !tree.sections.empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t nul = input.find('\0', start);
        parts.push_back(input.substr(start, nul == std::string::npos ? nul : nul - start));
        if (nul == std::string::npos)
            break;
        start = nul + 1;
    }

    IniDocument doc = IniDocument::parse(parts[0]);
    checkDocument(doc);
    (void)LeadingNumber(parts[0]);

    const std::vector<std::string> names = doc.sectionNames();
    const std::string section = parts.size() > 1 ? parts[1] : (names.empty() ? "S" : names[0]);
    const IniEntries entries = doc.allEntries(section);
    const std::string key =
        parts.size() > 2 ? parts[2] : (entries.empty() ? "k" : entries[0].first);
    const std::string value = parts.size() > 3 ? parts[3] : parts[0].substr(0, 40);

    const std::string otherSection = names.empty() ? "other" : names.back();
    const std::optional<std::string> untouched = doc.value(otherSection, "x");
    const std::string before = doc.serialize();

    doc.setValue(section, upper(key), value);
    if (doc.serialize() != before) {
        check(doc.value(section, key) == expectedRead(value));
        check(IniDocument::parse(doc.serialize()).value(section, key) == expectedRead(value));
        if (!(upper(trim(otherSection)) == upper(trim(section)) && upper(trim(key)) == "X"))
            check(doc.value(otherSection, "x") == untouched);
    }
    checkDocument(doc);

    const std::size_t count = doc.allEntries(section).size();
    const bool had = doc.value(section, key).has_value();
    doc.removeKey(section, key);
    check(doc.allEntries(section).size() == count - (had ? 1 : 0));

    const std::size_t sections = doc.sectionNames().size();
    const bool hadSection = doc.hasSection(section);
    doc.removeSection(section);
    check(doc.sectionNames().size() == sections - (hadSection ? 1 : 0));
    checkDocument(doc);
    return 0;
}
