#include "devicelink/RxParser.h"

#include "text/NumText.h"

#include <cmath>
#include <utility>

namespace devicelink {
namespace {

constexpr char CarriageReturn = '\r';
// Beyond this the display's whole-number truncation overflows; such a report is no temperature.
constexpr double LargestReport = 1e15;

std::string SidePrefix(int side) {
    return std::to_string(side) + ": ";
}

void Evaluate(state::RegulatorState& S, RxEffects& fx, int side, const std::string& payload) {
    if (payload == "Pt1&" || payload == "Pt2") {
        fx.ShowIdentification(side, payload);
    } else if (payload == "START&") {
        fx.RemoteStart();
    } else if (payload == "STOP&") {
        fx.RemoteStop();
    } else if (payload.size() == 8 && payload[0] == 't' && payload[1] == '=' && payload[7] == 'C') {
        const auto value = ReadReportTemperature(std::string_view(payload).substr(2, 5));
        S.SideState[side].Temperature = value.value_or(0.0);
        fx.TemperatureReported(side, value);
    }
}

} // namespace

std::optional<double> ReadReportTemperature(std::string_view five) {
    const auto value = numtext::ParseFloat(five);
    if (!value || !(std::fabs(*value) < LargestReport)) return std::nullopt;
    return *value;
}

double ReportTemperature(std::string_view five) {
    return ReadReportTemperature(five).value_or(0.0);
}

void ParseRxChar(state::RegulatorState& S, RxEffects& fx, int side, char ch) {
    std::string& line = S.RxLine[side];
    std::uint8_t& rxState = S.RxState[side];

    // The length rule comes first: an over-long payload is abandoned and the character that
    // found it is handled as if the line were idle.
    if (line.size() > MaxPayload) {
        std::string abandoned = std::move(line);
        line.clear();
        rxState = state::RxIdle;
        fx.AddCommLine(std::to_string(side) + ": nerozumim: " + abandoned);
    }

    if (rxState != state::RxInMessage) {
        line.clear();
        if (ch == '@') rxState = state::RxInMessage;
        return;
    }

    switch (ch) {
    case '@': // a second "@" starts the frame again
        line.clear();
        break;
    case CarriageReturn: {
        // The parser is made idle before the payload takes effect, so an effect that fails (or
        // that lets events run and re-enters the parser) finds a consistent line.
        std::string payload = std::move(line);
        line.clear();
        rxState = state::RxIdle;
        Evaluate(S, fx, side, payload);
        break;
    }
    case '.':
    case ',':
        line += ',';
        break;
    default:
        line += ch;
        break;
    }
}

void HandleReceived(state::RegulatorState& S, RxEffects& fx, int side, std::string_view text,
                    const RxOptions& opt) {
    if (opt.ShowAll) fx.AddCommLine(SidePrefix(side) + std::string(text));
    if (opt.Simulation) return;
    for (char ch : text)
        ParseRxChar(S, fx, side, ch);
}

void HandleTestText(state::RegulatorState& S, RxEffects& fx, int side, std::string_view text,
                    const RxOptions& opt) {
    // Listed without its carriage return, then parsed as if the unit had sent text and CR.
    HandleReceived(S, fx, side, text, opt);
    if (!opt.Simulation) ParseRxChar(S, fx, side, CarriageReturn);
}

} // namespace devicelink
