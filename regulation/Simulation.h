#pragma once
// The plant simulation: each side's temperature as a first-order lag toward the ambient
// temperature, driven by that side's own heater switch through a dead time of 50 ticks.
#include "state/RegulatorState.h"

namespace regulation {

constexpr double AmbientTemperature = 22.0;
constexpr double RetentionPerTick = 0.995;
constexpr double HeatingStepPerTick = 1.0;

// One simulation tick of one side: the temperature moves by the heater state sampled 50 ticks
// ago, then the delay line shifts and samples the heater switch into entry 1.
// Throws state::EMathError if the temperature is not finite or overflows.
void SimulateSide(state::SideRecord& side);

// One simulation tick of side 1, then side 2. Throws what SimulateSide throws.
void SimulationTick(state::RegulatorState& S);

} // namespace regulation
