// Text forms of the settings, event masks and EComPort, as tables.
#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(EComPortTest, MessagesAndCodes) {
    struct Case {
        int code;
        int win; // -1: created without an OS code
        const char* message;
    };
    const Case cases[] = {
        {1, 2, "Unable to open com port (win error code: 2)"},
        {1, 5, "Unable to open com port (win error code: 5)"},
        {2, 6, "WriteFile function failed (win error code: 6)"},
        {3, 1117, "ReadFile function failed (win error code: 1117)"},
        {4, -1, "Invalid Async parameter"},
        {5, 31, "PurgeComm function failed (win error code: 31)"},
        {7, 87, "SetCommState function failed (win error code: 87)"},
        {8, 87, "SetCommTimeouts failed (win error code: 87)"},
        {9, 87, "SetupComm function failed (win error code: 87)"},
        {10, 6, "ClearCommError function failed (win error code: 6)"},
        {11, 6, "GetCommModemStatus function failed (win error code: 6)"},
        {12, 6, "EscapeCommFunction function failed (win error code: 6)"},
        {14, -1, "Cannot set property while connected"},
        {23, -1, "Registry error"},
    };
    for (const Case& c : cases) {
        const EComPort e = c.win < 0 ? EComPort(c.code) : EComPort(c.code, c.win);
        EXPECT_EQ(e.Code(), c.code);
        EXPECT_EQ(e.WinErrorCode(), c.win);
        EXPECT_STREQ(e.what(), c.message);
    }
    // Every code of the table has its text; others none.
    for (int code = 1; code <= 23; ++code)
        EXPECT_FALSE(ComErrorText(code).empty()) << code;
    EXPECT_TRUE(ComErrorText(0).empty());
    EXPECT_TRUE(ComErrorText(24).empty());
    const std::runtime_error& base = EComPort(6);
    EXPECT_STREQ(base.what(), "Unable to get async status");
}

TEST(ConversionTest, BaudRates) {
    const std::pair<TBaudRate, const char*> table[] = {
        {brCustom, "Custom"}, {br110, "110"},       {br300, "300"},       {br600, "600"},
        {br1200, "1200"},     {br2400, "2400"},     {br4800, "4800"},     {br9600, "9600"},
        {br14400, "14400"},   {br19200, "19200"},   {br38400, "38400"},   {br56000, "56000"},
        {br57600, "57600"},   {br115200, "115200"}, {br128000, "128000"}, {br256000, "256000"}};
    for (const auto& [rate, text] : table) {
        EXPECT_EQ(BaudRateToStr(rate), text);
        EXPECT_EQ(StrToBaudRate(text), rate);
    }
    const std::pair<const char*, TBaudRate> loose[] = {{"cUsToM", brCustom}, {"", br9600},
                                                       {"4800 ", br9600},    {" 4800", br9600},
                                                       {"fast", br9600},     {"4800,0", br9600}};
    for (const auto& [text, rate] : loose)
        EXPECT_EQ(StrToBaudRate(text), rate) << '"' << text << '"';
    EXPECT_EQ(BaudRateToInt(br4800, 1), 4800);
    EXPECT_EQ(BaudRateToInt(brCustom, 31250), 31250);
}

TEST(ConversionTest, OtherFamiliesWithTheirDefaults) {
    EXPECT_EQ(StrToStopBits("1.5"), sbOne5StopBits);
    EXPECT_EQ(StrToStopBits("2"), sbTwoStopBits);
    EXPECT_EQ(StrToStopBits("1,5"), sbOneStopBit);
    EXPECT_EQ(StopBitsToStr(sbOne5StopBits), "1.5");
    EXPECT_EQ(StrToDataBits("7"), dbSeven);
    EXPECT_EQ(StrToDataBits("9"), dbEight);
    EXPECT_EQ(DataBitsToStr(dbFive), "5");
    EXPECT_EQ(StrToParity("even"), prEven);
    EXPECT_EQ(StrToParity("SPACE"), prSpace);
    EXPECT_EQ(StrToParity("bogus"), prNone);
    EXPECT_EQ(ParityToStr(prMark), "Mark");
    EXPECT_EQ(StrToFlowControl("hardware"), fcHardware);
    EXPECT_EQ(StrToFlowControl("none"), fcNone);
    EXPECT_EQ(StrToFlowControl("xon"), fcCustom);
    EXPECT_EQ(FlowControlToStr(fcSoftware), "Software");
    EXPECT_EQ(StrToDTR("HANDSHAKE"), dtrHandshake);
    EXPECT_EQ(StrToDTR("on"), dtrDisable);
    EXPECT_EQ(DTRToStr(dtrEnable), "Enable");
    EXPECT_EQ(StrToRTS("toggle"), rtsToggle);
    EXPECT_EQ(StrToRTS(""), rtsDisable);
    EXPECT_EQ(RTSToStr(rtsHandshake), "Handshake");
    // Every value survives the round trip.
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(StrToParity(ParityToStr(TParityBits(i))), TParityBits(i));
    for (int i = 0; i <= 3; ++i)
        EXPECT_EQ(StrToRTS(RTSToStr(TRTSFlowControl(i))), TRTSFlowControl(i));
    for (int i = 0; i <= 3; ++i)
        EXPECT_EQ(StrToFlowControl(FlowControlToStr(TFlowControl(i))), TFlowControl(i));
}

TEST(ConversionTest, BoolsAndCharacters) {
    EXPECT_EQ(BoolToStr(true), "Yes");
    EXPECT_EQ(BoolToStr(false), "No");
    EXPECT_TRUE(StrToBool("yEs"));
    EXPECT_FALSE(StrToBool("Yes "));
    EXPECT_FALSE(StrToBool("1"));

    const std::pair<int, const char*> toText[] = {{17, "#17"}, {'A', "A"},    {' ', "#32"},  {0, "#0"},
                                                  {33, "!"},   {127, "\x7f"}, {128, "#128"}, {255, "#255"}};
    for (const auto& [code, text] : toText)
        EXPECT_EQ(CharToStr(static_cast<char>(code)), text) << code;

    const std::pair<const char*, int> fromText[] = {{"", 0},     {"#", '#'},  {"#A", 0},    {"#17", 17},
                                                    {"#256", 0}, {"#257", 1}, {"#0", 0},    {"A", 'A'},
                                                    {"AB", 'A'}, {"#1x", 0},  {"x#1", 'x'}, {"#-1", 255}};
    for (const auto& [text, code] : fromText)
        EXPECT_EQ(static_cast<unsigned char>(StrToChar(text)), code) << '"' << text << '"';
    for (int code = 0; code < 256; ++code)
        EXPECT_EQ(static_cast<unsigned char>(StrToChar(CharToStr(static_cast<char>(code)))), code);
}

TEST(ConversionTest, EventMasksAndCodes) {
    struct Case {
        TComEvent event;
        platform::DWORD mask;
        int code;
    };
    const Case table[] = {{evRxChar, 0x0001, 1},     {evTxEmpty, 0x0004, 4}, {evRxFlag, 0x0002, 2},
                          {evRing, 0x0100, 256},     {evBreak, 0x0040, 64},  {evCTS, 0x0008, 8},
                          {evDSR, 0x0010, 16},       {evError, 0x0080, 128}, {evRLSD, 0x0020, 32},
                          {evRx80Full, 0x0400, 1024}};
    for (const Case& c : table) {
        EXPECT_EQ(EventsToMask(TComEvents{c.event}), c.mask);
        EXPECT_EQ(MaskToEvents(c.mask), TComEvents{c.event});
        EXPECT_EQ(EventToCode(c.event), c.code);
        EXPECT_EQ(CodeToEvent(c.code), c.event);
    }
    EXPECT_EQ(EventsToMask(AllComEvents()), 0x05FFu);
    EXPECT_EQ(MaskToEvents(0xFFFFFFFFu), AllComEvents()); // other bits are not reported
    EXPECT_EQ(AllComEvents().ToBits(), 0x03FF);           // bit n for the n-th event
    EXPECT_THROW(CodeToEvent(3), std::invalid_argument);
}

} // namespace
