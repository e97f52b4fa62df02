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
// Padded with spaces or cut to exactly 16 bytes, upper case by ToUpperLatin1: the name on the
// wire and in the database.
std::string PadElementName(const std::string& s);

// Element names are Latin-1, one byte per character. Upper case keeps every byte a byte:
// a-z and \xE0-\xFE except \xF7 move down by 0x20; \xDF, \xFF, \xB5 and all else stay.
std::string ToUpperLatin1(std::string s);
// The name stored for a reported one: PadElementName with NUL, CR and LF as spaces, since an
// INI line cannot hold them and an element may pad its name with NULs.
std::string StoredElementName(const std::string& reported);
// Whether a configuration answer reports the name that was typed: equal once both are stored
// as above and stripped of spaces at both ends.
bool SameElementName(const std::string& typed, const std::string& reported);

// Upper case of ASCII letters; other bytes unchanged.
std::string ToUpperAscii(std::string s);
// The text without spaces at either end.
std::string TrimSpaces(const std::string& s);

} // namespace varnetix
