#include "autotune/Tuning.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <exception>
#include <numbers>
#include <utility>

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

// The lags of a model, slowest first; 0 for none (a later one is then 0 too).
using TLags = std::array<double, 3>;

struct TFit {
    bool Ok = false;
    double Sse = 0.0;
    TPlantModel Model;
};

// Least squares of y = ambient + gain·x + Σ c·e^(-t/lag) from the dead time on, the exponentials
// standing for whatever state the plant was in when the test began. With `free` false the plant
// was at rest at the ambient temperature `yMean`: y = yMean + gain·x alone.
TFit Fit(const std::vector<TSample>& trace, const TDelayed& d, const TLags& lags, double delay, double yMean,
         bool free) {
    constexpr std::size_t N = 5;
    std::size_t n = 3;
    while (n < N && lags[n - 2] > 0.0) ++n;
    if (!free) n = 1;
    std::array<std::array<double, N>, N> a{};
    std::array<double, N> b{};
    double yy = 0.0;
    std::array<double, 3> x{};
    std::array<double, 3> k{};
    std::array<double, 3> free0{1.0, 1.0, 1.0}, freeDecay{}, freeDt{-1.0, -1.0, -1.0};
    double lastDt = -1.0;
    std::size_t slice = 0;
    std::size_t used = 0;
    std::size_t stages = 0;
    while (stages < 3 && lags[stages] > 0.0) ++stages;
    const double t0 = trace.front().Time;
    for (std::size_t s = 0; s + 1 < trace.size(); ++s) {
        for (; slice < d.SampleEnd[s]; ++slice) {
            const double dt = d.Length[slice];
            if (dt != lastDt) {
                lastDt = dt;
                for (std::size_t i = 0; i < 3; ++i) k[i] = Decay(dt, lags[i]);
            }
            double in = d.Input[slice];
            for (std::size_t i = 0; i < stages; ++i) {
                x[i] = in + (x[i] - in) * k[i];
                in = x[i];
            }
            for (std::size_t i = stages; i < 3; ++i) x[i] = in;
        }
        const TSample& smp = trace[s + 1];
        const double t = smp.Time - t0;
        // The starting state's decay, kept up from sample to sample rather than by exp each time.
        const double sampleDt = smp.Time - trace[s].Time;
        for (std::size_t i = 2; i < n; ++i) {
            if (sampleDt != freeDt[i - 2]) {
                freeDt[i - 2] = sampleDt;
                freeDecay[i - 2] = Decay(sampleDt, lags[i - 2]);
            }
            free0[i - 2] *= freeDecay[i - 2];
        }
        if (t < delay) continue;
        std::array<double, N> row{1.0, x[2], 0.0, 0.0, 0.0};
        for (std::size_t i = 2; i < n; ++i) row[i] = free0[i - 2];
        if (!free) row[0] = x[2];
        const double y = smp.Temperature - yMean;
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
    const double ambient = free ? theta[0] + yMean : yMean;
    const double gain = free ? theta[1] : theta[0];
    f.Ok = gain > 0.0 && std::isfinite(f.Sse);
    f.Model = {ambient, gain, lags[0], lags[1], lags[2], delay,
               std::sqrt(f.Sse / static_cast<double>(used))};
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

namespace {

// Nelder–Mead's simplex search for the minimum of f over a few dimensions.
template <std::size_t D, class F> std::array<double, D> Minimise(F f, std::array<double, D> start,
                                                                const std::array<double, D>& scale, int evaluations) {
    std::array<std::array<double, D>, D + 1> p;
    std::array<double, D + 1> v;
    for (std::size_t i = 0; i <= D; ++i) {
        p[i] = start;
        if (i > 0) p[i][i - 1] += scale[i - 1];
        v[i] = f(p[i]);
    }
    for (int n = 0; n < evaluations; ++n) {
        std::size_t lo = 0, hi = 0;
        for (std::size_t i = 1; i <= D; ++i) {
            if (v[i] < v[lo]) lo = i;
            if (v[i] > v[hi]) hi = i;
        }
        std::size_t second = lo;
        for (std::size_t i = 0; i <= D; ++i)
            if (i != hi && v[i] > v[second]) second = i;
        std::array<double, D> c{};
        for (std::size_t i = 0; i <= D; ++i)
            if (i != hi)
                for (std::size_t k = 0; k < D; ++k) c[k] += p[i][k] / D;
        auto along = [&](double t) {
            std::array<double, D> q;
            for (std::size_t k = 0; k < D; ++k) q[k] = c[k] + t * (p[hi][k] - c[k]);
            return q;
        };
        const auto r = along(-1.0);
        const double vr = f(r);
        if (vr < v[lo]) {
            const auto e = along(-2.0);
            const double ve = f(e);
            if (ve < vr) {
                p[hi] = e;
                v[hi] = ve;
            } else {
                p[hi] = r;
                v[hi] = vr;
            }
        } else if (vr < v[second]) {
            p[hi] = r;
            v[hi] = vr;
        } else {
            const auto k = along(0.5);
            const double vk = f(k);
            if (vk < v[hi]) {
                p[hi] = k;
                v[hi] = vk;
            } else {
                for (std::size_t i = 0; i <= D; ++i) {
                    if (i == lo) continue;
                    for (std::size_t j = 0; j < D; ++j) p[i][j] = p[lo][j] + 0.5 * (p[i][j] - p[lo][j]);
                    v[i] = f(p[i]);
                }
            }
        }
    }
    std::size_t lo = 0;
    for (std::size_t i = 1; i <= D; ++i)
        if (v[i] < v[lo]) lo = i;
    return p[lo];
}

std::optional<TPlantModel> Identify(const std::vector<TSample>& trace, double period, bool free) {
    double yMean = 0.0;
    for (const TSample& s : trace) yMean += s.Temperature;
    yMean /= static_cast<double>(trace.size());
    if (!free) yMean = trace.front().Temperature;
    const double span = trace.back().Time - trace.front().Time;

    TFit best;
    auto consider = [&](const TDelayed& d, TLags lags, double dead) {
        std::sort(lags.begin(), lags.end(), std::greater<>());
        const TFit f = Fit(trace, d, lags, dead, yMean, free);
        if (f.Ok && (!best.Ok || f.Sse < best.Sse)) best = f;
        return f.Ok ? f.Sse : 1e300;
    };
    // The dead time is sharp: a grid at the sampling step, with a coarse grid of lags at each.
    const double sampleStep = span / static_cast<double>(trace.size() - 1);
    const double maxDelay = std::min(0.6 * period, span / 3.0);
    const int delays = std::clamp(static_cast<int>(maxDelay / sampleStep) + 1, 2, 60);
    constexpr int Lags1 = 10, Lags2 = 5;
    for (int i = 0; i < delays; ++i) {
        const double dead = maxDelay * i / (delays - 1);
        const TDelayed d = Delay(trace, dead);
        for (int j = 0; j < Lags1; ++j) {
            const double l1 = Geometric(0.05 * period, 50.0 * period, j, Lags1);
            consider(d, {l1, 0.0, 0.0}, dead);
            for (int k = 0; k < Lags2; ++k) {
                const double l2 = Geometric(0.02 * period, 2.0 * period, k, Lags2);
                if (l2 < l1) consider(d, {l1, l2, 0.0}, dead);
            }
        }
    }
    if (!best.Ok) return std::nullopt;

    // Then the simplex search from there over the dead time and three lags (logarithms; a lag far
    // below the sampling step counts as none).
    const TPlantModel g = best.Model;
    const double none = 0.01 * sampleStep;
    auto lagOf = [&](double ln) { return std::exp(ln) < none ? 0.0 : std::exp(ln); };
    auto sse = [&](const std::array<double, 4>& x) {
        if (x[0] < 0.0 || x[0] > maxDelay) return 1e300;
        return consider(Delay(trace, x[0]), {lagOf(x[1]), lagOf(x[2]), lagOf(x[3])}, x[0]);
    };
    const double l2 = g.Lag2 > 0.0 ? g.Lag2 : 0.1 * g.Lag1;
    Minimise<4>(sse, {g.DeadTime, std::log(g.Lag1), std::log(l2), std::log(0.2 * l2)},
                {std::max(sampleStep, 0.05 * maxDelay), 0.5, 0.5, 0.7}, 300);
    return best.Model;
}

} // namespace

std::optional<TPlantModel> IdentifyModel(const std::vector<TSample>& trace, double period) {
    if (trace.size() < 20 || !(period > 0.0)) return std::nullopt;
    // A plant at rest when the test began needs no terms for its starting state, and a fit
    // without them must also follow the first rise, which is what a step from ambient needs.
    // Only when that fit is clearly worse did the plant start elsewhere.
    const auto rest = Identify(trace, period, false);
    const auto moving = Identify(trace, period, true);
    if (rest && (!moving || rest->Error <= std::max(2.0 * moving->Error, moving->Error + 0.2))) return rest;
    return moving;
}

TModelPlant::TModelPlant(const TPlantModel& model, double temperature, double step) : m_(model), step_(step) {
    const double x = m_.Gain > 0.0 ? (temperature - m_.Ambient) / m_.Gain : 0.0;
    x1_ = x2_ = x3_ = x;
    const auto n = static_cast<std::size_t>(std::lround(m_.DeadTime / step_));
    delay_.assign(n, x > 0.5);
}

double TModelPlant::Temperature() const { return m_.Ambient + m_.Gain * x3_; }

void TModelPlant::Advance(double seconds, bool heater) {
    const long steps = std::max(1L, std::lround(seconds / step_));
    const double k1 = Decay(step_, m_.Lag1), k2 = Decay(step_, m_.Lag2), k3 = Decay(step_, m_.Lag3);
    for (long i = 0; i < steps; ++i) {
        bool u = heater;
        if (!delay_.empty()) {
            u = delay_[head_];
            delay_[head_] = heater;
            head_ = (head_ + 1) % delay_.size();
        }
        const double in = u ? 1.0 : 0.0;
        x1_ = in + (x1_ - in) * k1;
        x2_ = x1_ + (x2_ - x1_) * k2;
        x3_ = x2_ + (x3_ - x2_) * k3;
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

std::optional<TUltimate> ModelCycle(const TPlantModel& model, const TRelaySettings& settings, double controlPeriod) {
    if (!(controlPeriod > 0.0)) return std::nullopt;
    TRelaySettings s = settings;
    s.RestSamples = 0;
    s.Checkpoints = false;
    TModelPlant plant(model, model.Ambient, controlPeriod / FitSlices);
    const TRelayTest test = RunRelayTest(plant, s, controlPeriod);
    if (test.Verdict() != TVerdict::Done) return std::nullopt;
    return test.Estimate();
}

std::optional<TModelFigures> MeasureModel(const std::vector<TSample>& record, const TRelaySettings& settings,
                                          double scale, double controlPeriod) {
    const auto model = IdentifyModel(record, scale);
    if (!model) return std::nullopt;
    const auto cycle = ModelCycle(*model, settings, controlPeriod);
    if (!cycle) return std::nullopt;
    TModelFigures f{*model, *cycle, 0.0};
    TModelPlant plant(*model, model->Ambient, controlPeriod / FitSlices);
    RunLimit(plant, controlPeriod, settings.Setpoint, settings.TimeLimit, &f.Reach);
    return f;
}

TModelWatch::TJob TModelWatch::Take(TRelayTest& test, double controlPeriod) {
    const std::size_t n = test.TakeCheckpoint();
    TJob job{{test.Trace().begin(), test.Trace().begin() + static_cast<std::ptrdiff_t>(n)}, test.Settings(),
             test.TimeScale(), controlPeriod};
    return job;
}

bool TModelWatch::Judge(TRelayTest& test, const std::optional<TModelFigures>& figures) {
    const std::optional<TModelFigures> before = std::exchange(last_, figures);
    if (!before || !figures || test.Finished()) return false;
    const double allowed = 2.0 * test.Noise() + 0.25 * test.Hysteresis() + 0.05 * figures->Cycle.Amplitude;
    const double tolerance = test.Settings().Tolerance;
    auto close = [&](double a, double b) { return std::fabs(a - b) <= tolerance * 0.5 * (a + b); };
    const bool settled = before->Model.Error <= allowed && figures->Model.Error <= allowed &&
                         close(before->Cycle.Period, figures->Cycle.Period) &&
                         close(before->Cycle.Amplitude, figures->Cycle.Amplitude) &&
                         close(before->Reach, figures->Reach);
    if (settled) test.ModelSettled();
    return settled;
}

bool TModelWatch::Check(TRelayTest& test, double controlPeriod) {
    if (!test.CheckpointDue()) return false;
    return Judge(test, Fit(Take(test, controlPeriod)));
}

void TRecentResponse::Add(double seconds, double temperature, bool heater) {
    clock_ += seconds;
    samples_.push_back({clock_, temperature, heater});
    while (samples_.size() > capacity_) samples_.pop_front();
}

std::optional<double> EstimateDuration(const std::vector<TSample>& recent, const TRelaySettings& settings,
                                       double controlPeriod) {
    if (recent.size() < 20 || !(controlPeriod > 0.0)) return std::nullopt;
    std::size_t on = 0;
    double lo = recent.front().Temperature, hi = lo;
    for (const TSample& s : recent) {
        on += s.Heater ? 1 : 0;
        lo = std::min(lo, s.Temperature);
        hi = std::max(hi, s.Temperature);
    }
    if (on < 3 || recent.size() - on < 3 || hi - lo < 2.0) return std::nullopt;
    const auto model = IdentifyModel(recent, 0.5 * (recent.back().Time - recent.front().Time));
    if (!model) return std::nullopt;
    TModelPlant plant(*model, recent.back().Temperature, controlPeriod / FitSlices);
    const TRelayTest test = RunRelayTest(plant, settings, controlPeriod);
    if (test.Verdict() != TVerdict::Done) return std::nullopt;
    return test.Elapsed();
}

TProposal Propose(const TRelayTest& test, double setpoint, double controlPeriod) {
    TProposal p;
    if (!(controlPeriod > 0.0)) return p;
    p.Model = IdentifyModel(test.Trace(), test.TimeScale());
    const auto measured = test.Oscillations() >= 2 ? test.Estimate() : std::nullopt;
    const auto modelled = !measured && p.Model ? ModelCycle(*p.Model, test.Settings(), controlPeriod) : std::nullopt;
    p.UltimateFromModel = modelled.has_value();
    p.Ultimate = measured ? *measured : modelled ? *modelled : test.Estimate().value_or(TUltimate{});
    p.Ku = UltimateGain(p.Ultimate.Amplitude);
    p.Classic = TyreusLuyben(p.Ultimate);
    p.Parameters = p.Classic;
    if (!(p.Ultimate.Period > 0.0) || !p.Model) return p;

    // The nominal model, and one that heats harder and answers later, for the margin.
    const double pu = p.Ultimate.Period;
    const TPlantModel nominal = *p.Model;
    TPlantModel worse = nominal;
    worse.Gain *= 1.05;
    worse.DeadTime = worse.DeadTime * 1.05 + 0.5 * controlPeriod;
    const double step = controlPeriod / FitSlices;
    TPlantModel slower = nominal;
    slower.Lag1 *= 1.05;
    slower.Lag2 *= 1.05;
    slower.Lag3 *= 1.05;
    slower.DeadTime *= 1.05;
    const std::vector<TTrial> trials{
        MakeTrial([=] { return std::make_unique<TModelPlant>(nominal, nominal.Ambient, step); }, setpoint,
                  controlPeriod, pu, 2.0),
        MakeTrial([=] { return std::make_unique<TModelPlant>(worse, worse.Ambient, step); }, setpoint, controlPeriod,
                  pu, 3.0),
        MakeTrial([=] { return std::make_unique<TModelPlant>(slower, slower.Ambient, step); }, setpoint, controlPeriod,
                  pu, 3.0)};
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
    t.Duration = std::min(3.0 * reached + 2.0 * period, 20000.0 * controlPeriod);
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
                cost += (i == 0 ? r.Iae / t.Limit : 0.0) + 10.0 * std::max(0.0, r.Overshoot - t.OvershootAllowed);
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
    TModelWatch watch;
    for (long k = 0; !test.Finished(); ++k) {
        const bool heater = test.Step(static_cast<double>(k) * controlPeriod, plant.Temperature());
        if (watch.Check(test, controlPeriod)) break;
        plant.Advance(controlPeriod, heater);
    }
    return test;
}

} // namespace autotune
