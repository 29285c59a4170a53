#include "regulation/Simulation.h"

#include "state/CheckedMath.h"

namespace regulation {

void SimulateSide(state::SideRecord& side) {
    constexpr int Oldest = state::HeaterHistoryLength;
    double d = state::Sub(side.Temperature, AmbientTemperature);
    d = state::Mul(d, RetentionPerTick);
    if (side.HeaterHistory[Oldest]) d = state::Add(d, HeatingStepPerTick);
    side.Temperature = state::Add(d, AmbientTemperature);

    for (int j = Oldest; j >= 2; --j) side.HeaterHistory[j] = side.HeaterHistory[j - 1];
    side.HeaterHistory[1] = side.HeaterSwitch != nullptr && side.HeaterSwitch->Checked();
}

void SimulationTick(state::RegulatorState& S) {
    for (int side = 1; side <= state::SideCount; ++side) SimulateSide(S.SideState[side]);
}

} // namespace regulation
