#include "regulation/Controller.h"

#include "state/CheckedMath.h"
#include "text/NumText.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace regulation {

using state::Add;
using state::Div;
using state::Exp;
using state::Mul;
using state::Sqrt;
using state::Sub;

BoxNumber ReadBoxNumber(std::string_view text, double previous) {
    const double value = numtext::ParseFloat(text).value_or(previous);
    return BoxNumber{value, numtext::FormatFloat(value)};
}

double ClampTvz(double tvz) {
    if (tvz < TvzMinimum) tvz = TvzDefault;
    if (tvz > TvzMaximum) tvz = TvzLong;
    return tvz;
}

std::uint32_t IntervalMs(double tvz) {
    // A timer interval is a signed 32-bit count of milliseconds on the toolkit.
    constexpr double MaxSeconds = 2147483.647;
    if (!std::isfinite(tvz) || tvz < 0.0 || tvz > MaxSeconds) throw state::EInvalidOp();
    // tvz * 1000 in binary can land just below a whole number the operator typed exactly, so
    // truncate the shortest decimal text of the value instead: "0.1234" -> 123.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, tvz, std::chars_format::fixed);
    if (res.ec != std::errc()) throw state::EInvalidOp();
    std::uint64_t ms = 0;
    const char* p = buf;
    for (; p != res.ptr && *p != '.'; ++p) ms = ms * 10 + static_cast<std::uint64_t>(*p - '0');
    if (p != res.ptr) ++p; // the decimal point
    for (int digit = 0; digit < 3; ++digit) {
        ms *= 10;
        if (p != res.ptr) ms += static_cast<std::uint64_t>(*p++ - '0');
    }
    return static_cast<std::uint32_t>(ms);
}

void ResetModel(state::RegulatorState& S) {
    for (int side = 1; side <= state::SideCount; ++side) {
        S.SideState[side].FastLag = 0.0;
        S.SideState[side].SlowLag = 0.0;
        S.ProgramStep[side] = 0;
    }
}

void BeginCycle(state::RegulatorState& S) {
    S.ResetCycleTime();
    S.BeepSent = false;
    S.CycleEnded = false;
}

void CheckParameterSigns(const state::RegulatorState& S) {
    if (S.r0 < 0.0 || S.Ti < 0.0 || S.Td < 0.0) throw state::EInvalidOp();
}

namespace {

// The coefficients from r0, Ti and Td, each stored into `c` as soon as it is computed.
template <class Coefficients>
void Compute(Coefficients& c, double r0, double Ti, double Td, double controlPeriod) {
    const double v = Sqrt(Sub(1.0, Div(Mul(4.0, Td), Ti)));
    c.ModelGain = Div(1.0, Mul(v, r0));

    const double halfTi = Mul(0.5, Ti);
    c.FastTau = Mul(Sub(1.0, v), halfTi);
    c.SlowTau = Mul(Add(v, 1.0), halfTi);

    const double fastExp = Exp(Div(-controlPeriod, c.FastTau));
    c.FastInput = Mul(Sub(1.0, fastExp), c.ModelGain);
    c.FastDecay = fastExp;
    const double slowExp = Exp(Div(-controlPeriod, c.SlowTau));
    c.SlowInput = Mul(Sub(1.0, slowExp), c.ModelGain);
    c.SlowDecay = slowExp;
}

} // namespace

void ComputeCoefficients(state::RegulatorState& S, std::uint32_t intervalMs) {
    S.ControlPeriod = Div(static_cast<double>(intervalMs), 1000.0);
    CheckParameterSigns(S);
    Compute(S, S.r0, S.Ti, S.Td, S.ControlPeriod);
    for (int side = 1; side <= state::SideCount; ++side)
        if (S.OwnParameters[side]) ComputeSideCoefficients(*S.OwnParameters[side], S.ControlPeriod);
}

bool ParametersUsable(double r0, double Ti, double Td) {
    return std::isfinite(r0) && std::isfinite(Ti) && std::isfinite(Td) && r0 > 0.0 && Ti > 0.0 && Td > 0.0 &&
           4.0 * Td < Ti;
}

std::optional<state::SideParameters> SideParametersFromText(std::string_view r0, std::string_view ti,
                                                            std::string_view td) {
    const auto a = numtext::ParseFloat(r0), b = numtext::ParseFloat(ti), c = numtext::ParseFloat(td);
    if (!a || !b || !c || !ParametersUsable(*a, *b, *c)) return std::nullopt;
    state::SideParameters own;
    own.r0 = *a;
    own.Ti = *b;
    own.Td = *c;
    return own;
}

void ComputeSideCoefficients(state::SideParameters& own, double controlPeriod) {
    if (!ParametersUsable(own.r0, own.Ti, own.Td)) throw state::EInvalidOp();
    state::SideParameters computed = own;
    Compute(computed, own.r0, own.Ti, own.Td, controlPeriod);
    own = computed;
}

bool DecideHeater(state::RegulatorState& S, int side, double setpoint) {
    state::SideRecord& R = S.SideState[side];
    const bool h = R.HeaterSwitch != nullptr && R.HeaterSwitch->Checked();
    const auto& own = S.OwnParameters[side];

    // Compute everything first so that a failure leaves the side's model as it was.
    const double fastDecay = own ? own->FastDecay : S.FastDecay, fastInput = own ? own->FastInput : S.FastInput;
    const double slowDecay = own ? own->SlowDecay : S.SlowDecay, slowInput = own ? own->SlowInput : S.SlowInput;
    const double fast = Add(Mul(fastDecay, R.FastLag), h ? fastInput : 0.0);
    const double slow = Add(Mul(slowDecay, R.SlowLag), h ? slowInput : 0.0);
    const double rise = Sub(fast, slow);
    const double g = Add(R.Temperature, rise);
    R.FastLag = fast;
    R.SlowLag = slow;
    R.PredictedRise = rise;

    if (g > Add(setpoint, HalfBand)) return false;
    if (g < Sub(setpoint, HalfBand)) return true;
    return h;
}

} // namespace regulation
