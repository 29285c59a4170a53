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
    if (temperature > settings_.MaxTemperature) {
        Abort("Teplota prekrocila nejvyssi dovolenou hodnotu");
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

        // A trend: a quantity that moves steadily one way (strongly correlated with time) and by
        // more than the tolerance over the window.
        auto trends = [&](auto field, double scale) {
            const double count = static_cast<double>(last.size());
            if (last.size() < 3) return false;
            double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
            for (std::size_t i = 0; i < last.size(); ++i) {
                const double x = static_cast<double>(i), y = field(*last[i]);
                sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
            }
            const double vx = sxx - sx * sx / count, vy = syy - sy * sy / count, cxy = sxy - sx * sy / count;
            if (vx <= 0.0 || vy <= 0.0) return false;
            const double slope = cxy / vx;
            return cxy / std::sqrt(vx * vy) > 0.8 || cxy / std::sqrt(vx * vy) < -0.8
                       ? std::fabs(slope) * (count - 1.0) > settings_.Tolerance * scale
                       : false;
        };
        double meanPeriod = 0.0, meanAmplitude = 0.0;
        for (const TCycle* c : last) meanPeriod += c->Period / static_cast<double>(last.size());
        for (const TCycle* c : last) meanAmplitude += c->Amplitude() / static_cast<double>(last.size());
        const bool trend = trends([](const TCycle& c) { return c.Period; }, meanPeriod) ||
                           trends([](const TCycle& c) { return c.Amplitude(); }, meanAmplitude) ||
                           trends([](const TCycle& c) { return 0.5 * (c.High + c.Low); }, meanAmplitude);
        if (sinceOn > 3.0 * median || trend) {
            verdict_ = TVerdict::Drifting;
        } else if (cycles_.size() < static_cast<std::size_t>(settings_.Periods) + 1) {
            verdict_ = TVerdict::TooSlow; // regular so far, but too few periods in the time
        } else {
            verdict_ = TVerdict::TooNoisy;
        }
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
    case TVerdict::TooSlow:
        return "Kmity jsou prilis pomale: v casovem limitu jich nebylo dost";
    case TVerdict::TooNoisy:
        return "Kmity jsou prilis nepravidelne: mereni je zasumene, zvetsete h";
    case TVerdict::Aborted:
        return "Test prerusen";
    }
    return {};
}

} // namespace autotune
