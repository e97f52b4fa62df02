// Text made safe where it meets a terminal, a log file or a JSON reader: names come off the wire,
// and a control character in one must not re-title, recolour or scroll the operator's terminal.
#pragma once

#include <string>
#include <string_view>

namespace varnetix {

// UTF-8 text with every control character (C0, DEL and U+0080 to U+009F, which terminals obey
// as well) written as \xHH in upper-case hex, a C1 one by its code point (U+009B as \x9B). A
// byte that is not part of well-formed UTF-8 is written the same way, so that no terminal reads
// it as a control of an 8-bit character set. Everything else, the backslash included, is kept.
std::string EscapeControls(std::string_view text);

// The UTF-8 text as a JSON string, quotes included: the quote and the backslash escaped, the
// control characters of EscapeControls (and malformed bytes, read as Latin-1) as \u00XX.
std::string JsonString(std::string_view text);

} // namespace varnetix
