#pragma once
// unitemu: plays one or two temperature controller units on pseudo-terminals, so the regulator
// program can run end to end without hardware. Each unit answers the identification request,
// reports its temperature at a fixed period, heats while its relay is on and can send a remote
// START or STOP on request. Every byte the program sends is recorded with a timestamp.
#include <cstdint>
#include <deque>
#include <random>
#include <utility>
#include <string>
#include <string_view>

namespace unitemu {

// One unit's behaviour, without any I/O: the thermal model and the command decoder.
class UnitModel {
public:
    explicit UnitModel(int number) : Number(number) {}

    int Number = 1; // 1 answers "@Pt1&", 2 answers "@Pt2"
    double Temperature = 20.0;
    double Ambient = 20.0;     // degC the zone cools towards
    double HeatRate = 1.0;     // degC per second while the relay is on
    double LossTau = 300.0;    // s, time constant of the loss to ambient
    // A slower oven: the relay acts after DeadTime, the element passes its heat on through a lag
    // of ElementLag and the sensor sees the chamber through a lag of ChamberLag (all s, 0: none).
    double ElementLag = 0.0;
    double ChamberLag = 0.0;
    double DeadTime = 0.0;
    bool DecimalPoint = false; // reports use "." instead of ","
    // Sensor noise: each report is off by a normally distributed amount with this standard
    // deviation (degC, 0: none).
    double Noise = 0.0;
    // Relay watchdog: a unit that has received nothing for this many seconds drops its relay
    // (and lamp), so a heater never stays on after the program went away. 0: off.
    double RelayWatchdog = 0.0;

    bool Relay = false;
    bool HeaterStuck = false; // the heater heats whatever the relay is told (a welded contact)
    bool SensorBroken = false; // reports carry "ERR  " instead of a number (a broken thermocouple)
    bool Lamp = false;
    long Ticks = 0;  // "*" received
    long Beeps = 0;  // "@BEEP&" received
    long Starts = 0; // "@START&" received
    long Stops = 0;  // "@STOP&" received
    long Idents = 0; // "!" received

    // Decodes received bytes; returns what the unit answers at once (the identification).
    std::string Receive(std::string_view bytes);
    // Advances the thermal model by the given time; the relay watchdog counts it too.
    void Advance(double seconds);
    // "@t=" + five characters + "C" + carriage return ("@t=ERR  C" while the sensor is broken).
    std::string Report() const;
    std::string Identification() const { return Number == 1 ? "@Pt1&\r" : "@Pt2\r"; }

private:
    void Command(const std::string& frame);
    double sinceReceived_ = 0.0; // seconds since the last byte from the program
    void AdvanceHeat(double seconds);
    void Step(double seconds, bool relay);
    bool HasLags() const { return ElementLag > 0.0 || ChamberLag > 0.0 || DeadTime > 0.0; }
    mutable std::mt19937 noiseSource_{12345u};
    std::string frame_;
    bool inFrame_ = false;
    // The slower oven's inner state: model time, relay changes still on their way, the heat the
    // element gives and the chamber temperature the sensor lags behind.
    double clock_ = 0.0;
    std::deque<std::pair<double, bool>> pending_;
    bool acting_ = false;
    double heat_ = 0.0;
    double chamber_ = 0.0;
    bool started_ = false;
};

// The five characters of a report: one decimal, right-aligned, clamped to what fits.
std::string FiveChars(double value, bool decimalPoint);

// Bytes as printable text: printable ASCII as is, backslash doubled, others as \r, \n or \xNN.
std::string Escape(std::string_view bytes);
// The reverse for texts typed on the command line ("@t=150,5C\r").
std::string Unescape(std::string_view text);

} // namespace unitemu
