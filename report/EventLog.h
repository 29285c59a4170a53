#pragma once
// The event journal (Data/events.txt) read back for reports: one event per line, "YYYY-MM-DD
// HH:MM:SS", a tab, the side ("1", "2" or "-"), a tab, the kind, a tab, the detail, CR LF.
//
// Times are local civil times; for reckoning they are counted as seconds on one line
// (LocalSeconds), as if the local clock had no zone or summer time. A run that spans the change
// of summer time is an hour off on one side of it; the report says what the journal says.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// Local civil time as seconds since 1970-01-01 00:00:00 of the same clock.
using LocalSeconds = std::int64_t;

// Year, month, day, hour, minute, second; nullopt for a date that does not exist.
std::optional<LocalSeconds> LocalSecondsOf(int year, int month, int day, int hour, int minute, int second);

// "08.12.2026", "14:05:03", "14:05"
std::string DateText(LocalSeconds t);
std::string ClockText(LocalSeconds t);
std::string ClockMinutesText(LocalSeconds t);

struct LoggedEvent {
    LocalSeconds Time = 0;
    int Side = 0; // 1, 2, or 0 for the whole program
    std::string Kind;
    std::string Detail;
};

// The events of the journal's text in file order. Lines that are no event line (a line cut by
// a crash, a line of another program) are skipped.
std::vector<LoggedEvent> ParseEvents(std::string_view text);

// The events of the journal file with times from `from` to `to` (both included), in file order,
// only those of the kind `only` when it is given. A missing or unreadable file gives none: a
// report without the journal still reports the log. The file is read a line at a time, so a
// journal of years costs no more memory than the events kept.
std::vector<LoggedEvent> ReadEvents(const std::filesystem::path& file, LocalSeconds from, LocalSeconds to,
                                    std::string_view only = {});

} // namespace report
