#include "devicelink/RxParser.h"
#include "tools/unitemu/UnitEmulator.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(UnitModel, ReportsFitTheFiveCharacterField) {
    struct Case {
        double value;
        const char* five;
    };
    for (const Case& c :
         {Case{150.5, "150,5"}, Case{21.5, " 21,5"}, Case{0.0, "  0,0"}, Case{-3.25, " -3,3"},
          Case{-99.9, "-99,9"}, Case{-150.0, " -150"}, Case{999.94, "999,9"}, Case{999.96, " 1000"},
          Case{12345.4, "12345"}, Case{1e9, "99999"}, Case{-1e9, "-9999"}}) {
        EXPECT_EQ(unitemu::FiveChars(c.value, false), c.five) << c.value;
    }
    EXPECT_EQ(unitemu::FiveChars(150.5, true), "150.5");
}

TEST(UnitModel, EveryReportReadsBackAsItsTemperature) {
    // What the emulator sends must be what the program reads, over the whole range it can show.
    for (double t = -120.0; t < 20000.0; t += 0.7) {
        unitemu::UnitModel unit(1);
        unit.Temperature = t;
        const std::string text = unit.Report();
        ASSERT_EQ(text.size(), 10u) << text;
        const double back = devicelink::ReportTemperature(std::string_view(text).substr(3, 5));
        ASSERT_NEAR(back, t, std::fabs(t) >= 999.95 || t <= -99.95 ? 0.51 : 0.051) << text;
    }
}

TEST(UnitModel, ANoisySensorScattersItsReportsAroundTheTemperature) {
    unitemu::UnitModel unit(1);
    unit.Temperature = 100.0;
    unit.Noise = 0.2;
    double sum = 0.0, squares = 0.0;
    constexpr int Reports = 2000;
    for (int i = 0; i < Reports; ++i) {
        const double back = devicelink::ReportTemperature(std::string_view(unit.Report()).substr(3, 5)) - 100.0;
        sum += back;
        squares += back * back;
    }
    EXPECT_NEAR(sum / Reports, 0.0, 0.03);
    EXPECT_NEAR(std::sqrt(squares / Reports), 0.2, 0.03);
    EXPECT_EQ(unit.Temperature, 100.0) << "the noise is the sensor's, not the oven's";
}

TEST(UnitModel, DecodesCommandsAndAnswersIdentification) {
    unitemu::UnitModel unit(2);
    EXPECT_EQ(unit.Receive("!"), "@Pt2\r");
    EXPECT_EQ(unitemu::UnitModel(1).Receive("x!"), "@Pt1&\r");
    EXPECT_EQ(unit.Receive("@ledka=1&@rele=1&*"), "");
    EXPECT_TRUE(unit.Lamp);
    EXPECT_TRUE(unit.Relay);
    EXPECT_EQ(unit.Ticks, 1);
    unit.Receive("@BEEP&@ledka=0&@re");
    EXPECT_TRUE(unit.Relay) << "half a command changes nothing yet";
    unit.Receive("le=0&*@START&@STOP&");
    EXPECT_FALSE(unit.Relay);
    EXPECT_FALSE(unit.Lamp);
    EXPECT_EQ(unit.Beeps, 1);
    EXPECT_EQ(unit.Ticks, 2);
    EXPECT_EQ(unit.Starts, 1);
    EXPECT_EQ(unit.Stops, 1);
}

TEST(UnitModel, HeatsWhileTheRelayIsOnAndCoolsTowardsAmbient) {
    unitemu::UnitModel unit(1);
    unit.Temperature = 20.0;
    unit.Relay = true;
    unit.Advance(10.0);
    EXPECT_GT(unit.Temperature, 29.0);
    EXPECT_LT(unit.Temperature, 30.0);
    const double hot = unit.Temperature;
    unit.Relay = false;
    unit.Advance(3000.0);
    EXPECT_LT(unit.Temperature, hot);
    EXPECT_NEAR(unit.Temperature, unit.Ambient, 0.1);

    // A stuck heater heats whatever the relay is told.
    unit.HeaterStuck = true;
    unit.Advance(10.0);
    EXPECT_GT(unit.Temperature, unit.Ambient + 9.0);
}

TEST(UnitModel, RelayWatchdogDropsTheRelayOnlyAfterSilence) {
    unitemu::UnitModel unit(1);
    unit.RelayWatchdog = 3.0;
    unit.Receive("@ledka=1&@rele=1&*");
    unit.Advance(2.0);
    unit.Receive("*"); // anything from the program keeps it alive
    unit.Advance(2.0);
    EXPECT_TRUE(unit.Relay);
    unit.Advance(1.0);
    EXPECT_FALSE(unit.Relay);
    EXPECT_FALSE(unit.Lamp);
    unitemu::UnitModel plain(2);
    plain.Receive("@rele=1&");
    plain.Advance(1000.0);
    EXPECT_TRUE(plain.Relay) << "no watchdog unless asked for";
}

TEST(UnitModel, ASlowerOvenAnswersAfterItsDeadTimeThroughItsLags) {
    unitemu::UnitModel oven(1);
    oven.Temperature = oven.Ambient;
    oven.ElementLag = 15.0;
    oven.ChamberLag = 90.0;
    oven.DeadTime = 5.0;
    oven.Relay = true;
    oven.Advance(4.9);
    EXPECT_EQ(oven.Temperature, oven.Ambient) << "nothing before the dead time";
    oven.Advance(10.0);
    const double early = oven.Temperature - oven.Ambient;
    EXPECT_GT(early, 0.0);
    EXPECT_LT(early, 0.5) << "the lags hold the first rise back (the plain unit gains 10 degC)";
    // The relay going off stops the rise only after the dead time and the lags.
    oven.Advance(100.0);
    const double off = oven.Temperature;
    oven.Relay = false;
    oven.Advance(60.0);
    EXPECT_GT(oven.Temperature, off + 10.0);
    oven.Advance(5000.0);
    EXPECT_NEAR(oven.Temperature, oven.Ambient, 1.0);
}

} // namespace
