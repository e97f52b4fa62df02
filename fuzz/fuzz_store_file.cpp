// Arbitrary bytes as the database file, through the store's real reading and writing: after
// each procedure the file is read back and must hold what was written, every other section as
// it was, and no more changed bytes than the written line needs. Input: the file's bytes,
// optionally followed by NUL-separated section, key and value.
#include "core/database_file.h"
#include "core/ini_store.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <unistd.h>
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

std::string trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

bool sameName(const std::string& a, const std::string& b) {
    return upper(trim(a)) == upper(trim(b));
}

// What a reader sees of a value written through the store.
std::string expectedRead(const std::string& written) {
    std::string v = trim(written.substr(0, written.find_first_of("\r\n")));
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    return v.substr(0, kIniValueLimit);
}

// In $TMPDIR, or else on a file system without a disk behind it where there is one: every
// write is flushed. libFuzzer may end the process without running exit handlers, so its runs
// give a TMPDIR of their own.
const std::string& databasePath() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string dir = tmp && *tmp ? tmp : ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        dir += "/fuzz_store_file.XXXXXX";
        check(::mkdtemp(dir.data()) != nullptr);
        static const std::string removeAtExit = dir;
        std::atexit([] {
            ::unlink((removeAtExit + "/nms.ini").c_str());
            ::rmdir(removeAtExit.c_str());
        });
        return dir + "/nms.ini";
    }();
    return path;
}

IniDocument reread() {
    IniLoad load = readIniFile(databasePath());
    check(load.state == FileState::Loaded);
    return std::move(load.document);
}

// Every section but the written ones reads as before.
void checkOthersKept(const IniDocument& before, const IniDocument& after,
                     const std::vector<std::string>& written) {
    for (const std::string& name : before.sectionNames()) {
        bool touched = false;
        for (const std::string& section : written)
            touched = touched || sameName(name, section);
        if (!touched)
            check(after.allEntries(name) == before.allEntries(name));
    }
}

// The bytes a one-key write changed, between what both texts begin and end with, are no more
// than the written line, a header for it and a completed line end.
void checkFewBytesChanged(const std::string& before, const std::string& after, std::size_t room) {
    std::size_t prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix + prefix < before.size() && suffix + prefix < after.size() &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    check(after.size() - prefix - suffix <= room);
}

void writeOneKey(const std::string& section, const std::string& key, const std::string& value) {
    const IniDocument before = reread();
    const StoreResult result = WriteToINI(section, key, value, databasePath());
    const IniDocument after = reread();
    if (!IniDocument::storableSection(section) || !IniDocument::storableKey(key)) {
        check(result.error == EINVAL && after.serialize() == before.serialize());
        return;
    }
    check(result.ok());
    check(after.value(section, key) == expectedRead(value));
    checkOthersKept(before, after, {section});
    checkFewBytesChanged(before.serialize(), after.serialize(),
                         section.size() + key.size() + value.size() + 10);
}

void deleteOneKey(const std::string& section, const std::string& key) {
    const IniDocument before = reread();
    const std::size_t count = before.allEntries(section).size();
    const bool had = before.value(section, key).has_value();
    check(DeleteIniKey(section, key, databasePath()).ok());
    const IniDocument after = reread();
    check(after.allEntries(section).size() == count - (had ? 1 : 0));
    checkOthersKept(before, after, {section});
}

void writeSections(const std::string& section, const std::string& key, const std::string& value) {
    if (!IniDocument::storableSection(section) || !IniDocument::storableKey(key))
        return;
    const IniDocument before = reread();
    check(
        WriteSectionsToINI({{section, {{key, value}, {"second", value}}}, {"other", {{"k", "1"}}}},
                           databasePath())
            .ok());
    const IniDocument after = reread();
    // Into section "other" the second write's key "k" replaces the first's.
    const bool replaced = sameName(section, "other") && sameName(key, "k");
    check(after.value(section, key) == (replaced ? std::string("1") : expectedRead(value)));
    check(sameName(section, "other") || after.value("other", "K") == std::string("1"));
    checkOthersKept(before, after, {section, "other"});
}

void renameSection(const std::string& section) {
    const IniDocument before = reread();
    // Keys that differ only in case become one in the renamed section.
    std::set<std::string> moved;
    for (const auto& entry : before.allEntries(section))
        moved.insert(upper(entry.first));
    check(RenameIniSection(section, "renamed", databasePath()).ok());
    const IniDocument after = reread();
    if (!sameName(section, "renamed") && !before.hasSection("renamed") &&
        before.hasSection(section))
        check(after.allEntries("renamed").size() == moved.size());
    checkOthersKept(before, after, {section, "renamed"});
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
    check(WriteFileAtomically(databasePath(), parts[0]).ok());
    const IniDocument read = reread();
    check(read.serialize() == IniDocument::parse(parts[0]).serialize());

    const std::vector<std::string> names = read.sectionNames();
    const std::string section = parts.size() > 1 ? parts[1] : (names.empty() ? "S" : names[0]);
    const IniEntries entries = read.allEntries(section);
    const std::string key =
        parts.size() > 2 ? parts[2] : (entries.empty() ? "k" : entries[0].first);
    const std::string value = parts.size() > 3 ? parts[3] : parts[0].substr(0, 40);

    writeOneKey(section, upper(key), value);
    writeOneKey(names.empty() ? "new" : names.back(), "added", value);
    deleteOneKey(section, key);
    writeSections(section, key, value);
    renameSection(section);
    const IniDocument last = reread();
    check(IniDocument::parse(last.serialize()).serialize() == last.serialize());
    return 0;
}
