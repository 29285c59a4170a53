// The relay test's analysis on signals whose period and amplitude are known: it must measure them,
// ride out moderate noise, and give up with the right reason on noise, drift and no oscillation.
#include "autotune/RelayTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <random>

namespace {

using autotune::TRelaySettings;
using autotune::TRelayTest;
using autotune::TVerdict;

constexpr double Setpoint = 100.0;

TRelayTest Feed(const std::function<double(double)>& signal, double step = 2.0) {
    TRelaySettings s;
    s.Setpoint = Setpoint;
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
        EXPECT_LT(test.Elapsed(), 6.0 * 300.0);
        EXPECT_TRUE(test.Reason().empty());
    }
}

TEST(RelayTest, TheHeaterFollowsTheBandAndStaysOffAfterTheEnd) {
    TRelaySettings s;
    s.Setpoint = Setpoint;
    s.Hysteresis = 2.0;
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
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> heavy(-4.0, 4.0);
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
        {"noise larger than the band", [&](double t) { return Wave(t, 300.0, 1.5) + heavy(rng); }, TVerdict::TooNoisy},
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
