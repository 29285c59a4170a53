#include "regulation/Controller.h"

#include "FakeSwitch.h"
#include "state/CheckedMath.h"
#include "text/NumText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

using regulation::test::FakeSwitch;

namespace {

// The design-time parameters applied with a 5 s control period.
state::RegulatorState DesignState() {
    state::RegulatorState S;
    S.r0 = 0.01995;
    S.Ti = 31.5;
    S.Td = 2.35;
    regulation::ComputeCoefficients(S, 5000);
    return S;
}

struct Coefficients {
    double ModelGain, FastTau, SlowTau, FastDecay, FastInput, SlowDecay, SlowInput;
};
Coefficients Snapshot(const state::RegulatorState& S) {
    return {S.ModelGain, S.FastTau, S.SlowTau, S.FastDecay, S.FastInput, S.SlowDecay, S.SlowInput};
}

void ExpectDigits(double actual, double expected, double halfUlpOfDigits) {
    EXPECT_NEAR(actual, expected, halfUlpOfDigits) << "got " << actual;
}

} // namespace

TEST(ReadBoxNumber, KeepsThePreviousValueForTextThatIsNoNumber) {
    struct Case {
        const char* text;
        double previous;
        double value;
        const char* shown;
    } cases[] = {
        {"0,01995", 0.0, 0.01995, "0,01995"},
        {" 31,50 ", 1.0, 31.5, "31,5"},
        {"abc", 0.01995, 0.01995, "0,01995"},
        {"", 2.35, 2.35, "2,35"},
        {"2.35", 7.0, 7.0, "7"},        // the point is not the decimal separator
        {"1,2,3", 0.5, 0.5, "0,5"},
        {"1E400", 150.0, 150.0, "150"}, // overflows: not a number
        {"-1e-6", 0.0, -1e-6, "-1E-6"},
        {"abc", 0.0, 0.0, "0"},         // at start-up the previous value is 0
    };
    for (const auto& c : cases) {
        const auto read = regulation::ReadBoxNumber(c.text, c.previous);
        EXPECT_EQ(read.Value, c.value) << c.text;
        EXPECT_EQ(read.Text, c.shown) << c.text;
    }
}

TEST(ClampTvz, ClampsInTwoStepsInThatOrder) {
    struct Case {
        double entered;
        double kept;
    } cases[] = {
        {7.0, 60.0}, {0.0, 5.0}, {-1.0, 5.0}, {0.05, 5.0}, {6.0, 6.0}, {0.1, 0.1},
        {6.0000001, 60.0}, {60.0, 60.0}, {1000.0, 60.0}, {0.0999, 5.0}, {5.0, 5.0},
    };
    for (const auto& c : cases) EXPECT_EQ(regulation::ClampTvz(c.entered), c.kept) << c.entered;
}

TEST(IntervalMs, TruncatesTheDecimalValueToWholeMilliseconds) {
    struct Case {
        double tvz;
        std::uint32_t ms;
    } cases[] = {
        {0.1, 100}, {0.1234, 123}, {0.1239, 123}, {5.0, 5000}, {6.0, 6000}, {60.0, 60000},
        {0.29, 290}, {4.35, 4350}, {0.7, 700}, {1.0005, 1000}, {0.123999, 123},
    };
    for (const auto& c : cases) EXPECT_EQ(regulation::IntervalMs(c.tvz), c.ms) << c.tvz;
}

TEST(IntervalMs, EveryPeriodTypedInWholeMillisecondsGivesExactlyThatInterval) {
    // Typed as text with three decimals, e.g. "0,123": binary neighbours must not lose a millisecond.
    for (int ms = 100; ms <= 6000; ++ms) {
        char text[16];
        std::snprintf(text, sizeof text, "%d,%03d", ms / 1000, ms % 1000);
        const double tvz = numtext::ParseFloat(text).value();
        ASSERT_EQ(regulation::IntervalMs(tvz), static_cast<std::uint32_t>(ms)) << tvz;
    }
}

TEST(IntervalMs, RefusesWhatNoTimerCanTake) {
    EXPECT_THROW(regulation::IntervalMs(-0.5), state::EInvalidOp);
    EXPECT_THROW(regulation::IntervalMs(1e10), state::EInvalidOp);
    EXPECT_THROW(regulation::IntervalMs(std::numeric_limits<double>::quiet_NaN()), state::EInvalidOp);
}

TEST(ComputeCoefficients, DesignParametersGiveTheWorkedExample) {
    const auto S = DesignState();
    EXPECT_EQ(S.ControlPeriod, 5.0);
    ExpectDigits(std::sqrt(1 - 4 * S.Td / S.Ti), 0.837608, 5e-7);
    ExpectDigits(S.ModelGain, 59.8434, 5e-5);
    ExpectDigits(S.FastTau, 2.55767, 5e-6);
    ExpectDigits(S.SlowTau, 28.9423, 5e-5);
    ExpectDigits(S.FastDecay, 0.141578, 5e-7);
    ExpectDigits(S.FastInput, 51.3709, 5e-5);
    ExpectDigits(S.SlowDecay, 0.841342, 5e-7);
    ExpectDigits(S.SlowInput, 9.49465, 5e-6);
}

TEST(ComputeCoefficients, ControlPeriodComesFromTheIntervalActuallySet) {
    state::RegulatorState S;
    S.r0 = 0.01995;
    S.Ti = 31.5;
    S.Td = 2.35;
    regulation::ComputeCoefficients(S, regulation::IntervalMs(0.1234));
    EXPECT_EQ(S.ControlPeriod, 0.123);
    EXPECT_DOUBLE_EQ(S.FastDecay, std::exp(-0.123 / S.FastTau));
}

// What a failure part-way leaves: everything computed before the failing step, and nothing after.
TEST(ComputeCoefficients, FailurePartWayLeavesWhatWasComputedBefore) {
    struct Case {
        const char* name;
        double r0, Ti, Td;
        bool gainStored; // ModelGain, FastTau and SlowTau stored before the failure
    } cases[] = {
        {"Ti = 0", 0.01995, 0.0, 2.35, false},
        {"Ti = 0, Td = 0", 0.01995, 0.0, 0.0, false},
        {"r0 = 0", 0.0, 31.5, 2.35, false},
        {"4Td = Ti", 0.01995, 10.0, 2.5, false},
        {"4Td > Ti", 0.01995, 9.0, 2.5, false},
        {"Td = 0", 0.01995, 31.5, 0.0, true},
        {"r0 < 0", -0.01995, 31.5, 2.35, false},
        {"Td < 0", 0.01995, 31.5, -1.0, false},
        {"Ti < 0", 0.01995, -31.5, 2.35, false},
    };
    for (const auto& c : cases) {
        auto S = DesignState();
        const auto before = Snapshot(S);
        S.r0 = c.r0;
        S.Ti = c.Ti;
        S.Td = c.Td;
        EXPECT_THROW(regulation::ComputeCoefficients(S, 2000), state::EMathError) << c.name;
        EXPECT_EQ(S.ControlPeriod, 2.0) << c.name; // step 7 happened before
        if (c.gainStored) {
            EXPECT_DOUBLE_EQ(S.ModelGain, 1.0 / c.r0) << c.name;
            EXPECT_EQ(S.FastTau, 0.0) << c.name;
            EXPECT_EQ(S.SlowTau, c.Ti) << c.name;
        } else {
            EXPECT_EQ(S.ModelGain, before.ModelGain) << c.name;
            EXPECT_EQ(S.FastTau, before.FastTau) << c.name;
            EXPECT_EQ(S.SlowTau, before.SlowTau) << c.name;
        }
        EXPECT_EQ(S.FastDecay, before.FastDecay) << c.name;
        EXPECT_EQ(S.FastInput, before.FastInput) << c.name;
        EXPECT_EQ(S.SlowDecay, before.SlowDecay) << c.name;
        EXPECT_EQ(S.SlowInput, before.SlowInput) << c.name;
        for (double x : {S.ModelGain, S.FastTau, S.SlowTau, S.FastDecay, S.FastInput, S.SlowDecay, S.SlowInput})
            EXPECT_TRUE(std::isfinite(x)) << c.name;
    }
}

TEST(ResetModel, ZeroesLagsAndProgramStepsButKeepsPredictedRise) {
    state::RegulatorState S;
    for (int side : {1, 2}) {
        S.SideState[side].FastLag = 3.0;
        S.SideState[side].SlowLag = 1.0;
        S.SideState[side].PredictedRise = 2.0;
        S.ProgramStep[side] = 4;
    }
    regulation::ResetModel(S);
    for (int side : {1, 2}) {
        EXPECT_EQ(S.SideState[side].FastLag, 0.0);
        EXPECT_EQ(S.SideState[side].SlowLag, 0.0);
        EXPECT_EQ(S.SideState[side].PredictedRise, 2.0);
        EXPECT_EQ(S.ProgramStep[side], 0);
    }
}

namespace {

struct TickRow {
    bool in;
    double fast, slow, rise, g;
    bool result;
};

// Runs DecideHeater tick after tick at a constant temperature, storing each result into the
// switch as the control tick does, and compares with the rows (four decimals).
void RunTicks(double temperature, const std::vector<TickRow>& rows) {
    auto S = DesignState();
    FakeSwitch heater;
    S.SideState[1].HeaterSwitch = &heater;
    S.SideState[1].Temperature = temperature;
    int tick = 0;
    for (const auto& row : rows) {
        ++tick;
        EXPECT_EQ(heater.Checked(), row.in) << "tick " << tick;
        const bool result = regulation::DecideHeater(S, 1, 150.0);
        const auto& R = S.SideState[1];
        EXPECT_NEAR(R.FastLag, row.fast, 5e-5) << "tick " << tick;
        EXPECT_NEAR(R.SlowLag, row.slow, 5e-5) << "tick " << tick;
        EXPECT_NEAR(R.PredictedRise, row.rise, 5e-5) << "tick " << tick;
        EXPECT_NEAR(R.Temperature + R.PredictedRise, row.g, 5e-5) << "tick " << tick;
        EXPECT_EQ(result, row.result) << "tick " << tick;
        heater.SetChecked(result);
    }
}

} // namespace

TEST(DecideHeater, FiveTickTableAt145) {
    RunTicks(145.0, {
                        {false, 0, 0, 0, 145.0, true},
                        {true, 51.3709, 9.4946, 41.8762, 186.8762, false},
                        {false, 7.2730, 7.9882, -0.7152, 144.2848, true},
                        {true, 52.4006, 16.2155, 36.1851, 181.1851, false},
                        {false, 7.4188, 13.6428, -6.2240, 138.7760, true},
                    });
}

TEST(DecideHeater, FarBelowTheSetpointTheHeaterStaysOn) {
    RunTicks(100.0, {
                        {false, 0, 0, 0, 100.0, true},
                        {true, 51.3709, 9.4946, 41.8762, 141.8762, true},
                        {true, 58.6439, 17.4829, 41.1610, 141.1610, true},
                        {true, 59.6736, 24.2037, 35.4698, 135.4698, true},
                        {true, 59.8194, 29.8583, 29.9611, 129.9611, true},
                    });
}

TEST(DecideHeater, TheBandEdgesKeepTheCurrentState) {
    // Lags at 0 with the heater off: g is the temperature itself.
    struct Case {
        double temperature;
        bool current;
        bool result;
    } cases[] = {
        {150.5, true, true},   {150.5, false, false}, {149.5, true, true},   {149.5, false, false},
        {150.50001, true, false}, {149.49999, false, true}, {150.0, true, true}, {150.0, false, false},
    };
    for (const auto& c : cases) {
        state::RegulatorState S; // coefficients 0: the model stays at 0 whatever the switch
        FakeSwitch heater;
        heater.SetChecked(c.current);
        S.SideState[2].HeaterSwitch = &heater;
        S.SideState[2].Temperature = c.temperature;
        EXPECT_EQ(regulation::DecideHeater(S, 2, 150.0), c.result) << c.temperature << " " << c.current;
        EXPECT_EQ(heater.Checked(), c.current) << "the decision does not set the switch";
    }
}

TEST(DecideHeater, AdvancesOnlyTheSideAsked) {
    auto S = DesignState();
    FakeSwitch one, two;
    one.SetChecked(true);
    two.SetChecked(true);
    S.SideState[1].HeaterSwitch = &one;
    S.SideState[2].HeaterSwitch = &two;
    regulation::DecideHeater(S, 2, 150.0);
    EXPECT_EQ(S.SideState[1].FastLag, 0.0);
    EXPECT_NEAR(S.SideState[2].FastLag, 51.3709, 5e-5);
}

TEST(DecideHeater, ASideWithItsOwnSetDecidesWithItsOwnCoefficients) {
    state::RegulatorState S;
    S.r0 = 0.01995;
    S.Ti = 31.5;
    S.Td = 2.35;
    S.OwnParameters[2] = regulation::SideParametersFromText("0,0182", "1086", "102,3");
    ASSERT_TRUE(S.OwnParameters[2].has_value());
    regulation::ComputeCoefficients(S, 5000);
    const auto design = DesignState();
    const Coefficients shared = Snapshot(S), expected = Snapshot(design);
    EXPECT_EQ(shared.FastInput, expected.FastInput) << "the shared set is the shared set";
    EXPECT_EQ(shared.SlowDecay, expected.SlowDecay);

    // Side 2's coefficients are those the shared computation gives for its own parameters.
    state::RegulatorState alone;
    alone.r0 = 0.0182;
    alone.Ti = 1086;
    alone.Td = 102.3;
    regulation::ComputeCoefficients(alone, 5000);
    FakeSwitch one, two;
    one.SetChecked(true);
    two.SetChecked(true);
    S.SideState[1].HeaterSwitch = &one;
    S.SideState[2].HeaterSwitch = &two;
    S.SideState[1].Temperature = S.SideState[2].Temperature = 100.0;
    regulation::DecideHeater(S, 1, 150.0);
    regulation::DecideHeater(S, 2, 150.0);
    EXPECT_NEAR(S.SideState[1].FastLag, 51.3709, 5e-5);
    EXPECT_EQ(S.SideState[2].FastLag, alone.FastInput);
    EXPECT_EQ(S.SideState[2].SlowLag, alone.SlowInput);

    // Sets the model cannot be built from are none; computing one refuses and keeps the old.
    EXPECT_FALSE(regulation::SideParametersFromText("abc", "1086", "102,3"));
    EXPECT_FALSE(regulation::SideParametersFromText("0,02", "10", "2,5")) << "4·Td = Ti";
    EXPECT_FALSE(regulation::SideParametersFromText("0,02", "", "2"));
    state::SideParameters bad = *S.OwnParameters[2];
    bad.Td = bad.Ti;
    const double before = bad.FastInput;
    EXPECT_THROW(regulation::ComputeSideCoefficients(bad, 5.0), state::EInvalidOp);
    EXPECT_EQ(bad.FastInput, before);
}

TEST(DecideHeater, OverflowRaisesAndLeavesTheModelAsItWas) {
    state::RegulatorState S;
    FakeSwitch heater;
    S.SideState[1].HeaterSwitch = &heater;
    S.FastDecay = 1e300;
    S.SideState[1].FastLag = 1e300;
    EXPECT_THROW(regulation::DecideHeater(S, 1, 150.0), state::EMathError);
    EXPECT_EQ(S.SideState[1].FastLag, 1e300);
}
