// The telemetry against a real broker (mosquitto, started by the test on a free loopback port):
// what a subscriber receives, the last will when the program dies and only then, a refused
// login, and a broker whose certificate nobody trusts.
#include "telemetry/Telemetry.h"
#include "tests/support/TestBroker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

constexpr const char* DyingProgram = "--connect-and-die";
using testsupport::TMessage;
using testsupport::TSubscriber;
using testsupport::TTestBroker;

telemetry::MqttSettings On(int port, const std::string& prefix) {
    telemetry::MqttSettings s;
    s.Host = "127.0.0.1";
    s.Port = port;
    s.Prefix = prefix;
    return s;
}

// The link notes that arrive within `time` (the client tells them from its own thread).
std::vector<telemetry::LinkNote>
NotesWithin(telemetry::TTelemetry& t, std::chrono::milliseconds time,
            const std::function<bool(const telemetry::LinkNote&)>& enough = {}) {
    std::vector<telemetry::LinkNote> notes;
    for (const auto end = std::chrono::steady_clock::now() + time; std::chrono::steady_clock::now() < end;) {
        for (auto& n : t.TakeLinkNotes()) {
            notes.push_back(std::move(n));
            if (enough && enough(notes.back())) return notes;
        }
        std::this_thread::sleep_for(20ms);
    }
    return notes;
}

class TelemetryBroker : public ::testing::Test {
protected:
    void SetUp() override {
        if (!TTestBroker::Installed()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
        ASSERT_TRUE(broker.Running());
    }
    TTestBroker broker;
};

TEST_F(TelemetryBroker, StatusStateAndEventsArriveAndOfflineStaysAfterStop) {
    TSubscriber sub(broker.Port(), "t1/#");
    ASSERT_TRUE(sub.Subscribed());
    auto t = telemetry::TTelemetry::Start(On(broker.Port(), "t1"));
    ASSERT_TRUE(t);
    ASSERT_TRUE(sub.WaitFor("t1/status", "online"));
    const auto notes = NotesWithin(*t, 5s, [](auto&) { return true; });
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].Journal, "pripojeno k brokeru 127.0.0.1:" + std::to_string(broker.Port()));
    EXPECT_TRUE(notes[0].Report.empty());

    telemetry::Snapshot s;
    s.Sides[0] = {148.27, 150.0, true};
    s.Sides[1] = {21.0, 0.0, false};
    s.CycleLength = 180;
    s.Cycle = telemetry::CycleState::Running;
    t->Refresh(s, std::chrono::steady_clock::now());
    journal::Event start{{2026, 12, 8, 14, 5, 3}, 0, "cycle-start", "obsluha"};
    t->PublishEvent(start);
    EXPECT_TRUE(sub.WaitFor("t1/side/1/temperature", "148.3"));
    EXPECT_TRUE(sub.WaitFor("t1/side/2/setpoint", "0.0"));
    EXPECT_TRUE(sub.WaitFor("t1/side/1/heater", "1"));
    EXPECT_TRUE(sub.WaitFor("t1/cycle/state", "running"));
    EXPECT_TRUE(sub.WaitFor(
        "t1/event",
        R"({"time":"2026-12-08T14:05:03+00:00","side":null,"kind":"cycle-start","text":"obsluha"})"));

    // A subscriber that comes later still gets the status and the state, as retained messages.
    {
        TSubscriber late(broker.Port(), "t1/#");
        EXPECT_TRUE(late.WaitFor(
            [](const TMessage& m) { return m.Topic == "t1/status" && m.Payload == "online" && m.Retained; }));
        EXPECT_TRUE(late.WaitFor([](const TMessage& m) {
            return m.Topic == "t1/cycle/length" && m.Payload == "180" && m.Retained;
        }));
        EXPECT_TRUE(late.On("t1/event").empty());
    }

    const auto before = std::chrono::steady_clock::now();
    t->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
    EXPECT_TRUE(sub.WaitFor("t1/status", "offline"));
    TSubscriber after(broker.Port(), "t1/status");
    EXPECT_TRUE(after.WaitFor([](const TMessage& m) { return m.Payload == "offline" && m.Retained; }));
}

TEST_F(TelemetryBroker, TheLastWillSaysOfflineWhenTheProgramDies) {
    TSubscriber sub(broker.Port(), "t2/status");
    ASSERT_TRUE(sub.Subscribed());
    // The program is this executable run again (see main): it connects and dies without a word.
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string port = std::to_string(broker.Port());
    char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>(DyingProgram),
                    const_cast<char*>(port.c_str()), nullptr};
    pid_t child = -1;
    ASSERT_EQ(::posix_spawn(&child, exe.c_str(), nullptr, nullptr, argv, environ), 0);
    EXPECT_TRUE(sub.WaitFor("t2/status", "online"));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(sub.WaitFor("t2/status", "offline"));
}

TEST_F(TelemetryBroker, AnOrderlyExitSaysOfflineOnceAndNoLastWillFollows) {
    TSubscriber sub(broker.Port(), "t6/status");
    ASSERT_TRUE(sub.Subscribed());
    auto count = [&](const std::string& payload) {
        int n = 0;
        for (const TMessage& m : sub.On("t6/status"))
            n += m.Payload == payload ? 1 : 0;
        return n;
    };
    auto reaches = [&](const std::string& payload, int n) {
        for (const auto end = std::chrono::steady_clock::now() + 10s; count(payload) < n;) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    };
    // A last will comes as soon as the broker sees the connection end; the next connection's
    // "online" can only come after it.
    constexpr int Exits = 10;
    for (int i = 1; i <= Exits; ++i) {
        auto t = telemetry::TTelemetry::Start(On(broker.Port(), "t6"));
        ASSERT_TRUE(reaches("online", i)) << i;
        const auto before = std::chrono::steady_clock::now();
        t->Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
        ASSERT_TRUE(reaches("offline", i)) << i;
    }
    TSubscriber last(broker.Port(), "t6/#"); // after the last exit: a will would be there by now
    ASSERT_TRUE(last.Subscribed());
    EXPECT_EQ(count("offline"), Exits);
}

TEST(TelemetryTls, AFailedHandshakeIsRetriedAndReportedOnce) {
    if (!TTestBroker::Installed()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
    TTestBroker broker(/*refuseLogins=*/false, /*tls=*/true);
    ASSERT_TRUE(broker.Running()) << "a TLS broker needs openssl (scripts/install-deps)";
    telemetry::MqttSettings s = On(broker.Port(), "t5");
    s.Tls = true;
    auto t = telemetry::TTelemetry::Start(s);
    // No system trusts the broker's certificate: every handshake fails, and the client tries
    // again after 1 s and after 2 s more, as for any other failure.
    EXPECT_TRUE(broker.WaitForConnections(3, 10s)) << broker.Connections();
    const auto notes = t->TakeLinkNotes();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].Journal, "broker 127.0.0.1:" + std::to_string(broker.Port()) + " neni dostupny");
    EXPECT_FALSE(t->Client().Connected());
    t.reset();

    // Once the system trusts the certificate (OpenSSL takes the store from SSL_CERT_FILE when
    // set), the same settings connect.
    ::setenv("SSL_CERT_FILE", broker.CertificateFile().c_str(), 1);
    auto trusted = telemetry::TTelemetry::Start(s);
    const auto up = NotesWithin(*trusted, 5s, [](auto&) { return true; });
    ::unsetenv("SSL_CERT_FILE");
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].Journal, "pripojeno k brokeru 127.0.0.1:" + std::to_string(broker.Port()));
}

TEST(TelemetryDown, ABrokerDownAtStartIsReportedOnceAndStopsNothing) {
    if (!TTestBroker::Installed()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
    TTestBroker broker;
    broker.Kill(); // its port now refuses connections
    auto t = telemetry::TTelemetry::Start(On(broker.Port(), "t4"));
    for (int i = 0; i < 100; ++i)
        t->Refresh(telemetry::Snapshot{}, std::chrono::steady_clock::now());
    const auto notes = NotesWithin(*t, 2500ms);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].Journal, "broker 127.0.0.1:" + std::to_string(broker.Port()) + " neni dostupny");
    EXPECT_FALSE(notes[0].Report.empty());
    const auto before = std::chrono::steady_clock::now();
    t->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);

    // Stopped at once, before or after the first connection was begun: the thread that begins
    // it cleans up whichever way the race goes.
    for (int i = 0; i < 20; ++i) {
        telemetry::TMqttClient c(On(broker.Port(), "t4"));
        c.Start();
        c.Publish("t4/x", "1", 1, false);
        c.Stop(0ms);
        EXPECT_FALSE(c.Connected());
    }
}

TEST(TelemetryRefused, ARefusedLoginIsReportedOnceWhileTheClientKeepsTrying) {
    if (!TTestBroker::Installed()) GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps)";
    TTestBroker broker(/*refuseLogins=*/true);
    ASSERT_TRUE(broker.Running());
    auto t = telemetry::TTelemetry::Start(On(broker.Port(), "t3"));
    // The client retries after a second: two refusals in 2.5 s, and more later.
    const auto notes = NotesWithin(*t, 2500ms);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].Journal, "broker 127.0.0.1:" + std::to_string(broker.Port()) +
                                    " odmitl prihlaseni (neopravneny pristup)");
    EXPECT_NE(notes[0].Report.find("odmitl prihlaseni"), std::string::npos);
    const auto before = std::chrono::steady_clock::now();
    t.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 2s);
}

} // namespace

// The tests, or (with DyingProgram and a port) a program that connects to the broker on that port
// with the prefix "t2" and ends abruptly once connected.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == DyingProgram) {
        auto t = telemetry::TTelemetry::Start(On(std::atoi(argv[2]), "t2"));
        for (int i = 0; i < 500 && !t->Client().Connected(); ++i)
            std::this_thread::sleep_for(10ms);
        std::_Exit(t->Client().Connected() ? 0 : 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
