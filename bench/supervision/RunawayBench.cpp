// The runaway watch against the emulator's ovens, regulated by the program's own controller with
// the design parameters (the worst case: on the lagged ovens they overshoot by 20 to 80 degC).
// For each oven, a run of setpoint steps up and down without any fault must raise no runaway
// alarm; the table gives the largest rise above a switch-off temperature seen at or after the
// watch's delay (the margin to a false alarm). Then the same oven with its relay welded shut at
// the second step: the time from the weld to the alarm and how far the oven had got by then.
//
// Usage: runaway_bench [--tvz S]
#include "regulation/Controller.h"
#include "state/RegulatorState.h"
#include "supervision/Supervisor.h"
#include "tools/unitemu/UnitEmulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {

class TSwitch : public state::HeaterSwitchControl {
public:
    bool Checked() const override { return on; }
    void SetChecked(bool v) override { on = v; }
    bool on = false;
};

struct TOven {
    const char* Name;
    double Element, Chamber, Dead, LossTau;
};

struct TResult {
    int Alarms = 0;
    double FirstAlarm = -1.0;  // s since the start
    double WorstRise = 0.0;    // degC above the switch-off temperature, at or after the delay
    double AlarmTemperature = 0.0;
};

// Steps of the setpoint: up from ambient, down, up again; each held for `hold` seconds.
TResult Run(const TOven& o, double tvz, std::optional<double> weldAt, double hold) {
    unitemu::UnitModel unit(1);
    unit.Ambient = unit.Temperature = 20.0;
    unit.ElementLag = o.Element;
    unit.ChamberLag = o.Chamber;
    unit.DeadTime = o.Dead;
    unit.LossTau = o.LossTau;

    state::RegulatorState S;
    TSwitch heater;
    S.SideState[1].HeaterSwitch = &heater;
    S.r0 = 0.01995;
    S.Ti = 31.5;
    S.Td = 2.35;
    regulation::ComputeCoefficients(S, regulation::IntervalMs(tvz));
    regulation::ResetModel(S);

    supervision::TSupervisor sv;
    const auto t0 = supervision::TimePoint{} + std::chrono::hours(1);
    sv.Begin(t0);
    const double setpoints[] = {120.0, 90.0, 140.0, 60.0};
    const double step = 0.1;
    const long ticksPerControl = std::lround(tvz / step);
    const long total = std::lround(hold * 4 / step);
    double report = 0.0;
    TResult r;
    bool off = true;
    double offAt = 0.0, offTemperature = unit.Temperature;
    for (long k = 0; k < total; ++k) {
        const double t = double(k) * step;
        const auto now = t0 + std::chrono::milliseconds(std::lround(t * 1000.0));
        if (weldAt && t >= *weldAt) unit.HeaterStuck = true;
        if (k % 10 == 0) { // a report every second, to 0,1 degC as the unit sends it
            report = std::round(unit.Temperature * 10.0) / 10.0;
            sv.Reported(1, report, now);
        }
        if (k % ticksPerControl == 0) {
            const double setpoint = setpoints[std::min<long>(3, long(t / hold))];
            S.SideState[1].Temperature = report;
            heater.on = regulation::DecideHeater(S, 1, setpoint);
            const auto c = sv.Check(1, report, now);
            if (c.Runaway) {
                if (r.Alarms++ == 0) {
                    r.FirstAlarm = t;
                    r.AlarmTemperature = report;
                }
            }
            if (sv.HeaterBlocked(1)) heater.on = false;
            sv.HeaterCommanded(1, heater.on, report, now);
            unit.Relay = heater.on;
            if (!heater.on && !off) {
                offAt = t;
                offTemperature = report;
            }
            off = !heater.on;
            if (off && t - offAt >= 120.0) r.WorstRise = std::max(r.WorstRise, report - offTemperature);
        }
        unit.Advance(step);
    }
    return r;
}

} // namespace

int main(int argc, char** argv) {
    double tvz = 5.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tvz") == 0 && i + 1 < argc) {
            tvz = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: runaway_bench [--tvz S]\n");
            return 2;
        }
    }
    const std::vector<TOven> ovens{
        {"demo 0/0/0 s", 0, 0, 0, 300},          {"pomala pec 15/90/5 s", 15, 90, 5, 300},
        {"rychla pec 8/45/2 s", 8, 45, 2, 300},  {"tezka pec 30/120/15 s", 30, 120, 15, 600},
        {"lehka pec 3/20/1 s", 3, 20, 1, 200},   {"dlouhe zpozdeni 5/20/30 s", 5, 20, 30, 300},
    };
    const double hold = 1800.0;
    std::printf("control period %.3g s, steps 120/90/140/60 degC held %.0f s each\n", tvz, hold);
    std::printf("%-27s %14s %18s   %s\n", "oven", "false alarms", "worst rise >=120s", "welded at the 2nd step");
    for (const TOven& o : ovens) {
        const TResult normal = Run(o, tvz, std::nullopt, hold);
        const TResult welded = Run(o, tvz, hold + 1.0, hold);
        std::printf("%-27s %14d %15.1f C   alarm %s%.0f s after the weld at %.1f C\n", o.Name, normal.Alarms,
                    normal.WorstRise, welded.Alarms ? "" : "NEVER ", welded.FirstAlarm - hold - 1.0,
                    welded.AlarmTemperature);
    }
}
