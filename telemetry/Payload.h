#pragma once
// What the telemetry's messages carry: numbers with a decimal point whatever the locale, the
// cycle's state as a word, and the journal's events as JSON objects.
#include "journal/EventJournal.h"
#include "state/CyclePhase.h"

#include <string>
#include <string_view>

namespace telemetry {

// Fixed point, one decimal, a point as separator, no padding: 148.27 gives "148.3", 150 gives
// "150.0", -3.27 gives "-3.3" (as the data log rounds).
std::string NumberText(double value);

// The cycle as the window shows it: "Regulovat" off is idle; on with "Na prubeh" and the cycle
// not yet at its end is running; on otherwise (after Stop or the end) is holding.
using CycleState = state::CyclePhase;
inline CycleState CycleStateOf(bool regulating, bool followingProgram, bool cycleEnded) {
    return state::PhaseOf(regulating, followingProgram, cycleEnded);
}
std::string_view CycleStateName(CycleState state); // "idle", "running", "holding"

// A JSON string literal with its quotes. Bytes that are not UTF-8 are taken as Latin-1 (the
// settings file's texts may be), so the result is always valid JSON in UTF-8.
std::string JsonString(std::string_view text);

// "2026-12-08T14:05:03+01:00": the local time in ISO 8601 with its offset from UTC, so that a
// reader elsewhere (another time zone, a server on UTC) knows the moment.
std::string IsoTime(const platform::LocalDateTime& t);

// {"time":"2026-12-08T14:05:03+01:00","side":1,"kind":"cycle-start","text":"obsluha"}: the
// event's local time (IsoTime), the side 1 or 2 (null for the whole program), the journal's kind
// and detail.
std::string EventJson(const journal::Event& e);

} // namespace telemetry
