#include "core/event_log_line.h"

#include "core/text_escape.h"

#include <cstdio>
#include <ctime>
#include <vector>

namespace varnetix {

namespace {

// "+01:00"; offsets are whole minutes in every zone in use.
std::string utcOffset(long seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const long minutes = (seconds < 0 ? -seconds : seconds) / 60;
    char text[8];
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", sign, minutes / 60 % 100, minutes % 60);
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "\x1B" at the start of the text: the character's code (below 256), or -1.
int escapedCode(std::string_view text) {
    if (text.size() < 4 || text[0] != '\\' || text[1] != 'x')
        return -1;
    const int high = hexDigit(text[2]), low = hexDigit(text[3]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

std::vector<std::string_view> splitAtTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t tab = line.find('\t'); tab != std::string_view::npos;
         tab = line.find('\t', start)) {
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

} // namespace

std::string LocalIsoTime(std::int64_t msSinceEpoch) {
    std::int64_t seconds = msSinceEpoch / 1000;
    int millis = static_cast<int>(msSinceEpoch % 1000);
    if (millis < 0) {
        millis += 1000;
        --seconds;
    }
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr)
        return "0000-00-00T00:00:00.000+00:00";
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + length, sizeof text - length, ".%03d", millis);
    return text + utcOffset(local.tm_gmtoff);
}

std::string EscapeLogField(std::string_view field) {
    std::string escaped;
    escaped.reserve(field.size());
    for (const char c : field) {
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\n':
            escaped += "\\n";
            break;
        default:
            escaped += c;
        }
    }
    return EscapeControls(escaped);
}

std::string UnescapeLogField(std::string_view field) {
    std::string text;
    text.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (const int code = escapedCode(field.substr(i)); code >= 0) {
            // The code of a character: one byte below 0x80, its UTF-8 form above.
            if (code >= 0x80)
                text += static_cast<char>(0xC0 | (code >> 6));
            text += static_cast<char>(code < 0x80 ? code : 0x80 | (code & 0x3F));
            i += 3;
            continue;
        }
        if (field[i] != '\\' || i + 1 == field.size()) {
            text += field[i];
            continue;
        }
        switch (field[i + 1]) {
        case '\\':
            text += '\\';
            break;
        case 't':
            text += '\t';
            break;
        case 'r':
            text += '\r';
            break;
        case 'n':
            text += '\n';
            break;
        default:
            text += field[i];
            text += field[i + 1];
        }
        ++i;
    }
    return text;
}

std::string_view SeverityWord(EventSeverity severity) {
    switch (severity) {
    case EventSeverity::Warning:
        return "warning";
    case EventSeverity::Error:
        return "error";
    case EventSeverity::Info:
        break;
    }
    return "info";
}

std::optional<EventSeverity> SeverityFromWord(std::string_view word) {
    for (const EventSeverity severity :
         {EventSeverity::Info, EventSeverity::Warning, EventSeverity::Error}) {
        if (word == SeverityWord(severity))
            return severity;
    }
    return std::nullopt;
}

std::string FormatEventFields(std::string_view time, EventSeverity severity,
                              std::string_view category, std::string_view element,
                              std::string_view text) {
    return EscapeLogField(time) + '\t' + std::string(SeverityWord(severity)) + '\t' +
           EscapeLogField(category) + '\t' +
           (element.empty() ? std::string("-") : EscapeLogField(element)) + '\t' +
           EscapeLogField(text);
}

std::string FormatEventLine(std::int64_t msSinceEpoch, EventSeverity severity,
                            std::string_view category, std::string_view element,
                            std::string_view text) {
    return FormatEventFields(LocalIsoTime(msSinceEpoch), severity, category, element, text);
}

std::optional<EventLogEntry> ParseEventLine(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    std::vector<std::string_view> fields = splitAtTabs(line);
    const std::optional<EventSeverity> named =
        fields.size() > 1 ? SeverityFromWord(fields[1]) : std::nullopt;
    // Five fields name a severity; four of the old form name a category in its place, and a
    // severity there is what is left of a cut line.
    if (fields.size() == 5 && named)
        fields.erase(fields.begin() + 1);
    else if (fields.size() != 4 || named)
        return std::nullopt;
    const EventSeverity severity = named.value_or(EventSeverity::Info);
    EventLogEntry entry{UnescapeLogField(fields[0]), severity, UnescapeLogField(fields[1]),
                        UnescapeLogField(fields[2]), UnescapeLogField(fields[3])};
    if (entry.element == "-")
        entry.element.clear();
    return entry;
}

} // namespace varnetix
