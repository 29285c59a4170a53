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

    void Line(std::size_t i, bool restart, std::int32_t dt) {
        const std::int32_t t = side_.Temperature[i];
        const std::int32_t sp = side_.Setpoint[i];
        if (i == 0) {
            s_.MinTemperature = s_.MaxTemperature = t;
        } else {
            s_.MinTemperature = std::min(s_.MinTemperature, t);
            s_.MaxTemperature = std::max(s_.MaxTemperature, t);
        }
        if (i == 0 || restart || sp != side_.Setpoint[i - 1]) reached_ = false;
        if (t < sp) reached_ = true;
        if (reached_ && t > sp) s_.MaxOvershoot = std::max(s_.MaxOvershoot, t - sp);
        if (std::abs(std::int64_t{t} - sp) <= BandTenths) s_.TimeInBand += dt;
        if (side_.Heater[i] != 0) ++s_.HeaterOnLines;
    }
    const SideSummary& Result() const { return s_; }

private:
    const LogSide& side_;
    SideSummary s_;
    bool reached_ = false; // the temperature has been below the current setpoint
};

std::string Tenths(std::uint64_t tenths) {
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10);
}

} // namespace

RunSummary Summarize(const LogTable& log) {
    RunSummary r;
    r.Lines = log.Size();
    if (r.Lines == 0) return r;
    SideTally one(log.Side1), two(log.Side2);
    r.Cycles = log.Time[0] <= CycleStartTenths ? 1 : 0;
    for (std::size_t i = 0; i < r.Lines; ++i) {
        const bool restart = i > 0 && log.Time[i] < log.Time[i - 1];
        if (restart) ++r.Cycles;
        // A line lasts until the next line of its cycle; the last line of a cycle adds nothing.
        const bool nextInCycle = i + 1 < r.Lines && log.Time[i + 1] >= log.Time[i];
        const std::int32_t dt = nextInCycle ? log.Time[i + 1] - log.Time[i] : 0;
        r.Duration += dt;
        one.Line(i, restart, dt);
        two.Line(i, restart, dt);
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
    };
}

std::vector<double> RunTimes(const LogTable& log) {
    std::vector<double> x(log.Size());
    ForEachRunTime(log, [&x](std::size_t i, double at) { x[i] = at; });
    return x;
}

} // namespace report
