#pragma once
// The per-side temperature programs: up to 100 points of (time in whole seconds, temperature in
// whole degrees), kept sorted by time, listed in the program list and drawn as a step curve.
// Everything here works on the tables of the regulator state and needs no widget.
#include "state/RegulatorState.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace programs {

// The two header rows of a program list.
inline constexpr std::string_view ListHeader = "  Cas     Teplota";
inline constexpr std::string_view ListRule = "==================";

// Curves are drawn with one chart point per second up to this many seconds (one week); a longer
// program is drawn beyond it from its step changes only, so that a typed time of 2147483647 s
// can neither hang the program nor exhaust its memory.
inline constexpr std::int64_t DenseCurveSeconds = 604800;

// Sorts points 1..count of the side by time with the plain exchange sort: for i = 1..count-1,
// for j = i+1..count, exchange points i and j when time[j] < time[i]. It is deliberately not
// stable: (10,100),(10,120),(5,80) becomes (5,80),(10,120),(10,100). A table that is already
// sorted is left exactly as it is.
// Returns the position that point `track` (1..count) has after the sort, or 0 if track is 0.
int SortProgram(state::RegulatorState& s, int side, int track = 0);

// One list row: the temperature right-aligned to 10 characters, the time in front of it, the
// whole right-aligned to 15 characters; longer values push the row to the right.
// (10, 100) gives "   10       100".
std::string ProgramRow(std::int32_t time, std::int32_t temperature);

// All rows of the side's list: the two header rows, then one row per point in table order.
std::vector<std::string> ProgramListRows(const state::RegulatorState& s, int side);

// The step curve of a side as chart points. For s = 1, 2, ... up to the last point's time, the
// curve advances by at most one program point per second (to the next point whose time s has
// reached) and holds that point's temperature, 0 before the first point. Points with equal times
// are therefore reached one per second. The curve is empty when the program is empty or its last
// time is not above 0. Up to DenseCurveSeconds there is one point per second; beyond it only the
// last second before and the first second of every step change and the final second, which draw
// the same line.
struct StepCurve {
    std::vector<double> Keys;
    std::vector<double> Values;
};
StepCurve BuildStepCurve(const state::RegulatorState& s, int side);

enum class AddResult {
    Added,   // the point was added and sorted into place
    Refused, // a field is not a whole number or is negative: show the "Chyba" box
    Full,    // the table holds 100 points already: dropped without a message
};

// Text of the "Chyba" box shown for a refused point.
inline constexpr std::string_view RefusedPointText = "Zadane hodnoty jsou mimo povoleny rozsah.";
inline constexpr std::string_view RefusedPointTitle = "Chyba";

// Adds the point typed into the side's time and temperature boxes. The point goes to the end of
// the table and is sorted into place. A running cycle keeps its next program point: when the new
// point lands among the points already applied, ProgramStep is raised by one; when it lands after
// them, it becomes the next point to apply.
AddResult AddPoint(state::RegulatorState& s, int side, std::string_view timeText, std::string_view temperatureText);

// Removes point k (1..count) of the side by its position; the others keep their order. When a
// point already applied is removed, ProgramStep is lowered by one so that the cycle neither skips
// nor repeats a point. Returns false (and changes nothing) when k is not a point of the table.
bool DeletePoint(state::RegulatorState& s, int side, int k);

// The point shown in list row `row` (row 0 and 1 are the headers), or 0 when the row shows none.
int PointOfRow(int row, int count);

// True when the refresh continues the side's setpoint series with the live setpoint at this cycle
// time: past the program's last time, or always when the program is empty.
bool LiveSetpointDue(const state::RegulatorState& s, int side, double cycleTime);

} // namespace programs
