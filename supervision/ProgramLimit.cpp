#include "supervision/ProgramLimit.h"

#include "text/NumText.h"

namespace supervision {
namespace {

std::string LimitName(int side, double limit) {
    return "Tmax" + std::to_string(side) + " = " + numtext::FormatFloat(limit);
}

} // namespace

std::optional<int> PointAtLimit(const state::RegulatorState& s, int side, double limit) {
    for (int k = 1; k <= s.ProgramCount[side] && k <= state::MaxProgramPoints; ++k)
        if (s.ProgramTemp[side][k] >= limit) return k;
    return std::nullopt;
}

std::string PointAtLimitText(int side, double temperature, double limit) {
    return "Teplota " + numtext::FormatFloat(temperature) + " je na mezi strany " + std::to_string(side) +
           " (" + LimitName(side, limit) + ") nebo nad ni. Bod nebyl pridan.";
}

std::string ProgramAtLimitText(int side, int time, int temperature, double limit) {
    return "Strana " + std::to_string(side) + ": program dosahuje meze " + LimitName(side, limit) + " (" +
           numtext::FormatInt(temperature) + " v case " + numtext::FormatInt(time) +
           " s), u meze se topeni vypne.";
}

} // namespace supervision
