#pragma once
// The figures of a run, per side, from the lines of its data log.
#include "report/DataLogReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace report {

// Temperatures within this many tenths of a degree of the setpoint count as on target (±2 degC).
inline constexpr std::int32_t BandTenths = 20;

struct SideSummary {
    std::int32_t MinTemperature = 0; // tenths of a degree
    std::int32_t MaxTemperature = 0;
    // The largest excursion above the setpoint after the temperature has come up to it: counted
    // only once the temperature has been below the setpoint since the setpoint last changed (or
    // the cycle restarted), so a side cooling down to a lower setpoint shows no overshoot.
    std::int32_t MaxOvershoot = 0;
    // Time with the temperature within ±2 degC of the setpoint: each line stands for the time up
    // to the next line of its cycle. Tenths of a second.
    std::int64_t TimeInBand = 0;
    std::size_t HeaterOnLines = 0; // lines with the heater on
    // Time from the first line until the temperature first came within ±2 degC of a setpoint
    // (a setpoint of 0, as logged before the program's first step, is none). Tenths of a second;
    // -1 when it never did.
    std::int64_t ReachTime = -1;
    // The largest deviation from the setpoint while holding it: from the line the temperature
    // came within ±2 degC of it up to the next change of the setpoint. Signed (above is
    // positive), tenths of a degree; Held is false when the side never held a setpoint.
    std::int32_t MaxHoldDeviation = 0;
    bool Held = false;
};

struct RunSummary {
    std::size_t Lines = 0;
    // The cycle time covered by the lines: from the first to the last line of each stretch
    // between restarts, summed. Tenths of a second.
    std::int64_t Duration = 0;
    // Cycles begun in the file: every restart of the cycle time from its start, and the first
    // line when the file begins at the start of a cycle (cycle time at most one second). A cycle
    // that went on after an outage (its time going back a little or jumping forward) is one.
    int Cycles = 0;
    SideSummary Side1;
    SideSummary Side2;

    const SideSummary& Side(int side) const { return side == 1 ? Side1 : Side2; }
    // Heater duty of a side: the share of lines with its heater on, 0 to 1.
    double HeaterDuty(int side) const;
    // The share of the duration spent within the band, 0 to 1 (0 for a log without duration).
    double InBandShare(int side) const;
};

// A log that starts at or below this cycle time starts with its cycle (tenths of a second).
inline constexpr std::int32_t CycleStartTenths = 10;
// Lines are half a second apart; a jump forward of more than this is an outage, whose time is
// not counted in the duration (tenths of a second).
inline constexpr std::int32_t OutageJumpTenths = 100;

// Lines whose temperature of a side is no reading (see RunRecord); they count for the duration
// and the heater only.
using NoReading = std::function<bool(int side, std::size_t line)>;

// The summary of a log with at least one line.
RunSummary Summarize(const LogTable& log, const NoReading& noReading = {});

// One row of the summary table: what, and its value for side 1 and side 2.
struct SummaryRow {
    std::string Label;
    std::string Side1;
    std::string Side2;
};
// The rows of the summary table, texts in the program's language with the decimal comma.
// Degrees carry " °C" in UTF-8.
std::vector<SummaryRow> SummaryRows(const RunSummary& s);

// The x of every line for a chart: the cycle time, continued across restarts (a later cycle is
// drawn after the earlier one, half a second on), in seconds. Ascending for any log.
std::vector<double> RunTimes(const LogTable& log);
// The same x line by line: calls f(i, x) for every line i in order.
template <class F> void ForEachRunTime(const LogTable& log, F&& f) {
    std::int64_t offset = 0; // tenths added to the cycle time since the last restart
    for (std::size_t i = 0; i < log.Size(); ++i) {
        if (i > 0 && log.Time[i] < log.Time[i - 1]) offset += std::int64_t{log.Time[i - 1]} - log.Time[i] + 5;
        f(i, static_cast<double>(log.Time[i] + offset) / 10.0);
    }
}

// Texts for the report, with the decimal comma.
std::string TenthsText(std::int64_t tenths);   // 1483 -> "148,3", -33 -> "-3,3"
std::string DurationText(std::int64_t tenths); // 36005 -> "1:00:00,5" (h:mm:ss,t); days as "2 d 3:04:05,0"
std::string PercentText(double share);         // 0.4567 -> "45,7 %"

} // namespace report
