#pragma once
// What the machine is doing, in words, for the status line below the chart: the cycle's state
// with its elapsed and remaining time, and per side the setpoint now, whether it heats and any
// alarm.
#include "state/CyclePhase.h"

#include <cstdint>
#include <string>

namespace supervision {

using state::CyclePhase;
using state::PhaseOf;

// "Cyklus stoji" / "Cyklus bezi: 1 min 35 s z 4 min 00 s, zbyva 2 min 25 s"
// (times as numtext::DurationText writes them) / "Cyklus drzi t1/t2".
std::string CycleStatusText(CyclePhase phase, std::int64_t elapsedSeconds, std::int64_t lengthSeconds);

// "Strana 1: zadana 90, topi" / "Strana 2: zadana 75, netopi, ALARM: bez teploty".
std::string SideStatusText(int side, double setpoint, bool heating, const std::string& alarms);

} // namespace supervision
