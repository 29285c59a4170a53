// The alarm list as tables of passes: what begins and ends, what the operator's acknowledgement
// does to plain and latched alarms, the notes left behind, when the alarms are heard, and the
// status line's words.
#include "supervision/AlarmList.h"
#include "supervision/StatusLine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using supervision::AlarmChange;
using supervision::AlarmKind;
using supervision::TAlarmList;

const AlarmKind Stale{"stale", "bez teploty"};
const AlarmKind Limit{"over-temperature", "nad mezi", true};
const AlarmKind Runaway{"runaway", "topeni se nevypina", true, true};

platform::LocalDateTime At(int second) {
    return {2026, 12, 8, 14, 5, second};
}

std::vector<std::string> NoteTexts(const TAlarmList& list) {
    std::vector<std::string> texts;
    for (const auto& n : list.Notes())
        texts.push_back(n.Text);
    return texts;
}

TEST(AlarmList, BeginsStandsAndEndsWithItsConditionUnlessLatched) {
    // Each step: a pass over side 1's kinds (or the operator's acknowledgement), and what it finds.
    enum Op { Pass, Ack };
    struct Step {
        Op op;
        bool stale, limit;
        AlarmChange staleChange, limitChange;
        std::vector<std::string> standing; // kinds in the list afterwards
        std::vector<std::string> notes;
    };
    const Step steps[] = {
        {Pass, false, false, AlarmChange::None, AlarmChange::None, {}, {}},
        {Pass, true, true, AlarmChange::Began, AlarmChange::Began, {"stale", "over-temperature"}, {}},
        {Pass, true, true, AlarmChange::None, AlarmChange::None, {"stale", "over-temperature"}, {}},
        // The conditions pass: the plain alarm ends with its note, the latched one waits.
        {Pass, false, false, AlarmChange::Ended, AlarmChange::None, {"over-temperature"}, {"back"}},
        {Pass, false, true, AlarmChange::None, AlarmChange::None, {"over-temperature"}, {"back"}},
        {Pass, false, false, AlarmChange::None, AlarmChange::None, {"over-temperature"}, {"back"}},
        {Ack, false, false, AlarmChange::None, AlarmChange::None, {}, {"cool", "back"}},
        // Acknowledged while it holds: it stands (acknowledged) and ends with its condition.
        {Pass, false, true, AlarmChange::None, AlarmChange::Began, {"over-temperature"}, {"cool", "back"}},
        {Ack, false, true, AlarmChange::None, AlarmChange::None, {"over-temperature"}, {"cool", "back"}},
        {Pass, false, false, AlarmChange::None, AlarmChange::Ended, {}, {"cool", "cool", "back"}},
    };
    TAlarmList list;
    int second = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(second);
        if (step.op == Ack) {
            list.Acknowledge(0, At(second));
        } else {
            EXPECT_EQ(list.Set(1, Stale, step.stale, "silent", "back", At(second)), step.staleChange);
            EXPECT_EQ(list.Set(1, Limit, step.limit, "hot", "cool", At(second)), step.limitChange);
        }
        std::vector<std::string> standing;
        for (const auto& a : list.Alarms())
            standing.push_back(a.Kind);
        EXPECT_EQ(standing, step.standing);
        EXPECT_EQ(NoteTexts(list), step.notes);
        ++second;
    }
    EXPECT_EQ(list.Alarms().empty(), true);

    // An alarm keeps the time it began and its first text; acknowledging one side leaves the other.
    list.Set(2, Stale, true, "side 2 silent", "", At(40));
    list.Set(1, Stale, true, "side 1 silent", "", At(41));
    list.Set(2, Stale, true, "another text", "", At(42));
    ASSERT_EQ(list.Alarms().size(), 2u);
    EXPECT_EQ(list.Alarms()[0].Text, "side 2 silent");
    EXPECT_EQ(list.Alarms()[0].Since.Second, 40);
    const auto acknowledged = list.Acknowledge(1, At(43));
    ASSERT_EQ(acknowledged.size(), 1u);
    EXPECT_EQ(acknowledged[0].Text, "side 1 silent");
    EXPECT_TRUE(list.Unacknowledged(2));
    EXPECT_FALSE(list.Unacknowledged(1));
    EXPECT_TRUE(list.Acknowledge(1, At(44)).empty()) << "acknowledged once";
    EXPECT_EQ(list.ShortText(1), "bez teploty");
    list.Set(1, Limit, true, "hot", "", At(45));
    EXPECT_EQ(list.ShortText(1), "bez teploty, nad mezi");
    EXPECT_EQ(list.ShortText(2), "bez teploty");

    // Notes: the newest first, at most MaxAlarmNotes, gone once the operator has seen them.
    for (int i = 0; i < 7; ++i)
        list.AddNote(1, "note " + std::to_string(i), i == 6, At(50 + i));
    ASSERT_EQ(list.Notes().size(), supervision::MaxAlarmNotes);
    EXPECT_EQ(list.Notes().front().Text, "note 6");
    EXPECT_TRUE(list.Notes().front().Warning);
    EXPECT_EQ(list.Notes().back().Text, "note 2");
    list.AcknowledgeNotes();
    EXPECT_TRUE(list.Notes().empty());
}

TEST(AlarmList, HeardAtOnceThenEveryTenSecondsUntilAcknowledged) {
    const auto t0 = std::chrono::steady_clock::time_point{} + 1h;
    TAlarmList list;
    // Each step: seconds from t0, what happens first, the sides heard (empty: none).
    enum Op { Nothing, Side1Stale, Side2Runaway, AckAll, RunawayEnds, Side1Again };
    struct Step {
        double at;
        Op op;
        bool quiet;
        std::vector<int> heard;
    };
    const Step steps[] = {
        {0, Nothing, false, {}},       {1, Side1Stale, false, {1}}, // at once
        {5, Nothing, false, {}},       {10.9, Nothing, false, {}},
        {11, Nothing, false, {1}},     // 10 s later
        {12, Side2Runaway, false, {}}, // a new alarm waits for the interval
        {21, Nothing, false, {1, 2}},  {22, AckAll, false, {}},
        {31, Nothing, false, {2}}, // the runaway is heard until it ends
        {41, Nothing, true, {2}},  // even with the sound set off
        {45, RunawayEnds, false, {}},  {60, Nothing, false, {}},
        {61, Side1Again, true, {}}, // set off: a plain alarm is not heard
        {62, Nothing, false, {1}},  // heard at once once the sound is on
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.at);
        const auto now = t0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(step.at));
        switch (step.op) {
        case Side1Stale:
            list.Set(1, Stale, true, "silent", "back", At(0));
            break;
        case Side2Runaway:
            list.Set(2, Runaway, true, "runaway", "cool", At(0));
            break;
        case AckAll:
            list.Acknowledge(0, At(0));
            break;
        case RunawayEnds:
            list.Set(2, Runaway, false, "", "cool", At(0));
            break;
        case Side1Again:
            list.Set(1, Stale, false, "", "back", At(0));
            list.Set(1, Stale, true, "silent", "back", At(0));
            break;
        case Nothing:
            break;
        }
        EXPECT_EQ(list.SoundDue(now, step.quiet), step.heard);
    }
}

TEST(StatusLine, TellsTheCycleAndTheSidesInWords) {
    using supervision::CyclePhase;
    EXPECT_EQ(supervision::PhaseOf(false, true, false), CyclePhase::Idle);
    EXPECT_EQ(supervision::PhaseOf(true, true, false), CyclePhase::Running);
    EXPECT_EQ(supervision::PhaseOf(true, true, true), CyclePhase::Holding);
    EXPECT_EQ(supervision::PhaseOf(true, false, false), CyclePhase::Holding);
    EXPECT_EQ(supervision::CycleStatusText(CyclePhase::Idle, 95, 240), "Cyklus stoji");
    EXPECT_EQ(supervision::CycleStatusText(CyclePhase::Holding, 95, 240), "Cyklus drzi t1/t2");
    EXPECT_EQ(supervision::CycleStatusText(CyclePhase::Running, 95, 240),
              "Cyklus bezi: 1 min 35 s z 4 min 00 s, zbyva 2 min 25 s");
    EXPECT_EQ(supervision::CycleStatusText(CyclePhase::Running, 7300, 7200),
              "Cyklus bezi: 2 h 01 min z 2 h 00 min, zbyva 0 s");
    EXPECT_EQ(supervision::SideStatusText(1, 90, true, ""), "Strana 1: zadana 90, topi");
    EXPECT_EQ(supervision::SideStatusText(2, 72.5, false, "bez teploty, bez spojeni"),
              "Strana 2: zadana 72,5, netopi, ALARM: bez teploty, bez spojeni");
    EXPECT_EQ(supervision::AlarmTime(At(3), At(4)), "14:05:03");
    EXPECT_EQ(supervision::AlarmTime(At(3), {2026, 12, 9, 0, 0, 1}), "8.12. 14:05:03");
}

} // namespace
