#pragma once
// The clockwork of the regulator: the time base, program stepping, the end-of-cycle and
// warning tests of the control tick, and the command texts the units receive.
#include "state/RegulatorState.h"

#include <array>
#include <cstdint>
#include <string_view>

namespace regulation {

// The time base ticks every 100 ms; the cycle time is the count of its ticks / 10.
constexpr int TimeBaseIntervalMs = 100;
constexpr int TimeBaseTicksPerSecond = 10;

// Cycle length used when the "Doba cyklu" text is not a whole number.
constexpr std::int32_t DefaultCycleLength = 180;
// The warning beep goes out when fewer than this many seconds of the cycle remain.
constexpr std::int64_t BeepLeadSeconds = 20;


// Commands to the units.
constexpr std::string_view StartCommand = "@START&";
constexpr std::string_view StopCommand = "@STOP&";
constexpr std::string_view BeepCommand = "@BEEP&";

// The lamp command, the relay command and "*", in the order a unit receives them every tick.
using HeaterCommandGroup = std::array<std::string_view, 3>;
HeaterCommandGroup HeaterCommands(bool heaterOn);

// One time-base tick. Throws nothing.
void TimeBaseTick(state::RegulatorState& S);

// Applies at most one program point of the side: when a point is left and its time has come,
// ProgramStep advances and Setpoint becomes that point's temperature. Returns whether the
// setpoint changed hands (the caller shows it in the side's box). Throws nothing.
bool StepProgram(state::RegulatorState& S, int side);

// The end of the cycle is due: not yet handled and the cycle time strictly past its length.
bool EndOfCycleDue(const state::RegulatorState& S);
// The warning beep is due: not yet sent and fewer than 20 s left (strictly).
bool BeepDue(const state::RegulatorState& S);

// The cycle length from the "Doba cyklu" text: the whole number, or 180. Throws nothing.
std::int32_t CycleLengthFromText(std::string_view text);

// The length of the cycle that ends now, in whole seconds (the cycle time truncated).
std::int64_t WholeSeconds(const state::RegulatorState& S);

} // namespace regulation
