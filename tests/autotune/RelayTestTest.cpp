// The relay test's analysis on signals whose period and amplitude are known: it must measure them,
// ride out moderate noise, end an oscillation that alternates between two periods, measure the
// noise at rest and widen its band for it, and give up with the right reason on noise, drift and
// no oscillation.
#include "autotune/RelayTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <random>
#include <vector>

namespace {

using autotune::TRelaySettings;
using autotune::TRelayTest;
using autotune::TVerdict;

constexpr double Setpoint = 100.0;

TRelayTest Feed(const std::function<double(double)>& signal, double step = 2.0, int rest = 0) {
    TRelaySettings s;
    s.Setpoint = Setpoint;
    s.RestSamples = rest;
    TRelayTest test(s);
    for (double t = 0.0; !test.Finished(); t += step) test.Step(t, signal(t));
    return test;
}

double Wave(double t, double period, double amplitude) {
    return Setpoint + amplitude * std::sin(2.0 * std::numbers::pi * t / period);
}

TEST(RelayTest, MeasuresPeriodAndAmplitudeAlsoThroughModerateNoise) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> noise(-0.3, 0.3);
    for (const double n : {0.0, 1.0}) {
        const TRelayTest test = Feed([&](double t) { return Wave(t, 300.0, 6.0) + n * noise(rng); });
        ASSERT_EQ(test.Verdict(), TVerdict::Done) << "noise " << n;
        const auto u = test.Estimate();
        ASSERT_TRUE(u.has_value());
        EXPECT_NEAR(u->Period, 300.0, 4.0) << "noise " << n;
        EXPECT_NEAR(u->Amplitude, 6.0, 0.1 + 0.3 * n) << "noise " << n;
        // The first period is discarded; four more agreeing ones end it.
        EXPECT_EQ(test.Oscillations(), 4) << "noise " << n;
        EXPECT_EQ(test.DoneBy(), autotune::TDoneBy::Periods);
        EXPECT_LT(test.Elapsed(), 6.0 * 300.0);
        EXPECT_TRUE(test.Reason().empty());
    }
}

// Periods of 24 s and 27 s in turn, the swing 5,3 and 6,7 degC in turn (a relay sampled at a
// phase that alternates does this), with noise on top.
double Alternating(double t, double noise) {
    constexpr double Pair = 24.0 + 27.0;
    const double inPair = std::fmod(t, Pair);
    const bool first = inPair < 24.0;
    const double period = first ? 24.0 : 27.0;
    const double amplitude = first ? 5.3 : 6.7;
    return Setpoint - amplitude * std::sin(2.0 * std::numbers::pi * (first ? inPair : inPair - 24.0) / period) + noise;
}

TEST(RelayTest, AnOscillationThatAlternatesEndsByItsPairsAndTheEstimateSpansBoth) {
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 0.2);
    const TRelayTest test = Feed([&](double t) { return Alternating(t, noise(rng)); }, 1.0);
    ASSERT_EQ(test.Verdict(), TVerdict::Done);
    EXPECT_EQ(test.DoneBy(), autotune::TDoneBy::Periods);
    EXPECT_LE(test.Oscillations(), 8);
    const auto u = test.Estimate();
    ASSERT_TRUE(u.has_value());
    EXPECT_NEAR(u->Period, 25.5, 1.0) << "a mean over both periods of the alternation";
    EXPECT_NEAR(u->Amplitude, 6.0, 0.5);
}

TEST(RelayTest, TheNoiseAtRestWidensTheBandBeforeTheRelayStarts) {
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 0.5);
    TRelaySettings s;
    s.Setpoint = Setpoint;
    s.Hysteresis = 0.5;
    s.RestSamples = 40;
    TRelayTest test(s);
    for (int k = 0; k < 40; ++k) {
        EXPECT_FALSE(test.Step(k, 60.0 + 0.1 * k + noise(rng))) << "the heater rests while the noise is measured";
    }
    EXPECT_FALSE(test.Resting());
    EXPECT_NEAR(test.Noise(), 0.5, 0.15) << "a steady rise is no noise";
    EXPECT_GE(test.Hysteresis(), autotune::NoiseMargin * test.Noise());
    EXPECT_EQ(test.EnteredHysteresis(), 0.5);
    EXPECT_TRUE(test.Step(40, 60.0)) << "then the relay heats below the band";

    // A quiet sensor keeps the band as entered.
    s.RestSamples = 8;
    TRelayTest quiet(s);
    for (int k = 0; k < 8; ++k) quiet.Step(k, 20.0 + 0.1 * k);
    EXPECT_NEAR(quiet.Noise(), 0.0, 1e-9);
    EXPECT_EQ(quiet.Hysteresis(), 0.5);
}

TEST(RelayTest, TheHeaterFollowsTheBandAndStaysOffAfterTheEnd) {
    TRelaySettings s;
    s.Setpoint = Setpoint;
    s.Hysteresis = 2.0;
    s.RestSamples = 0;
    TRelayTest test(s);
    EXPECT_TRUE(test.Step(0, 97.9));   // below 98: on
    EXPECT_TRUE(test.Step(1, 101.9));  // inside the band: stays on
    EXPECT_FALSE(test.Step(2, 102.1)); // above 102: off
    EXPECT_FALSE(test.Step(3, 98.5));  // inside the band: stays off
    EXPECT_TRUE(test.Step(4, 97.0));
    test.Abort("Zruseno obsluhou");
    EXPECT_EQ(test.Verdict(), TVerdict::Aborted);
    EXPECT_EQ(test.Reason(), "Zruseno obsluhou");
    EXPECT_FALSE(test.Step(5, 50.0)) << "a finished test never heats";
}

TEST(RelayTest, GivesUpAtTheTimeLimitWithTheReason) {
    // Swings whose periods scatter at random between 150 s and 450 s and their size between 2,5
    // and 7,5 degC, as a sensor noisier than the band makes them.
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> length(150.0, 450.0), size(2.5, 7.5);
    std::vector<double> starts{0.0}, sizes{size(rng)};
    while (starts.back() < 8000.0) {
        starts.push_back(starts.back() + length(rng));
        sizes.push_back(size(rng));
    }
    const auto scattered = [&](double t) {
        const auto k = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), t) - starts.begin());
        const double begin = starts[k - 1], end = starts[k];
        return Setpoint - sizes[k - 1] * std::sin(2.0 * std::numbers::pi * (t - begin) / (end - begin));
    };
    struct Case {
        const char* what;
        std::function<double(double)> signal;
        TVerdict expected;
    };
    const Case cases[] = {
        {"never reaches the band", [](double t) { return 60.0 + t / 1000.0; }, TVerdict::NoOscillation},
        {"flat inside the band", [](double) { return Setpoint; }, TVerdict::NoOscillation},
        {"growing swings", [](double t) { return Wave(t, 300.0, 2.0 * std::exp(t / 1500.0)); }, TVerdict::Drifting},
        {"swings that die away", [](double t) { return Wave(t, 300.0, 8.0 * std::exp(-t / 1500.0)); },
         TVerdict::Drifting},
        {"swings that scatter", scattered, TVerdict::TooNoisy},
        {"too slow for the time", [](double t) { return Wave(t, 2500.0, 5.0); }, TVerdict::TooSlow},
    };
    for (const Case& c : cases) {
        const TRelayTest test = Feed(c.signal);
        EXPECT_EQ(test.Verdict(), c.expected) << c.what;
        EXPECT_GE(test.Elapsed(), 7200.0) << c.what;
        EXPECT_EQ(test.Reason(), autotune::VerdictText(c.expected)) << c.what;
    }
}

} // namespace
