// The supervisor's rules as tables of steps: ages against the limit, the over-temperature latch
// that needs both cooling and an acknowledgement, and the limits as the settings file gives them.
#include "supervision/Supervisor.h"
#include "supervision/SafetySettings.h"
#include "tests/support/TempFiles.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using supervision::AckResult;
using supervision::TSupervisor;

const supervision::TimePoint T0 = supervision::TimePoint{} + 1h;

TEST(Supervisor, AgeAgainstTheLimit) {
    // Each step: seconds since T0, whether a temperature arrives then, and the expected state.
    struct Step {
        double at;
        bool fresh;
        bool stale;
        bool becameStale;
        bool recovered;
    };
    const Step steps[] = {
        {0, false, false, false, false},
        {10, false, false, false, false},   // exactly the limit is not past it
        {10.001, false, true, true, false}, // no temperature since Begin
        {15, false, true, false, false},    // said once
        {16, true, false, false, true},     // a report: recovers by itself
        {26, false, false, false, false},
        {26.5, false, true, true, false},
    };
    TSupervisor sv;
    sv.Begin(T0);
    for (const Step& s : steps) {
        const auto now = T0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(s.at));
        if (s.fresh) sv.Fresh(1, now);
        const auto c = sv.Check(1, 20.0, now);
        SCOPED_TRACE(s.at);
        EXPECT_EQ(sv.Stale(1), s.stale);
        EXPECT_EQ(sv.HeaterBlocked(1), s.stale);
        EXPECT_EQ(c.BecameStale, s.becameStale);
        EXPECT_EQ(c.Recovered, s.recovered);
        // Side 2 has its reports all along and is never touched by side 1's silence.
        sv.Fresh(2, now);
        EXPECT_FALSE(sv.Check(2, 20.0, now).BecameStale);
        EXPECT_FALSE(sv.Stale(2));
    }

    // A limit of 0 switches staleness off (and a stale side is stale no more).
    sv.SetLimits({0ms, {}});
    EXPECT_TRUE(sv.Check(1, 20.0, T0 + 1000h).Recovered);
    EXPECT_FALSE(sv.Stale(1));
}

TEST(Supervisor, OverTemperatureLatchesUntilCooledAndAcknowledged) {
    // Limit 250 on side 2: the alarm latches at 250 and is released only at 245 or below and
    // after the operator's acknowledgement, whichever comes last.
    struct Step {
        double temperature;
        bool ack; // the operator acknowledges before the check
        AckResult ackResult;
        bool alarm;
        bool latched;
        bool released;
    };
    const Step steps[] = {
        {249.9, false, AckResult::NoAlarm, false, false, false},
        {250.0, false, AckResult::NoAlarm, true, true, false},  // reaching the limit is enough
        {240.0, false, AckResult::NoAlarm, true, false, false}, // cooled, not acknowledged: still off
        {250.0, false, AckResult::NoAlarm, true, false, false}, // hot again: still the one alarm
        {249.0, true, AckResult::WaitsToCool, true, false, false},
        {245.1, false, AckResult::NoAlarm, true, false, false}, // not yet 5 degC below
        {245.0, false, AckResult::NoAlarm, false, false, true}, // cooled after the acknowledgement
        {100.0, true, AckResult::NoAlarm, false, false, false}, // nothing to acknowledge
        {251.0, false, AckResult::NoAlarm, true, true, false},  // a new alarm needs a new ack
        {200.0, false, AckResult::NoAlarm, true, false, false},
        {200.0, true, AckResult::Released, false, false, true}, // already cool: the ack releases
    };
    TSupervisor sv;
    supervision::Limits limits;
    limits.MaxT[2] = 250.0;
    sv.SetLimits(limits);
    sv.Begin(T0);
    sv.Fresh(1, T0);
    sv.Fresh(2, T0);
    for (const Step& s : steps) {
        SCOPED_TRACE(s.temperature);
        if (s.ack) {
            EXPECT_EQ(sv.Acknowledge(2, s.temperature), s.ackResult);
        }
        const auto c = sv.Check(2, s.temperature, T0);
        EXPECT_EQ(sv.Alarm(2), s.alarm);
        EXPECT_EQ(sv.HeaterBlocked(2), s.alarm);
        EXPECT_EQ(c.OverTemperature, s.latched);
        EXPECT_EQ(c.Released, s.released);
        // Side 1 has no limit at all.
        EXPECT_FALSE(sv.Check(1, s.temperature, T0).OverTemperature);
    }
}

TEST(Supervisor, LimitsFromTheSettingsFile) {
    const testsupport::TTempDir temp("supervision");
    const auto& dir = temp.Path();
    const platform::ProfileFile file(dir / "Regulator.ini");

    // No file: 10 s and no temperature limits.
    auto limits = supervision::LimitsFrom(supervision::ReadSafetySettings(file));
    EXPECT_EQ(limits.MaxAge, 10s);
    EXPECT_FALSE(limits.MaxT[1]);
    EXPECT_FALSE(limits.MaxT[2]);

    std::ofstream(dir / "Regulator.ini") << "[Bezpecnost]\r\nMaxStari=2,5\r\nMaxT1=0\r\nMaxT2=250,5\r\n";
    limits = supervision::LimitsFrom(supervision::ReadSafetySettings(file));
    EXPECT_EQ(limits.MaxAge, 2500ms);
    EXPECT_FALSE(limits.MaxT[1]) << "0 is no limit";
    EXPECT_EQ(limits.MaxT[2], 250.5);

    supervision::WriteTemperatureLimits(file, "300", "");
    const auto back = supervision::ReadSafetySettings(file);
    EXPECT_EQ(back.MaxT1, "300");
    EXPECT_EQ(back.MaxT2, "");
    EXPECT_EQ(back.MaxStari, "2,5") << "the writer leaves the age limit alone";

    // The age limit's text: seconds, 0 is off, anything unusable gives the default.
    EXPECT_EQ(supervision::ParseMaxAge("0"), 0ms);
    EXPECT_EQ(supervision::ParseMaxAge("30"), 30s);
    for (const char* bad : {"", "abc", "-5", "1E300"})
        EXPECT_EQ(supervision::ParseMaxAge(bad), 10s) << bad;

    // A limit box: empty, blank and 0 are no limit; a number is re-formatted; anything else is refused.
    struct Row {
        const char* text;
        bool valid;
        std::optional<double> limit;
        const char* shown;
    };
    for (const Row& r : {Row{"", true, std::nullopt, ""}, Row{"  ", true, std::nullopt, ""},
                         Row{"0", true, std::nullopt, ""}, Row{"0,0", true, std::nullopt, ""},
                         Row{" 250,50 ", true, 250.5, "250,5"}, Row{"25x", false, std::nullopt, "25x"}}) {
        const auto read = supervision::ReadLimitText(r.text);
        EXPECT_EQ(read.Valid, r.valid) << r.text;
        EXPECT_EQ(read.Limit, r.limit) << r.text;
        EXPECT_EQ(read.Text, r.shown) << r.text;
    }
}

} // namespace
