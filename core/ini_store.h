// The private-profile (INI) store over one file: every call reads the file and, for a change,
// replaces it whole (see database_file.h); nothing is kept in memory between calls. The reading
// procedures see a missing or unreadable file as empty; every writing procedure reports its
// failure, and never replaces a file that exists but cannot be read.
//
// What a rewrite changes: only the lines it writes. Every other line keeps its bytes and its
// line end (LF, CRLF or none). A new or changed line is written with CRLF; a last line without
// a line end gets CRLF before a line is added after it; a leading UTF-8 byte-order mark is
// ignored when reading and not written back (unless another one follows it, which would then
// become the mark and hide the first line's meaning).
#pragma once

#include "core/database_file.h"
#include "core/store_result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace varnetix {

// Capacities of the texts one call can return, as the platform's profile functions give them.
inline constexpr std::size_t kIniValueLimit = 749;         // characters of one value
inline constexpr std::size_t kIniSectionEntryBudget = 748; // characters of one section's entries

using IniEntries = std::vector<std::pair<std::string, std::string>>;

// A parsed private-profile text. The text is kept once, as read; only the section headers are
// remembered (as offsets), and the lines of a section are read from the text when asked for.
// Edits change the text in place, so what they do not touch stays byte for byte.
class IniDocument {
public:
    static IniDocument parse(std::string text);
    static IniDocument load(const std::string& path); // empty document when missing or unreadable

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

    // Names that would read back as something else (a line break, a key holding "=" or
    // beginning with "[" or ";") are not written; the edits below skip them.
    static bool storableSection(const std::string& section);
    static bool storableKey(const std::string& key);

    void setValue(const std::string& section, const std::string& key, const std::string& value);
    // The same for several keys of one section; a new section is appended whole.
    void setValues(const std::string& section, const IniEntries& entries);
    void removeSection(const std::string& section);
    void removeKey(const std::string& section, const std::string& key);
    // Move the stored value, or every entry of the section (keys upper-cased), exactly as the
    // file holds them: whole, with their quotes, never cut or refused.
    void renameKey(const std::string& section, const std::string& key, const std::string& newKey);
    void renameSection(const std::string& section, const std::string& newName);

    // The text as it is written: what was read, with the edits, without a byte-order mark.
    std::string serialize() const { return std::string(text()); }
    std::string_view text() const;
    // Whether an edit changed the text since it was parsed.
    bool modified() const { return m_modified; }

private:
    struct IndexEntry {
        std::uint64_t hash; // of the lower-case name
        std::size_t header; // position in m_headers
    };
    std::string m_text;                 // as read, a byte-order mark included
    std::size_t m_start = 0;            // where the lines begin: after the mark
    std::vector<std::size_t> m_headers; // offset of every section header line, in file order
    // Built on the first lookup, so that reading every section of a large file stays linear;
    // headers appended since are searched one by one until there are many.
    mutable std::vector<IndexEntry> m_index;
    mutable std::size_t m_indexed = 0; // m_headers[0, m_indexed) are in m_index
    bool m_modified = false;

    std::string_view headerName(std::size_t header) const;
    std::size_t findSection(std::string_view name) const; // position in m_headers, or npos
    void buildIndex() const;
    // Writes a value whose key and text are known to read back as they are.
    void store(std::string_view section, std::string_view key, std::string_view value);
    void storeAll(std::string_view section, const IniEntries& entries);
    std::pair<std::size_t, std::size_t> body(std::size_t header) const; // text range
    std::size_t endLastLine();
    void append(std::string_view block, const std::vector<std::size_t>& headers);
    void replaceText(std::size_t begin, std::size_t end, std::string_view with);
};

struct IniLoad {
    FileState state = FileState::Missing;
    StoreResult result; // when Unreadable: the errno, the path and the system's reason
    IniDocument document;
};

// Reads the database and tells a missing file from one that exists but cannot be read.
IniLoad readIniFile(const std::string& path);

// The store's procedures. Parameter names follow the database's established interface.
// A writing procedure that changes nothing (the file already holds what is written, or there
// is nothing to delete or rename) succeeds without rewriting the file.
std::string ReadFromINI(const std::string& strSection, const std::string& strkey,
                        const std::string& strfullpath, const std::string& strDefault = {});
StoreResult WriteToINI(const std::string& strSection, const std::string& strkey,
                       const std::string& strkeyvalue, const std::string& strfullpath);
// Writes several keys of one section (upper-cased, in the given order) in a single rewrite.
StoreResult WriteSectionToINI(const std::string& strSection, const IniEntries& entries,
                              const std::string& strfullpath);
// Writes several sections (keys upper-cased, in order) in a single rewrite.
StoreResult WriteSectionsToINI(const std::vector<std::pair<std::string, IniEntries>>& sections,
                               const std::string& strfullpath);
StoreResult DeleteIniSection(const std::string& strSection, const std::string& strfullpath);
StoreResult DeleteIniKey(const std::string& strSection, const std::string& strKeyname,
                         const std::string& strfullpath);
bool CheckIfIniKeyExists(const std::string& strSection, const std::string& strKeyname,
                         const std::string& strfullpath);
bool CheckIfIniSectionExists(const std::string& strSection, const std::string& strfullpath);
std::int32_t GetLongFromINI(const std::string& strSection, const std::string& strKeyname,
                            const std::string& strfullpath, std::int32_t lngDefault = 0);
StoreResult RenameIniKey(const std::string& strSection, const std::string& strKeyname,
                         const std::string& strNewKeyname, const std::string& strfullpath);
StoreResult RenameIniSection(const std::string& strSection, const std::string& strNewSection,
                             const std::string& strfullpath);
void LoadIniSectionsLB(std::vector<std::string>& lstB, const std::string& strfullpath);
std::vector<std::string> LoadIniSectionsArray(const std::string& strfullpath);
void LoadIniSectionKeysLB(const std::string& strSection, std::vector<std::string>& lstB,
                          const std::string& strfullpath);
std::int16_t GetSectionKeyCount(const std::string& strSection, const std::string& strfullpath);

} // namespace varnetix
