#include "report/RunRecord.h"

#include "journal/EventKinds.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace report {
namespace {

namespace kind = journal::kind;

// Events at which the window begins a new data log (the program's first log at its start).
bool OpensLog(std::string_view k) {
    return k == kind::CycleStart || k == kind::CycleStop || k == kind::CycleEnd || k == kind::ProgramStart;
}
// Events at which the current log ends.
bool EndsLog(std::string_view k) {
    return k == kind::CycleStart || k == kind::CycleStop || k == kind::CycleEnd || k == kind::ProgramExit;
}

// The number after `word` in a detail such as "cas 1234 s, vypadek 210 s".
std::optional<std::int64_t> NumberAfter(std::string_view detail, std::string_view word) {
    const auto at = detail.find(word);
    if (at == std::string_view::npos) return std::nullopt;
    const char* p = detail.data() + at + word.size();
    const char* end = detail.data() + detail.size();
    std::int64_t value = 0;
    const auto [after, ec] = std::from_chars(p, end, value);
    if (ec != std::errc{} || after == p) return std::nullopt;
    return value;
}

bool TwoDigits(std::string_view s, std::size_t at, int& value) {
    if (at + 2 > s.size() || s[at] < '0' || s[at] > '9' || s[at + 1] < '0' || s[at + 1] > '9') return false;
    value = (s[at] - '0') * 10 + (s[at + 1] - '0');
    return true;
}

// A step of the cycle time between two lines that is no line's half second: the cycle went on
// after an outage, from the state saved last (back by up to a second, or the same time) or
// forward. The same time twice alone may be a late timer; it counts where the journal tells of
// an outage.
enum class Step { Normal, Outage, Perhaps };
Step StepAt(const LogTable& log, std::size_t i) {
    const std::int32_t before = log.Time[i - 1], now = log.Time[i];
    if (now <= CycleStartTenths) return Step::Normal; // back to the start is a new cycle
    if (now < before) return Step::Outage;
    if (now == before) return Step::Perhaps;
    return now - before > OutageJumpTenths ? Step::Outage : Step::Normal;
}

// The journal's account of one outage.
struct Told {
    std::optional<LocalSeconds> From, To;
    std::optional<std::int64_t> CycleSeconds; // the cycle time it went on from
};

} // namespace

bool RunRecord::NoReading(int side, std::size_t line) const {
    for (const Outage& o : Outages) {
        if (line >= o.Line && line - o.Line < (side == 1 ? o.NoReading1 : o.NoReading2)) return true;
    }
    return false;
}

std::optional<std::int64_t> Outage::Seconds() const {
    if (!From || !To) return std::nullopt;
    return std::max<std::int64_t>(0, *To - *From);
}

std::optional<LogName> ParseLogName(std::string_view name) {
    // data_dd_mm_yy__hh_nn[_k].txt
    constexpr std::string_view Prefix = "data_", Suffix = ".txt";
    if (name.size() < Prefix.size() + 15 + Suffix.size() || name.substr(0, Prefix.size()) != Prefix ||
        name.substr(name.size() - Suffix.size()) != Suffix)
        return std::nullopt;
    const std::string_view stem = name.substr(Prefix.size(), name.size() - Prefix.size() - Suffix.size());
    int d = 0, mo = 0, y = 0, h = 0, mi = 0;
    if (!TwoDigits(stem, 0, d) || stem[2] != '_' || !TwoDigits(stem, 3, mo) || stem[5] != '_' ||
        !TwoDigits(stem, 6, y) || stem.substr(8, 2) != "__" || !TwoDigits(stem, 10, h) || stem[12] != '_' ||
        !TwoDigits(stem, 13, mi))
        return std::nullopt;
    LogName result;
    if (stem.size() > 15) {
        if (stem[15] != '_') return std::nullopt;
        const std::string_view copy = stem.substr(16);
        const auto [after, ec] = std::from_chars(copy.data(), copy.data() + copy.size(), result.Copy);
        if (ec != std::errc{} || after != copy.data() + copy.size() || result.Copy < 2) return std::nullopt;
    }
    const auto opened = LocalSecondsOf(2000 + y, mo, d, h, mi, 0);
    if (!opened) return std::nullopt;
    result.Opened = *opened;
    return result;
}

RunRecord FindRun(const LogTable& log, std::string_view fileName, const std::vector<LoggedEvent>& journal) {
    RunRecord r;
    std::vector<std::size_t> jumps; // lines after a step that may be an outage
    std::vector<bool> sure;         // and whether the step alone tells so
    for (std::size_t i = 1; i < log.Size(); ++i) {
        const Step step = StepAt(log, i);
        if (step == Step::Normal) continue;
        jumps.push_back(i);
        sure.push_back(step == Step::Outage);
    }
    const std::int64_t lineSeconds = static_cast<std::int64_t>(log.Size()) * TenthsPerLine / 10;

    std::vector<Told> told;
    const auto name = ParseLogName(fileName);
    if (name) {
        // The event that opened the log: the n-th opening event in the minute of the name (the
        // event is written within a second of the opening, which may fall into the next minute).
        std::size_t from = journal.size();
        int seen = 0;
        for (std::size_t i = 0; i < journal.size(); ++i) {
            const LoggedEvent& e = journal[i];
            if (e.Time >= name->Opened && e.Time <= name->Opened + 61 && OpensLog(e.Kind) &&
                ++seen == name->Copy) {
                from = i;
                break;
            }
        }
        r.Start = from < journal.size() ? journal[from].Time : name->Opened;
        r.StartToTheSecond = from < journal.size();

        // Walk on from it: an event that opens the next log ends the run. A start of the program
        // without an exit before it is a crash; an exit after the cycle was marked interrupted is
        // a shutdown that keeps it; either is bridged by a resume of the cycle.
        enum class Phase { Running, ShuttingDown, Away } phase = Phase::Running;
        std::optional<LocalSeconds> end;
        bool restarted = false;
        LocalSeconds lastBeforeOutage = *r.Start;
        std::optional<LocalSeconds> stoppedAt; // the exit of a shutdown
        Told outage;
        for (std::size_t i = r.StartToTheSecond ? from + 1 : 0; i < journal.size(); ++i) {
            const LoggedEvent& e = journal[i];
            if (e.Time < *r.Start) continue;
            if (phase == Phase::Away) {
                if (e.Kind == kind::ProgramStart) {
                    if (restarted) break; // a second start without a resume: the cycle was not continued
                    restarted = true;
                } else if (e.Kind == kind::CycleInterrupted) {
                    const auto gone = NumberAfter(e.Detail, "vypadek ");
                    if (!outage.From && gone) outage.From = e.Time - *gone;
                } else if (e.Kind == kind::CycleResumed) {
                    outage.To = e.Time;
                    outage.CycleSeconds = NumberAfter(e.Detail, "cas ");
                    if (!outage.From) outage.From = lastBeforeOutage;
                    told.push_back(outage);
                    phase = Phase::Running;
                    stoppedAt.reset();
                } else if (EndsLog(e.Kind)) {
                    break;
                }
                continue;
            }
            if (e.Kind == kind::ProgramStart) {
                phase = Phase::Away;
                restarted = true;
                outage = Told{};
                continue;
            }
            if (e.Kind == kind::CycleInterrupted) {
                phase = Phase::ShuttingDown;
                lastBeforeOutage = e.Time;
                continue;
            }
            if (e.Kind == kind::ProgramExit && phase == Phase::ShuttingDown) {
                phase = Phase::Away;
                restarted = false;
                outage = Told{};
                outage.From = lastBeforeOutage;
                stoppedAt = e.Time;
                continue;
            }
            if (EndsLog(e.Kind)) {
                end = e.Time;
                break;
            }
            lastBeforeOutage = e.Time;
        }
        if (!end && stoppedAt) end = stoppedAt; // shut down and never continued

        // The lines tell how long the run was; a journal end far from it belongs to another
        // story (a log begun without an event, a journal of another machine).
        std::int64_t awaySeconds = 0;
        for (const Told& t : told)
            awaySeconds += *t.To - *t.From;
        const LocalSeconds reckoned = *r.Start + lineSeconds + awaySeconds;
        const std::int64_t slack = std::max<std::int64_t>(120, lineSeconds / 2);
        if (end && *end >= reckoned - slack && *end <= reckoned + slack) {
            r.End = end;
            r.EndFromJournal = true;
        } else {
            r.End = reckoned;
        }
        for (const LoggedEvent& e : journal) {
            if (e.Time >= *r.Start && e.Time <= *r.End) r.Events.push_back(e);
        }
    }

    // The outages: each one the journal tells of at the jump of the lines nearest its cycle
    // time; jumps it does not tell of as outages of unknown length.
    std::vector<bool> used(jumps.size(), false);
    std::size_t searchFrom = 1;
    for (const Told& t : told) {
        Outage o{0, t.From, t.To};
        std::size_t best = jumps.size();
        for (std::size_t j = 0; j < jumps.size(); ++j) {
            if (used[j]) continue;
            if (!t.CycleSeconds || std::llabs(std::int64_t{log.Time[jumps[j] - 1]} - *t.CycleSeconds * 10) <=
                                       OutageJumpTenths / 2) {
                best = j;
                break;
            }
        }
        if (best < jumps.size()) {
            used[best] = true;
            o.Line = jumps[best];
        } else if (t.CycleSeconds) {
            // The cycle went on within a line's time of where it stopped: the first line at that time.
            std::size_t i = searchFrom;
            while (i < log.Size() && log.Time[i] < *t.CycleSeconds * 10)
                ++i;
            if (i >= log.Size()) continue;
            o.Line = i;
        } else {
            continue;
        }
        searchFrom = o.Line + 1;
        r.Outages.push_back(o);
    }
    for (std::size_t j = 0; j < jumps.size(); ++j) {
        if (!used[j] && sure[j]) r.Outages.push_back(Outage{jumps[j], std::nullopt, std::nullopt});
    }
    std::sort(r.Outages.begin(), r.Outages.end(),
              [](const Outage& a, const Outage& b) { return a.Line < b.Line; });

    // After an outage the window logs its start-up temperatures until each unit reports.
    for (std::size_t k = 0; k < r.Outages.size(); ++k) {
        Outage& o = r.Outages[k];
        const std::size_t next = k + 1 < r.Outages.size() ? r.Outages[k + 1].Line : log.Size();
        for (int side = 1; side <= 2; ++side) {
            const std::vector<std::int32_t>& t = log.Side(side).Temperature;
            std::size_t i = o.Line;
            while (i < next && t[i] == StartupTenths(side))
                ++i;
            (side == 1 ? o.NoReading1 : o.NoReading2) = i - o.Line;
        }
    }
    return r;
}

std::vector<LoggedEvent> ReadRunEvents(const std::filesystem::path& journal, const LogTable& log,
                                       std::string_view fileName) {
    const auto name = ParseLogName(fileName);
    if (!name) return {};
    // Twice the lines' time and a day of outages is more than any run with resumes can take.
    const std::int64_t lineSeconds = static_cast<std::int64_t>(log.Size()) * TenthsPerLine / 10;
    return ReadEvents(journal, name->Opened, name->Opened + 2 * lineSeconds + 86400);
}

bool IsAlarm(std::string_view k) {
    return k == kind::Stale || k == kind::OverTemperature || k == kind::PortLost || k == kind::SensorFault ||
           k == kind::Runaway;
}

std::string EventName(std::string_view k) {
    struct Name {
        std::string_view Kind;
        const char* Text;
    };
    static constexpr Name names[] = {
        {kind::ProgramStart, "Start programu"},
        {kind::ProgramExit, "Konec programu"},
        {kind::CycleStart, "Start cyklu"},
        {kind::CycleStop, "Stop cyklu"},
        {kind::CycleEnd, "Konec cyklu"},
        {kind::CycleInterrupted, "Cyklus prerusen"},
        {kind::CycleResumed, "Cyklus obnoven"},
        {kind::PortLost, "Spojeni ztraceno"},
        {kind::PortBack, "Spojeni obnoveno"},
        {kind::Stale, "Zadna teplota"},
        {kind::Recovered, "Obnoveno"},
        {kind::OverTemperature, "Prekrocena mez teploty"},
        {kind::Acknowledged, "Potvrzeno obsluhou"},
        {kind::Report, "Hlaseni"},
        {kind::Telemetry, "Telemetrie"},
        {kind::Autotune, "Autotune"},
        {kind::SensorFault, "Porucha cidla"},
        {kind::Runaway, "Topeni nevypina"},
        {kind::HeatersOff, "Topeni vypnuta pri ukonceni"},
        {kind::AlarmRestored, "Alarm trva i po startu"},
        {"change", "Zmena nastaveni"},
        {"warning", "Upozorneni"},
    };
    for (const Name& n : names) {
        if (n.Kind == k) return n.Text;
    }
    return std::string(k);
}

std::vector<LoggedEvent> TableEvents(const RunRecord& record) {
    std::vector<LoggedEvent> out;
    const std::vector<LoggedEvent>& all = record.Events;
    // A box is journalled right beside the event it tells of: its neighbours are enough to look at.
    constexpr std::size_t Near = 8;
    for (std::size_t k = 0; k < all.size(); ++k) {
        const LoggedEvent& e = all[k];
        if (e.Kind == kind::Telemetry) continue;
        if (e.Kind == kind::Report) {
            bool repeats = false;
            for (std::size_t j = k > Near ? k - Near : 0; j < std::min(all.size(), k + Near + 1) && !repeats;
                 ++j) {
                const LoggedEvent& other = all[j];
                repeats = other.Kind != kind::Report && !other.Detail.empty() &&
                          std::llabs(other.Time - e.Time) <= 5 &&
                          e.Detail.find(other.Detail) != std::string::npos;
            }
            if (repeats) continue;
        }
        out.push_back(e);
    }
    return out;
}

double EventRunTime(const RunRecord& record, const LogTable& log, const std::vector<double>& runTimes,
                    LocalSeconds at) {
    if (runTimes.empty()) return 0.0;
    if (!record.Start) return runTimes.front();
    LocalSeconds segmentStart = *record.Start;
    std::size_t segmentLine = 0, segmentEnd = log.Size();
    for (const Outage& o : record.Outages) {
        if (!o.From || !o.To) continue;
        if (at >= *o.To) {
            segmentStart = *o.To;
            segmentLine = o.Line;
            continue;
        }
        if (at >= *o.From) return runTimes[o.Line];
        segmentEnd = o.Line;
        break;
    }
    const std::int64_t lines = std::max<std::int64_t>(0, (at - segmentStart) * 10 / TenthsPerLine);
    const std::size_t line =
        std::min(segmentLine + static_cast<std::size_t>(lines), std::max(segmentLine + 1, segmentEnd) - 1);
    return runTimes[std::min(line, runTimes.size() - 1)];
}

std::string SpanText(std::int64_t seconds) {
    if (seconds < 60) return std::to_string(seconds) + " s";
    if (seconds < 3600) {
        const std::int64_t s = seconds % 60;
        return std::to_string(seconds / 60) + " min" + (s ? " " + std::to_string(s) + " s" : std::string());
    }
    const std::int64_t m = seconds / 60 % 60;
    return std::to_string(seconds / 3600) + " h " + (m < 10 ? "0" : "") + std::to_string(m) + " min";
}

std::vector<SummaryRow> RecordRows(const RunSummary& summary, const RunRecord& record) {
    std::vector<SummaryRow> rows = SummaryRows(summary);
    if (record.Outages.empty()) return rows;
    std::string text = std::to_string(record.Outages.size()) + "x";
    std::int64_t total = 0;
    bool allKnown = true;
    for (const Outage& o : record.Outages) {
        if (const auto s = o.Seconds()) {
            total += *s;
        } else {
            allKnown = false;
        }
    }
    text += allKnown ? ", vypadek " + SpanText(total) : ", delka vypadku neznama";
    const auto cycles =
        std::find_if(rows.begin(), rows.end(), [](const SummaryRow& r) { return r.Label == "Pocet cyklu"; });
    rows.insert(cycles == rows.end() ? rows.end() : cycles + 1, SummaryRow{"Preruseni cyklu", text, text});
    return rows;
}

} // namespace report
