#pragma once
// The relay test of one side: the heater goes on below setpoint - h and off above setpoint + h, so
// the side oscillates around the setpoint. Each period runs from one switch-on to the next; the
// first one (the approach) is not counted. Once the last N periods agree in length and amplitude
// the test is done and reports the period Pu and the amplitude a (half of peak to peak); past the
// time limit it gives up and says why.
#include <optional>
#include <string>
#include <vector>

namespace autotune {

struct TRelaySettings {
    double Setpoint = 0.0;     // degC
    double Hysteresis = 1.0;   // h, degC on each side of the setpoint
    int Periods = 4;           // N periods that must agree
    double Tolerance = 0.10;   // how far each may lie from their mean, as a fraction of it
    double TimeLimit = 7200.0; // s
    double MaxTemperature = 1e300; // the test ends when the temperature goes above it
};

enum class TVerdict { Running, Done, NoOscillation, TooSlow, Drifting, TooNoisy, Aborted };

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

class TRelayTest {
public:
    explicit TRelayTest(const TRelaySettings& settings);

    // One control tick with the temperature measured now; returns the heater command. After the
    // end the heater stays off. Throws nothing.
    bool Step(double time, double temperature);
    // Ends the test from outside (cancel, Stop, a failure, a safety limit), with the reason shown.
    void Abort(const std::string& reason);

    TVerdict Verdict() const { return verdict_; }
    bool Finished() const { return verdict_ != TVerdict::Running; }
    // Why the test ended, for the operator; empty while it runs or when it is done.
    const std::string& Reason() const { return reason_; }
    double Elapsed() const { return trace_.empty() ? 0.0 : trace_.back().Time; }
    // Full periods seen after the first one.
    int Oscillations() const;
    // Pu and a from the periods seen so far (the last N at most); none before the first counted one.
    std::optional<TUltimate> Estimate() const;
    const TRelaySettings& Settings() const { return settings_; }
    const std::vector<TSample>& Trace() const { return trace_; }

private:
    void CloseCycle(double time);
    void GiveUp();

    TRelaySettings settings_;
    TVerdict verdict_ = TVerdict::Running;
    std::string reason_;
    std::vector<TSample> trace_;
    std::vector<TCycle> cycles_;
    bool on_ = false;
    std::optional<double> lastOn_;
    double high_ = 0.0;
    double low_ = 0.0;
};

// The operator's text for a verdict.
std::string VerdictText(TVerdict verdict);

} // namespace autotune
