#pragma once
// A side's closed loop, run fast: a plant model driven by the program's own controller (the
// coefficients and the on/off decision of the regulation library, at the control period), by a
// plain thermostat, or by full power up to the setpoint (the best any controller can do). Used to
// choose the parameters on the model found by the relay test, and to measure them.
#include <cstddef>

namespace autotune {

// The controller parameters as the operator enters them.
struct TParameters {
    double r0 = 0.0;
    double Ti = 0.0;
    double Td = 0.0;
};

// True when the controller's model can be built from them: r0 > 0, Ti > 0, 0 < Td < Ti/4, all finite.
bool Valid(const TParameters& p);

// Something that heats: a temperature, and time going on with the heater held on or off.
class TPlant {
public:
    virtual ~TPlant() = default;
    virtual double Temperature() const = 0;
    virtual void Advance(double seconds, bool heater) = 0;
    // Into how many pieces a control period is cut for the integral of the error (a plant that
    // moves only once per control period says 1).
    virtual int Slices() const { return 8; }
};

// A step from where the plant stands to the setpoint.
struct TStepResult {
    double Iae = 0.0;       // integral of |setpoint - temperature| over the run, degC·s
    double Overshoot = 0.0; // highest temperature above the setpoint, 0 if never above
};

// The program's controller with these parameters (throws what the regulation library throws for
// parameters outside the model's domain).
TStepResult RunController(TPlant& plant, const TParameters& p, double controlPeriod, double setpoint, double duration);
// On below setpoint - band, off above setpoint + band, decided at every control period.
TStepResult RunThermostat(TPlant& plant, double band, double controlPeriod, double setpoint, double duration);
// Full power until the setpoint is reached, exactly the setpoint after: the IAE no controller beats.
// Also gives the time to reach the setpoint (duration if never).
TStepResult RunLimit(TPlant& plant, double controlPeriod, double setpoint, double duration, double* reached = nullptr);

} // namespace autotune
