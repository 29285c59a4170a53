#include "programs/ProgramTable.h"

#include "text/NumText.h"

#include <algorithm>
#include <utility>

namespace programs {
namespace {

std::string PadLeft(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

// Points 1..count are valid; a count outside 0..100 (it never is) is held to the table.
int CountOf(const state::RegulatorState& s, int side) {
    return std::clamp(s.ProgramCount[side], 0, state::MaxProgramPoints);
}

} // namespace

int SortProgram(state::RegulatorState& s, int side, int track) {
    auto& time = s.ProgramTime[side];
    auto& temp = s.ProgramTemp[side];
    const int count = CountOf(s, side);
    for (int i = 1; i <= count - 1; ++i) {
        for (int j = i + 1; j <= count; ++j) {
            if (time[j] < time[i]) {
                std::swap(time[i], time[j]);
                std::swap(temp[i], temp[j]);
                if (track == i) {
                    track = j;
                } else if (track == j) {
                    track = i;
                }
            }
        }
    }
    return track;
}

std::string ProgramRow(std::int32_t time, std::int32_t temperature) {
    std::string row = PadLeft(numtext::FormatInt(temperature), 10);
    row.insert(0, numtext::FormatInt(time));
    return PadLeft(std::move(row), 15);
}

std::vector<std::string> ProgramListRows(const state::RegulatorState& s, int side) {
    const int count = CountOf(s, side);
    std::vector<std::string> rows;
    rows.reserve(static_cast<std::size_t>(count) + 2);
    rows.emplace_back(ListHeader);
    rows.emplace_back(ListRule);
    for (int n = 1; n <= count; ++n) rows.push_back(ProgramRow(s.ProgramTime[side][n], s.ProgramTemp[side][n]));
    return rows;
}

StepCurve BuildStepCurve(const state::RegulatorState& s, int side) {
    StepCurve curve;
    const int count = CountOf(s, side);
    if (count < 1) return curve;
    const auto& time = s.ProgramTime[side];
    const auto& temp = s.ProgramTemp[side];
    const std::int64_t last = time[count];
    if (last <= 0) return curve;

    const std::int64_t dense = std::min(last, DenseCurveSeconds);
    curve.Keys.reserve(static_cast<std::size_t>(dense) + 4 * static_cast<std::size_t>(count) + 2);
    curve.Values.reserve(curve.Keys.capacity());
    auto append = [&](std::int64_t x, int reached) {
        curve.Keys.push_back(static_cast<double>(x));
        curve.Values.push_back(reached == 0 ? 0.0 : static_cast<double>(temp[reached]));
    };

    int i = 0; // points reached so far; at most one more per second
    for (std::int64_t sec = 1; sec <= dense; ++sec) {
        if (i < count && sec >= time[i + 1]) ++i;
        append(sec, i);
    }
    if (last <= dense) return curve;

    // Beyond a week: the curve holds between step changes, so only the seconds around each change
    // and the final second are needed. The second after `sec` at which i next advances is the
    // later of sec + 1 and the next point's time.
    std::int64_t sec = dense;
    while (i < count) {
        const std::int64_t change = std::max<std::int64_t>(sec + 1, time[i + 1]);
        if (change > last) break;
        if (change - 1 > sec) append(change - 1, i);
        ++i;
        append(change, i);
        sec = change;
    }
    if (sec < last) append(last, i);
    return curve;
}

AddResult AddPoint(state::RegulatorState& s, int side, std::string_view timeText, std::string_view temperatureText) {
    const std::int32_t time = numtext::ParseInt(timeText).value_or(-1);
    const std::int32_t temperature = numtext::ParseInt(temperatureText).value_or(-1);
    if (time < 0 || temperature < 0) return AddResult::Refused;
    const int count = CountOf(s, side);
    if (count >= state::MaxProgramPoints) return AddResult::Full;

    const int added = count + 1;
    s.ProgramCount[side] = added;
    s.ProgramTime[side][added] = time;
    s.ProgramTemp[side][added] = temperature;
    const int position = SortProgram(s, side, added);

    auto& step = s.ProgramStep[side];
    step = std::clamp(step, 0, count);
    if (position <= step) ++step;
    return AddResult::Added;
}

bool DeletePoint(state::RegulatorState& s, int side, int k) {
    const int count = CountOf(s, side);
    if (k < 1 || k > count) return false;
    auto& time = s.ProgramTime[side];
    auto& temp = s.ProgramTemp[side];
    for (int n = k; n < count; ++n) {
        time[n] = time[n + 1];
        temp[n] = temp[n + 1];
    }
    s.ProgramCount[side] = count - 1;

    auto& step = s.ProgramStep[side];
    step = std::clamp(step, 0, count);
    if (k <= step) --step;
    return true;
}

int PointOfRow(int row, int count) {
    const int k = row - 1;
    return (row >= 2 && k <= count) ? k : 0;
}

bool LiveSetpointDue(const state::RegulatorState& s, int side, double cycleTime) {
    const int count = CountOf(s, side);
    const double lastTime = count == 0 ? 0.0 : static_cast<double>(s.ProgramTime[side][count]);
    return lastTime < cycleTime;
}

} // namespace programs
