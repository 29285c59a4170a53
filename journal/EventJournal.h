#pragma once
// The event journal: one append-only text file, "events.txt" in the data folder, with one line per
// event the operator may want to look back on (the program's start and exit, Start, Stop and the
// end of a cycle, ports lost and back, stale units, temperature limits, every report shown...).
//
// A line is: local date and time, a tab, the side ("1", "2", or "-" for the whole program), a
// tab, the event's kind (a fixed word, see EventKinds.h), a tab, the detail text, CR LF. Each
// line reaches the system in one write, as the data log's lines do, so a process killed at any
// moment leaves whole lines. Writing never throws: a failure is kept for the caller to report
// once, and the journal tries again at the next event.
//
// Others may listen (the telemetry publishes events as they happen).
#include "journal/Outage.h"
#include "platform/Clock.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace journal {

struct Event {
    platform::LocalDateTime Time; // local time of the event
    int Side = 0;                 // 1 or 2; 0 for the whole program
    std::string Kind;             // a fixed word from EventKinds.h
    std::string Detail;           // text; written as one plain line (text/PlainText.h)
};

// "2026-12-08 14:05:03"
std::string FormatTime(const platform::LocalDateTime& t);

// The event's line as it stands in the file, with its CR LF.
std::string EventLine(const Event& e);

class TEventJournal {
public:
    // The journal file is `folder`/events.txt; the folder (one level) is created when missing.
    explicit TEventJournal(std::filesystem::path folder);

    // Records an event at the current local time: appends its line and tells the listeners.
    // Never throws.
    void Record(int side, std::string_view kind, std::string_view detail);
    void Record(const Event& e);

    // The text of a write failure that has not been handed out yet. A failure is handed out
    // once; after a successful write the next failure is handed out again.
    std::optional<std::string> TakeFailure();

    using Listener = std::function<void(const Event&)>;
    // Listeners run after the line was written (or failed to be), in the order added.
    void AddListener(Listener listener) { listeners_.push_back(std::move(listener)); }

private:
    std::filesystem::path folder_;
    std::filesystem::path path_;
    std::vector<Listener> listeners_;
    TOutage outage_;
};

} // namespace journal
