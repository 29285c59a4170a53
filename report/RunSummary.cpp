#include "report/RunSummary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace report {
namespace {

// The figures of one side, gathered line by line.
class SideTally {
public:
    explicit SideTally(const LogSide& side) : side_(side) {}

    void Line(std::size_t i, bool restart, std::int32_t dt, std::int64_t sinceFirst, bool reading) {
        const std::int32_t t = side_.Temperature[i];
        const std::int32_t sp = side_.Setpoint[i];
        const bool inBand = std::abs(std::int64_t{t} - sp) <= BandTenths;
        if (side_.Heater[i] != 0) ++s_.HeaterOnLines;
        if (i == 0 || restart || sp != side_.Setpoint[i - 1]) reached_ = holding_ = false;
        if (!reading) return;
        if (!seen_) {
            s_.MinTemperature = s_.MaxTemperature = t;
            seen_ = true;
        } else {
            s_.MinTemperature = std::min(s_.MinTemperature, t);
            s_.MaxTemperature = std::max(s_.MaxTemperature, t);
        }
        if (t < sp) reached_ = true;
        if (reached_ && t > sp) s_.MaxOvershoot = std::max(s_.MaxOvershoot, t - sp);
        if (inBand) s_.TimeInBand += dt;
        if (sp != 0 && inBand) {
            holding_ = true;
            if (s_.ReachTime < 0) s_.ReachTime = sinceFirst;
        }
        if (holding_ && (!s_.Held || std::abs(t - sp) > std::abs(s_.MaxHoldDeviation))) {
            s_.MaxHoldDeviation = t - sp;
            s_.Held = true;
        }
    }
    const SideSummary& Result() const { return s_; }

private:
    const LogSide& side_;
    SideSummary s_;
    bool reached_ = false; // the temperature has been below the current setpoint
    bool holding_ = false; // the temperature has come within the band of the current setpoint
    bool seen_ = false;    // a temperature has been counted
};

std::string Tenths(std::uint64_t tenths) {
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

} // namespace

RunSummary Summarize(const LogTable& log, const NoReading& noReading) {
    RunSummary r;
    r.Lines = log.Size();
    if (r.Lines == 0) return r;
    SideTally one(log.Side1), two(log.Side2);
    r.Cycles = log.Time[0] <= CycleStartTenths ? 1 : 0;
    std::int64_t sinceFirst = 0; // tenths of cycle time since the first line, outages left out
    for (std::size_t i = 0; i < r.Lines; ++i) {
        const bool restart = i > 0 && log.Time[i] < log.Time[i - 1] && log.Time[i] <= CycleStartTenths;
        if (restart) ++r.Cycles;
        // A line lasts until the next line of its cycle; the last line of a cycle, and the last
        // before an outage, add nothing.
        const bool nextInCycle = i + 1 < r.Lines && log.Time[i + 1] >= log.Time[i] &&
                                 log.Time[i + 1] - log.Time[i] <= OutageJumpTenths;
        const std::int32_t dt = nextInCycle ? log.Time[i + 1] - log.Time[i] : 0;
        one.Line(i, restart, dt, sinceFirst, !noReading || !noReading(1, i));
        two.Line(i, restart, dt, sinceFirst, !noReading || !noReading(2, i));
        r.Duration += dt;
        sinceFirst += dt;
    }
    r.Side1 = one.Result();
    r.Side2 = two.Result();
    return r;
}

double RunSummary::HeaterDuty(int side) const {
    return Lines == 0 ? 0.0 : static_cast<double>(Side(side).HeaterOnLines) / static_cast<double>(Lines);
}

double RunSummary::InBandShare(int side) const {
    return Duration == 0 ? 0.0 : static_cast<double>(Side(side).TimeInBand) / static_cast<double>(Duration);
}

std::string TenthsText(std::int64_t tenths) {
    const std::string text = Tenths(static_cast<std::uint64_t>(tenths < 0 ? -tenths : tenths));
    return tenths < 0 ? "-" + text : text;
}

std::string DurationText(std::int64_t tenths) {
    if (tenths < 0) tenths = 0;
    const std::int64_t seconds = tenths / 10;
    const std::int64_t days = seconds / 86400;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld,%lld", static_cast<long long>(seconds % 86400 / 3600),
                  static_cast<long long>(seconds % 3600 / 60), static_cast<long long>(seconds % 60),
                  static_cast<long long>(tenths % 10));
    return days > 0 ? std::to_string(days) + " d " + buf : buf;
}

std::string PercentText(double share) {
    const auto tenths = static_cast<std::int64_t>(std::llround(share * 1000.0));
    return TenthsText(tenths) + " %";
}

std::vector<SummaryRow> SummaryRows(const RunSummary& s) {
    auto both = [](std::string label, const std::string& value) {
        return SummaryRow{std::move(label), value, value};
    };
    auto each = [](std::string label, auto text) { return SummaryRow{std::move(label), text(1), text(2)}; };
    auto degrees = [](std::int64_t tenths) { return TenthsText(tenths) + " \u00b0C"; };
    return {
        both("Trvani", DurationText(s.Duration)),
        both("Pocet cyklu", std::to_string(s.Cycles)),
        each("Minimalni teplota", [&](int i) { return degrees(s.Side(i).MinTemperature); }),
        each("Maximalni teplota", [&](int i) { return degrees(s.Side(i).MaxTemperature); }),
        each("Nejvetsi prekmit nad zadanou hodnotou", [&](int i) { return degrees(s.Side(i).MaxOvershoot); }),
        each("Doba v pasmu \u00b12 \u00b0C od zadane hodnoty",
             [&](int i) {
                 return DurationText(s.Side(i).TimeInBand) + " (" + PercentText(s.InBandShare(i)) + ")";
             }),
        each("Strida topeni (podil radku s topenim)", [&](int i) { return PercentText(s.HeaterDuty(i)); }),
        each("Doba nabehu do pasma \u00b12 \u00b0C",
             [&](int i) {
                 const std::int64_t t = s.Side(i).ReachTime;
                 return t < 0 ? std::string("nedosazeno") : DurationText(t);
             }),
        each("Nejvetsi odchylka pri drzeni",
             [&](int i) {
                 const SideSummary& side = s.Side(i);
                 if (!side.Held) return std::string("-");
                 return (side.MaxHoldDeviation > 0 ? "+" : "") + degrees(side.MaxHoldDeviation);
             }),
    };
}

std::vector<double> RunTimes(const LogTable& log) {
    std::vector<double> x(log.Size());
    ForEachRunTime(log, [&x](std::size_t i, double at) { x[i] = at; });
    return x;
}

} // namespace report
