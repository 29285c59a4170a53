#pragma once
// What the machine is doing, in words, for the status line below the chart: the cycle's state
// with its elapsed and remaining time, and per side the setpoint now, whether it heats and any
// alarm.
#include <cstdint>
#include <string>

namespace supervision {

enum class CyclePhase {
    Idle,    // "Regulovat" off: nobody regulates, the heaters are switched by hand
    Running, // a cycle runs along the programs
    Holding, // after Stop or the end of the cycle: the sides are held at t1 and t2
};

// The phase as the check boxes and the cycle's end flag give it.
CyclePhase PhaseOf(bool regulovat, bool naPrubeh, bool cycleEnded);

// "Cyklus stoji" / "Cyklus bezi: 1 min 35 s z 4 min 00 s, zbyva 2 min 25 s"
// (times as numtext::DurationText writes them) / "Cyklus drzi t1/t2".
std::string CycleStatusText(CyclePhase phase, std::int64_t elapsedSeconds, std::int64_t lengthSeconds);

// "Strana 1: zadana 90, topi" / "Strana 2: zadana 75, netopi, ALARM: bez teploty".
std::string SideStatusText(int side, double setpoint, bool heating, const std::string& alarms);

} // namespace supervision
