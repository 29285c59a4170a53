// From a relay test to parameters, on plants of known make-up: the model fitted to the test finds
// the plant again, and every proposal is one the controller can use and regulates the plant
// better than a thermostat.
#include "autotune/Tuning.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using autotune::TPlantModel;

TEST(Tuning, ClassicRuleKeepsTheModelValid) {
    for (const double period : {1.0, 37.0, 950.0})
        for (const double amplitude : {0.05, 2.0, 40.0}) {
            const auto p = autotune::TyreusLuyben({period, amplitude});
            EXPECT_TRUE(autotune::Valid(p)) << period << " " << amplitude;
            EXPECT_NEAR(p.r0 * 2.2, 2.0 / (std::acos(-1.0) * amplitude), 1e-12);
        }
    EXPECT_FALSE(autotune::Valid({0.02, 10.0, 2.5})) << "Td = Ti/4 divides by zero in the model";
    EXPECT_FALSE(autotune::Valid({0.0, 10.0, 1.0}));
}

TEST(Tuning, FindsThePlantAndProposesParametersThatRegulateIt) {
    struct Case {
        const char* what;
        TPlantModel plant;
        double setpoint;
        double period;
    };
    const Case cases[] = {
        {"one lag, long dead time", {22.0, 200.0, 1000.0, 0.0, 0.0, 250.0}, 150.0, 5.0},
        {"three lags", {20.0, 300.0, 300.0, 60.0, 10.0, 4.0}, 70.0, 2.0},
        {"two lags, no dead time", {20.0, 150.0, 120.0, 30.0, 0.0, 0.0}, 90.0, 1.0},
    };
    for (const Case& c : cases) {
        autotune::TRelaySettings rs;
        rs.Setpoint = c.setpoint;
        autotune::TModelPlant plant(c.plant, c.plant.Ambient, c.period / 4);
        const autotune::TRelayTest test = autotune::RunRelayTest(plant, rs, c.period);
        ASSERT_EQ(test.Verdict(), autotune::TVerdict::Done) << c.what;

        const autotune::TProposal p = autotune::Propose(test, c.setpoint, c.period);
        EXPECT_TRUE(autotune::Valid(p.Classic)) << c.what;
        EXPECT_TRUE(autotune::Valid(p.Parameters)) << c.what;
        ASSERT_TRUE(p.Model.has_value()) << c.what;
        EXPECT_NEAR(p.Model->Ambient, c.plant.Ambient, 0.5) << c.what;
        EXPECT_NEAR(p.Model->Gain, c.plant.Gain, 0.05 * c.plant.Gain) << c.what;

        auto fresh = [&] { return autotune::TModelPlant(c.plant, c.plant.Ambient, c.period / 4); };
        double reached = 0.0;
        auto a = fresh();
        autotune::RunLimit(a, c.period, c.setpoint, 1e6, &reached);
        const double duration = 3.0 * reached + 600.0;
        auto b = fresh(), d = fresh(), e = fresh();
        const double limit = autotune::RunLimit(b, c.period, c.setpoint, duration).Iae;
        const auto tuned = autotune::RunController(d, p.Parameters, c.period, c.setpoint, duration);
        const auto thermostat = autotune::RunThermostat(e, 0.5, c.period, c.setpoint, duration);
        EXPECT_LE(tuned.Iae, 1.3 * limit) << c.what;
        EXPECT_LE(tuned.Overshoot, 3.0) << c.what;
        EXPECT_LT(tuned.Iae, thermostat.Iae) << c.what;
    }
}

} // namespace
