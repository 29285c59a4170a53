// The relay test and its proposal, measured: for a step from ambient to a setpoint on the
// program's own plant simulation and on ovens of the unit emulator with different lags and dead
// times, the integral of the absolute error (rise included) as a multiple of the physical limit
// (full power until the setpoint, exactly the setpoint after) and the overshoot, for the design
// defaults, a plain thermostat (±0,5 degC), the classic Tyreus–Luyben rule and the proposal.
// The proposal comes from running the relay test on that plant, as the window does.
//
// Then noisy ovens: the unit reports once a second with sensor noise (0,2 degC standard
// deviation) and to 0,1 degC, at several phases between its reports and the control ticks and
// with several noise seeds; for each, how long the test took, how many oscillations it needed,
// what ended it, and how well the proposal regulates the oven.
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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

class TSwitch : public state::HeaterSwitchControl {
public:
    bool Checked() const override { return on; }
    void SetChecked(bool v) override { on = v; }
    bool on = false;
};

// The program's own simulation: one tick per control period, from rest at ambient or from where
// the program starts side 1 (19 degC, drifting toward ambient).
class TBuiltIn : public autotune::TPlant {
public:
    explicit TBuiltIn(double start = regulation::AmbientTemperature) {
        side_.Temperature = start;
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
    double Exact() const { return unit_.Temperature; }
    void Advance(double seconds, bool heater) override {
        unit_.Relay = heater;
        unit_.Advance(seconds);
    }

private:
    unitemu::UnitModel unit_;
};

// An emulated unit that reports every second, `phase` seconds after the control tick, with
// Gaussian noise, to 0,1 degC; the control tick sees the last report.
class TReportingOven : public autotune::TPlant {
public:
    TReportingOven(double element, double chamber, double dead, double lossTau, double noise, double phase,
                   unsigned seed)
        : oven_(element, chamber, dead, lossTau), noise_(0.0, noise), rng_(seed), next_(phase) {
        Report();
    }
    double Temperature() const override { return reported_; }
    void Advance(double seconds, bool heater) override {
        const double end = clock_ + seconds;
        while (next_ <= end) {
            oven_.Advance(next_ - clock_, heater);
            clock_ = next_;
            next_ += 1.0;
            Report();
        }
        oven_.Advance(end - clock_, heater);
        clock_ = end;
    }

private:
    void Report() { reported_ = std::round((oven_.Exact() + noise_(rng_)) * 10.0) / 10.0; }
    TOven oven_;
    std::normal_distribution<double> noise_;
    std::mt19937 rng_;
    double clock_ = 0.0;
    double next_ = 0.0;
    double reported_ = 0.0;
};

struct TCase {
    const char* Name;
    double Setpoint;
    std::function<std::unique_ptr<autotune::TPlant>()> Make;
};

const char* EndedBy(const autotune::TRelayTest& test) {
    if (test.Verdict() != autotune::TVerdict::Done) return autotune::VerdictText(test.Verdict()).c_str();
    return test.DoneBy() == autotune::TDoneBy::Model ? "model" : "periods";
}

// A step from ambient to the setpoint with the given parameters, as a multiple of the limit.
struct TJudge {
    TJudge(const TCase& c, double tvz) : c_(c), tvz_(tvz) {
        double reached = 0.0;
        auto fresh = c.Make();
        autotune::RunLimit(*fresh, tvz, c.Setpoint, 1e6, &reached);
        duration_ = 3.0 * reached + 600.0;
        fresh = c.Make();
        limit_ = autotune::RunLimit(*fresh, tvz, c.Setpoint, duration_).Iae;
    }
    std::string Show(const autotune::TStepResult& r) const {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%6.2f %5.1f", r.Iae / limit_, r.Overshoot);
        return buf;
    }
    std::string Controller(const autotune::TParameters& p) const {
        auto plant = c_.Make();
        return Show(autotune::RunController(*plant, p, tvz_, c_.Setpoint, duration_));
    }
    std::string Thermostat() const {
        auto plant = c_.Make();
        return Show(autotune::RunThermostat(*plant, 0.5, tvz_, c_.Setpoint, duration_));
    }
    const TCase& c_;
    double tvz_;
    double duration_ = 0.0;
    double limit_ = 0.0;
};

double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

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
        {"simulace od 19 C", 150.0, [] { return std::make_unique<TBuiltIn>(19.0); }},
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
        const TJudge judge(c, tvz);

        std::printf("%-26s %14s %14s %14s %14s   %s after %.0f s (%d oscillations, ended by %s), Pu %.0f s%s, a %.2f; "
                    "r0 %.4g Ti %.4g Td %.4g",
                    c.Name, judge.Controller(defaults).c_str(), judge.Thermostat().c_str(),
                    judge.Controller(p.Classic).c_str(), judge.Controller(p.Parameters).c_str(),
                    autotune::VerdictText(test.Verdict()).c_str(), test.Elapsed(), test.Oscillations(), EndedBy(test),
                    p.Ultimate.Period, p.UltimateFromModel ? " (model)" : "", p.Ultimate.Amplitude, p.Parameters.r0,
                    p.Parameters.Ti, p.Parameters.Td);
        if (p.Model)
            std::printf("; model K %.1f lags %.0f/%.0f/%.0f s dead %.0f s rms %.2f", p.Model->Gain, p.Model->Lag1,
                        p.Model->Lag2, p.Model->Lag3, p.Model->DeadTime, p.Model->Error);
        if (best) {
            const auto trial = autotune::MakeTrial(c.Make, c.Setpoint, tvz, p.Ultimate.Period, bestAllowed);
            if (const auto b = autotune::ChooseParameters({trial}, tvz, p.Ku, p.Ultimate.Period, p.Classic))
                std::printf("; best on the plant itself: %s with r0 %.4g Ti %.4g Td %.4g", judge.Controller(*b).c_str(),
                            b->r0, b->Ti, b->Td);
        }
        std::printf("; on the model %.2f %.1f", p.ModelIae, p.ModelOvershoot);
        std::printf("; test %.0f ms, proposal %.0f ms\n", Ms(begin, tested), Ms(tested, proposed));
    }

    // Noisy ovens: the plain unit of the emulator (no lags) and a light oven.
    struct TNoisy {
        const char* Name;
        double Setpoint, Element, Chamber, Dead, Loss;
    };
    const TNoisy noisy[] = {{"bez zpozdeni 0/0/0 s", 60.0, 0, 0, 0, 300}, {"lehka pec 3/20/1 s", 80.0, 3, 20, 1, 200}};
    constexpr double Noise = 0.2;
    std::printf("\nnoisy ovens: reports every 1 s with noise %.1f degC (standard deviation), to 0.1 degC, h entered 1\n",
                Noise);
    std::printf("%-22s %5s %4s %8s %4s %-8s %6s %6s %5s %5s %14s %14s\n", "plant", "phase", "seed", "time s", "osc",
                "ended by", "Pu s", "a", "h", "noise", "proposal", "thermostat");
    for (const TNoisy& n : noisy) {
        int worstOscillations = 0;
        double worstTime = 0.0;
        for (const double phase : {0.0, 0.25, 0.5, 0.75}) {
            for (const unsigned seed : {1u, 2u, 3u}) {
                const TCase c{n.Name, n.Setpoint, [=] {
                                  return std::make_unique<TReportingOven>(n.Element, n.Chamber, n.Dead, n.Loss, Noise,
                                                                          phase, seed);
                              }};
                autotune::TRelaySettings rs;
                rs.Setpoint = n.Setpoint;
                auto plant = c.Make();
                const autotune::TRelayTest test = autotune::RunRelayTest(*plant, rs, tvz);
                const autotune::TProposal p = autotune::Propose(test, n.Setpoint, tvz);
                const TJudge judge(c, tvz);
                std::printf("%-22s %5.2f %4u %8.0f %4d %-8s %6.1f %6.2f %5.1f %5.2f %14s %14s\n", n.Name, phase, seed,
                            test.Elapsed(), test.Oscillations(), EndedBy(test), p.Ultimate.Period,
                            p.Ultimate.Amplitude, test.Hysteresis(), test.Noise(),
                            judge.Controller(p.Parameters).c_str(), judge.Thermostat().c_str());
                worstOscillations = std::max(worstOscillations, test.Oscillations());
                worstTime = std::max(worstTime, test.Elapsed());
            }
        }
        std::printf("%-22s at most %d oscillations, %.0f s\n", n.Name, worstOscillations, worstTime);
    }
    return 0;
}
