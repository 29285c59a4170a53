#include "regulation/Cycle.h"

#include "text/NumText.h"

namespace regulation {

HeaterCommandGroup HeaterCommands(bool heaterOn) {
    if (heaterOn) return {"@ledka=1&", "@rele=1&", "*"};
    return {"@ledka=0&", "@rele=0&", "*"};
}

void TimeBaseTick(state::RegulatorState& S) { ++S.CycleTicks; }

bool StepProgram(state::RegulatorState& S, int side) {
    const std::int32_t step = S.ProgramStep[side];
    if (step < 0 || step >= S.ProgramCount[side] || step >= state::MaxProgramPoints) return false;
    // Compared on whole ticks: a point at t seconds is due once t * 10 ticks have passed.
    const std::int64_t due = static_cast<std::int64_t>(S.ProgramTime[side][step + 1]) * TimeBaseTicksPerSecond;
    if (due > S.CycleTicks) return false;
    S.ProgramStep[side] = step + 1;
    S.Setpoint[side] = static_cast<double>(S.ProgramTemp[side][step + 1]);
    return true;
}

bool EndOfCycleDue(const state::RegulatorState& S) {
    return !S.CycleEnded && S.CycleTicks > static_cast<std::int64_t>(S.CycleLength) * TimeBaseTicksPerSecond;
}

bool BeepDue(const state::RegulatorState& S) {
    // On 64 bits, so that a cycle length near the bottom of its range cannot wrap around.
    const std::int64_t warnFrom = static_cast<std::int64_t>(S.CycleLength) - BeepLeadSeconds;
    return !S.BeepSent && S.CycleTicks > warnFrom * TimeBaseTicksPerSecond;
}

std::int32_t CycleLengthFromText(std::string_view text) {
    return numtext::ParseInt(text).value_or(DefaultCycleLength);
}

std::int64_t WholeSeconds(const state::RegulatorState& S) {
    // Ticks are never negative; integer division truncates like the cycle time would.
    return S.CycleTicks / TimeBaseTicksPerSecond;
}

} // namespace regulation
