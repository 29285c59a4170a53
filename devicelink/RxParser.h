#pragma once
// The receive side of the line protocol to the controller units: the per-side parser that turns
// received characters into effects, the receive handler's batch logic and the Test path.
// Nothing here touches a widget or a port: the effects go through RxEffects, which the main
// window implements, so every rule can be exercised with a recording fake.
#include "state/RegulatorState.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace devicelink {

// The longest payload that is still evaluated. A line that has grown past it is abandoned when
// the next character of that side arrives, so RxLine never holds more than MaxPayload + 1.
constexpr std::size_t MaxPayload = 11;
constexpr std::size_t MaxRxLine = MaxPayload + 1;

// Lines kept in the communication list: the newest lines stay, the oldest fall off the bottom.
// A week of "Ukaz vse" at one report per second and side is about 1.2 million lines; a thousand
// lines is more than anyone scrolls through, and bounds the memory even for long batch lines.
constexpr int CommListLimit = 1000;

// What received text may cause outside the regulator state. Each call may throw; the parser's
// own state is already consistent (back in RxIdle) when a payload's effect runs.
class RxEffects {
public:
    virtual ~RxEffects() = default;
    // The side's identification label gets this caption.
    virtual void ShowIdentification(int side, const std::string& text) = 0;
    // One line goes to the top of the communication list.
    virtual void AddCommLine(const std::string& line) = 0;
    // A unit asked for Start / Stop; neither is echoed to the units.
    virtual void RemoteStart() = 0;
    virtual void RemoteStop() = 0;
    // A temperature report of the side was taken into its Temperature (the safety supervision
    // counts the age of a side's temperature from here); `value` is the number it carried, or
    // nothing when it carried none (its Temperature is then 0).
    virtual void TemperatureReported(int /*side*/, std::optional<double> /*value*/) {}
};

// The temperature carried by a report's five characters: a decimal number with the comma as
// separator (blanks around it, a sign, an exponent allowed). Text that is not a number gives 0,
// and so does a value of magnitude 1E15 or more ("9E999", "1E308"): the display could not show
// it and the data log could not write it.
double ReportTemperature(std::string_view five);
// The same number, or nothing where ReportTemperature gives 0 for text that is no temperature.
std::optional<double> ReadReportTemperature(std::string_view five);

// Feeds one received character of the side (1 or 2) to that side's parser, working on
// S.RxLine[side], S.RxState[side] and S.SideState[side].Temperature. Throws only what an effect
// throws; the character has then been taken and the parser is idle.
void ParseRxChar(state::RegulatorState& S, RxEffects& fx, int side, char ch);

struct RxOptions {
    bool ShowAll = false;    // "Ukaz vse": list every received text
    bool Simulation = false; // "Simulace": received text is not parsed
};

// One batch read from the side's port: listed as "1: ..." when ShowAll, then parsed character
// by character unless Simulation. Throws what an effect throws (the rest of the batch is then
// not parsed).
void HandleReceived(state::RegulatorState& S, RxEffects& fx, int side, std::string_view text,
                    const RxOptions& opt);

// The Test path: the typed text is listed (without a carriage return) when ShowAll, then,
// unless Simulation, parsed followed by a carriage return, exactly as if the unit had sent it.
void HandleTestText(state::RegulatorState& S, RxEffects& fx, int side, std::string_view text,
                    const RxOptions& opt);

} // namespace devicelink
