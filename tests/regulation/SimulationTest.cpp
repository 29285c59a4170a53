#include "regulation/Simulation.h"

#include "FakeSwitch.h"

#include <gtest/gtest.h>

#include <map>

using regulation::test::FakeSwitch;

TEST(Simulation, WorkedExampleWithTheHeaterOnFromTheStart) {
    state::RegulatorState S;
    FakeSwitch heater;
    heater.SetChecked(true);
    S.SideState[1].HeaterSwitch = &heater;
    S.SideState[1].Temperature = 19.0;
    const std::map<int, double> expected = {{1, 19.015},   {2, 19.0299},  {49, 19.6533}, {50, 19.6651},
                                            {51, 20.6767}, {52, 21.6834}, {60, 29.5572}};
    for (int tick = 1; tick <= 60; ++tick) {
        regulation::SimulateSide(S.SideState[1]);
        if (auto it = expected.find(tick); it != expected.end()) {
            EXPECT_NEAR(S.SideState[1].Temperature, it->second, 5e-5) << "tick " << tick;
        }
    }
}

TEST(Simulation, BothSidesFromStartUpWithHeatersOff) {
    state::RegulatorState S;
    FakeSwitch one, two;
    S.SideState[1].HeaterSwitch = &one;
    S.SideState[2].HeaterSwitch = &two;
    S.SideState[1].Temperature = 19.0;
    S.SideState[2].Temperature = 21.0;
    regulation::SimulationTick(S);
    EXPECT_DOUBLE_EQ(S.SideState[1].Temperature, 19.015);
    EXPECT_DOUBLE_EQ(S.SideState[2].Temperature, 21.005);
}

TEST(Simulation, OneTickOfHeatGivesOneStepFiftyTicksLater) {
    state::RegulatorState S;
    FakeSwitch heater;
    auto& side = S.SideState[1];
    side.HeaterSwitch = &heater;
    side.Temperature = 22.0; // at ambient, so only the heating shows
    heater.SetChecked(true);
    regulation::SimulateSide(side); // sampled here, tick 0
    heater.SetChecked(false);
    for (int tick = 1; tick <= 49; ++tick) {
        regulation::SimulateSide(side);
        ASSERT_EQ(side.Temperature, 22.0) << "tick " << tick;
    }
    regulation::SimulateSide(side); // tick 50
    EXPECT_DOUBLE_EQ(side.Temperature, 23.0);
    regulation::SimulateSide(side);
    EXPECT_DOUBLE_EQ(side.Temperature, 22.0 + 0.995);
    for (int j = 1; j <= state::HeaterHistoryLength; ++j) EXPECT_FALSE(side.HeaterHistory[j]);
}

TEST(Simulation, SettlesAt222WithHeatAnd22Without) {
    struct Case {
        bool heater;
        double start, settle;
    } cases[] = {{true, 19.0, 222.0}, {false, 150.0, 22.0}};
    for (const auto& c : cases) {
        state::RegulatorState S;
        FakeSwitch heater;
        heater.SetChecked(c.heater);
        S.SideState[1].HeaterSwitch = &heater;
        S.SideState[1].Temperature = c.start;
        for (int tick = 0; tick < 20000; ++tick) regulation::SimulateSide(S.SideState[1]);
        EXPECT_NEAR(S.SideState[1].Temperature, c.settle, 1e-9);
    }
}
