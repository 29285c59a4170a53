#include "autotune/RelayTest.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace autotune {
namespace {

double Mean(const std::vector<double>& v) {
    double sum = 0.0;
    for (double x : v) sum += x;
    return v.empty() ? 0.0 : sum / static_cast<double>(v.size());
}

bool Agree(const std::vector<double>& v, double tolerance) {
    const double m = Mean(v);
    if (!(m > 0.0)) return false;
    return std::all_of(v.begin(), v.end(), [&](double x) { return std::fabs(x - m) <= tolerance * m; });
}

} // namespace

TRelayTest::TRelayTest(const TRelaySettings& settings) : settings_(settings) {
    settings_.Periods = std::max(settings_.Periods, 2);
}

int TRelayTest::Oscillations() const { return std::max(0, static_cast<int>(cycles_.size()) - 1); }

std::optional<TUltimate> TRelayTest::Estimate() const {
    if (cycles_.size() < 2) return std::nullopt;
    const std::size_t n = std::min(cycles_.size() - 1, static_cast<std::size_t>(settings_.Periods));
    TUltimate u;
    for (std::size_t i = cycles_.size() - n; i < cycles_.size(); ++i) {
        u.Period += cycles_[i].Period;
        u.Amplitude += cycles_[i].Amplitude();
    }
    u.Period /= static_cast<double>(n);
    u.Amplitude /= static_cast<double>(n);
    return u;
}

bool TRelayTest::Step(double time, double temperature) {
    if (Finished()) return false;
    if (!std::isfinite(temperature)) {
        Abort("Teplota neni platne cislo");
        return false;
    }
    high_ = std::max(high_, temperature);
    low_ = std::min(low_, temperature);
    if (!on_ && temperature < settings_.Setpoint - settings_.Hysteresis) {
        on_ = true;
        CloseCycle(time);
        high_ = low_ = temperature;
    } else if (on_ && temperature > settings_.Setpoint + settings_.Hysteresis) {
        on_ = false;
    }
    trace_.push_back({time, temperature, on_});
    if (verdict_ == TVerdict::Running && time >= settings_.TimeLimit) GiveUp();
    return verdict_ == TVerdict::Running && on_;
}

void TRelayTest::CloseCycle(double time) {
    if (lastOn_) cycles_.push_back({*lastOn_, time - *lastOn_, high_, low_});
    lastOn_ = time;
    // The first period is the approach; the next N must agree.
    const auto n = static_cast<std::size_t>(settings_.Periods);
    if (cycles_.size() < n + 1) return;
    std::vector<double> periods, amplitudes;
    for (std::size_t i = cycles_.size() - n; i < cycles_.size(); ++i) {
        periods.push_back(cycles_[i].Period);
        amplitudes.push_back(cycles_[i].Amplitude());
    }
    if (Agree(periods, settings_.Tolerance) && Agree(amplitudes, settings_.Tolerance)) verdict_ = TVerdict::Done;
}

void TRelayTest::GiveUp() {
    if (cycles_.size() < 2) {
        verdict_ = TVerdict::NoOscillation;
    } else {
        // An oscillation that died away, or whose level, length or size keeps moving one way, drifts;
        // one that only scatters is too noisy.
        std::vector<const TCycle*> last;
        const std::size_t n = std::min(cycles_.size() - 1, static_cast<std::size_t>(2 * settings_.Periods));
        for (std::size_t i = cycles_.size() - n; i < cycles_.size(); ++i) last.push_back(&cycles_[i]);
        std::vector<double> periods;
        for (const TCycle* c : last) periods.push_back(c->Period);
        std::sort(periods.begin(), periods.end());
        const double median = periods[periods.size() / 2];
        const double sinceOn = trace_.back().Time - *lastOn_;

        const std::size_t half = last.size() / 2;
        auto meanOf = [&](std::size_t from, std::size_t to, auto field) {
            double sum = 0.0;
            for (std::size_t i = from; i < to; ++i) sum += field(*last[i]);
            return sum / static_cast<double>(to - from);
        };
        bool trend = false;
        if (half >= 1) {
            const auto period = [](const TCycle& c) { return c.Period; };
            const auto amplitude = [](const TCycle& c) { return c.Amplitude(); };
            const auto level = [](const TCycle& c) { return 0.5 * (c.High + c.Low); };
            const double tol = settings_.Tolerance;
            const double p1 = meanOf(0, half, period), p2 = meanOf(half, last.size(), period);
            const double a1 = meanOf(0, half, amplitude), a2 = meanOf(half, last.size(), amplitude);
            const double l1 = meanOf(0, half, level), l2 = meanOf(half, last.size(), level);
            trend = std::fabs(p2 - p1) > tol * std::max(p1, p2) || std::fabs(a2 - a1) > tol * std::max(a1, a2) ||
                    std::fabs(l2 - l1) > tol * std::max(a1, a2);
        }
        verdict_ = sinceOn > 3.0 * median || trend ? TVerdict::Drifting : TVerdict::TooNoisy;
    }
    reason_ = VerdictText(verdict_);
}

void TRelayTest::Abort(const std::string& reason) {
    if (Finished()) return;
    verdict_ = TVerdict::Aborted;
    reason_ = reason;
}

std::string VerdictText(TVerdict verdict) {
    switch (verdict) {
    case TVerdict::Running:
        return "Test bezi";
    case TVerdict::Done:
        return "Test dokoncen";
    case TVerdict::NoOscillation:
        return "Teplota nekmita kolem zadane hodnoty: topeni ji nedosahne nebo na ne nereaguje";
    case TVerdict::Drifting:
        return "Kmity se neustaluji: teplota se posouva";
    case TVerdict::TooNoisy:
        return "Kmity jsou prilis nepravidelne: mereni je zasumene, zvetsete h";
    case TVerdict::Aborted:
        return "Test prerusen";
    }
    return {};
}

} // namespace autotune
