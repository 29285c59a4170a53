#include "report/EventLog.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <fstream>

namespace report {
namespace {

constexpr LocalSeconds Day = 86400;

bool Digits(std::string_view text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size()) return false;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    std::from_chars(text.data() + at, text.data() + at + count, value);
    return true;
}

// "2026-12-08 14:05:03" at the start of `text`.
std::optional<LocalSeconds> ParseTime(std::string_view text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!Digits(text, 0, 4, y) || text.size() < 19 || text[4] != '-' || !Digits(text, 5, 2, mo) ||
        text[7] != '-' || !Digits(text, 8, 2, d) || text[10] != ' ' || !Digits(text, 11, 2, h) ||
        text[13] != ':' || !Digits(text, 14, 2, mi) || text[16] != ':' || !Digits(text, 17, 2, s))
        return std::nullopt;
    return LocalSecondsOf(y, mo, d, h, mi, s);
}

std::optional<LoggedEvent> ParseLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto time = ParseTime(line);
    if (!time || line.size() < 22 || line[19] != '\t') return std::nullopt;
    LoggedEvent e;
    e.Time = *time;
    const char side = line[20];
    if (side == '1' || side == '2') {
        e.Side = side - '0';
    } else if (side != '-') {
        return std::nullopt;
    }
    if (line[21] != '\t') return std::nullopt;
    std::string_view rest = line.substr(22);
    const auto tab = rest.find('\t');
    e.Kind = std::string(rest.substr(0, tab));
    if (tab != std::string_view::npos) e.Detail = std::string(rest.substr(tab + 1));
    if (e.Kind.empty()) return std::nullopt;
    return e;
}

template <class... Ints> std::string Format(const char* format, Ints... values) {
    char text[32];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

} // namespace

std::optional<LocalSeconds> LocalSecondsOf(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
        return std::nullopt;
    const LocalSeconds days = sys_days(date).time_since_epoch().count();
    return days * Day + hour * 3600 + minute * 60 + second;
}

namespace {
std::chrono::year_month_day DateOf(LocalSeconds t) {
    LocalSeconds days = t / Day;
    if (t % Day < 0) --days;
    return std::chrono::year_month_day(std::chrono::sys_days(std::chrono::days(days)));
}
int SecondOfDay(LocalSeconds t) {
    return static_cast<int>(((t % Day) + Day) % Day);
}
} // namespace

std::string DateText(LocalSeconds t) {
    const auto d = DateOf(t);
    return Format("%02d.%02d.%04d", static_cast<int>(static_cast<unsigned>(d.day())),
                  static_cast<int>(static_cast<unsigned>(d.month())), static_cast<int>(d.year()));
}

std::string ClockText(LocalSeconds t) {
    const int s = SecondOfDay(t);
    return Format("%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
}

std::string ClockMinutesText(LocalSeconds t) {
    const int s = SecondOfDay(t);
    return Format("%02d:%02d", s / 3600, s / 60 % 60);
}

std::vector<LoggedEvent> ParseEvents(std::string_view text) {
    std::vector<LoggedEvent> events;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        if (auto e = ParseLine(text.substr(0, nl))) events.push_back(std::move(*e));
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return events;
}

std::vector<LoggedEvent> ReadEvents(const std::filesystem::path& file, LocalSeconds from, LocalSeconds to,
                                    std::string_view only) {
    std::vector<LoggedEvent> events;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return events;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        auto e = ParseLine(line);
        if (e && e->Time >= from && e->Time <= to && (only.empty() || e->Kind == only))
            events.push_back(std::move(*e));
    }
    return events;
}

} // namespace report
