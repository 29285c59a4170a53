#include "regulation/Cycle.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

void SetProgram(state::RegulatorState& S, int side, std::initializer_list<std::pair<int, int>> points) {
    int n = 0;
    for (const auto& [time, temp] : points) {
        ++n;
        S.ProgramTime[side][n] = time;
        S.ProgramTemp[side][n] = temp;
    }
    S.ProgramCount[side] = n;
}

void RunTimeBase(state::RegulatorState& S, int ticks) {
    for (int i = 0; i < ticks; ++i) regulation::TimeBaseTick(S);
}

} // namespace

TEST(TimeBase, CycleTimeIsTheTickCountOverTenWithoutDrift) {
    state::RegulatorState S;
    RunTimeBase(S, 100);
    EXPECT_EQ(S.CycleTime(), 10.0); // adding 0.1 a hundred times would give 9.99999999999998
    RunTimeBase(S, 36000 - 100);
    EXPECT_EQ(S.CycleTime(), 3600.0);
    EXPECT_EQ(regulation::WholeSeconds(S), 3600);
    regulation::TimeBaseTick(S);
    EXPECT_EQ(regulation::WholeSeconds(S), 3600); // 3600,1 s truncated
}

TEST(StepProgram, OnePointPerSideAndTickNeverSkipping) {
    // Points at 0 s and 2 s, control period 5 s: the first tick applies point 1, the next point 2.
    state::RegulatorState S;
    SetProgram(S, 1, {{0, 80}, {2, 120}});
    RunTimeBase(S, 50);
    EXPECT_TRUE(regulation::StepProgram(S, 1));
    EXPECT_EQ(S.Setpoint[1], 80.0);
    EXPECT_EQ(S.ProgramStep[1], 1);
    RunTimeBase(S, 50);
    EXPECT_TRUE(regulation::StepProgram(S, 1));
    EXPECT_EQ(S.Setpoint[1], 120.0);
    EXPECT_FALSE(regulation::StepProgram(S, 1)); // nothing left
    EXPECT_EQ(S.ProgramStep[1], 2);
}

TEST(StepProgram, APointIsDueExactlyAtItsTime) {
    struct Case {
        int ticks;
        bool applied;
    } cases[] = {{0, false}, {99, false}, {100, true}, {101, true}};
    for (const auto& c : cases) {
        state::RegulatorState S;
        SetProgram(S, 2, {{10, 60}});
        S.Setpoint[2] = 150.0;
        RunTimeBase(S, c.ticks);
        EXPECT_EQ(regulation::StepProgram(S, 2), c.applied) << c.ticks;
        EXPECT_EQ(S.Setpoint[2], c.applied ? 60.0 : 150.0) << c.ticks;
        EXPECT_EQ(S.Setpoint[1], 0.0) << "the other side is untouched";
    }
}

TEST(StepProgram, AnEmptyProgramLeavesTheSetpoint) {
    state::RegulatorState S;
    S.Setpoint[1] = 0.0;
    RunTimeBase(S, 10000);
    EXPECT_FALSE(regulation::StepProgram(S, 1));
    EXPECT_EQ(S.Setpoint[1], 0.0);
}

TEST(StepProgram, AFullTableStopsAtItsLastPoint) {
    state::RegulatorState S;
    for (int i = 1; i <= state::MaxProgramPoints; ++i) {
        S.ProgramTime[1][i] = 0;
        S.ProgramTemp[1][i] = i;
    }
    S.ProgramCount[1] = state::MaxProgramPoints;
    int applied = 0;
    for (int tick = 0; tick < 150; ++tick) applied += regulation::StepProgram(S, 1) ? 1 : 0;
    EXPECT_EQ(applied, state::MaxProgramPoints);
    EXPECT_EQ(S.Setpoint[1], 100.0);
}

TEST(CycleTests, EndAndBeepAreStrictAndSentOnce) {
    struct Case {
        std::int32_t length;
        std::int64_t ticks;
        bool ended, beepSent;
        bool endDue, beepDue;
    } cases[] = {
        {180, 1800, false, false, false, true},  // exactly at the length: not past it
        {180, 1801, false, false, true, true},
        {180, 1600, false, false, false, false}, // exactly 20 s before: no beep yet
        {180, 1601, false, false, false, true},
        {180, 1900, true, true, false, false},   // handled already
        {15, 1, false, false, false, true},      // short cycle: beep at its first tick
        {0, 1, false, false, true, true},        // before any Start the length is 0
        {-5, 0, false, false, true, true},       // negative lengths are accepted
        {std::numeric_limits<std::int32_t>::min(), 0, false, false, true, true}, // no wrap-around
    };
    for (const auto& c : cases) {
        state::RegulatorState S;
        S.CycleLength = c.length;
        S.CycleTicks = c.ticks;
        S.CycleEnded = c.ended;
        S.BeepSent = c.beepSent;
        EXPECT_EQ(regulation::EndOfCycleDue(S), c.endDue) << c.length << " " << c.ticks;
        EXPECT_EQ(regulation::BeepDue(S), c.beepDue) << c.length << " " << c.ticks;
    }
}

TEST(CycleLengthFromText, WholeNumberOr180) {
    struct Case {
        const char* text;
        std::int32_t length;
    } cases[] = {{"180", 180}, {" 600 ", 600}, {"abc", 180}, {"", 180}, {"1,5", 180}, {"-10", -10}, {"0", 0},
                 {"99999999999", 180}};
    for (const auto& c : cases) EXPECT_EQ(regulation::CycleLengthFromText(c.text), c.length) << c.text;
}

TEST(HeaterCommands, LampRelayAndStarInThatOrder) {
    const auto on = regulation::HeaterCommands(true);
    const auto off = regulation::HeaterCommands(false);
    EXPECT_EQ(std::string(on[0]).append(on[1]).append(on[2]), "@ledka=1&@rele=1&*");
    EXPECT_EQ(std::string(off[0]).append(off[1]).append(off[2]), "@ledka=0&@rele=0&*");
}
