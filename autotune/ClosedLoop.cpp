#include "autotune/ClosedLoop.h"

#include "regulation/Controller.h"
#include "state/RegulatorState.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>

namespace autotune {
namespace {

class THeld : public state::HeaterSwitchControl {
public:
    bool Checked() const override { return on_; }
    void SetChecked(bool on) override { on_ = on; }

private:
    bool on_ = false;
};

// Runs the plant for `duration` with the decision taken at every control period.
template <class Decide>
TStepResult Run(TPlant& plant, double controlPeriod, double setpoint, double duration, Decide decide) {
    TStepResult r;
    const int slices = std::max(1, plant.Slices());
    const double dt = controlPeriod / slices;
    const auto ticks = static_cast<long>(std::ceil(duration / controlPeriod));
    double previous = plant.Temperature();
    for (long k = 0; k < ticks; ++k) {
        const bool heater = decide(plant.Temperature());
        for (int i = 0; i < slices; ++i) {
            plant.Advance(dt, heater);
            const double now = plant.Temperature();
            r.Iae += 0.5 * (std::fabs(setpoint - previous) + std::fabs(setpoint - now)) * dt;
            r.Overshoot = std::max(r.Overshoot, now - setpoint);
            previous = now;
        }
    }
    return r;
}

} // namespace

bool Valid(const TParameters& p) { return regulation::ParametersUsable(p.r0, p.Ti, p.Td); }

TStepResult RunController(TPlant& plant, const TParameters& p, double controlPeriod, double setpoint,
                          double duration) {
    state::RegulatorState S;
    THeld heater;
    S.SideState[1].HeaterSwitch = &heater;
    S.r0 = p.r0;
    S.Ti = p.Ti;
    S.Td = p.Td;
    regulation::ComputeCoefficients(S, regulation::IntervalMs(controlPeriod));
    return Run(plant, S.ControlPeriod, setpoint, duration, [&](double t) {
        S.SideState[1].Temperature = t;
        heater.SetChecked(regulation::DecideHeater(S, 1, setpoint));
        return heater.Checked();
    });
}

TStepResult RunThermostat(TPlant& plant, double band, double controlPeriod, double setpoint, double duration) {
    bool on = false;
    return Run(plant, controlPeriod, setpoint, duration, [&](double t) {
        if (t < setpoint - band) on = true;
        if (t > setpoint + band) on = false;
        return on;
    });
}

TStepResult RunLimit(TPlant& plant, double controlPeriod, double setpoint, double duration, double* reached) {
    TStepResult r;
    const int slices = std::max(1, plant.Slices());
    const double dt = controlPeriod / slices;
    double previous = plant.Temperature();
    double time = 0.0;
    while (time < duration && previous < setpoint) {
        plant.Advance(dt, true);
        time += dt;
        const double now = std::min(plant.Temperature(), setpoint);
        r.Iae += 0.5 * ((setpoint - previous) + (setpoint - now)) * dt;
        previous = now;
    }
    if (previous < setpoint) r.Iae += (setpoint - previous) * (duration - time);
    if (reached != nullptr) *reached = time;
    return r;
}

} // namespace autotune
