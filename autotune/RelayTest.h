#pragma once
// The relay test of one side. It first holds the heater off for a few samples and measures the
// sensor's noise at rest, raising the relay's band h when the noise could flip the relay. Then
// the heater goes on below setpoint - h and off above setpoint + h, so the side oscillates around
// the setpoint. Each period runs from one switch-on to the next; the first one (the approach) is
// not counted.
//
// The test ends as soon as either holds:
// - the plant model fitted to the record has settled: from the first turn of the temperature
//   after the approach on, every switch of the relay and every turn of the temperature is a
//   checkpoint at which the caller fits the model (Tuning.h, TModelWatch) and says when two fits
//   in a row agree;
// - the last N periods agree: each lies within the tolerance of their mean, in length and in
//   amplitude;
// - the last N + 1 periods agree in pairs: the sums of neighbouring periods and of neighbouring
//   amplitudes lie within the tolerance of their mean, and each single one within PairSpread
//   times the tolerance. An oscillation that alternates between two periods and amplitudes (the
//   phase between the reports and the ticks does that) agrees in pairs and never singly.
// Past the time limit it gives up and says why.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace autotune {

struct TRelaySettings {
    double Setpoint = 0.0;     // degC
    double Hysteresis = 1.0;   // h, degC on each side of the setpoint (raised for noise, see above)
    int Periods = 4;           // N periods that must agree (N + 1 in pairs)
    double Tolerance = 0.10;   // how far each may lie from their mean, as a fraction of it
    double TimeLimit = 7200.0; // s
    double MaxTemperature = 1e300; // the test ends when the temperature goes above it
    int RestSamples = 8;       // samples at rest (heater off) before the relay starts; 0: none
    bool Checkpoints = true;   // offer model checkpoints (off for a relay run on a model)
};

// How much wider than the tolerance single periods may scatter when their pairs agree.
constexpr double PairSpread = 2.5;

// h is at least this many times the noise measured at rest (its standard deviation): the relay
// then needs a swing of six standard deviations between two samples to flip back.
constexpr double NoiseMargin = 3.0;

enum class TVerdict { Running, Done, NoOscillation, TooSlow, Drifting, TooNoisy, Aborted };
// What ended a test that is Done.
enum class TDoneBy { Nothing, Model, Periods };

// One sample of the test, as the control tick saw it: the heater is the command given then.
struct TSample {
    double Time = 0.0; // s since the test began
    double Temperature = 0.0;
    bool Heater = false;
};

// One period of the oscillation, from a switch-on to the next.
struct TCycle {
    double Start = 0.0;
    double Period = 0.0;
    double High = 0.0;
    double Low = 0.0;
    double Amplitude() const { return 0.5 * (High - Low); }
};

// What the oscillation showed: its period Pu (s) and amplitude a (degC).
struct TUltimate {
    double Period = 0.0;
    double Amplitude = 0.0;
};

// The noise of samples at rest: the standard deviation of white noise that would give their
// second differences (a straight drift gives none). 0 for fewer than three samples.
double NoiseOf(const std::vector<double>& temperatures);

class TRelayTest {
public:
    explicit TRelayTest(const TRelaySettings& settings);

    // One control tick with the temperature measured now; returns the heater command. During the
    // rest and after the end the heater is off. Throws nothing.
    bool Step(double time, double temperature);
    // Ends the test from outside (cancel, Stop, a failure, a safety limit), with the reason shown.
    void Abort(const std::string& reason);

    // A checkpoint has come since the last one was taken: the record is ready for a model check.
    bool CheckpointDue() const { return checkpointDue_ && !Finished(); }
    // Takes the checkpoint: the number of samples of the record to check.
    std::size_t TakeCheckpoint();
    // The caller's check found the model settled: the test is done.
    void ModelSettled();

    TVerdict Verdict() const { return verdict_; }
    TDoneBy DoneBy() const { return doneBy_; }
    bool Finished() const { return verdict_ != TVerdict::Running; }
    // Why the test ended, for the operator; empty while it runs or when it is done.
    const std::string& Reason() const { return reason_; }
    double Elapsed() const { return trace_.empty() ? 0.0 : trace_.back().Time; }
    // Still measuring the noise, before the relay starts.
    bool Resting() const { return !relay_; }
    // The noise measured at rest (degC, standard deviation) and the band h in force.
    double Noise() const { return noise_; }
    double Hysteresis() const { return settings_.Hysteresis; }
    // The band as entered, before the noise raised it.
    double EnteredHysteresis() const { return entered_; }
    // Full periods seen after the first one.
    int Oscillations() const;
    // Pu and a from the periods seen so far: the mean of the last N at most, an even number of
    // them from two on (an alternation then cancels). None before the first counted one.
    std::optional<TUltimate> Estimate() const;
    // The time scale of the oscillation for a model fit: Pu when measured, otherwise the time
    // from the relay's start to now.
    double TimeScale() const;
    const TRelaySettings& Settings() const { return settings_; }
    const std::vector<TSample>& Trace() const { return trace_; }

private:
    void EndRest(double time, double temperature);
    void CloseCycle(double time);
    void Turns(double temperature);
    void GiveUp();

    TRelaySettings settings_;
    double entered_ = 0.0;
    TVerdict verdict_ = TVerdict::Running;
    TDoneBy doneBy_ = TDoneBy::Nothing;
    std::string reason_;
    std::vector<TSample> trace_;
    std::vector<TCycle> cycles_;
    bool relay_ = false; // the rest is over
    double relayStart_ = 0.0;
    double noise_ = 0.0;
    bool on_ = false;
    std::optional<double> lastOn_;
    double high_ = 0.0;
    double low_ = 0.0;
    // Turns: the extreme since the last switch, and whether it has turned back by h yet.
    double extreme_ = 0.0;
    bool turned_ = false;
    bool switchedOff_ = false; // the approach has ended
    bool checkpoints_ = false; // from the first turn after the approach on
    bool checkpointDue_ = false;
};

// The operator's text for a verdict.
std::string VerdictText(TVerdict verdict);

} // namespace autotune
