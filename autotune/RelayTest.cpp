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

// Each lies within the tolerance (a fraction of their mean) and `slack` of their mean.
bool Agree(const std::vector<double>& v, double tolerance, double slack = 0.0) {
    const double m = Mean(v);
    if (!(m > 0.0)) return false;
    return std::all_of(v.begin(), v.end(), [&](double x) { return std::fabs(x - m) <= tolerance * m + slack; });
}

} // namespace

double NoiseOf(const std::vector<double>& temperatures) {
    if (temperatures.size() < 3) return 0.0;
    double sum = 0.0;
    for (std::size_t i = 1; i + 1 < temperatures.size(); ++i) {
        const double d = temperatures[i + 1] - 2.0 * temperatures[i] + temperatures[i - 1];
        sum += d * d;
    }
    // A second difference of white noise has six times its variance.
    return std::sqrt(sum / static_cast<double>(temperatures.size() - 2) / 6.0);
}

TRelayTest::TRelayTest(const TRelaySettings& settings) : settings_(settings), entered_(settings.Hysteresis) {
    settings_.Periods = std::max(settings_.Periods, 2);
}

int TRelayTest::Oscillations() const { return std::max(0, static_cast<int>(cycles_.size()) - 1); }

std::optional<TUltimate> TRelayTest::Estimate() const {
    if (cycles_.size() < 2) return std::nullopt;
    std::size_t n = std::min(cycles_.size() - 1, static_cast<std::size_t>(settings_.Periods));
    if (n >= 2) n -= n % 2;
    TUltimate u;
    for (std::size_t i = cycles_.size() - n; i < cycles_.size(); ++i) {
        u.Period += cycles_[i].Period;
        u.Amplitude += cycles_[i].Amplitude();
    }
    u.Period /= static_cast<double>(n);
    u.Amplitude /= static_cast<double>(n);
    return u;
}

double TRelayTest::TimeScale() const {
    if (const auto u = Estimate()) return u->Period;
    return std::max(Elapsed() - relayStart_, 1e-3);
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
    if (!relay_ && settings_.RestSamples > 0) {
        trace_.push_back({time, temperature, false});
        if (trace_.size() >= static_cast<std::size_t>(settings_.RestSamples)) EndRest(time, temperature);
        if (time >= settings_.TimeLimit) GiveUp();
        return false;
    }
    if (!relay_) EndRest(time, temperature);
    high_ = std::max(high_, temperature);
    low_ = std::min(low_, temperature);
    const double h = settings_.Hysteresis;
    if (!on_ && temperature < settings_.Setpoint - h) {
        on_ = true;
        CloseCycle(time);
        high_ = low_ = temperature;
        extreme_ = temperature;
        turned_ = false;
        checkpointDue_ = checkpointDue_ || checkpoints_;
    } else if (on_ && temperature > settings_.Setpoint + h) {
        on_ = false;
        switchedOff_ = true;
        extreme_ = temperature;
        turned_ = false;
        checkpointDue_ = checkpointDue_ || checkpoints_;
    } else {
        Turns(temperature);
    }
    trace_.push_back({time, temperature, on_});
    if (verdict_ == TVerdict::Running && time >= settings_.TimeLimit) GiveUp();
    return verdict_ == TVerdict::Running && on_;
}

void TRelayTest::EndRest(double time, double temperature) {
    std::vector<double> rest;
    for (const TSample& s : trace_) rest.push_back(s.Temperature);
    noise_ = NoiseOf(rest);
    const double needed = NoiseMargin * noise_;
    if (settings_.Hysteresis < needed) settings_.Hysteresis = std::ceil(needed * 10.0) / 10.0;
    relay_ = true;
    relayStart_ = time;
    high_ = low_ = temperature;
}

void TRelayTest::Turns(double temperature) {
    // With the heater on the temperature goes on falling for a while and then turns up; with it
    // off it goes on rising and turns down. A turn is a way back of h from the extreme.
    extreme_ = on_ ? std::min(extreme_, temperature) : std::max(extreme_, temperature);
    const double back = on_ ? temperature - extreme_ : extreme_ - temperature;
    if (turned_ || back < settings_.Hysteresis) return;
    turned_ = true;
    if (!on_ && switchedOff_ && settings_.Checkpoints) checkpoints_ = true;
    checkpointDue_ = checkpointDue_ || checkpoints_;
}

std::size_t TRelayTest::TakeCheckpoint() {
    checkpointDue_ = false;
    return trace_.size();
}

void TRelayTest::ModelSettled() {
    if (Finished()) return;
    verdict_ = TVerdict::Done;
    doneBy_ = TDoneBy::Model;
}

void TRelayTest::CloseCycle(double time) {
    if (lastOn_) cycles_.push_back({*lastOn_, time - *lastOn_, high_, low_});
    lastOn_ = time;
    // The first period is the approach and is not counted.
    auto last = [&](std::size_t n, auto field) {
        std::vector<double> v;
        for (std::size_t i = cycles_.size() - n; i < cycles_.size(); ++i) v.push_back(field(cycles_[i]));
        return v;
    };
    auto period = [](const TCycle& c) { return c.Period; };
    auto amplitude = [](const TCycle& c) { return c.Amplitude(); };
    const double tolerance = settings_.Tolerance;
    // N periods that agree.
    const auto n = static_cast<std::size_t>(settings_.Periods);
    if (cycles_.size() >= n + 1 && Agree(last(n, period), tolerance) && Agree(last(n, amplitude), tolerance)) {
        verdict_ = TVerdict::Done;
        doneBy_ = TDoneBy::Periods;
        return;
    }
    // N + 1 periods whose neighbours agree in pairs, each of them within a wider band; a pair of
    // amplitudes comes from four extremes, each off by up to about the noise.
    if (cycles_.size() < n + 2) return;
    auto pairs = [](const std::vector<double>& v) {
        std::vector<double> p;
        for (std::size_t i = 0; i + 1 < v.size(); ++i) p.push_back(v[i] + v[i + 1]);
        return p;
    };
    const auto periods = last(n + 1, period), amplitudes = last(n + 1, amplitude);
    const double slack = 2.0 * noise_;
    if (Agree(pairs(periods), tolerance) && Agree(pairs(amplitudes), tolerance, slack) &&
        Agree(periods, PairSpread * tolerance) && Agree(amplitudes, PairSpread * tolerance, slack)) {
        verdict_ = TVerdict::Done;
        doneBy_ = TDoneBy::Periods;
    }
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
