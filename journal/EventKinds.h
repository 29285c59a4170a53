#pragma once
// The kinds of event the journal records. They are fixed words, the same in the journal file and
// wherever events are passed on (the telemetry's "kind"), so that tools can filter on them.
#include <string_view>

namespace journal::kind {

inline constexpr std::string_view ProgramStart = "program-start";  // detail: the window caption
inline constexpr std::string_view ProgramExit = "program-exit";
inline constexpr std::string_view CycleStart = "cycle-start";      // detail: who started it
inline constexpr std::string_view CycleStop = "cycle-stop";        // detail: who stopped it
inline constexpr std::string_view CycleEnd = "cycle-end";          // the cycle ran its length
inline constexpr std::string_view CycleInterrupted = "cycle-interrupted"; // found unfinished at start-up
inline constexpr std::string_view CycleResumed = "cycle-resumed";
inline constexpr std::string_view PortLost = "port-lost";
inline constexpr std::string_view PortBack = "port-back";
inline constexpr std::string_view Stale = "stale";                 // no temperature for too long
inline constexpr std::string_view Recovered = "recovered";
inline constexpr std::string_view OverTemperature = "over-temperature";
inline constexpr std::string_view SensorFault = "sensor-fault";     // the sensor reports nonsense
inline constexpr std::string_view Runaway = "runaway";             // the heater does not switch off
inline constexpr std::string_view HeatersOff = "heaters-off";      // the units told to switch off at exit
inline constexpr std::string_view AlarmRestored = "alarm-restored"; // a latched alarm of the last run stands again
inline constexpr std::string_view Acknowledged = "acknowledged";
inline constexpr std::string_view Report = "report";               // a box shown to the operator
inline constexpr std::string_view Telemetry = "telemetry";         // the broker connection
inline constexpr std::string_view Autotune = "autotune";
inline constexpr std::string_view Change = "change";              // an operator's setting: "what: old -> new"
inline constexpr std::string_view Warning = "warning";            // a warning in the alarm strip

// Who started or stopped a cycle (the detail of CycleStart and CycleStop).
inline constexpr std::string_view ByOperator = "obsluha";
inline constexpr std::string_view ByUnit1 = "jednotka 1";
inline constexpr std::string_view ByUnit2 = "jednotka 2";
inline constexpr std::string_view ByEndOfCycle = "konec cyklu";

} // namespace journal::kind
