// The element database as an inventory table in CSV (RFC 4180, UTF-8), and the readings of the
// element record that the inventory and the network check share.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnetix {

class IniDocument;

// A short text about an element, by its section name (what the station last saw of it).
using ElementStatusText = std::function<std::string(const std::string& section)>;

// A header row (units in the column names), then one row per element in file order, every row
// ended by CRLF. Elements are the sections named by a MAC address (12 hexadecimal digits), each
// listed once; other sections are the network check's business. Database texts are converted to
// UTF-8; the status text is written as given. Cells the record cannot fill (a missing key, a
// code outside its list, an attenuation that has no dB value such as mute) are empty, so that
// every column keeps one kind of value; the version is shown as the panel shows it. A text cell
// starting with = + - @ TAB CR or NUL is written as '<text>, quoted, so that no spreadsheet runs
// a name off the wire as a formula.
std::string inventoryCsv(const IniDocument& database, const ElementStatusText& status = {});

// The sections that are elements, as the element tree lists them: file order, up to an empty
// name. A name repeated in any case reads the first section's values, so it is listed once.
std::vector<std::string> elementSections(const IniDocument& database);

// Whether a section is named by a MAC address: 12 hexadecimal digits.
bool isMacSection(const std::string& section);

// The list index a stored code selects ("input", "type", "tx"): a plain digit string of value
// up to 65535; nullopt for anything else, a missing key included.
std::optional<int> storedListIndex(const std::optional<std::string>& stored);
// The stored role read as the element tree reads it: 1 encoder, 2 decoder, 0 anything else.
int storedRole(const std::optional<std::string>& stored);
// "ENCODER", "DECODER" or "UNKNOWN".
const char* roleName(int role);

// The database holds one byte per character (Latin-1): each byte in its UTF-8 form.
std::string latin1ToUtf8(std::string_view text);

} // namespace varnetix
