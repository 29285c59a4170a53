// The window with its telemetry: off without a broker in the settings; with one, a dashboard sees
// the sides and the journal's events, and a broker that goes away and comes back changes nothing
// for the units, is reported once, and is published to again.
#include "FormFixture.h"

#include "serial/ComPort.h"
#include "tests/support/FakeSerialServices.h"
#include "tests/support/TestBroker.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace std::chrono_literals;
using testsupport::TMessage;
using testsupport::TSubscriber;
using testsupport::TTestBroker;

const std::string Off = "@ledka=0&@rele=0&*";

TEST(WindowTelemetry, NothingRunsWithoutABrokerInTheSettings) {
    TFormFixture fx("[MQTT]\r\nHost=\r\nPort=1883\r\n");
    TForm1& f = fx.Show();
    EXPECT_EQ(f.Telemetry, nullptr);
    f.TimerUkazTimer(f.TimerUkaz);
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST(WindowTelemetry, ABrokerLostAndBackIsReportedOnceWhileTheUnitsGetEveryCommand) {
    if (!TTestBroker::Installed()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
    TTestBroker broker;
    ASSERT_TRUE(broker.Running());
    auto lines = std::make_shared<testsupport::FakeSerialServices>();
    TFormFixture fx("[MQTT]\r\nHost=127.0.0.1\r\nPort=" + std::to_string(broker.Port()) + "\r\nPrefix=w\r\n");
    TSubscriber sub(broker.Port(), "w/#");
    ASSERT_TRUE(sub.Subscribed());

    ASSERT_TRUE(fx.ShowWithQuietUnits(lines));
    TForm1& f = fx.Form();
    ASSERT_NE(f.Telemetry, nullptr);

    // Display refreshes (and, with `tick`, control ticks) until `done`, at most `limit`; the
    // broker answers on its own time.
    int ticks = 0;
    auto runUntil = [&](const std::function<bool()>& done, std::chrono::seconds limit, bool tick) {
        for (const auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end;) {
            if (tick) {
                f.TimerRegulatorTimer(f.TimerRegulator);
                ++ticks;
            }
            f.TimerUkazTimer(f.TimerUkaz);
            if (done()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    };
    auto journalHas = [&](const std::string& text) {
        return fx.ReadFile("Data/events.txt").find(text) != std::string::npos;
    };
    auto sent = [&](const TMessage& m, const char* topic, const char* payload) {
        return m.Topic == topic && m.Payload == payload;
    };

    EXPECT_TRUE(runUntil([&] { return !sub.On("w/side/2/temperature").empty(); }, 10s, false));
    EXPECT_TRUE(sub.WaitFor("w/status", "online"));
    EXPECT_TRUE(sub.WaitFor([&](const TMessage& m) { return sent(m, "w/side/1/temperature", "19.0"); }));
    EXPECT_TRUE(sub.WaitFor([&](const TMessage& m) { return sent(m, "w/cycle/state", "idle"); }));
    EXPECT_TRUE(sub.WaitFor([](const TMessage& m) {
        return m.Topic == "w/event" &&
               m.Payload.find(R"("side":null,"kind":"program-start")") != std::string::npos;
    }));
    EXPECT_TRUE(journalHas("telemetry\tpripojeno k brokeru 127.0.0.1:"));

    const std::string had1 = lines->Written("COM3"), had2 = lines->Written("COM4");
    broker.Kill();
    EXPECT_TRUE(runUntil([&] { return journalHas("ztraceno"); }, 10s, true));
    for (int i = 0; i < 5; ++i)
        f.TimerRegulatorTimer(f.TimerRegulator), ++ticks;
    std::string expected;
    for (int i = 0; i < ticks; ++i)
        expected += Off;
    EXPECT_EQ(lines->Written("COM3").substr(had1.size()), expected);
    EXPECT_EQ(lines->Written("COM4").substr(had2.size()), expected);

    ASSERT_TRUE(broker.Start());
    // Subscribed before the client's next try (a second after it lost the broker).
    TSubscriber again(broker.Port(), "w/#");
    ASSERT_TRUE(again.Subscribed());
    EXPECT_TRUE(runUntil([&] { return journalHas("obnoveno"); }, 15s, true));
    // The events of the outage follow; the restarted broker kept nothing, so the state is
    // published again.
    EXPECT_TRUE(again.WaitFor([](const TMessage& m) {
        return m.Topic == "w/event" && m.Payload.find("ztraceno") != std::string::npos;
    }));
    EXPECT_TRUE(again.WaitFor([&](const TMessage& m) { return sent(m, "w/side/2/temperature", "21.0"); }));
    EXPECT_TRUE(again.WaitFor([&](const TMessage& m) { return sent(m, "w/status", "online"); }));

    int reports = 0;
    for (const TRecordedBox& b : fx.Boxes.boxes)
        reports += b.text.contains(QStringLiteral("MQTT")) ? 1 : 0;
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(fx.Boxes.boxes.size(), 1u);

    fx.Close();
    EXPECT_EQ(f.Telemetry, nullptr);
    EXPECT_TRUE(again.WaitFor([&](const TMessage& m) { return sent(m, "w/status", "offline"); }));
    EXPECT_TRUE(again.WaitFor([](const TMessage& m) {
        return m.Topic == "w/event" && m.Payload.find(R"("kind":"program-exit")") != std::string::npos;
    }));
}

} // namespace
