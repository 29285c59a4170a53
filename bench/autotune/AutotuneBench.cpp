// The relay test and its proposal, measured: for a step from ambient to a setpoint on the
// program's own plant simulation and on ovens of the unit emulator with different lags and dead
// times, the integral of the absolute error (rise included) as a multiple of the physical limit
// (full power until the setpoint, exactly the setpoint after) and the overshoot, for the design
// defaults, a plain thermostat (±0,5 degC), the classic Tyreus–Luyben rule and the proposal.
// The proposal comes from running the relay test on that plant, as the window does.
//
// Usage: autotune_bench [--tvz S] [--best D]
//   --tvz S   control period, default 5 s
//   --best D  also the best parameters found by the same search run on the true plant itself,
//             allowing D degC of overshoot (what the method could reach with a perfect model)
#include "autotune/ClosedLoop.h"
#include "autotune/Tuning.h"
#include "regulation/Simulation.h"
#include "state/RegulatorState.h"
#include "tools/unitemu/UnitEmulator.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

class TSwitch : public state::HeaterSwitchControl {
public:
    bool Checked() const override { return on; }
    void SetChecked(bool v) override { on = v; }
    bool on = false;
};

// The program's own simulation: one tick per control period.
class TBuiltIn : public autotune::TPlant {
public:
    TBuiltIn() {
        side_.Temperature = regulation::AmbientTemperature;
        side_.HeaterSwitch = &switch_;
    }
    double Temperature() const override { return side_.Temperature; }
    void Advance(double, bool heater) override {
        switch_.on = heater;
        regulation::SimulateSide(side_);
    }
    int Slices() const override { return 1; }

private:
    TSwitch switch_;
    state::SideRecord side_;
};

// A unit of the emulator; the temperature as the unit reports it (to 0,1 degC).
class TOven : public autotune::TPlant {
public:
    TOven(double element, double chamber, double dead, double lossTau) : unit_(1) {
        unit_.Ambient = unit_.Temperature = 20.0;
        unit_.ElementLag = element;
        unit_.ChamberLag = chamber;
        unit_.DeadTime = dead;
        unit_.LossTau = lossTau;
    }
    double Temperature() const override { return std::round(unit_.Temperature * 10.0) / 10.0; }
    void Advance(double seconds, bool heater) override {
        unit_.Relay = heater;
        unit_.Advance(seconds);
    }

private:
    unitemu::UnitModel unit_;
};

struct TCase {
    const char* Name;
    double Setpoint;
    std::function<std::unique_ptr<autotune::TPlant>()> Make;
};

} // namespace

int main(int argc, char** argv) {
    double tvz = 5.0;
    bool best = false;
    double bestAllowed = 1.0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--best") == 0 && i + 1 < argc) {
            best = true;
            bestAllowed = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--tvz") == 0 && i + 1 < argc) {
            tvz = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: autotune_bench [--tvz S] [--best D]\n");
            return 2;
        }
    }
    const std::vector<TCase> cases{
        {"simulace (vestavena)", 150.0, [] { return std::make_unique<TBuiltIn>(); }},
        {"pomala pec 15/90/5 s", 60.0, [] { return std::make_unique<TOven>(15, 90, 5, 300); }},
        {"rychla pec 8/45/2 s", 60.0, [] { return std::make_unique<TOven>(8, 45, 2, 300); }},
        {"tezka pec 30/120/15 s", 100.0, [] { return std::make_unique<TOven>(30, 120, 15, 600); }},
        {"lehka pec 3/20/1 s", 80.0, [] { return std::make_unique<TOven>(3, 20, 1, 200); }},
        {"dlouhe zpozdeni 5/20/30 s", 60.0, [] { return std::make_unique<TOven>(5, 20, 30, 300); }},
    };
    const autotune::TParameters defaults{0.01995, 31.5, 2.35};

    std::printf("control period %.3g s; IAE as a multiple of the limit, overshoot in degC\n", tvz);
    std::printf("%-26s %14s %14s %14s %14s   %s\n", "plant", "defaults", "thermostat", "Tyreus-Luyben", "proposal",
                "relay test / proposal");
    for (const TCase& c : cases) {
        const auto begin = std::chrono::steady_clock::now();
        autotune::TRelaySettings rs;
        rs.Setpoint = c.Setpoint;
        auto plant = c.Make();
        const autotune::TRelayTest test = autotune::RunRelayTest(*plant, rs, tvz);
        const auto tested = std::chrono::steady_clock::now();
        const autotune::TProposal p = autotune::Propose(test, c.Setpoint, tvz);
        const auto proposed = std::chrono::steady_clock::now();

        double reached = 0.0;
        auto fresh = c.Make();
        autotune::RunLimit(*fresh, tvz, c.Setpoint, 1e6, &reached);
        const double duration = 3.0 * reached + 600.0;
        fresh = c.Make();
        const double limit = autotune::RunLimit(*fresh, tvz, c.Setpoint, duration).Iae;

        auto show = [&](const autotune::TStepResult& r) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%6.2f %5.1f", r.Iae / limit, r.Overshoot);
            return std::string(buf);
        };
        auto controller = [&](const autotune::TParameters& par) {
            auto pl = c.Make();
            return show(autotune::RunController(*pl, par, tvz, c.Setpoint, duration));
        };
        auto pl = c.Make();
        const std::string thermostat = show(autotune::RunThermostat(*pl, 0.5, tvz, c.Setpoint, duration));
        std::printf("%-26s %14s %14s %14s %14s   %s after %.0f s, Pu %.0f s, a %.2f; r0 %.4g Ti %.4g Td %.4g",
                    c.Name, controller(defaults).c_str(), thermostat.c_str(), controller(p.Classic).c_str(),
                    controller(p.Parameters).c_str(), autotune::VerdictText(test.Verdict()).c_str(), test.Elapsed(),
                    p.Ultimate.Period, p.Ultimate.Amplitude, p.Parameters.r0, p.Parameters.Ti, p.Parameters.Td);
        if (p.Model)
            std::printf("; model K %.1f lags %.0f/%.0f/%.0f s dead %.0f s rms %.2f", p.Model->Gain, p.Model->Lag1,
                        p.Model->Lag2, p.Model->Lag3, p.Model->DeadTime, p.Model->Error);
        if (best) {
            const auto trial = autotune::MakeTrial(c.Make, c.Setpoint, tvz, p.Ultimate.Period, bestAllowed);
            if (const auto b = autotune::ChooseParameters({trial}, tvz, p.Ku, p.Ultimate.Period, p.Classic))
                std::printf("; best on the plant itself: %s with r0 %.4g Ti %.4g Td %.4g", controller(*b).c_str(), b->r0,
                            b->Ti, b->Td);
        }
        std::printf("; on the model %.2f %.1f", p.ModelIae, p.ModelOvershoot);
        std::printf("; test %.0f ms, proposal %.0f ms\n",
                    std::chrono::duration<double, std::milli>(tested - begin).count(),
                    std::chrono::duration<double, std::milli>(proposed - tested).count());
    }
    return 0;
}
