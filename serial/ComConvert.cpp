// Conversions between the port's settings and their texts, and between event sets and masks.
#include "serial/ComPort.h"

#include "text/NumText.h"

#include <array>
#include <charconv>
#include <stdexcept>
#include <string_view>

using namespace platform;

namespace {

constexpr std::array<std::string_view, 16> kBaudRateTexts = {
    "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<std::int32_t, 16> kBaudRates = {
    0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
constexpr std::array<std::string_view, 3> kStopBitsTexts = {"1", "1.5", "2"};
constexpr std::array<std::string_view, 4> kDataBitsTexts = {"5", "6", "7", "8"};
constexpr std::array<std::string_view, 5> kParityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<std::string_view, 4> kFlowControlTexts = {"Hardware", "Software", "None", "Custom"};
constexpr std::array<std::string_view, 3> kDTRTexts = {"Disable", "Enable", "Handshake"};
constexpr std::array<std::string_view, 4> kRTSTexts = {"Disable", "Enable", "Handshake", "Toggle"};

// ASCII upper case only: the texts are ASCII and the comparison must not depend on the locale.
std::string Upper(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

template <typename E, std::size_t N>
std::string ToText(const std::array<std::string_view, N>& texts, E value) {
    const auto i = static_cast<std::size_t>(value);
    return i < N ? std::string(texts[i]) : std::string();
}

template <typename E, std::size_t N>
E FromText(const std::array<std::string_view, N>& texts, const std::string& text, E fallback) {
    const std::string wanted = Upper(text);
    for (std::size_t i = 0; i < N; ++i)
        if (Upper(texts[i]) == wanted) return static_cast<E>(i);
    return fallback;
}

struct TEventBit {
    TComEvent Event;
    DWORD Mask;
    int Code;
};
constexpr TEventBit kEventBits[] = {{evRxChar, EV_RXCHAR, 1}, {evTxEmpty, EV_TXEMPTY, 4},
                                    {evRxFlag, EV_RXFLAG, 2}, {evRing, EV_RING, 256},
                                    {evBreak, EV_BREAK, 64},  {evCTS, EV_CTS, 8},
                                    {evDSR, EV_DSR, 16},      {evError, EV_ERR, 128},
                                    {evRLSD, EV_RLSD, 32},    {evRx80Full, EV_RX80FULL, 1024}};

} // namespace

std::string BaudRateToStr(TBaudRate value) {
    return ToText(kBaudRateTexts, value);
}
TBaudRate StrToBaudRate(const std::string& text) {
    return FromText(kBaudRateTexts, text, br9600);
}
std::string StopBitsToStr(TStopBits value) {
    return ToText(kStopBitsTexts, value);
}
TStopBits StrToStopBits(const std::string& text) {
    return FromText(kStopBitsTexts, text, sbOneStopBit);
}
std::string DataBitsToStr(TDataBits value) {
    return ToText(kDataBitsTexts, value);
}
TDataBits StrToDataBits(const std::string& text) {
    return FromText(kDataBitsTexts, text, dbEight);
}
std::string ParityToStr(TParityBits value) {
    return ToText(kParityTexts, value);
}
TParityBits StrToParity(const std::string& text) {
    return FromText(kParityTexts, text, prNone);
}
std::string FlowControlToStr(TFlowControl value) {
    return ToText(kFlowControlTexts, value);
}
TFlowControl StrToFlowControl(const std::string& text) {
    return FromText(kFlowControlTexts, text, fcCustom);
}
std::string DTRToStr(TDTRFlowControl value) {
    return ToText(kDTRTexts, value);
}
TDTRFlowControl StrToDTR(const std::string& text) {
    return FromText(kDTRTexts, text, dtrDisable);
}
std::string RTSToStr(TRTSFlowControl value) {
    return ToText(kRTSTexts, value);
}
TRTSFlowControl StrToRTS(const std::string& text) {
    return FromText(kRTSTexts, text, rtsDisable);
}

std::string BoolToStr(bool value) {
    return value ? "Yes" : "No";
}
bool StrToBool(const std::string& text) {
    return Upper(text) == "YES";
}

std::string CharToStr(char c) {
    const int code = static_cast<unsigned char>(c);
    if (code >= 33 && code <= 127) return std::string(1, c);
    return "#" + std::to_string(code);
}

char StrToChar(const std::string& text) {
    if (text.empty()) return 0;
    if (text.size() >= 2 && text[0] == '#') {
        // A whole number as the program reads whole numbers everywhere (sign, "$1F" hex).
        const auto value = numtext::ParseInt(std::string_view(text).substr(1));
        if (!value) return 0;
        // Modulo 256 as the low byte of the number (so -1 is code 255).
        return static_cast<char>(static_cast<unsigned char>(static_cast<std::uint32_t>(*value) & 0xFFu));
    }
    return text[0];
}

std::int32_t BaudRateToInt(TBaudRate rate, std::int32_t custom) {
    if (rate == brCustom) return custom;
    const auto i = static_cast<std::size_t>(rate);
    return i < kBaudRates.size() ? kBaudRates[i] : 9600;
}

DWORD EventsToMask(TComEvents events) {
    DWORD mask = 0;
    for (const auto& bit : kEventBits)
        if (events.Contains(bit.Event)) mask |= bit.Mask;
    return mask;
}

TComEvents MaskToEvents(DWORD mask) {
    TComEvents events;
    for (const auto& bit : kEventBits)
        if (mask & bit.Mask) events.Include(bit.Event);
    return events;
}

int EventToCode(TComEvent event) {
    for (const auto& bit : kEventBits)
        if (bit.Event == event) return bit.Code;
    return 0;
}

TComEvent CodeToEvent(int code) {
    for (const auto& bit : kEventBits)
        if (bit.Code == code) return bit.Event;
    throw std::invalid_argument("No port event has the code " + std::to_string(code));
}
