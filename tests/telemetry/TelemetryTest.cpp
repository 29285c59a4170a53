// What the telemetry sends and when, without a broker: payload texts, the state topics' rhythm,
// the reports about the connection, and the settings section.
#include "telemetry/LinkMonitor.h"
#include "telemetry/Payload.h"
#include "telemetry/Settings.h"
#include "telemetry/StatePublisher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

using namespace telemetry;
using namespace std::chrono_literals;

TEST(TelemetryPayload, NumbersHaveAPointAndOneDecimal) {
    const std::pair<double, const char*> cases[] = {{148.27, "148.3"}, {150.0, "150.0"},
                                                    {-3.27, "-3.3"},   {-0.04, "0.0"},
                                                    {0.05, "0.1"},     {1234567.26, "1234567.3"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(NumberText(value), text) << value;
}

TEST(TelemetryPayload, EventsAreValidJsonWithSideNullForTheWholeProgram) {
    journal::Event e;
    e.Time = {2026, 12, 8, 14, 5, 3, 60}; // CET
    e.Side = 1;
    e.Kind = "cycle-start";
    e.Detail = "obsluha";
    EXPECT_EQ(EventJson(e),
              R"({"time":"2026-12-08T14:05:03+01:00","side":1,"kind":"cycle-start","text":"obsluha"})");
    // The offset as the zone has it: behind UTC, by half hours, none.
    EXPECT_EQ(IsoTime({2026, 7, 1, 9, 0, 0, -210}), "2026-07-01T09:00:00-03:30");
    EXPECT_EQ(IsoTime({2026, 7, 1, 9, 0, 0, 345}), "2026-07-01T09:00:00+05:45");
    EXPECT_EQ(IsoTime({2026, 7, 1, 9, 0, 0, 0}), "2026-07-01T09:00:00+00:00");
    e.Time.UtcOffsetMinutes = 0;
    e.Side = 0;
    e.Kind = "report";
    e.Detail = "Chyba: \"x\"\\y\tz";
    EXPECT_EQ(
        EventJson(e),
        R"({"time":"2026-12-08T14:05:03+00:00","side":null,"kind":"report","text":"Chyba: \"x\"\\y\u0009z"})");
    // UTF-8 passes; a stray Latin-1 byte (0xE9) becomes its UTF-8 form; a cut sequence too.
    EXPECT_EQ(JsonString("\xC3\xA9-\xE9-\xC3"), "\"\xC3\xA9-\xC3\xA9-\xC3\x83\"");
}

TEST(TelemetryPayload, CycleStateFollowsTheWindowsPhases) {
    EXPECT_EQ(CycleStateName(CycleStateOf(false, true, false)), "idle");
    EXPECT_EQ(CycleStateName(CycleStateOf(true, true, false)), "running");
    EXPECT_EQ(CycleStateName(CycleStateOf(true, false, false)), "holding");
    EXPECT_EQ(CycleStateName(CycleStateOf(true, true, true)), "holding");
}

class StatePublisherTest : public ::testing::Test {
protected:
    // What one Publish sent, topic (without the prefix) -> payload.
    std::map<std::string, std::string> Publish(const Snapshot& s, std::chrono::seconds at) {
        sent.clear();
        pub.Publish(s, t0 + at);
        return sent;
    }
    std::map<std::string, std::string> sent;
    TStatePublisher pub{"p", [this](const std::string& topic, const std::string& payload) {
                            EXPECT_FALSE(sent.count(topic.substr(2))) << topic << " sent twice";
                            sent[topic.substr(2)] = payload;
                        }};
    std::chrono::steady_clock::time_point t0{std::chrono::hours(1)};
};

TEST_F(StatePublisherTest, SideValuesOnChangeAndEveryTenSecondsCycleValuesOnChangeOnly) {
    Snapshot s;
    s.Sides[0] = {148.27, 150.0, true};
    s.Sides[1] = {21.0, 0.0, false};
    s.CycleTime = 12.9;
    s.CycleLength = 180;
    s.Cycle = CycleState::Running;
    const std::map<std::string, std::string> all = {{"side/1/temperature", "148.3"},
                                                    {"side/1/setpoint", "150.0"},
                                                    {"side/1/heater", "1"},
                                                    {"side/2/temperature", "21.0"},
                                                    {"side/2/setpoint", "0.0"},
                                                    {"side/2/heater", "0"},
                                                    {"cycle/time", "12"},
                                                    {"cycle/length", "180"},
                                                    {"cycle/state", "running"}};
    EXPECT_EQ(Publish(s, 0s), all);

    s.Sides[0].Temperature = 148.31; // the same text
    s.CycleTime = 12.95;
    EXPECT_TRUE(Publish(s, 1s).empty());

    s.Sides[0].Temperature = 148.36;
    s.Sides[1].Heater = true;
    s.CycleTime = 13.0;
    EXPECT_EQ(Publish(s, 2s),
              (std::map<std::string, std::string>{
                  {"side/1/temperature", "148.4"}, {"side/2/heater", "1"}, {"cycle/time", "13"}}));

    // Ten seconds after the first message every side value goes out again; the cycle's do not.
    s.Cycle = CycleState::Holding;
    const auto tenLater = Publish(s, 10s);
    EXPECT_EQ(tenLater.size(), 5u); // side 1's temperature and side 2's heater went out at 2 s
    EXPECT_FALSE(tenLater.count("side/1/temperature"));
    EXPECT_FALSE(tenLater.count("side/2/heater"));
    EXPECT_EQ(tenLater.at("cycle/state"), "holding");
    EXPECT_FALSE(tenLater.count("cycle/length"));
    EXPECT_EQ(Publish(s, 12s).size(), 2u); // those two, 10 s after their last

    pub.Invalidate();
    EXPECT_EQ(Publish(s, 13s).size(), all.size());
}

TEST(TelemetryLink, OneReportPerOutageAndAJournalLineForEachChange) {
    using K = LinkEvent::Kind;
    TLinkMonitor m("h:1883");
    int reports = 0;
    std::vector<std::string> journal;
    auto feed = [&](K k, int code = 0) {
        if (auto n = m.Feed({k, code})) {
            journal.push_back(n->Journal);
            if (!n->Report.empty()) ++reports;
        }
    };
    // Unreachable at start, retried, then refused, then admitted.
    feed(K::Down, 14);
    feed(K::Down, 14);
    feed(K::Refused, 5);
    feed(K::Down, 7);
    EXPECT_EQ(reports, 1);
    feed(K::Up);
    feed(K::Up);
    // Lost, retried many times, back; refused after a later restart.
    for (int i = 0; i < 5; ++i)
        feed(K::Down, 7);
    feed(K::Up);
    feed(K::Refused, 4);
    feed(K::Refused, 4);
    EXPECT_EQ(reports, 3);
    EXPECT_EQ(journal, (std::vector<std::string>{
                           "broker h:1883 neni dostupny", "spojeni s brokerem h:1883 obnoveno",
                           "spojeni s brokerem h:1883 ztraceno", "spojeni s brokerem h:1883 obnoveno",
                           "broker h:1883 odmitl prihlaseni (spatne jmeno nebo heslo)"}));
}

TEST(TelemetrySettings, OffWithoutHostAndDefaultsForMissingOrWrongValues) {
    const auto file =
        std::filesystem::temp_directory_path() / ("mqtt-" + std::to_string(::getpid()) + ".ini");
    auto read = [&](const std::string& content) {
        std::ofstream(file, std::ios::binary) << content;
        return ReadMqttSettings(platform::ProfileFile(file), "oven");
    };
    MqttSettings s = read("[Nastaveni]\r\nZadana1=150\r\n");
    EXPECT_FALSE(s.Enabled());
    EXPECT_EQ(s.Port, 1883);
    EXPECT_EQ(s.Prefix, "regulator/oven");

    s = read("[MQTT]\r\nHost=broker.lan\r\nPort=1884\r\nPrefix=plant/hall/oven-3/"
             "\r\nUser=u\r\nPassword=p\r\nTLS=1\r\n");
    EXPECT_TRUE(s.Enabled());
    EXPECT_EQ(s.Broker(), "broker.lan:1884");
    EXPECT_EQ(s.Prefix, "plant/hall/oven-3");
    EXPECT_EQ(s.User, "u");
    EXPECT_EQ(s.Password, "p");
    EXPECT_TRUE(s.Tls);

    s = read("[MQTT]\r\nHost=b\r\nPort=99999\r\nPrefix=plant/#\r\nTLS=1\r\n");
    EXPECT_EQ(s.Port, 8883); // TLS without a valid port: the TLS port
    EXPECT_EQ(s.Prefix, "regulator/oven");
    std::filesystem::remove(file);
}

} // namespace
