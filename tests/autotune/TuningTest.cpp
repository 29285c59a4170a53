// From a relay test to parameters, on plants of known make-up: the test ends once the model
// fitted to it has settled (the built-in simulation's kind of oven within half an hour, a noisy
// sensor within a few oscillations), the model finds the plant again, and every proposal is one
// the controller can use and regulates the plant better than a thermostat.
#include "autotune/Tuning.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using autotune::TPlantModel;

// A plant whose sensor adds noise and reports to 0,1 degC.
class TNoisySensor : public autotune::TPlant {
public:
    TNoisySensor(const TPlantModel& m, double step, double noise) : plant_(m, m.Ambient, step), noise_(0.0, noise) {}
    double Temperature() const override {
        return noise_.stddev() > 0.0 ? std::round((plant_.Temperature() + noise_(rng_)) * 10.0) / 10.0
                                     : plant_.Temperature();
    }
    void Advance(double seconds, bool heater) override { plant_.Advance(seconds, heater); }

private:
    autotune::TModelPlant plant_;
    mutable std::normal_distribution<double> noise_;
    mutable std::mt19937 rng_{17};
};

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
        double noise;
        double longest; // s the test may take
    };
    const Case cases[] = {
        // The built-in simulation at Tvz 5.
        {"one lag, long dead time", {22.0, 200.0, 1000.0, 0.0, 0.0, 250.0}, 150.0, 5.0, 0.0, 1800.0},
        {"three lags", {20.0, 300.0, 300.0, 60.0, 10.0, 4.0}, 70.0, 2.0, 0.0, 1200.0},
        {"two lags, no dead time", {20.0, 150.0, 120.0, 30.0, 0.0, 0.0}, 90.0, 1.0, 0.0, 600.0},
        {"two lags, a noisy sensor", {20.0, 200.0, 200.0, 20.0, 0.0, 1.0}, 80.0, 2.0, 0.2, 1000.0},
    };
    for (const Case& c : cases) {
        autotune::TRelaySettings rs;
        rs.Setpoint = c.setpoint;
        TNoisySensor plant(c.plant, c.period / 4, c.noise);
        const autotune::TRelayTest test = autotune::RunRelayTest(plant, rs, c.period);
        ASSERT_EQ(test.Verdict(), autotune::TVerdict::Done) << c.what;
        EXPECT_EQ(test.DoneBy(), autotune::TDoneBy::Model) << c.what;
        EXPECT_LE(test.Elapsed(), c.longest) << c.what;
        EXPECT_LE(test.Oscillations(), 2) << c.what;

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
