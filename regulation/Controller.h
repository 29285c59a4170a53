#pragma once
// The controller model: the operator's parameters turned into the coefficients of two
// first-order lags per side, and the on/off decision that uses them. The window's apply
// operation (the "Regulovat" check box handler) calls these pieces in its own order; nothing
// here touches a widget except through state::HeaterSwitchControl.
#include "state/RegulatorState.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace regulation {

// The half-band of the on/off decision, degC on each side of the setpoint.
constexpr double HalfBand = 0.5;

// The control period as entered is clamped in two steps: below this it becomes TvzDefault...
constexpr double TvzMinimum = 0.1;
constexpr double TvzDefault = 5.0;
// ...and then above this it becomes TvzLong (a value above 6, not above 60, gives 60).
constexpr double TvzMaximum = 6.0;
constexpr double TvzLong = 60.0;

// A number read from an edit box: the value kept and the text the box shows afterwards.
struct BoxNumber {
    double Value = 0.0;
    std::string Text;
};

// Reads a box text as a decimal number; a text that is not one keeps `previous`. The text is
// the kept value in the general float format with the decimal comma. Throws nothing.
BoxNumber ReadBoxNumber(std::string_view text, double previous);

// The two-step clamp of the control period: below 0.1 gives 5, then above 6 gives 60.
double ClampTvz(double tvz);

// The timer interval for a control period: tvz seconds as whole milliseconds, truncated toward
// zero (0,1234 s gives 123 ms). The truncation is done on the decimal digits of the value, so
// a period the operator sees as 0,1 gives 100 ms whatever its binary neighbour is.
// Throws state::EInvalidOp when tvz is not finite, negative or too large for a timer interval.
std::uint32_t IntervalMs(double tvz);

// Sets FastLag and SlowLag of both sides to 0 (PredictedRise keeps its value) and both
// ProgramStep to 0. Throws nothing.
void ResetModel(state::RegulatorState& S);

// A new cycle in the state: cycle time 0, both flags cleared. Throws nothing.
void BeginCycle(state::RegulatorState& S);

// Refuses controller parameters that are finite but outside the range the model is built
// for and that the computation below would not catch on its own: a negative r0 inverts the
// model, a negative Ti or Td makes a lag grow without bound until every control tick fails.
// Throws state::EInvalidOp for r0 < 0, Ti < 0 or Td < 0; stores nothing.
void CheckParameterSigns(const state::RegulatorState& S);

// Computes ControlPeriod from the interval actually set on the control timer, then ModelGain,
// FastTau, SlowTau, FastInput, FastDecay, SlowInput, SlowDecay from r0, Ti and Td, storing each
// as soon as it is computed. Every operation is checked: with Ti = 0, r0 = 0, 4·Td = Ti or
// 4·Td > Ti it throws before ModelGain is stored; with Td = 0 it throws after storing
// ModelGain = 1/r0, FastTau = 0 and SlowTau = Ti. What is not yet computed keeps its value.
// Then the coefficients of each side with parameters of its own (ComputeSideCoefficients).
// Throws state::EZeroDivide, state::EInvalidOp or state::EOverflow (all state::EMathError),
// and what CheckParameterSigns throws (checked after ControlPeriod is stored).
void ComputeCoefficients(state::RegulatorState& S, std::uint32_t intervalMs);

// True when a model can be built from the parameters: all finite, r0 > 0, Ti > 0, 0 < Td < Ti/4.
bool ParametersUsable(double r0, double Ti, double Td);

// A side's own parameters from their three texts (the settings file's r0_<side>, Ti_<side>,
// Td_<side>): none when a text is no number or the set is not usable. Throws nothing.
std::optional<state::SideParameters> SideParametersFromText(std::string_view r0, std::string_view ti,
                                                            std::string_view td);

// The coefficients of a side's own parameters at the control period, all or none: a set the
// model cannot be built from throws state::EInvalidOp and leaves `own` as it was.
void ComputeSideCoefficients(state::SideParameters& own, double controlPeriod);

// The on/off decision for one side, with the side's own coefficients when it has them and the
// shared ones otherwise, advancing that side's model by one control period: reads
// the side's heater switch (the command in force since the previous tick), updates FastLag,
// SlowLag and PredictedRise, and returns the new heater command. Temperature + PredictedRise
// above setpoint + 0.5 gives off, below setpoint - 0.5 gives on, otherwise the current command.
// Call it exactly once per side and control tick. It does not set the switch.
// Throws state::EMathError when the model overflows.
bool DecideHeater(state::RegulatorState& S, int side, double setpoint);

} // namespace regulation
