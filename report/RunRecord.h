#pragma once
// The facts of a run beyond its lines: when it began and ended, what happened meanwhile (the
// event journal's lines of that time), and where it was interrupted and resumed.
//
// Where the times come from:
// - the log's name gives the minute it was opened ("data_08_12_26__14_05.txt"; "_2", "_3" are
//   further logs of the same minute);
// - the journal event that opened it (a Start, a Stop, the end of a cycle, the program's start)
//   gives the second;
// - the first event after it that opens the next log, or the program's exit, gives the end;
//   a crash followed by a resume of the cycle continues the run, with the outage between them;
// - where the journal tells nothing, the lines do: one line every half second.
#include "report/DataLogReader.h"
#include "report/EventLog.h"
#include "report/RunSummary.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace report {

// The wall time a log line stands for: the window writes one every half second.
inline constexpr std::int64_t TenthsPerLine = 5;

// The opening time of a log from its file name, and which log of that minute it is (1, 2, ...).
struct LogName {
    LocalSeconds Opened = 0;
    int Copy = 1;
};
std::optional<LogName> ParseLogName(std::string_view fileName);

// The temperatures the window holds from its start until a unit's first report, in tenths.
constexpr std::int32_t StartupTenths(int side) {
    return side == 1 ? 190 : 210;
}

// Where the cycle was interrupted (a crash, a power cut) and went on in the same log.
struct Outage {
    std::size_t Line = 0;                 // the first line after the outage
    std::optional<LocalSeconds> From, To; // wall times, when the journal tells them
    // Lines from `Line` on that carry a side's start-up temperature, logged before its unit's
    // first report after the restart: no reading.
    std::size_t NoReading1 = 0, NoReading2 = 0;
    // Its length in seconds, when known.
    std::optional<std::int64_t> Seconds() const;
};

struct RunRecord {
    std::optional<LocalSeconds> Start;
    bool StartToTheSecond = false; // from the journal; else the minute of the log's name
    std::optional<LocalSeconds> End;
    bool EndFromJournal = false;     // else reckoned from the lines
    std::vector<LoggedEvent> Events; // the journal's events from the start to the end
    std::vector<Outage> Outages;

    // The side's temperature on the line is no reading (see Outage).
    bool NoReading(int side, std::size_t line) const;
};

// The record of a log named `fileName` with the lines `log`, from the journal's events
// `journal` (in file order; they may reach far beyond the run).
RunRecord FindRun(const LogTable& log, std::string_view fileName, const std::vector<LoggedEvent>& journal);

// The journal's events a report of the log needs: those from the minute the log was opened on,
// as far as any run of its length with outages may reach.
std::vector<LoggedEvent> ReadRunEvents(const std::filesystem::path& journal, const LogTable& log,
                                       std::string_view fileName);

// The journal's events in the words of the report.
bool IsAlarm(std::string_view kind);          // stale, over-temperature, port-lost, sensor-fault, runaway
std::string EventName(std::string_view kind); // "Start cyklu", ...; an unknown kind as it is

// The events a report lists: the run's, without the broker's connection notes and without
// boxes that only repeated an event listed beside them.
std::vector<LoggedEvent> TableEvents(const RunRecord& record);

// The run time (the chart's x, see RunTimes) an event of the run falls on: the line written
// closest to it, reckoned from the start and the outages.
double EventRunTime(const RunRecord& record, const LogTable& log, const std::vector<double>& runTimes,
                    LocalSeconds at);

// The summary table with the run's interruptions: "Pocet cyklu" counts a resumed cycle once and
// a row "Preruseni" gives the outages.
std::vector<SummaryRow> RecordRows(const RunSummary& summary, const RunRecord& record);

// "3 min 30 s", "1 h 05 min", "45 s"
std::string SpanText(std::int64_t seconds);

} // namespace report
