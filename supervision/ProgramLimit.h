#pragma once
// Programs against the temperature limits: a program point at or above its side's limit would
// switch the side off as it is reached, so it is refused when typed and warned about at Start.
#include "state/RegulatorState.h"

#include <optional>
#include <string>

namespace supervision {

// The first point (1..count) of the side's program whose temperature is at or above `limit`.
std::optional<int> PointAtLimit(const state::RegulatorState& s, int side, double limit);

// "Teplota 120 je na mezi strany 1 (Tmax1 = 100) nebo nad ni. Bod nebyl pridan."
std::string PointAtLimitText(int side, double temperature, double limit);

// "Strana 1: program dosahuje meze Tmax1 = 100 (120 v case 80 s), u meze se topeni vypne."
std::string ProgramAtLimitText(int side, int time, int temperature, double limit);

} // namespace supervision
