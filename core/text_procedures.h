// The text forms of MAC addresses, IPv4 addresses and element names, shared by the panel,
// the database and the wire. All are total: any text gives a defined result.
#pragma once

#include <string>
#include <vector>

namespace varnetix {

// "001a2b3c4d5e" -> "00:1A:2B:3C:4D:5E"; "" unless the text has exactly 12 characters.
std::string MacWithColons(const std::string& s);
// "00:1a:2b:3c:4d:5e" -> "001A2B3C4D5E"; "" unless the text has exactly 17 characters.
std::string MacWithoutColons(const std::string& s);
// The parts between "." characters, empty parts kept.
std::vector<std::string> IpOctets(const std::string& s);
// Exactly four parts, each a decimal digit string of value 0 to 255 (leading zeros allowed).
bool IsValidIp(const std::string& s);
// Padded with spaces or cut to exactly 16 characters, upper case (ASCII letters).
std::string PadElementName(const std::string& s);

// Upper case of ASCII letters; other bytes unchanged.
std::string ToUpperAscii(std::string s);
// The text without spaces at either end.
std::string TrimSpaces(const std::string& s);

} // namespace varnetix
