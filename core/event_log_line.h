// One line of the station's event log, written and read back. A line is four fields joined by
// tabs, so that grep, cut and awk -F'\t' read it:
//
//   <time>\t<category>\t<element>\t<text>
//
//   time      local time, ISO 8601 with milliseconds and the UTC offset:
//             2026-12-06T13:04:05.123+01:00
//   category  one of the words below
//   element   the element's MAC in colon form (00:1A:2B:3C:4D:5E), "-" for none
//   text      what happened, in the words the operator saw
//
// In every field a backslash, tab, carriage return and line feed are written as \\ \t \r \n,
// so one event is always one line, and every other control character as \xHH (EscapeControls),
// so that a name off the wire cannot command the terminal of someone reading the log. The line
// end (LF) is not part of the formatted line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnetix {

namespace event_category {
inline constexpr std::string_view kStation = "station";         // start, stop, background trouble
inline constexpr std::string_view kDiscovery = "discovery";     // runs and what they changed
inline constexpr std::string_view kConfig = "config";           // configuration sends, answers
inline constexpr std::string_view kAttenuation = "attenuation"; // attenuation commands
inline constexpr std::string_view kLevel = "level";             // audio-level monitoring
inline constexpr std::string_view kPing = "ping";               // the operator's ping test
inline constexpr std::string_view kStatus = "status";           // online/offline changes
inline constexpr std::string_view kBox = "box";                 // message boxes shown
inline constexpr std::string_view kCheck = "check";             // network checks
} // namespace event_category

struct EventLogEntry {
    std::string time; // as written; the log view shows it unchanged
    std::string category;
    std::string element; // "" where the line has "-"
    std::string text;
};

// "2026-12-06T13:04:05.123+01:00" in the local time zone.
std::string LocalIsoTime(std::int64_t msSinceEpoch);

std::string EscapeLogField(std::string_view field);
// \xHH gives the character U+00HH back in UTF-8. Unknown escapes and a lone trailing
// backslash are kept as they stand.
std::string UnescapeLogField(std::string_view field);

std::string FormatEventLine(std::int64_t msSinceEpoch, std::string_view category,
                            std::string_view element, std::string_view text);
// nullopt unless the line has exactly four fields; a trailing CR or LF is ignored.
std::optional<EventLogEntry> ParseEventLine(std::string_view line);

} // namespace varnetix
