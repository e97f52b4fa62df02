#include "core/ini_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace varnetix {

namespace {

constexpr auto npos = std::string::npos;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trim(const std::string& s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return s.substr(begin, end - begin);
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

std::string upperText(std::string s) {
    for (char& c : s)
        c = upperAscii(c);
    return s;
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

bool hasLineBreak(const std::string& s) {
    return s.find_first_of("\r\n") != npos;
}

// A header is written as "[name]" and read up to its last "]", so any name without a line
// break reads back as written.
bool writableSection(const std::string& trimmedName) {
    return !hasLineBreak(trimmedName);
}

// Keys that would read back as something else (a header, a comment, a different split at "=")
// are not written at all rather than written wrongly.
bool writableKey(const std::string& trimmedKey) {
    if (hasLineBreak(trimmedKey) || trimmedKey.find('=') != npos)
        return false;
    return trimmedKey.empty() || (trimmedKey.front() != '[' && trimmedKey.front() != ';');
}

// The part of a value that fits on its line; the profile reader would see no more of it.
std::string writableValue(const std::string& value) {
    return value.substr(0, value.find_first_of("\r\n"));
}

// The profile reader returns a value enclosed in matching quotes without them.
std::string unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::string entryText(const std::string& key, const std::string& value) {
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

std::function<bool()>& commitHook() {
    static std::function<bool()> hook;
    return hook;
}

bool writeAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Rewrites the file only when the change is visible in its text: a write of the same value
// leaves the file (and its modification time) alone.
void commit(const IniDocument& before, const IniDocument& after, const std::string& path) {
    std::string content = after.serialize();
    if (content == before.serialize())
        return;
    WriteFileAtomically(path, content);
}

} // namespace

IniDocument IniDocument::parse(const std::string& text) {
    IniDocument document;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == npos ? text.size() : end + 1;
        if (end == npos)
            end = text.size();
        if (end > start && text[end - 1] == '\r')
            --end;

        Line line;
        line.text = text.substr(start, end - start);
        const std::string content = trim(line.text);
        if (content.empty() || content.front() == ';') {
            line.kind = Line::Other;
        } else if (content.front() == '[') {
            // A bracket line without its closing bracket is neither a header nor an entry.
            const std::size_t close = content.rfind(']');
            if (close != npos) {
                line.kind = Line::Section;
                line.section = trim(content.substr(1, close - 1));
            }
        } else if (const std::size_t eq = content.find('='); eq != npos) {
            line.kind = Line::Entry;
            line.key = trim(content.substr(0, eq));
            line.value = trim(content.substr(eq + 1));
        }
        document.m_lines.push_back(std::move(line));
        start = next;
    }
    return document;
}

IniDocument IniDocument::load(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return {};
    std::string text;
    char buffer[65536];
    bool failed = false;
    for (;;) {
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, file);
        text.append(buffer, n);
        if (n < sizeof buffer) {
            failed = std::ferror(file) != 0;
            break;
        }
    }
    std::fclose(file);
    return failed ? IniDocument{} : parse(text);
}

std::vector<std::string> IniDocument::sectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : m_lines) {
        if (line.kind == Line::Section)
            names.push_back(line.section);
    }
    return names;
}

bool IniDocument::hasSection(const std::string& section) const {
    return sectionBody(section).first != npos;
}

std::optional<std::string> IniDocument::value(const std::string& section,
                                              const std::string& key) const {
    const auto [begin, end] = sectionBody(section);
    if (begin == npos)
        return std::nullopt;
    const std::string wanted = trim(key);
    for (std::size_t i = begin; i < end; ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Line::Entry && sameName(line.key, wanted))
            return unquote(line.value).substr(0, kIniValueLimit);
    }
    return std::nullopt;
}

std::vector<std::string> IniDocument::sectionEntries(const std::string& section) const {
    std::vector<std::string> texts;
    for (const auto& [key, value] : allEntries(section))
        texts.push_back(entryText(key, value));
    return withinBudget(texts, kIniSectionEntryBudget);
}

IniEntries IniDocument::allEntries(const std::string& section) const {
    IniEntries entries;
    const auto [begin, end] = sectionBody(section);
    if (begin == npos)
        return entries;
    for (std::size_t i = begin; i < end; ++i) {
        if (m_lines[i].kind == Line::Entry)
            entries.emplace_back(m_lines[i].key, m_lines[i].value);
    }
    return entries;
}

void IniDocument::setValues(const std::string& section, const IniEntries& entries) {
    if (sectionBody(trim(section)).first != npos) {
        for (const auto& [key, value] : entries)
            setValue(section, key, value);
        return;
    }
    IniDocument added;
    for (const auto& [key, value] : entries)
        added.setValue(section, key, value);
    appendLines(added.m_lines);
}

void IniDocument::setValue(const std::string& section, const std::string& key,
                           const std::string& value) {
    const std::string name = trim(section);
    const std::string wantedKey = trim(key);
    if (!writableSection(name) || !writableKey(wantedKey))
        return;
    const std::string written = writableValue(value);

    auto makeEntry = [&written](const std::string& entryKey) {
        Line line;
        line.kind = Line::Entry;
        line.text = entryText(entryKey, written);
        line.key = entryKey;
        line.value = trim(written);
        return line;
    };

    const auto [begin, end] = sectionBody(name);
    if (begin == npos) {
        Line header;
        header.kind = Line::Section;
        header.text = "[" + name + "]";
        header.section = name;
        appendLines({header, makeEntry(wantedKey)});
        return;
    }
    // A new key goes after the section's last entry, so comments and blank lines that close
    // the section stay between it and the next header.
    std::size_t insertAt = begin;
    for (std::size_t i = begin; i < end; ++i) {
        Line& line = m_lines[i];
        if (line.kind != Line::Entry)
            continue;
        if (sameName(line.key, wantedKey)) {
            // The stored spelling of the key stays, as the profile writer keeps it.
            line = makeEntry(line.key);
            return;
        }
        insertAt = i + 1;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), makeEntry(wantedKey));
    m_indexed = false;
}

void IniDocument::removeSection(const std::string& section) {
    const auto [begin, end] = sectionBody(section);
    if (begin == npos)
        return;
    m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(begin - 1),
                  m_lines.begin() + static_cast<std::ptrdiff_t>(end));
    m_indexed = false;
}

void IniDocument::removeKey(const std::string& section, const std::string& key) {
    const auto [begin, end] = sectionBody(section);
    if (begin == npos)
        return;
    const std::string wanted = trim(key);
    for (std::size_t i = begin; i < end; ++i) {
        if (m_lines[i].kind == Line::Entry && sameName(m_lines[i].key, wanted)) {
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(i));
            m_indexed = false;
            return;
        }
    }
}

std::string IniDocument::serialize() const {
    std::size_t size = 0;
    for (const Line& line : m_lines)
        size += line.text.size() + 2;
    std::string text;
    text.reserve(size);
    for (const Line& line : m_lines) {
        text += line.text;
        text += "\r\n";
    }
    return text;
}

void IniDocument::appendLines(const std::vector<Line>& lines) {
    // Appending moves no line, so the index only learns the new headers.
    for (const Line& line : lines) {
        if (m_indexed && line.kind == Line::Section)
            m_sectionIndex.emplace(lowerText(line.section), m_lines.size());
        m_lines.push_back(line);
    }
}

std::pair<std::size_t, std::size_t> IniDocument::sectionBody(const std::string& section) const {
    if (!m_indexed) {
        m_sectionIndex.clear();
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            if (m_lines[i].kind == Line::Section)
                m_sectionIndex.emplace(lowerText(m_lines[i].section), i); // the first one wins
        }
        m_indexed = true;
    }
    const auto found = m_sectionIndex.find(lowerText(trim(section)));
    if (found == m_sectionIndex.end())
        return {npos, npos};
    const std::size_t begin = found->second + 1;
    std::size_t end = begin;
    while (end < m_lines.size() && m_lines[end].kind != Line::Section)
        ++end;
    return {begin, end};
}

bool WriteFileAtomically(const std::string& path, const std::string& content) {
    try {
        const std::size_t slash = path.rfind('/');
        const std::string dir = slash == npos ? std::string() : path.substr(0, slash + 1);
        const std::string base = slash == npos ? path : path.substr(slash + 1);
        // Hidden and unique: a copy left by a crash is never taken for the database.
        std::string temp = dir + "." + base + ".XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd < 0)
            return false;

        struct stat old {};
        const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
        bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
        ok = (::close(fd) == 0) && ok;
        if (ok && commitHook()) {
            try {
                ok = commitHook()();
            } catch (...) {
                ok = false;
            }
        }
        if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
            ::unlink(temp.c_str());
            return false;
        }
        // Make the rename itself durable; the new content is in place either way.
        const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY);
        if (dirFd >= 0) {
            ::fsync(dirFd);
            ::close(dirFd);
        }
        return true;
    } catch (...) {
        return false;
    }
}

void SetIniCommitHookForTesting(std::function<bool()> hook) {
    commitHook() = std::move(hook);
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

void WriteToINI(const std::string& strSection, const std::string& strkey,
                const std::string& strkeyvalue, const std::string& strfullpath) {
    WriteSectionToINI(strSection, {{strkey, strkeyvalue}}, strfullpath);
}

void WriteSectionToINI(const std::string& strSection, const IniEntries& entries,
                       const std::string& strfullpath) {
    WriteSectionsToINI({{strSection, entries}}, strfullpath);
}

void WriteSectionsToINI(const std::vector<std::pair<std::string, IniEntries>>& sections,
                        const std::string& strfullpath) {
    try {
        const IniDocument before = IniDocument::load(strfullpath);
        IniDocument after = before;
        for (const auto& [section, entries] : sections) {
            IniEntries upper;
            upper.reserve(entries.size());
            for (const auto& [key, value] : entries)
                upper.emplace_back(upperText(key), value);
            after.setValues(section, upper);
        }
        commit(before, after, strfullpath);
    } catch (...) {
    }
}

void DeleteIniSection(const std::string& strSection, const std::string& strfullpath) {
    try {
        const IniDocument before = IniDocument::load(strfullpath);
        IniDocument after = before;
        after.removeSection(strSection);
        commit(before, after, strfullpath);
    } catch (...) {
    }
}

void DeleteIniKey(const std::string& strSection, const std::string& strKeyname,
                  const std::string& strfullpath) {
    try {
        const IniDocument before = IniDocument::load(strfullpath);
        IniDocument after = before;
        after.removeKey(strSection, strKeyname);
        commit(before, after, strfullpath);
    } catch (...) {
    }
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

void RenameIniKey(const std::string& strSection, const std::string& strKeyname,
                  const std::string& strNewKeyname, const std::string& strfullpath) {
    try {
        const IniDocument before = IniDocument::load(strfullpath);
        const std::string oldKey = trim(strKeyname);
        const std::string newKey = upperText(trim(strNewKeyname));
        // Renaming a key onto itself would delete it, and a key that cannot be written would
        // lose the value: both leave the file as it is.
        if (sameName(oldKey, newKey) || !writableKey(newKey))
            return;
        for (const auto& [key, value] : before.allEntries(strSection)) {
            if (!sameName(key, oldKey))
                continue;
            // The stored value, whole and with its quotes, not the cut and unquoted read.
            IniDocument after = before;
            after.setValue(strSection, newKey, value);
            after.removeKey(strSection, oldKey);
            commit(before, after, strfullpath);
            return;
        }
    } catch (...) {
    }
}

void RenameIniSection(const std::string& strSection, const std::string& strNewSection,
                      const std::string& strfullpath) {
    try {
        const IniDocument before = IniDocument::load(strfullpath);
        const std::string newName = trim(strNewSection);
        if (!before.hasSection(strSection) || sameName(trim(strSection), newName) ||
            !writableSection(newName))
            return;
        // Every entry with its whole value moves, not only those that one enumeration returns.
        IniDocument after = before;
        const IniEntries entries = before.allEntries(strSection);
        after.removeSection(strSection);
        for (const auto& [key, value] : entries)
            after.setValue(newName, upperText(key), value);
        commit(before, after, strfullpath);
    } catch (...) {
    }
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
