// The private-profile (INI) store over one file: every call opens, reads or rewrites the file
// and keeps nothing in memory. No call reports an error; a missing file reads as empty.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace varnetix {

// Capacities of the texts one call can return, as the platform's profile functions give them.
inline constexpr std::size_t kIniValueLimit = 749;         // characters of one value
inline constexpr std::size_t kIniSectionEntryBudget = 748; // characters of one section's entries

using IniEntries = std::vector<std::pair<std::string, std::string>>;

// A parsed private-profile text. Lines that are not sections or entries (comments, blank
// lines, text without "=") are kept as they are, so a rewrite changes only what was written.
class IniDocument {
public:
    static IniDocument parse(const std::string& text);
    static IniDocument load(const std::string& path); // empty document when unreadable

    // Section names in file order, every one, duplicates included.
    std::vector<std::string> sectionNames() const;
    bool hasSection(const std::string& section) const;
    // Value of the first matching key of the first matching section, trimmed, cut to the
    // value limit; nullopt when the section or the key is missing.
    std::optional<std::string> value(const std::string& section, const std::string& key) const;
    // The section's entries as "key=value" texts, in file order, within the entry budget.
    std::vector<std::string> sectionEntries(const std::string& section) const;
    // All the section's entries, without any budget.
    IniEntries allEntries(const std::string& section) const;

    void setValue(const std::string& section, const std::string& key, const std::string& value);
    // The same for several keys of one section; a new section is appended whole, without a
    // search per key.
    void setValues(const std::string& section, const IniEntries& entries);
    void removeSection(const std::string& section);
    void removeKey(const std::string& section, const std::string& key);

    std::string serialize() const; // CRLF line ends

private:
    struct Line {
        std::string text;    // the line as read or written, without its line end
        std::string section; // for a section header: its name
        std::string key;     // for an entry: its key (trimmed)
        std::string value;   // for an entry: its value (trimmed)
        enum Kind { Other, Section, Entry } kind = Other;
    };
    std::vector<Line> m_lines;
    // First header line of each section by its lower-case name, built on the first lookup so
    // that reading every section of a large file stays linear.
    mutable std::unordered_map<std::string, std::size_t> m_sectionIndex;
    mutable bool m_indexed = false;
    void appendLines(const std::vector<Line>& lines);

    // Index range [begin, end) of the body of the first section named so; begin == npos if none.
    std::pair<std::size_t, std::size_t> sectionBody(const std::string& section) const;
};

// Writes the text to a temporary file beside the path, flushes it to disk and renames it over
// the path. Returns false and leaves the old file untouched when any step fails.
bool WriteFileAtomically(const std::string& path, const std::string& content);

// Test seam: called after the temporary file is complete and before the rename; returning
// false abandons the write there, as a crash at that moment would.
void SetIniCommitHookForTesting(std::function<bool()> hook);

// The store's procedures. Parameter names follow the database's established interface.
std::string ReadFromINI(const std::string& strSection, const std::string& strkey,
                        const std::string& strfullpath, const std::string& strDefault = {});
void WriteToINI(const std::string& strSection, const std::string& strkey,
                const std::string& strkeyvalue, const std::string& strfullpath);
// Writes several keys of one section (upper-cased, in the given order) in a single rewrite.
void WriteSectionToINI(const std::string& strSection, const IniEntries& entries,
                       const std::string& strfullpath);
// Writes several sections (keys upper-cased, in order) in a single rewrite.
void WriteSectionsToINI(const std::vector<std::pair<std::string, IniEntries>>& sections,
                        const std::string& strfullpath);
void DeleteIniSection(const std::string& strSection, const std::string& strfullpath);
void DeleteIniKey(const std::string& strSection, const std::string& strKeyname,
                  const std::string& strfullpath);
bool CheckIfIniKeyExists(const std::string& strSection, const std::string& strKeyname,
                         const std::string& strfullpath);
bool CheckIfIniSectionExists(const std::string& strSection, const std::string& strfullpath);
std::int32_t GetLongFromINI(const std::string& strSection, const std::string& strKeyname,
                            const std::string& strfullpath, std::int32_t lngDefault = 0);
void RenameIniKey(const std::string& strSection, const std::string& strKeyname,
                  const std::string& strNewKeyname, const std::string& strfullpath);
void RenameIniSection(const std::string& strSection, const std::string& strNewSection,
                      const std::string& strfullpath);
void LoadIniSectionsLB(std::vector<std::string>& lstB, const std::string& strfullpath);
std::vector<std::string> LoadIniSectionsArray(const std::string& strfullpath);
void LoadIniSectionKeysLB(const std::string& strSection, std::vector<std::string>& lstB,
                          const std::string& strfullpath);
std::int16_t GetSectionKeyCount(const std::string& strSection, const std::string& strfullpath);

} // namespace varnetix
