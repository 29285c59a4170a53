#include "journal/EventJournal.h"

#include "platform/Files.h"
#include "text/PlainText.h"

#include <cstdio>
#include <system_error>

namespace journal {

std::string FormatTime(const platform::LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                  t.Second);
    return text;
}

std::string EventLine(const Event& e) {
    std::string line = FormatTime(e.Time);
    line += '\t';
    line += e.Side == 1 || e.Side == 2 ? std::string(1, char('0' + e.Side)) : std::string("-");
    line += '\t';
    line += plaintext::OneLine(e.Kind);
    line += '\t';
    line += plaintext::OneLine(e.Detail);
    line += "\r\n";
    return line;
}

TEventJournal::TEventJournal(std::filesystem::path folder)
    : folder_(std::move(folder)), path_(folder_ / "events.txt") {}

void TEventJournal::Record(int side, std::string_view kind, std::string_view detail) {
    Record(Event{platform::LocalNow(), side, std::string(kind), std::string(detail)});
}

void TEventJournal::Record(const Event& e) {
    const std::string line = EventLine(e);
    try {
        platform::CreateDirectoryLevel(folder_);
        platform::WriteAllAndClose(platform::OpenOrCreateForAppend(path_), line);
        outage_.Succeeded();
    } catch (const std::system_error& error) {
        outage_.Failed("Zapis do denniku udalosti selhal: " + path_.string() + " (" + error.code().message() + ")");
    }
    for (const Listener& listener : listeners_) listener(e);
}

std::optional<std::string> TEventJournal::TakeFailure() {
    return outage_.Take();
}

} // namespace journal
