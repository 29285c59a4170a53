#include "devicelink/RxParser.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using devicelink::HandleReceived;
using devicelink::HandleTestText;
using devicelink::ParseRxChar;
using devicelink::RxOptions;

// Records every effect as one text, in the order they happened.
class Recorder : public devicelink::RxEffects {
public:
    std::vector<std::string> Events;
    bool FailStart = false;
    void ShowIdentification(int side, const std::string& text) override {
        Events.push_back("label" + std::to_string(side) + "=" + text);
    }
    void AddCommLine(const std::string& line) override { Events.push_back("list:" + line); }
    void RemoteStart() override {
        Events.push_back("start");
        if (FailStart) throw std::runtime_error("apply failed");
    }
    void RemoteStop() override { Events.push_back("stop"); }
};

struct Fixture {
    state::RegulatorState S;
    Recorder fx;
    Fixture() {
        S.SideState[1].Temperature = 19.0;
        S.SideState[2].Temperature = 21.0;
    }
    void Feed(int side, const std::string& text) {
        for (char ch : text)
            ParseRxChar(S, fx, side, ch);
    }
};

struct ParseCase {
    const char* name;
    std::string input;  // fed to side 1
    double temperature; // side 1 afterwards (started at 19)
    std::vector<std::string> events;
};

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, GivesItsEffects) {
    const ParseCase& c = GetParam();
    Fixture f;
    f.Feed(1, c.input);
    EXPECT_DOUBLE_EQ(f.S.SideState[1].Temperature, c.temperature);
    EXPECT_EQ(f.fx.Events, c.events);
    EXPECT_DOUBLE_EQ(f.S.SideState[2].Temperature, 21.0) << "side 2 must never change";
    EXPECT_LE(f.S.RxLine[1].size(), devicelink::MaxRxLine);
}

const std::string CR = "\r";

INSTANTIATE_TEST_SUITE_P(
    Protocol, ParseTable,
    ::testing::Values(
        ParseCase{"PointReport", "@t=150.5C" + CR, 150.5, {}},
        ParseCase{"CommaReport", "@t=150,5C" + CR, 150.5, {}},
        ParseCase{"LeadingBlank", "@t= 21,5C" + CR, 21.5, {}},
        ParseCase{"NegativeReport", "@t=-3,25C" + CR, -3.25, {}},
        ParseCase{"Exponent", "@t=1,5E2C" + CR, 150.0, {}},
        ParseCase{"GarbageBeforeFrame", "xx@t=150,5C" + CR, 150.5, {}},
        ParseCase{"SecondAtRestarts", "@t=15@t=150,5C" + CR, 150.5, {}},
        ParseCase{"LineFeedDroppedWhenIdle", "@t=150,5C\r\n", 150.5, {}},
        ParseCase{"LowerCaseC", "@t=150,5c" + CR, 19.0, {}},
        ParseCase{"UpperCaseT", "@T=150,5C" + CR, 19.0, {}},
        ParseCase{"ShortReport", "@t=21,5C" + CR, 19.0, {}},
        ParseCase{"NotANumber", "@t=1x0,5C" + CR, 0.0, {}},
        ParseCase{"OnlyBlanksAndComma", "@t=  ,  C" + CR, 0.0, {}},
        ParseCase{"TwoCommas", "@t=1.2.3C" + CR, 0.0, {}},
        ParseCase{"ZeroByteInNumber", std::string("@t=1\0000,5C\r", 11), 0.0, {}},
        ParseCase{"HugeExponentIsNoTemperature", "@t=9E999C" + CR, 0.0, {}},
        ParseCase{"TooLargeIsNoTemperature", "@t=1E308C" + CR, 0.0, {}},
        ParseCase{"LargestTooLarge", "@t=1E15 C" + CR, 0.0, {}},
        ParseCase{"JustBelowLimit", "@t=99E13C" + CR, 99e13, {}},
        ParseCase{"NegativeTooLarge", "@t=-1E20C" + CR, 0.0, {}},
        ParseCase{"TinyIsKept", "@t=1E-99C" + CR, 1e-99, {}},
        ParseCase{"NoCarriageReturnYet", "@t=150,5C", 19.0, {}},
        ParseCase{"NoFrame", "t=150,5C" + CR, 19.0, {}},
        ParseCase{"Identification1", "@Pt1&" + CR, 19.0, {"label1=Pt1&"}},
        ParseCase{"Identification2OnSide1", "@Pt2" + CR, 19.0, {"label1=Pt2"}},
        ParseCase{"IdentificationWithPoint", "@Pt2." + CR, 19.0, {}},
        ParseCase{"NearIdentifications", "@pt1&\r@Pt1\r@Pt2&\r@START\r@stop&\r", 19.0, {}},
        ParseCase{"RemoteStart", "@START&" + CR, 19.0, {"start"}},
        ParseCase{"RemoteStop", "@STOP&" + CR, 19.0, {"stop"}}, ParseCase{"EmptyPayload", "@" + CR, 19.0, {}},
        ParseCase{"ElevenCharsEvaluated", "@t=150,5C+-*" + CR, 19.0, {}},
        ParseCase{"TwelveCharsAbandonedOnCR",
                  "@ABCDEFGHIJKL\r@t=150,5C\r",
                  150.5,
                  {"list:1: nerozumim: ABCDEFGHIJKL"}},
        ParseCase{"TwelveCharsPending", "@ABCDEFGHIJKL", 19.0, {}},
        ParseCase{"TwentyCharsLogFirstTwelve",
                  "@ABCDEFGHIJKLMNOPQRST\r",
                  19.0,
                  {"list:1: nerozumim: ABCDEFGHIJKL"}},
        ParseCase{"AbandoningAtStartsNewFrame",
                  "@ABCDEFGHIJKL@t=150,5C\r",
                  150.5,
                  {"list:1: nerozumim: ABCDEFGHIJKL"}},
        ParseCase{"PointsCountAsCommasInLog", "@a.b.c.d.e.f.\r", 19.0, {"list:1: nerozumim: a,b,c,d,e,f,"}},
        ParseCase{"ReportAfterLongGarbage",
                  "@0123456789ABCDEFGH\r@t=  7,5C\r",
                  7.5,
                  {"list:1: nerozumim: 0123456789AB"}},
        ParseCase{"EvaluationOrderAllInOne",
                  "@Pt1&\r@START&\r@t=100,0C\r@STOP&\r",
                  100.0,
                  {"label1=Pt1&", "start", "stop"}}),
    [](const ::testing::TestParamInfo<ParseCase>& p) { return std::string(p.param.name); });

TEST(RxParser, StatesStayWithinTheTwoValues) {
    Fixture f;
    f.Feed(1, "xx");
    EXPECT_EQ(f.S.RxState[1], state::RxIdle);
    f.Feed(1, "@t=1");
    EXPECT_EQ(f.S.RxState[1], state::RxInMessage);
    EXPECT_EQ(f.S.RxLine[1], "t=1");
    f.Feed(1, "\r");
    EXPECT_EQ(f.S.RxState[1], state::RxIdle);
    EXPECT_EQ(f.S.RxLine[1], "");
}

TEST(RxParser, SidesAreIsolated) {
    Fixture f;
    f.Feed(2, "@t=1");    // half a frame on side 2
    f.Feed(1, "50,5C\r"); // must not complete it on side 1
    EXPECT_DOUBLE_EQ(f.S.SideState[1].Temperature, 19.0);
    EXPECT_DOUBLE_EQ(f.S.SideState[2].Temperature, 21.0);
    f.Feed(2, "50,5C\r");
    EXPECT_DOUBLE_EQ(f.S.SideState[2].Temperature, 150.5);
    f.Feed(2, "@Pt1&\r@ABCDEFGHIJKLM");
    EXPECT_EQ(f.fx.Events, (std::vector<std::string>{"label2=Pt1&", "list:2: nerozumim: ABCDEFGHIJKL"}));
    EXPECT_DOUBLE_EQ(f.S.SideState[1].Temperature, 19.0);
}

TEST(RxParser, FailingEffectLeavesTheParserIdle) {
    Fixture f;
    f.fx.FailStart = true;
    EXPECT_THROW(f.Feed(1, "@START&\r"), std::runtime_error);
    EXPECT_EQ(f.S.RxState[1], state::RxIdle);
    EXPECT_EQ(f.S.RxLine[1], "");
    f.fx.FailStart = false;
    f.Feed(1, "@t=150,5C\r");
    EXPECT_DOUBLE_EQ(f.S.SideState[1].Temperature, 150.5);
}

TEST(RxParser, EveryByteKeepsTheLineBounded) {
    Fixture f;
    for (int round = 0; round < 3; ++round) {
        for (int b = 0; b < 256; ++b) {
            ParseRxChar(f.S, f.fx, 1, static_cast<char>(b));
            ASSERT_LE(f.S.RxLine[1].size(), devicelink::MaxRxLine);
            ASSERT_TRUE(f.S.RxState[1] == state::RxIdle || f.S.RxState[1] == state::RxInMessage);
        }
    }
}

// The receive handler and the Test path: what is listed and what is parsed.
struct BatchCase {
    const char* name;
    bool test; // Test path instead of a received batch
    RxOptions opt;
    std::string text;
    std::string pending; // characters of side 2 received before
    double temperature;  // side 2 afterwards (started at 21)
    std::vector<std::string> events;
};

class BatchTable : public ::testing::TestWithParam<BatchCase> {};

TEST_P(BatchTable, ListsThenParses) {
    const BatchCase& c = GetParam();
    Fixture f;
    f.Feed(2, c.pending);
    if (c.test) {
        HandleTestText(f.S, f.fx, 2, c.text, c.opt);
    } else {
        HandleReceived(f.S, f.fx, 2, c.text, c.opt);
    }
    EXPECT_DOUBLE_EQ(f.S.SideState[2].Temperature, c.temperature);
    EXPECT_EQ(f.fx.Events, c.events);
    EXPECT_DOUBLE_EQ(f.S.SideState[1].Temperature, 19.0);
}

INSTANTIATE_TEST_SUITE_P(
    Handlers, BatchTable,
    ::testing::Values(
        BatchCase{"ReceivedParsed", false, {}, "@t=150,5C\r", "", 150.5, {}},
        BatchCase{"ReceivedListedThenParsed",
                  false,
                  {true, false},
                  "@Pt2\r@t=150,5C\r",
                  "",
                  150.5,
                  {"list:2: @Pt2\r@t=150,5C\r", "label2=Pt2"}},
        BatchCase{"NerozumimAboveBatchLine",
                  false,
                  {true, false},
                  "@ABCDEFGHIJKLM",
                  "",
                  21.0,
                  {"list:2: @ABCDEFGHIJKLM", "list:2: nerozumim: ABCDEFGHIJKL"}},
        BatchCase{
            "SimulationListsOnly", false, {true, true}, "@t=150,5C\r", "", 21.0, {"list:2: @t=150,5C\r"}},
        BatchCase{"SimulationSilent", false, {false, true}, "@START&\r", "", 21.0, {}},
        BatchCase{"ReportSplitOverBatches", false, {}, "0,5C\r", "@t=15", 150.5, {}},
        BatchCase{"TestText", true, {}, "@t=150,5C", "", 150.5, {}},
        BatchCase{
            "TestListedWithoutCR", true, {true, false}, "@Pt2", "", 21.0, {"list:2: @Pt2", "label2=Pt2"}},
        BatchCase{
            "TestSimulationListsOnly", true, {true, true}, "@t=150,5C", "", 21.0, {"list:2: @t=150,5C"}},
        BatchCase{"TestWithoutAtDoesNothing", true, {}, "t=150,5C", "", 21.0, {}},
        BatchCase{"EmptyTestOnIdleSide", true, {}, "", "", 21.0, {}},
        BatchCase{"EmptyTestCompletesUnitFrame", true, {}, "", "@t=150,5C", 150.5, {}},
        BatchCase{"TestRemoteStart", true, {}, "@START&", "", 21.0, {"start"}}),
    [](const ::testing::TestParamInfo<BatchCase>& p) { return std::string(p.param.name); });

TEST(RxParser, RemoteStartRunsBetweenCharactersOfOneBatch) {
    // The Start must have run before the report that follows it in the same batch is parsed:
    // a Start resets what it owns, and the report must land after it.
    struct StartSetsTemperature : Recorder {
        state::RegulatorState* S = nullptr;
        void RemoteStart() override { S->SideState[1].Temperature = -1.0; }
    } fx;
    state::RegulatorState S;
    fx.S = &S;
    HandleReceived(S, fx, 1, "@START&\r@t=150,5C\r", {});
    EXPECT_DOUBLE_EQ(S.SideState[1].Temperature, 150.5);
}

} // namespace
