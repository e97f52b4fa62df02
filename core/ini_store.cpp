#include "core/ini_store.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>
#include <stdexcept>

namespace varnetix {

namespace {

constexpr auto npos = std::string::npos;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Headers appended after the index was built are compared one by one up to this many.
constexpr std::size_t kUnindexedHeaders = 256;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string lowerText(std::string s) {
    for (char& c : s)
        c = lowerAscii(c);
    return s;
}

std::string upperText(std::string_view s) {
    std::string upper(s);
    for (char& c : upper)
        c = upperAscii(c);
    return upper;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

// FNV-1a of the lower-case name, so that names equal but for case meet in the index.
std::uint64_t nameHash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(lowerAscii(c));
        hash *= 1099511628211ull;
    }
    return hash;
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != npos;
}

// One line of the text: its content [begin, contentEnd) and its line end [contentEnd, end),
// which is "\n", "\r\n", or nothing (or a lone "\r") at the end of the text.
struct Line {
    std::size_t begin;
    std::size_t contentEnd;
    std::size_t end;
};

Line lineAt(std::string_view text, std::size_t begin) {
    const std::size_t newline = text.find('\n', begin);
    Line line{begin, newline == npos ? text.size() : newline,
              newline == npos ? text.size() : newline + 1};
    if (line.contentEnd > begin && text[line.contentEnd - 1] == '\r')
        --line.contentEnd;
    return line;
}

std::string_view contentOf(std::string_view text, const Line& line) {
    return text.substr(line.begin, line.contentEnd - line.begin);
}

struct LineMeaning {
    enum Kind { Other, Section, Entry } kind = Other;
    std::string_view name;  // the section's name or the entry's key, trimmed
    std::string_view value; // the entry's value, trimmed
};

LineMeaning meaningOf(std::string_view line) {
    const std::string_view content = trim(line);
    LineMeaning meaning;
    if (content.empty() || content.front() == ';')
        return meaning;
    if (content.front() == '[') {
        // A bracket line without its closing bracket is neither a header nor an entry.
        if (const std::size_t close = content.rfind(']'); close != npos) {
            meaning.kind = LineMeaning::Section;
            meaning.name = trim(content.substr(1, close - 1));
        }
        return meaning;
    }
    if (const std::size_t eq = content.find('='); eq != npos) {
        meaning.kind = LineMeaning::Entry;
        meaning.name = trim(content.substr(0, eq));
        meaning.value = trim(content.substr(eq + 1));
    }
    return meaning;
}

// Calls visit(line, meaning) for each line of [begin, end) until it returns true.
template <typename Visit>
void forEachLine(std::string_view text, std::size_t begin, std::size_t end, Visit visit) {
    for (std::size_t pos = begin; pos < end;) {
        const Line line = lineAt(text, pos);
        if (visit(line, meaningOf(contentOf(text, line))))
            return;
        pos = line.end;
    }
}

// The part of a value that fits on its line; the profile reader would see no more of it.
std::string writableValue(const std::string& value) {
    return value.substr(0, value.find_first_of("\r\n"));
}

// The profile reader returns a value enclosed in matching quotes without them.
std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string entryText(std::string_view key, std::string_view value) {
    std::string text;
    text.reserve(key.size() + 1 + value.size());
    text += key;
    text += '=';
    text += value;
    return text;
}

// Walks texts as the platform hands them over: each followed by a separator in a buffer that
// holds `budget` characters; one that only partly fits is seen cut and ends the walk, and so
// does an empty one.
std::vector<std::string> withinBudget(const std::vector<std::string>& texts, std::size_t budget) {
    std::vector<std::string> seen;
    std::size_t used = 0;
    for (const std::string& text : texts) {
        const std::size_t room = budget - used;
        if (text.empty() || room == 0)
            break;
        if (text.size() + 1 > room) {
            seen.push_back(text.substr(0, room));
            break;
        }
        seen.push_back(text);
        used += text.size() + 1;
    }
    return seen;
}

StoreResult unstorableName(const std::string& path) {
    return StoreResult::failure(EINVAL, path, "the section or key name cannot be stored");
}

// Reads the file, lets the edit change the document and writes it back when it changed. A file
// that exists but cannot be read is never replaced: the edit would be all that is left of it.
template <typename Edit> StoreResult modify(const std::string& path, Edit edit) {
    try {
        std::string target;
        if (StoreResult resolved = resolveLinkTarget(path, target); !resolved.ok())
            return resolved;
        IniLoad load = readIniFile(target);
        if (load.state == FileState::Unreadable)
            return StoreResult::failure(load.result.error, target,
                                        "the file cannot be read: " + load.result.reason);
        edit(load.document);
        if (!load.document.modified())
            return {};
        return WriteFileAtomically(target, load.document.text());
    } catch (const std::bad_alloc&) {
        return StoreResult::failure(ENOMEM, path);
    } catch (const std::length_error&) {
        return StoreResult::failure(EFBIG, path);
    }
}

} // namespace

IniDocument IniDocument::parse(std::string text) {
    IniDocument document;
    document.m_text = std::move(text);
    const std::string_view all = document.m_text;
    if (all.starts_with(kByteOrderMark))
        document.m_start = kByteOrderMark.size();
    for (std::size_t pos = document.m_start; pos < all.size();) {
        const Line line = lineAt(all, pos);
        // Most lines are entries: only a line whose first visible character is "[" is looked at.
        std::size_t first = line.begin;
        while (first < line.contentEnd && isBlank(all[first]))
            ++first;
        if (first < line.contentEnd && all[first] == '[' &&
            meaningOf(contentOf(all, line)).kind == LineMeaning::Section)
            document.m_headers.push_back(line.begin);
        pos = line.end;
    }
    return document;
}

IniDocument IniDocument::load(const std::string& path) {
    return readIniFile(path).document;
}

std::string_view IniDocument::text() const {
    std::string_view all = m_text;
    // A second mark right after the first would become the mark on the next reading and the
    // first line would mean something else: such a file keeps its first one.
    if (m_start > 0 && !all.substr(m_start).starts_with(kByteOrderMark))
        all.remove_prefix(m_start);
    return all;
}

std::vector<std::string> IniDocument::sectionNames() const {
    std::vector<std::string> names;
    names.reserve(m_headers.size());
    for (std::size_t h = 0; h < m_headers.size(); ++h)
        names.emplace_back(headerName(h));
    return names;
}

bool IniDocument::hasSection(const std::string& section) const {
    return findSection(section) != npos;
}

std::optional<std::string> IniDocument::value(const std::string& section,
                                              const std::string& key) const {
    const std::size_t header = findSection(section);
    if (header == npos)
        return std::nullopt;
    const std::string_view wanted = trim(key);
    std::optional<std::string> found;
    const auto [begin, end] = body(header);
    forEachLine(m_text, begin, end, [&](const Line&, const LineMeaning& line) {
        if (line.kind != LineMeaning::Entry || !sameName(line.name, wanted))
            return false;
        found = std::string(unquote(line.value).substr(0, kIniValueLimit));
        return true;
    });
    return found;
}

std::vector<std::string> IniDocument::sectionEntries(const std::string& section) const {
    std::vector<std::string> texts;
    for (const auto& [key, value] : allEntries(section))
        texts.push_back(entryText(key, value));
    return withinBudget(texts, kIniSectionEntryBudget);
}

IniEntries IniDocument::allEntries(const std::string& section) const {
    IniEntries entries;
    const std::size_t header = findSection(section);
    if (header == npos)
        return entries;
    const auto [begin, end] = body(header);
    forEachLine(m_text, begin, end, [&entries](const Line&, const LineMeaning& line) {
        if (line.kind == LineMeaning::Entry)
            entries.emplace_back(line.name, line.value);
        return false;
    });
    return entries;
}

// A header is written as "[name]" and read up to its last "]", so any name without a line
// break reads back as written.
bool IniDocument::storableSection(const std::string& section) {
    return !hasLineBreak(trim(section));
}

bool IniDocument::storableKey(const std::string& key) {
    const std::string_view trimmed = trim(key);
    if (hasLineBreak(trimmed) || trimmed.find('=') != npos)
        return false;
    return trimmed.empty() || (trimmed.front() != '[' && trimmed.front() != ';');
}

void IniDocument::setValue(const std::string& section, const std::string& key,
                           const std::string& value) {
    if (storableSection(section) && storableKey(key))
        store(trim(section), trim(key), writableValue(value));
}

void IniDocument::setValues(const std::string& section, const IniEntries& entries) {
    if (!storableSection(section))
        return;
    IniEntries written;
    for (const auto& [key, value] : entries) {
        if (storableKey(key))
            written.emplace_back(trim(key), writableValue(value));
    }
    storeAll(trim(section), written);
}

void IniDocument::renameKey(const std::string& section, const std::string& key,
                            const std::string& newKey) {
    // Renaming a key onto itself would delete it.
    if (!storableKey(newKey) || sameName(trim(key), trim(newKey)))
        return;
    for (const auto& [stored, value] : allEntries(section)) {
        if (sameName(stored, trim(key))) {
            store(trim(section), trim(newKey), value);
            removeKey(section, key);
            return;
        }
    }
}

void IniDocument::renameSection(const std::string& section, const std::string& newName) {
    if (!storableSection(newName) || !hasSection(section) || sameName(trim(section), trim(newName)))
        return;
    IniEntries entries = allEntries(section);
    for (auto& entry : entries)
        entry.first = upperText(entry.first);
    removeSection(section);
    storeAll(trim(newName), entries);
}

void IniDocument::store(std::string_view section, std::string_view key, std::string_view value) {
    const std::size_t header = findSection(section);
    if (header == npos) {
        append("[" + std::string(section) + "]\r\n" + entryText(key, value) + "\r\n", {0});
        return;
    }
    // A new key goes after the section's last entry, so comments and blank lines that close
    // the section stay between it and the next header.
    const auto [begin, end] = body(header);
    std::size_t insertAt = begin;
    bool done = false;
    forEachLine(m_text, begin, end, [&](const Line& line, const LineMeaning& meaning) {
        if (meaning.kind != LineMeaning::Entry)
            return false;
        if (!sameName(meaning.name, key)) {
            insertAt = line.end;
            return false;
        }
        // The stored spelling of the key stays, as the profile writer keeps it.
        const std::string replacement = entryText(meaning.name, value);
        if (contentOf(m_text, line) != replacement)
            replaceText(line.begin, line.end, replacement + "\r\n");
        done = true;
        return true;
    });
    if (done)
        return;
    if (insertAt == m_text.size())
        insertAt = endLastLine();
    replaceText(insertAt, insertAt, entryText(key, value) + "\r\n");
}

void IniDocument::storeAll(std::string_view section, const IniEntries& entries) {
    if (findSection(section) != npos) {
        for (const auto& [key, value] : entries)
            store(section, key, value);
        return;
    }
    IniDocument added;
    for (const auto& [key, value] : entries)
        added.store(section, key, value);
    if (!added.m_text.empty())
        append(added.m_text, added.m_headers);
}

void IniDocument::removeSection(const std::string& section) {
    const std::size_t header = findSection(section);
    if (header == npos)
        return;
    const std::size_t begin = m_headers[header];
    const std::size_t end = body(header).second;
    m_headers.erase(m_headers.begin() + static_cast<std::ptrdiff_t>(header));
    m_index.clear();
    m_indexed = 0;
    replaceText(begin, end, {});
}

void IniDocument::removeKey(const std::string& section, const std::string& key) {
    const std::size_t header = findSection(section);
    if (header == npos)
        return;
    const std::string_view wanted = trim(key);
    const auto [begin, end] = body(header);
    forEachLine(m_text, begin, end, [&](const Line& line, const LineMeaning& meaning) {
        if (meaning.kind != LineMeaning::Entry || !sameName(meaning.name, wanted))
            return false;
        replaceText(line.begin, line.end, {});
        return true;
    });
}

std::string_view IniDocument::headerName(std::size_t header) const {
    const Line line = lineAt(m_text, m_headers[header]);
    return meaningOf(contentOf(m_text, line)).name;
}

std::size_t IniDocument::findSection(std::string_view name) const {
    const std::string_view wanted = trim(name);
    if (m_headers.size() - m_indexed > kUnindexedHeaders)
        buildIndex();
    const std::uint64_t hash = nameHash(wanted);
    auto candidate = std::lower_bound(
        m_index.begin(), m_index.end(), hash,
        [](const IndexEntry& entry, std::uint64_t wantedHash) { return entry.hash < wantedHash; });
    // Candidates of one hash are in file order, so the first match is the first section.
    for (; candidate != m_index.end() && candidate->hash == hash; ++candidate) {
        if (sameName(headerName(candidate->header), wanted))
            return candidate->header;
    }
    for (std::size_t h = m_indexed; h < m_headers.size(); ++h) {
        if (sameName(headerName(h), wanted))
            return h;
    }
    return npos;
}

void IniDocument::buildIndex() const {
    m_index.clear();
    m_index.reserve(m_headers.size());
    for (std::size_t h = 0; h < m_headers.size(); ++h)
        m_index.push_back({nameHash(headerName(h)), h});
    std::sort(m_index.begin(), m_index.end(), [](const IndexEntry& a, const IndexEntry& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.header < b.header;
    });
    m_indexed = m_headers.size();
}

std::pair<std::size_t, std::size_t> IniDocument::body(std::size_t header) const {
    const std::size_t begin = lineAt(m_text, m_headers[header]).end;
    const std::size_t end = header + 1 < m_headers.size() ? m_headers[header + 1] : m_text.size();
    return {begin, end};
}

// Gives the last line its line end, so that a line can follow it; returns the end of the text.
std::size_t IniDocument::endLastLine() {
    if (m_text.size() > m_start && m_text.back() != '\n') {
        m_text += m_text.back() == '\r' ? "\n" : "\r\n";
        m_modified = true;
    }
    return m_text.size();
}

void IniDocument::append(std::string_view block, const std::vector<std::size_t>& headers) {
    const std::size_t base = endLastLine();
    m_text += block;
    for (const std::size_t header : headers)
        m_headers.push_back(base + header);
    m_modified = true;
}

void IniDocument::replaceText(std::size_t begin, std::size_t end, std::string_view with) {
    m_text.replace(begin, end - begin, with);
    // Headers from the end of the range on move with the text; none lies inside it.
    const auto moved = std::lower_bound(m_headers.begin(), m_headers.end(), end);
    for (auto header = moved; header != m_headers.end(); ++header)
        *header = *header - (end - begin) + with.size();
    m_modified = true;
}

IniLoad readIniFile(const std::string& path) {
    FileContent file = readWholeFile(path);
    IniLoad load;
    load.state = file.state;
    load.result = std::move(file.result);
    if (file.state == FileState::Loaded)
        load.document = IniDocument::parse(std::move(file.text));
    return load;
}

std::string ReadFromINI(const std::string& strSection, const std::string& strkey,
                        const std::string& strfullpath, const std::string& strDefault) {
    try {
        return IniDocument::load(strfullpath)
            .value(strSection, lowerText(strkey))
            .value_or(strDefault);
    } catch (...) {
        return {};
    }
}

StoreResult WriteToINI(const std::string& strSection, const std::string& strkey,
                       const std::string& strkeyvalue, const std::string& strfullpath) {
    return WriteSectionToINI(strSection, {{strkey, strkeyvalue}}, strfullpath);
}

StoreResult WriteSectionToINI(const std::string& strSection, const IniEntries& entries,
                              const std::string& strfullpath) {
    return WriteSectionsToINI({{strSection, entries}}, strfullpath);
}

StoreResult WriteSectionsToINI(const std::vector<std::pair<std::string, IniEntries>>& sections,
                               const std::string& strfullpath) {
    for (const auto& [section, entries] : sections) {
        if (!IniDocument::storableSection(section))
            return unstorableName(strfullpath);
        for (const auto& entry : entries) {
            if (!IniDocument::storableKey(entry.first))
                return unstorableName(strfullpath);
        }
    }
    return modify(strfullpath, [&sections](IniDocument& document) {
        for (const auto& [section, entries] : sections) {
            IniEntries upper;
            upper.reserve(entries.size());
            for (const auto& [key, value] : entries)
                upper.emplace_back(upperText(key), value);
            document.setValues(section, upper);
        }
    });
}

StoreResult DeleteIniSection(const std::string& strSection, const std::string& strfullpath) {
    return modify(strfullpath,
                  [&strSection](IniDocument& document) { document.removeSection(strSection); });
}

StoreResult DeleteIniKey(const std::string& strSection, const std::string& strKeyname,
                         const std::string& strfullpath) {
    return modify(strfullpath,
                  [&](IniDocument& document) { document.removeKey(strSection, strKeyname); });
}

bool CheckIfIniKeyExists(const std::string& strSection, const std::string& strKeyname,
                         const std::string& strfullpath) {
    // Two reads with different defaults agree only when the key is there.
    return ReadFromINI(strSection, strKeyname, strfullpath, "A") ==
           ReadFromINI(strSection, strKeyname, strfullpath, "B");
}

bool CheckIfIniSectionExists(const std::string& strSection, const std::string& strfullpath) {
    try {
        return !IniDocument::load(strfullpath).sectionEntries(strSection).empty();
    } catch (...) {
        return false;
    }
}

std::int32_t GetLongFromINI(const std::string& strSection, const std::string& strKeyname,
                            const std::string& strfullpath, std::int32_t lngDefault) {
    try {
        const std::optional<std::string> text =
            IniDocument::load(strfullpath).value(strSection, strKeyname);
        if (!text)
            return lngDefault;
        const bool negative = !text->empty() && text->front() == '-';
        // Saturates at the 32-bit bounds; a negative magnitude may reach 2^31.
        std::int64_t number = 0;
        const std::int64_t limit = negative
                                       ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                       : std::int64_t{std::numeric_limits<std::int32_t>::max()};
        for (std::size_t i = negative ? 1 : 0; i < text->size(); ++i) {
            const char c = (*text)[i];
            if (c < '0' || c > '9')
                break;
            number = std::min(limit, number * 10 + (c - '0'));
        }
        return static_cast<std::int32_t>(negative ? -number : number);
    } catch (...) {
        return lngDefault;
    }
}

StoreResult RenameIniKey(const std::string& strSection, const std::string& strKeyname,
                         const std::string& strNewKeyname, const std::string& strfullpath) {
    const std::string newKey = upperText(trim(strNewKeyname));
    if (!IniDocument::storableKey(newKey))
        return unstorableName(strfullpath);
    return modify(strfullpath, [&](IniDocument& document) {
        document.renameKey(strSection, strKeyname, newKey);
    });
}

StoreResult RenameIniSection(const std::string& strSection, const std::string& strNewSection,
                             const std::string& strfullpath) {
    if (!IniDocument::storableSection(strNewSection))
        return unstorableName(strfullpath);
    return modify(strfullpath, [&](IniDocument& document) {
        document.renameSection(strSection, strNewSection);
    });
}

void LoadIniSectionsLB(std::vector<std::string>& lstB, const std::string& strfullpath) {
    try {
        for (std::string& name : LoadIniSectionsArray(strfullpath))
            lstB.push_back(std::move(name));
    } catch (...) {
    }
}

std::vector<std::string> LoadIniSectionsArray(const std::string& strfullpath) {
    try {
        std::vector<std::string> names = IniDocument::load(strfullpath).sectionNames();
        // An empty name ends the list, as it ends the platform's list of names.
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i].empty()) {
                names.resize(i);
                break;
            }
        }
        return names;
    } catch (...) {
        return {};
    }
}

void LoadIniSectionKeysLB(const std::string& strSection, std::vector<std::string>& lstB,
                          const std::string& strfullpath) {
    try {
        for (const std::string& entry : IniDocument::load(strfullpath).sectionEntries(strSection))
            lstB.push_back(entry.substr(0, entry.find('=')));
    } catch (...) {
    }
}

std::int16_t GetSectionKeyCount(const std::string& strSection, const std::string& strfullpath) {
    try {
        return static_cast<std::int16_t>(
            IniDocument::load(strfullpath).sectionEntries(strSection).size());
    } catch (...) {
        return 0;
    }
}

} // namespace varnetix
