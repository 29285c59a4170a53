#pragma once
// From a relay test to controller parameters.
//
// The controller is a relay whose feedback is a model of the reciprocal of the three-term law
// r0·(1 + 1/(Ti·s) + Td·s): the heater is switched so that temperature + PredictedRise stays
// within 0.5 degC of the setpoint. Switching fast, the heater's mean follows that law of the
// error, so r0 is the gain Kc of a three-term controller (heater fraction per degC), Ti its
// integral and Td its derivative time; and because the model is driven by the heater actually
// given, the law never winds up while the heater is held full on.
//
// Two steps. First the classic one: the relay's swing d = 0.5 and the amplitude a give the
// ultimate gain Ku = 4·d/(π·a), and Pu is the ultimate period; Tyreus–Luyben (Kc = Ku/2.2,
// Ti = 2.2·Pu, Td = Pu/6.3) keeps Td well below Ti/4, which Ziegler–Nichols' Td = Ti/4 would
// not. Then the test's record gives a plant model (gain, two lags, dead time, ambient), and the
// parameters are chosen by running the program's own controller on that model for a step from
// ambient to the setpoint: the smallest error integral whose overshoot stays within a degree,
// also on a model with a longer dead time and higher gain, so that a model that is a little off
// does not overshoot.
#include "autotune/ClosedLoop.h"
#include "autotune/RelayTest.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace autotune {

// The relay's swing: the heater is 0 or 1, that is 0.5 around its mean.
constexpr double RelaySwing = 0.5;

// Ku = 4·d/(π·a). Throws nothing; gives 0 for a non-positive amplitude.
double UltimateGain(double amplitude);

// Tyreus–Luyben from the ultimate period and amplitude.
TParameters TyreusLuyben(const TUltimate& u);

// A plant as the test saw it: the heater (0 or 1) acts after DeadTime through up to three lags on a gain
// over the ambient temperature.
struct TPlantModel {
    double Ambient = 0.0;  // degC with the heater off for long
    double Gain = 0.0;     // degC more with the heater on for long
    double Lag1 = 0.0;     // s, the slower lag
    double Lag2 = 0.0;     // s, a faster lag (0: none)
    double Lag3 = 0.0;     // s, a faster one still (0: none)
    double DeadTime = 0.0; // s
    double Error = 0.0;    // rms difference from the test's record, degC
};

// Fits the model to the test's record (least squares over a grid of lags and dead times, the
// gain, ambient and starting state solved exactly for each). `period` is the oscillation's period, to size the
// grid. None when the record is too short or no model fits with a positive gain.
std::optional<TPlantModel> IdentifyModel(const std::vector<TSample>& trace, double period);

// What the model says the temperature does under the heater of the record, sample by sample,
// starting from the record's first temperature.
std::vector<double> ModelPrediction(const TPlantModel& model, const std::vector<TSample>& trace);

// The model as a plant for closed-loop runs, starting at `temperature` at rest.
class TModelPlant : public TPlant {
public:
    TModelPlant(const TPlantModel& model, double temperature, double step);
    double Temperature() const override;
    void Advance(double seconds, bool heater) override;
    int Slices() const override { return 4; }

private:
    TPlantModel m_;
    double step_;
    std::vector<bool> delay_; // heater states on their way, one per step
    
    std::size_t head_ = 0;
    double x1_ = 0.0, x2_ = 0.0, x3_ = 0.0;
};

// One plant on which candidate parameters are tried: a fresh plant at ambient for each run, the
// step's setpoint and length, the limit's IAE for it, and the overshoot allowed before it costs.
struct TTrial {
    std::function<std::unique_ptr<TPlant>()> Make;
    double Setpoint = 0.0;
    double Duration = 0.0;
    double Limit = 0.0;
    double OvershootAllowed = 1.0;
};

// A trial for a plant: the step's length is twice the limit's time to the setpoint and six
// periods more, capped.
TTrial MakeTrial(std::function<std::unique_ptr<TPlant>()> make, double setpoint, double controlPeriod,
                 double period, double overshootAllowed);

// The parameters with the smallest sum of IAE (as multiples of the limits) over the trials, where
// each degree of overshoot beyond what a trial allows costs ten limits; searched on a grid around
// the ultimate gain and period, then refined. `figures` gets the first trial's IAE ratio and
// overshoot. None when no candidate could be run.
std::optional<TParameters> ChooseParameters(const std::vector<TTrial>& trials, double controlPeriod, double ku,
                                            double pu, const TParameters& start, TStepResult* figures = nullptr);

// What a model fitted at a checkpoint of the test says, to compare with the next one.
struct TModelFigures {
    TPlantModel Model;
    TUltimate Cycle;    // the relay's oscillation on the model, at the test's setpoint and band
    double Reach = 0.0; // s from the model's ambient to the setpoint at full power
};

// The relay's oscillation on a model, started from its ambient temperature: none when the model
// does not oscillate regularly around the setpoint within the test's time limit.
std::optional<TUltimate> ModelCycle(const TPlantModel& model, const TRelaySettings& settings, double controlPeriod);

// Fits the model to a test's record (`scale`: the oscillation's time scale, TRelayTest::TimeScale)
// and measures it. None when no model fits or it does not oscillate around the setpoint.
std::optional<TModelFigures> MeasureModel(const std::vector<TSample>& record, const TRelaySettings& settings,
                                          double scale, double controlPeriod);

// The model checks of a running test: the model fitted at each checkpoint is compared with the
// one before. They agree when both follow their record within 2·noise + h/4 + a/20 (rms, a the
// model's amplitude) and their cycles' periods and amplitudes and their times to the setpoint lie
// within the test's tolerance of each other; the test is then done. The fit may run anywhere (it is a pure calculation on a
// copy of the record); the judging belongs to the test's thread.
class TModelWatch {
public:
    struct TJob {
        std::vector<TSample> Record;
        TRelaySettings Settings;
        double Scale = 0.0;
        double ControlPeriod = 0.0;
    };
    // Takes the test's due checkpoint: what to fit.
    static TJob Take(TRelayTest& test, double controlPeriod);
    static std::optional<TModelFigures> Fit(const TJob& job) {
        return MeasureModel(job.Record, job.Settings, job.Scale, job.ControlPeriod);
    }
    // The figures of the checkpoint taken last; true when the test is done by them.
    bool Judge(TRelayTest& test, const std::optional<TModelFigures>& figures);
    // All at once: the due checkpoint, if any, taken, fitted and judged.
    bool Check(TRelayTest& test, double controlPeriod);

private:
    std::optional<TModelFigures> last_;
};

// What the program saw of a side lately, one sample per control tick: the last `capacity`.
class TRecentResponse {
public:
    TRecentResponse() = default;
    explicit TRecentResponse(std::size_t capacity) : capacity_(capacity) {}
    // A sample `seconds` after the one before.
    void Add(double seconds, double temperature, bool heater);
    std::vector<TSample> Record() const { return {samples_.begin(), samples_.end()}; }

private:
    std::size_t capacity_ = 2000;
    std::deque<TSample> samples_;
    double clock_ = 0.0;
};

// How long a relay test from the last temperature of `recent` will take: the test run on the
// model fitted to the recent response. None when that record shows too little of the heater's
// effect to fit a model (the heater neither on nor off long enough, the temperature hardly
// moving), when no model fits, or when the test would not end within its time limit.
std::optional<double> EstimateDuration(const std::vector<TSample>& recent, const TRelaySettings& settings,
                                       double controlPeriod);

// The proposal of a finished test.
struct TProposal {
    TUltimate Ultimate;
    bool UltimateFromModel = false;     // the test ended before two periods: Pu and a are the model's
    double Ku = 0.0;
    TParameters Classic;                // Tyreus–Luyben
    std::optional<TPlantModel> Model;   // when one could be fitted
    TParameters Parameters;             // what is proposed (always Valid)
    double ModelIae = 0.0;              // the proposal's step on the model, as a multiple of the limit
    double ModelOvershoot = 0.0;        // degC
};

// The whole method, for a test that is Done: the classic rule (on Pu and a as measured, or as the
// model shows them when the test ended before two periods), then the parameters chosen on the
// fitted model for a step from its ambient to `setpoint` at the control period (the classic rule
// alone when no model fits). Throws nothing.
TProposal Propose(const TRelayTest& test, double setpoint, double controlPeriod);

// A relay test run on a plant at the control period, to its end, with its model checks.
TRelayTest RunRelayTest(TPlant& plant, const TRelaySettings& settings, double controlPeriod);

} // namespace autotune
