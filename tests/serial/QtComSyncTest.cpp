// The Qt hand-over: notifications of a port on a real pseudo-terminal reach the Qt event loop's
// thread, and a closing port serves a pending hand-over without the loop.
#include "app/QtComSync.h"
#include "serial/ComPort.h"
#include "tests/support/PtyPair.h"

#include <QCoreApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(QtComSyncTest, OnRxCharRunsFromTheEventLoop) {
    PtyPair pty;
    auto sync = std::make_shared<QtComSync>();
    std::string received;
    std::thread::id ranOn;
    TComPort port(nullptr, sync);
    port.SetPort(pty.SlavePath());
    port.OnRxChar = [&](TComPort* p, int count) {
        ranOn = std::this_thread::get_id();
        std::string s;
        p->ReadStr(s, count);
        received += s;
    };
    port.Open();
    pty.Send("@t=21,5C\r");
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= 9; }, 5000));
    EXPECT_EQ(received, "@t=21,5C\r");
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    port.Close();
}

TEST(QtComSyncTest, CloseServesAPendingHandOverWithoutTheEventLoop) {
    PtyPair pty;
    auto sync = std::make_shared<QtComSync>();
    std::vector<std::string> log;
    TComPort port(nullptr, sync);
    port.SetPort(pty.SlavePath());
    port.OnRxChar = [&](TComPort* p, int) { log.push_back(p->Connected() ? "RxChar+" : "RxChar-"); };
    port.OnAfterClose = [&](TComPort*) { log.push_back("AfterClose"); };
    port.Open();
    pty.Send("x");
    sync->WaitForPending();
    port.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"RxChar+", "AfterClose"}));
    // The event loop's own call finds nothing left.
    QCoreApplication::processEvents();
    EXPECT_EQ(log.size(), 2u);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
