#include "programs/ProgramTable.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace {

using Points = std::vector<std::pair<std::int32_t, std::int32_t>>;

void Load(state::RegulatorState& s, int side, const Points& points) {
    s.ProgramCount[side] = static_cast<std::int32_t>(points.size());
    int n = 1;
    for (const auto& [time, temp] : points) {
        s.ProgramTime[side][n] = time;
        s.ProgramTemp[side][n] = temp;
        ++n;
    }
}

Points Table(const state::RegulatorState& s, int side) {
    Points out;
    for (int n = 1; n <= s.ProgramCount[side]; ++n) out.emplace_back(s.ProgramTime[side][n], s.ProgramTemp[side][n]);
    return out;
}

// ---- Sort -------------------------------------------------------------------------------------

struct SortCase {
    Points in;
    Points out;
};

TEST(ProgramSort, ExchangeSortAsWrittenIncludingItsInstability) {
    const std::vector<SortCase> cases = {
        {{}, {}},
        {{{7, 1}}, {{7, 1}}},
        {{{10, 100}, {10, 120}, {5, 80}}, {{5, 80}, {10, 120}, {10, 100}}}, // not stable
        {{{10, 100}, {10, 120}}, {{10, 100}, {10, 120}}},                   // equal times never exchanged directly
        {{{30, 3}, {20, 2}, {10, 1}}, {{10, 1}, {20, 2}, {30, 3}}},
        {{{0, 1}, {-5, 2}, {2147483647, 3}, {-2147483647 - 1, 4}}, {{-2147483647 - 1, 4}, {-5, 2}, {0, 1}, {2147483647, 3}}},
        // an already sorted table with equal times stays exactly as it is
        {{{10, 1}, {20, 2}, {20, 3}, {30, 4}}, {{10, 1}, {20, 2}, {20, 3}, {30, 4}}},
    };
    for (const auto& c : cases) {
        state::RegulatorState s;
        Load(s, 2, c.in);
        programs::SortProgram(s, 2);
        EXPECT_EQ(Table(s, 2), c.out);
    }
}

TEST(ProgramSort, TracksOnePointThroughTheExchanges) {
    state::RegulatorState s;
    Load(s, 1, {{10, 100}, {10, 120}, {5, 80}});
    EXPECT_EQ(programs::SortProgram(s, 1, 3), 1); // (5, 80) goes first
    Load(s, 1, {{10, 100}, {10, 120}, {5, 80}});
    EXPECT_EQ(programs::SortProgram(s, 1, 1), 3); // (10, 100) ends last
}

// ---- List rows ---------------------------------------------------------------------------------

TEST(ProgramList, RowsArePaddedUnderTheHeader) {
    const struct {
        std::int32_t time, temp;
        const char* row;
    } cases[] = {
        {10, 100, "   10       100"},
        {0, 20, "    0        20"},
        {3600, 150, " 3600       150"},
        {123456, 80, "123456        80"},
        {-1, -1, "   -1        -1"},
        {2147483647, 1234567890, "21474836471234567890"}, // longer values push the row right
    };
    for (const auto& c : cases) EXPECT_EQ(programs::ProgramRow(c.time, c.temp), c.row) << c.time;
}

TEST(ProgramList, AddingTwoPointsListsThemSortedBelowTheHeaders) {
    state::RegulatorState s;
    ASSERT_EQ(programs::AddPoint(s, 1, "30", "100"), programs::AddResult::Added);
    ASSERT_EQ(programs::AddPoint(s, 1, "10", "50"), programs::AddResult::Added);
    const std::vector<std::string> expected = {"  Cas     Teplota", "==================", "   10        50",
                                               "   30       100"};
    EXPECT_EQ(programs::ProgramListRows(s, 1), expected);
    EXPECT_EQ(programs::ProgramListRows(s, 2).size(), 2u);
}

// ---- Step curve --------------------------------------------------------------------------------

std::vector<std::pair<double, double>> Curve(const Points& points) {
    state::RegulatorState s;
    Load(s, 1, points);
    const auto c = programs::BuildStepCurve(s, 1);
    EXPECT_EQ(c.Keys.size(), c.Values.size());
    std::vector<std::pair<double, double>> out;
    for (std::size_t n = 0; n < c.Keys.size(); ++n) out.emplace_back(c.Keys[n], c.Values[n]);
    return out;
}

// Per-second curve: value at x = 1..n
std::vector<std::pair<double, double>> Dense(const std::vector<double>& values) {
    std::vector<std::pair<double, double>> out;
    for (std::size_t n = 0; n < values.size(); ++n) out.emplace_back(static_cast<double>(n + 1), values[n]);
    return out;
}

TEST(StepCurve, OnePointPerSecondAtMostOneStepPerSecond) {
    const struct {
        Points program;
        std::vector<double> values;
    } cases[] = {
        {{{0, 50}, {10, 100}, {20, 80}}, {50, 50, 50, 50, 50, 50, 50, 50, 50, 100, 100, 100, 100, 100, 100, 100, 100,
                                          100, 100, 80}},
        {{{5, 50}, {5, 60}, {10, 70}}, {0, 0, 0, 0, 50, 60, 60, 60, 60, 70}},
        {{{0, 1}, {0, 2}, {0, 3}, {1, 4}}, {1}},                 // more points than seconds: one per second
        {{{0, 1}, {0, 2}, {0, 3}, {4, 4}}, {1, 2, 3, 4}},
        {{{-7, 30}, {2, 40}}, {30, 40}},                         // negative times from a hand-edited file
        {{{3, -1}}, {0, 0, -1}},
    };
    for (const auto& c : cases) EXPECT_EQ(Curve(c.program), Dense(c.values));
}

TEST(StepCurve, NoCurveWithoutPointsOrWhenTheLastTimeIsNotPositive) {
    EXPECT_TRUE(Curve({}).empty());
    EXPECT_TRUE(Curve({{0, 100}}).empty());
    EXPECT_TRUE(Curve({{0, 100}, {0, 120}}).empty());
    EXPECT_TRUE(Curve({{-5, 100}}).empty());
}

TEST(StepCurve, BeyondAWeekOnlyTheStepChangesAreDrawn) {
    constexpr double week = static_cast<double>(programs::DenseCurveSeconds);
    const auto c = Curve({{10, 100}, {700000, 120}, {700000, 130}, {2147483647, 140}});
    // one point per second up to a week, then the changes and the final second
    const std::vector<std::pair<double, double>> tail = {
        {week, 100}, {699999, 100}, {700000, 120}, {700001, 130}, {2147483646, 130}, {2147483647, 140}};
    ASSERT_EQ(c.size(), static_cast<std::size_t>(week) + tail.size() - 1);
    EXPECT_EQ(c[8], std::make_pair(9.0, 0.0));
    EXPECT_EQ(c[9], std::make_pair(10.0, 100.0));
    EXPECT_EQ(std::vector(c.end() - static_cast<std::ptrdiff_t>(tail.size()), c.end()), tail);
}

TEST(StepCurve, SparseTailDrawsTheSameLineAsOnePointPerSecond) {
    // Every per-second value must lie on the polyline of the sparse curve.
    const Points program = {{604790, 1}, {604805, 2}, {604805, 3}, {604806, 4}, {604900, 5}, {605000, 6}};
    state::RegulatorState s;
    Load(s, 1, program);
    const auto c = programs::BuildStepCurve(s, 1);
    int i = 0;
    std::size_t seg = 0;
    for (std::int64_t sec = 1; sec <= 605000; ++sec) {
        if (i < 6 && sec >= s.ProgramTime[1][i + 1]) ++i;
        const double expected = i == 0 ? 0.0 : s.ProgramTemp[1][i];
        const double x = static_cast<double>(sec);
        // seg: the last chart point at or before x
        while (seg + 1 < c.Keys.size() && c.Keys[seg + 1] <= x) ++seg;
        double y = c.Values[seg];
        if (c.Keys[seg] != x) {
            // between two chart points the line must be level
            ASSERT_LT(seg + 1, c.Keys.size());
            ASSERT_EQ(c.Values[seg], c.Values[seg + 1]) << "a slanted segment at " << sec;
        }
        ASSERT_EQ(y, expected) << sec;
    }
    EXPECT_LT(c.Keys.size(), 604820u);
}

TEST(StepCurve, FullTableOfHugeTimesStaysSmall) {
    Points program;
    for (int n = 0; n < 100; ++n) program.emplace_back(2147483647 - 99 + n, n);
    const auto c = Curve(program);
    EXPECT_LE(c.size(), static_cast<std::size_t>(programs::DenseCurveSeconds) + 202);
    EXPECT_EQ(c.back(), std::make_pair(2147483647.0, 99.0));
}

// ---- Add ---------------------------------------------------------------------------------------

TEST(AddPoint, RefusesWhatIsNotAWholeNonNegativeNumber) {
    const struct {
        const char* time;
        const char* temp;
        programs::AddResult result;
    } cases[] = {
        {"abc", "100", programs::AddResult::Refused}, {"10", "abc", programs::AddResult::Refused},
        {"-5", "100", programs::AddResult::Refused},  {"10", "-5", programs::AddResult::Refused},
        {"", "100", programs::AddResult::Refused},    {"10", "", programs::AddResult::Refused},
        {"1,5", "100", programs::AddResult::Refused}, {"2147483648", "1", programs::AddResult::Refused},
        {"0", "0", programs::AddResult::Added},       {" 12 ", "$10", programs::AddResult::Added},
    };
    for (const auto& c : cases) {
        state::RegulatorState s;
        EXPECT_EQ(programs::AddPoint(s, 2, c.time, c.temp), c.result) << c.time << " / " << c.temp;
        EXPECT_EQ(s.ProgramCount[2], c.result == programs::AddResult::Added ? 1 : 0);
    }
}

TEST(AddPoint, TheHundredAndFirstPointIsDropped) {
    state::RegulatorState s;
    for (int n = 0; n < 100; ++n) ASSERT_EQ(programs::AddPoint(s, 1, "5", "5"), programs::AddResult::Added);
    const auto before = Table(s, 1);
    EXPECT_EQ(programs::AddPoint(s, 1, "1", "1"), programs::AddResult::Full);
    EXPECT_EQ(s.ProgramCount[1], 100);
    EXPECT_EQ(Table(s, 1), before);
    EXPECT_EQ(programs::AddPoint(s, 1, "x", "1"), programs::AddResult::Refused); // refusal still wins
}

TEST(AddPoint, SameRowsAsTheSortOfTheAppendedTable) {
    state::RegulatorState s;
    Load(s, 1, {{10, 100}, {10, 120}});
    programs::AddPoint(s, 1, "5", "80");
    EXPECT_EQ(Table(s, 1), (Points{{5, 80}, {10, 120}, {10, 100}}));
}

// ---- Delete ------------------------------------------------------------------------------------

TEST(DeletePoint, RemovesExactlyTheSelectedPoint) {
    const struct {
        Points in;
        int k;
        Points out;
    } cases[] = {
        {{{10, 1}, {20, 2}, {40000, 3}}, 1, {{20, 2}, {40000, 3}}}, // marking with 32000 s would drop (40000, 3)
        {{{10, 1}, {32000, 2}, {32000, 3}}, 2, {{10, 1}, {32000, 3}}},
        {{{10, 1}, {20, 2}, {30, 3}}, 3, {{10, 1}, {20, 2}}},
        {{{5, 1}, {5, 2}, {5, 3}}, 2, {{5, 1}, {5, 3}}},
        {{{7, 7}}, 1, {}},
    };
    for (const auto& c : cases) {
        state::RegulatorState s;
        Load(s, 1, c.in);
        EXPECT_TRUE(programs::DeletePoint(s, 1, c.k));
        EXPECT_EQ(Table(s, 1), c.out);
    }
}

TEST(DeletePoint, NothingHappensWithoutAPointRow) {
    state::RegulatorState s;
    Load(s, 1, {{10, 1}, {20, 2}});
    for (int row : {-1, 0, 1, 4, 10}) EXPECT_EQ(programs::PointOfRow(row, 2), 0) << row;
    EXPECT_EQ(programs::PointOfRow(2, 2), 1);
    EXPECT_EQ(programs::PointOfRow(3, 2), 2);
    EXPECT_FALSE(programs::DeletePoint(s, 1, 0));
    EXPECT_FALSE(programs::DeletePoint(s, 1, 3));
    EXPECT_EQ(s.ProgramCount[1], 2);
}

// ---- A running cycle keeps its next point ---------------------------------------------------------

TEST(ProgramStep, EditsKeepTheNextPoint) {
    const Points program = {{0, 50}, {10, 60}, {20, 70}, {30, 80}};
    const struct {
        int stepBefore;
        const char* addTime; // nullptr: delete point `del` instead
        int del;
        int stepAfter;
        std::int32_t nextTemp; // temperature of the next point to apply, -1 for none
    } cases[] = {
        {2, nullptr, 1, 1, 70},  // applied point deleted: lowered
        {2, nullptr, 2, 1, 70},
        {2, nullptr, 3, 2, 80},  // the next point itself deleted: the one after it is next
        {2, nullptr, 4, 2, 70},
        {4, nullptr, 4, 3, -1},
        {0, nullptr, 1, 0, 60},
        {2, "5", 0, 3, 70},      // inserted among the applied points: raised
        {2, "15", 0, 2, 99},     // inserted after the applied points: it is the next one
        {2, "40", 0, 2, 70},
        {4, "40", 0, 4, 99},     // everything applied: a later point is still applied
        {4, "25", 0, 5, -1},     // ...an earlier one is not
    };
    for (const auto& c : cases) {
        state::RegulatorState s;
        Load(s, 1, program);
        s.ProgramStep[1] = c.stepBefore;
        if (c.addTime) {
            ASSERT_EQ(programs::AddPoint(s, 1, c.addTime, "99"), programs::AddResult::Added);
        } else {
            ASSERT_TRUE(programs::DeletePoint(s, 1, c.del));
        }
        EXPECT_EQ(s.ProgramStep[1], c.stepAfter) << c.stepBefore << " " << (c.addTime ? c.addTime : "del");
        const std::int32_t next = s.ProgramStep[1] < s.ProgramCount[1] ? s.ProgramTemp[1][s.ProgramStep[1] + 1] : -1;
        EXPECT_EQ(next, c.nextTemp);
    }
}

// ---- Live setpoint past the program --------------------------------------------------------------

TEST(LiveSetpoint, OnlyStrictlyPastTheLastTimeOrAlwaysWhenEmpty) {
    state::RegulatorState s;
    EXPECT_TRUE(programs::LiveSetpointDue(s, 1, 0.5));
    EXPECT_FALSE(programs::LiveSetpointDue(s, 1, 0.0));
    Load(s, 1, {{0, 10}, {60, 20}});
    EXPECT_FALSE(programs::LiveSetpointDue(s, 1, 60.0));
    EXPECT_TRUE(programs::LiveSetpointDue(s, 1, 60.1));
    EXPECT_TRUE(programs::LiveSetpointDue(s, 2, 0.1));
}

} // namespace
