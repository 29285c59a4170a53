#include "autotune/Tuning.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <exception>
#include <numbers>

namespace autotune {
namespace {

// Each sample interval is cut into this many slices for the lags and the dead time.
constexpr int FitSlices = 4;

// The heater as the plant feels it after `delay`, slice by slice, and each slice's length.
struct TDelayed {
    std::vector<float> Input;
    std::vector<float> Length;
    std::vector<std::size_t> SampleEnd; // slice index at which sample k+1 is measured
};

TDelayed Delay(const std::vector<TSample>& trace, double delay) {
    TDelayed d;
    std::size_t src = 0;
    for (std::size_t k = 0; k + 1 < trace.size(); ++k) {
        const double dt = (trace[k + 1].Time - trace[k].Time) / FitSlices;
        for (int i = 0; i < FitSlices; ++i) {
            const double t = trace[k].Time + (i + 0.5) * dt - delay;
            while (src + 1 < trace.size() && trace[src + 1].Time <= t) ++src;
            const bool on = t >= trace.front().Time && trace[src].Heater;
            d.Input.push_back(on ? 1.0f : 0.0f);
            d.Length.push_back(static_cast<float>(dt));
        }
        d.SampleEnd.push_back(d.Input.size());
    }
    return d;
}

double Decay(double dt, double tau) { return tau > 0.0 ? std::exp(-dt / tau) : 0.0; }

// Solves the n×n system a·x = b in place (partial pivoting); false when singular.
template <std::size_t N> bool Solve(std::array<std::array<double, N>, N>& a, std::array<double, N>& b, std::size_t n) {
    for (std::size_t c = 0; c < n; ++c) {
        std::size_t p = c;
        for (std::size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r][c]) > std::fabs(a[p][c])) p = r;
        if (std::fabs(a[p][c]) < 1e-12) return false;
        std::swap(a[p], a[c]);
        std::swap(b[p], b[c]);
        for (std::size_t r = c + 1; r < n; ++r) {
            const double f = a[r][c] / a[c][c];
            for (std::size_t k = c; k < n; ++k) a[r][k] -= f * a[c][k];
            b[r] -= f * b[c];
        }
    }
    for (std::size_t c = n; c-- > 0;) {
        for (std::size_t k = c + 1; k < n; ++k) b[c] -= a[c][k] * b[k];
        b[c] /= a[c][c];
    }
    return true;
}

struct TFit {
    bool Ok = false;
    double Sse = 0.0;
    TPlantModel Model;
};

// Least squares of y = ambient + gain·x + c1·e^(-t/lag1) + c2·e^(-t/lag2) from the dead time on,
// the exponentials standing for whatever state the plant was in when the test began.
TFit Fit(const std::vector<TSample>& trace, const TDelayed& d, double lag1, double lag2, double delay, double yMean) {
    constexpr std::size_t N = 4;
    const std::size_t n = lag2 > 0.0 ? 4 : 3;
    std::array<std::array<double, N>, N> a{};
    std::array<double, N> b{};
    double yy = 0.0;
    double x1 = 0.0, x2 = 0.0;
    double lastDt = -1.0, k1 = 0.0, k2 = 0.0;
    std::size_t slice = 0;
    std::size_t used = 0;
    const double t0 = trace.front().Time;
    for (std::size_t k = 0; k + 1 < trace.size(); ++k) {
        for (; slice < d.SampleEnd[k]; ++slice) {
            const double dt = d.Length[slice];
            if (dt != lastDt) {
                lastDt = dt;
                k1 = Decay(dt, lag1);
                k2 = Decay(dt, lag2);
            }
            const double u = d.Input[slice];
            x1 = u + (x1 - u) * k1;
            x2 = lag2 > 0.0 ? x1 + (x2 - x1) * k2 : x1;
        }
        const TSample& s = trace[k + 1];
        const double t = s.Time - t0;
        if (t < delay) continue;
        const std::array<double, N> row{1.0, x2, std::exp(-t / lag1), lag2 > 0.0 ? std::exp(-t / lag2) : 0.0};
        const double y = s.Temperature - yMean;
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t j = 0; j < n; ++j) a[i][j] += row[i] * row[j];
            b[i] += row[i] * y;
        }
        yy += y * y;
        ++used;
    }
    TFit f;
    if (used < 10) return f;
    std::array<double, N> theta = b;
    auto m = a;
    if (!Solve(m, theta, n)) return f;
    double fitted = 0.0;
    for (std::size_t i = 0; i < n; ++i) fitted += theta[i] * b[i];
    f.Sse = std::max(0.0, yy - fitted);
    f.Ok = theta[1] > 0.0 && std::isfinite(f.Sse);
    f.Model = {theta[0] + yMean, theta[1], lag1, lag2, delay, std::sqrt(f.Sse / static_cast<double>(used))};
    return f;
}

double Geometric(double from, double to, int i, int count) {
    return from * std::pow(to / from, static_cast<double>(i) / (count - 1));
}

} // namespace

double UltimateGain(double amplitude) {
    if (!(amplitude > 0.0)) return 0.0;
    return 4.0 * RelaySwing / (std::numbers::pi * amplitude);
}

TParameters TyreusLuyben(const TUltimate& u) {
    return {UltimateGain(u.Amplitude) / 2.2, 2.2 * u.Period, u.Period / 6.3};
}

std::optional<TPlantModel> IdentifyModel(const std::vector<TSample>& trace, double period) {
    if (trace.size() < 20 || !(period > 0.0)) return std::nullopt;
    double yMean = 0.0;
    for (const TSample& s : trace) yMean += s.Temperature;
    yMean /= static_cast<double>(trace.size());
    const double span = trace.back().Time - trace.front().Time;

    TFit best;
    auto consider = [&](const std::vector<TSample>& tr, const TDelayed& d, double l1, double l2, double dead) {
        if (l2 > 0.0 && l2 > 0.8 * l1) return;
        const TFit f = Fit(tr, d, l1, l2, dead, yMean);
        if (f.Ok && (!best.Ok || f.Sse < best.Sse)) best = f;
    };
    const double maxDelay = std::min(0.6 * period, span / 3.0);
    constexpr int Delays = 16, Lags1 = 18, Lags2 = 8;
    for (int i = 0; i < Delays; ++i) {
        const double dead = maxDelay * i / (Delays - 1);
        const TDelayed d = Delay(trace, dead);
        for (int j = 0; j < Lags1; ++j) {
            const double l1 = Geometric(0.05 * period, 50.0 * period, j, Lags1);
            consider(trace, d, l1, 0.0, dead);
            for (int k = 0; k < Lags2; ++k) consider(trace, d, l1, Geometric(0.02 * period, 2.0 * period, k, Lags2), dead);
        }
    }
    if (!best.Ok) return std::nullopt;

    // Closer in around the best point of the grid.
    double stepDead = maxDelay / (Delays - 1), stepLag = std::pow(1000.0, 1.0 / (Lags1 - 1));
    for (int round = 0; round < 6; ++round) {
        const TPlantModel at = best.Model;
        for (int dd = -1; dd <= 1; ++dd) {
            const double dead = std::clamp(at.DeadTime + dd * stepDead, 0.0, maxDelay);
            const TDelayed d = Delay(trace, dead);
            for (int a = -1; a <= 1; ++a) {
                const double l1 = at.Lag1 * std::pow(stepLag, a);
                consider(trace, d, l1, 0.0, dead);
                for (int b = -1; b <= 1; ++b) {
                    const double l2 = at.Lag2 > 0.0 ? at.Lag2 * std::pow(stepLag, b) : 0.02 * period * std::pow(stepLag, b + 1);
                    consider(trace, d, l1, l2, dead);
                }
            }
        }
        stepDead *= 0.5;
        stepLag = std::sqrt(stepLag);
    }
    return best.Model;
}

TModelPlant::TModelPlant(const TPlantModel& model, double temperature, double step) : m_(model), step_(step) {
    const double x = m_.Gain > 0.0 ? (temperature - m_.Ambient) / m_.Gain : 0.0;
    x1_ = x2_ = x;
    const auto n = static_cast<std::size_t>(std::lround(m_.DeadTime / step_));
    delay_.assign(n, x > 0.5);
}

double TModelPlant::Temperature() const { return m_.Ambient + m_.Gain * x2_; }

void TModelPlant::Advance(double seconds, bool heater) {
    const long steps = std::max(1L, std::lround(seconds / step_));
    const double k1 = Decay(step_, m_.Lag1), k2 = Decay(step_, m_.Lag2);
    for (long i = 0; i < steps; ++i) {
        bool u = heater;
        if (!delay_.empty()) {
            u = delay_[head_];
            delay_[head_] = heater;
            head_ = (head_ + 1) % delay_.size();
        }
        const double in = u ? 1.0 : 0.0;
        x1_ = in + (x1_ - in) * k1;
        x2_ = m_.Lag2 > 0.0 ? x1_ + (x2_ - x1_) * k2 : x1_;
    }
}

std::vector<double> ModelPrediction(const TPlantModel& model, const std::vector<TSample>& trace) {
    std::vector<double> out;
    if (trace.empty()) return out;
    const double dt = trace.size() > 1 ? (trace[1].Time - trace[0].Time) : 1.0;
    TModelPlant plant(model, trace.front().Temperature, std::max(dt, 1e-3) / FitSlices);
    out.push_back(plant.Temperature());
    for (std::size_t k = 0; k + 1 < trace.size(); ++k) {
        plant.Advance(trace[k + 1].Time - trace[k].Time, trace[k].Heater);
        out.push_back(plant.Temperature());
    }
    return out;
}

TProposal Propose(const TRelayTest& test, double setpoint, double controlPeriod) {
    TProposal p;
    p.Ultimate = test.Estimate().value_or(TUltimate{});
    p.Ku = UltimateGain(p.Ultimate.Amplitude);
    p.Classic = TyreusLuyben(p.Ultimate);
    p.Parameters = p.Classic;
    if (!(p.Ultimate.Period > 0.0) || !(controlPeriod > 0.0)) return p;
    p.Model = IdentifyModel(test.Trace(), p.Ultimate.Period);
    if (!p.Model) return p;

    // The nominal model, and one that heats harder and answers later, for the margin.
    const double pu = p.Ultimate.Period;
    const TPlantModel nominal = *p.Model;
    TPlantModel worse = nominal;
    worse.Gain *= 1.15;
    worse.DeadTime = worse.DeadTime * 1.3 + 0.5 * controlPeriod;
    const double step = controlPeriod / FitSlices;
    TPlantModel slower = nominal;
    slower.Lag1 *= 1.2;
    slower.Lag2 *= 1.2;
    slower.DeadTime *= 1.2;
    const std::vector<TTrial> trials{
        MakeTrial([=] { return std::make_unique<TModelPlant>(nominal, nominal.Ambient, step); }, setpoint,
                  controlPeriod, pu, 1.5),
        MakeTrial([=] { return std::make_unique<TModelPlant>(worse, worse.Ambient, step); }, setpoint, controlPeriod,
                  pu, 2.5),
        MakeTrial([=] { return std::make_unique<TModelPlant>(slower, slower.Ambient, step); }, setpoint, controlPeriod,
                  pu, 2.5)};
    TStepResult figures;
    if (const auto chosen = ChooseParameters(trials, controlPeriod, p.Ku, pu, p.Classic, &figures)) {
        p.Parameters = *chosen;
        p.ModelIae = figures.Iae;
        p.ModelOvershoot = figures.Overshoot;
    }
    return p;
}

TTrial MakeTrial(std::function<std::unique_ptr<TPlant>()> make, double setpoint, double controlPeriod, double period,
                 double overshootAllowed) {
    TTrial t{std::move(make), setpoint, 0.0, 0.0, overshootAllowed};
    double reached = 0.0;
    RunLimit(*t.Make(), controlPeriod, setpoint, 1000.0 * period, &reached);
    t.Duration = std::min(2.0 * reached + 6.0 * period, 20000.0 * controlPeriod);
    t.Limit = RunLimit(*t.Make(), controlPeriod, setpoint, t.Duration).Iae;
    return t;
}

std::optional<TParameters> ChooseParameters(const std::vector<TTrial>& trials, double controlPeriod, double ku,
                                            double pu, const TParameters& start, TStepResult* figures) {
    struct TBest {
        bool Ok = false;
        double Cost = 0.0;
        TParameters P;
        TStepResult First;
    } best;
    auto consider = [&](const TParameters& c) {
        if (!Valid(c)) return;
        double cost = 0.0;
        TStepResult first;
        try {
            for (std::size_t i = 0; i < trials.size(); ++i) {
                const TTrial& t = trials[i];
                if (!(t.Limit > 0.0)) return;
                const TStepResult r = RunController(*t.Make(), c, controlPeriod, t.Setpoint, t.Duration);
                cost += r.Iae / t.Limit + 10.0 * std::max(0.0, r.Overshoot - t.OvershootAllowed);
                if (i == 0) first = {r.Iae / t.Limit, r.Overshoot};
            }
        } catch (const std::exception&) {
            return;
        }
        if (!best.Ok || cost < best.Cost) best = {true, cost, c, first};
    };
    constexpr std::array<double, 6> Ratios{0.02, 0.06, 0.1, 0.15, 0.2, 0.24};
    for (int i = 0; i < 12; ++i) {
        const double r0 = ku * Geometric(0.005, 1.0, i, 12);
        for (int j = 0; j < 12; ++j) {
            const double ti = pu * Geometric(0.2, 20.0, j, 12);
            for (double q : Ratios) consider({r0, ti, q * ti});
        }
    }
    consider(start);
    if (!best.Ok) return std::nullopt;

    double step = std::pow(200.0, 1.0 / 11.0);
    for (int round = 0; round < 5; ++round) {
        const TParameters at = best.P;
        for (int a = -1; a <= 1; ++a)
            for (int b = -1; b <= 1; ++b)
                for (int c = -1; c <= 1; ++c) {
                    const double ti = at.Ti * std::pow(step, b);
                    const double q = std::min(0.24, at.Td / at.Ti * std::pow(step, c));
                    consider({at.r0 * std::pow(step, a), ti, q * ti});
                }
        step = std::sqrt(step);
    }
    if (figures != nullptr) *figures = best.First;
    return best.P;
}

TRelayTest RunRelayTest(TPlant& plant, const TRelaySettings& settings, double controlPeriod) {
    TRelayTest test(settings);
    for (long k = 0; !test.Finished(); ++k) {
        const bool heater = test.Step(static_cast<double>(k) * controlPeriod, plant.Temperature());
        plant.Advance(controlPeriod, heater);
    }
    return test;
}

} // namespace autotune
