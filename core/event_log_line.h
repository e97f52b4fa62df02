// One line of the station's event log, written and read back. A line is five fields joined by
// tabs, so that grep, cut and awk -F'\t' read it:
//
//   <time>\t<severity>\t<category>\t<element>\t<text>
//
//   time      local time, ISO 8601 with milliseconds and the UTC offset:
//             2026-12-06T13:04:05.123+01:00
//   severity  info, warning or error
//   category  one of the words below
//   element   the element's MAC in colon form (00:1A:2B:3C:4D:5E), "-" for none
//   text      what happened, in the words the operator saw
//
// In every field a backslash, tab, carriage return and line feed are written as \\ \t \r \n,
// so one event is always one line, and every other control character as \xHH (EscapeControls),
// so that a name off the wire cannot command the terminal of someone reading the log. The line
// end (LF) is not part of the formatted line.
//
// Logs written before lines had a severity hold four fields, <time> <category> <element> <text>;
// they read as info. Escaped fields hold no tab, so the count of fields tells the two forms
// apart; a five-field line must also name one of the three severities, which are no category
// words, so that a line of neither form is never half-read as one.
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
inline constexpr std::string_view kAlarm = "alarm";             // alarms and acknowledgements
} // namespace event_category

enum class EventSeverity { Info, Warning, Error };

std::string_view SeverityWord(EventSeverity severity); // "info", "warning", "error"
std::optional<EventSeverity> SeverityFromWord(std::string_view word);

struct EventLogEntry {
    std::string time; // as written; the log view shows it unchanged
    EventSeverity severity = EventSeverity::Info;
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

std::string FormatEventLine(std::int64_t msSinceEpoch, EventSeverity severity,
                            std::string_view category, std::string_view element,
                            std::string_view text);
// The same line from a time already written out (the log view copies what it read back).
std::string FormatEventFields(std::string_view time, EventSeverity severity,
                              std::string_view category, std::string_view element,
                              std::string_view text);
// nullopt unless the line has five fields with a known severity, or four of the old form (with
// no severity word in the second); a trailing CR or LF is ignored.
std::optional<EventLogEntry> ParseEventLine(std::string_view line);

} // namespace varnetix
