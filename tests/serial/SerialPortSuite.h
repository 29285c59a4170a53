#pragma once
// The port over the system's own serial layer, one suite for both systems: on Linux against
// pseudo-terminals (PtyPortTest.cpp), on Windows against null-modem pairs of ports
// (ComPairPortTest.cpp; under Wine two pseudo-terminals joined by a relay). The test plays the
// peer on the other end.
//
// A backend gives:
//   Backend::Peer(index)    the index-th line: PortName() for the port, Send(bytes) and
//                           Receive(count, timeoutMs) on the other end;
//   Backend::MissingPort()  a port name that names no device;
//   Backend::Wine()         true when the layer runs under Wine, which differs from Windows in a
//                           few documented behaviours: those checks are skipped there, each
//                           marked "Wine:" with what Wine does instead.
#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace serialsuite {

struct Recorder {
    std::vector<std::string> log;
    void Attach(TComPort& port) {
        port.OnBeforeOpen = [this](TComPort* p) { log.push_back(Tag("BeforeOpen", p)); };
        port.OnAfterOpen = [this](TComPort* p) { log.push_back(Tag("AfterOpen", p)); };
        port.OnBeforeClose = [this](TComPort* p) { log.push_back(Tag("BeforeClose", p)); };
        port.OnAfterClose = [this](TComPort* p) { log.push_back(Tag("AfterClose", p)); };
        port.OnCTSChange = [this](TComPort*, bool on) { log.push_back(std::string("CTS=") + (on ? "1" : "0")); };
        port.OnDSRChange = [this](TComPort*, bool on) { log.push_back(std::string("DSR=") + (on ? "1" : "0")); };
        port.OnRLSDChange = [this](TComPort*, bool on) { log.push_back(std::string("RLSD=") + (on ? "1" : "0")); };
    }
    static std::string Tag(const char* what, TComPort* p) { return std::string(what) + (p->Connected() ? "+" : "-"); }
};

template <class Backend> struct SerialPort : ::testing::Test {
    typename Backend::Peer peer{0};
    std::shared_ptr<TQueuedComSync> sync = std::make_shared<TQueuedComSync>();
    // What the handlers record outlives the port, whose destructor still notifies.
    Recorder rec;
    std::vector<std::string> events;
    TComPort subject{nullptr, sync};
    void SetUp() override { subject.SetPort(peer.PortName()); }

    // Runs hand-overs on this ("user-interface") thread until `done` or a generous limit.
    template <typename Pred> bool PumpUntil(Pred done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done()) {
            if (std::chrono::steady_clock::now() > limit) return false;
            if (!sync->HasPending()) {
                std::this_thread::yield();
                continue;
            }
            sync->ProcessPending();
        }
        return true;
    }

    // Reads what is waiting, as the program's handlers do (a read never waits for more).
    std::string ReadWaiting(TComPort& p) {
        std::string s;
        const int n = p.RxQueueCount();
        if (n > 0) p.ReadStr(s, n);
        return s;
    }
};

TYPED_TEST_SUITE_P(SerialPort);

TYPED_TEST_P(SerialPort, OpenAndCloseRunTheirNotificationsInOrder) {
    auto& port = this->subject;
    this->rec.Attach(port);
    port.Open();
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(port.ThreadCreated());
    EXPECT_NE(port.Handle(), platform::INVALID_HANDLE_VALUE);
    port.Open(); // already open: nothing
    port.Close();
    port.Close(); // already closed: nothing
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), platform::INVALID_HANDLE_VALUE);
    // No modem lines on either test line: all read off.
    const std::vector<std::string> expected = {"BeforeOpen-", "AfterOpen+", "CTS=0", "DSR=0",        "RLSD=0",
                                               "CTS=0",       "DSR=0",      "RLSD=0", "BeforeClose+", "AfterClose-"};
    EXPECT_EQ(this->rec.log, expected);
}

TYPED_TEST_P(SerialPort, MissingDeviceFailsWithFileNotFoundAndFiresOnlyBeforeOpen) {
    auto& port = this->subject;
    this->rec.Attach(port);
    port.SetPort(TypeParam::MissingPort());
    try {
        port.Open();
        FAIL() << "opened a missing device";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_EQ(e.WinErrorCode(), 2);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(this->rec.log, std::vector<std::string>{"BeforeOpen-"});
}

TYPED_TEST_P(SerialPort, OpeningIsExclusiveAndADeviceChangeMovesToTheNewOne) {
    auto& port = this->subject;
    port.Open();
    TComPort second(nullptr, this->sync);
    second.SetPort(this->peer.PortName());
    if (TypeParam::Wine()) {
        // Wine: a second exclusive CreateFileA of the same port succeeds (Windows: access denied).
    } else {
        try {
            second.Open();
            FAIL() << "a second opener got the device";
        } catch (const EComPort& e) {
            EXPECT_EQ(e.Code(), 1);
            EXPECT_EQ(e.WinErrorCode(), 5);
        }
    }
    second.Close();

    typename TypeParam::Peer other{1};
    this->rec.Attach(port);
    port.SetPort(this->peer.PortName()); // the same text: nothing
    EXPECT_TRUE(this->rec.log.empty());
    port.SetPort(other.PortName());
    EXPECT_TRUE(port.Connected());
    const std::vector<std::string> expected = {"CTS=0",       "DSR=0",       "RLSD=0",     "BeforeClose+", "AfterClose-",
                                               "BeforeOpen-", "AfterOpen+", "CTS=0", "DSR=0",        "RLSD=0"};
    EXPECT_EQ(this->rec.log, expected);
    // The old device is free again; data now flows over the new one.
    TComPort probe(nullptr, this->sync);
    probe.SetPort(this->peer.PortName());
    EXPECT_NO_THROW(probe.Open());
    probe.Close();
    port.WriteStr("moved");
    EXPECT_EQ(other.Receive(5), "moved");
    port.Close();
}

TYPED_TEST_P(SerialPort, WriteStrAndReadStrRoundTrip) {
    auto& port = this->subject;
    port.SetBaudRate(br4800);
    port.Open();
    EXPECT_EQ(port.WriteStr("@ledka=1&"), 9);
    EXPECT_EQ(this->peer.Receive(9), "@ledka=1&");

    EXPECT_EQ(port.WriteStr(""), 0);
    std::string s = "old";
    EXPECT_EQ(port.ReadStr(s, 0), 0);
    EXPECT_EQ(s, "");
    if (TypeParam::Wine()) {
        // Wine: a read with ReadIntervalTimeout MAXDWORD and both totals 0 waits for data instead
        // of returning at once with what is queued (Windows: returns 0 bytes at once).
    } else {
        EXPECT_EQ(port.ReadStr(s, 10), 0);
        EXPECT_EQ(s, "");
    }

    this->peer.Send("abc");
    ASSERT_TRUE(this->PumpUntil([&] { return port.RxQueueCount() == 3; }));
    EXPECT_EQ(port.ReadStr(s, 10), 3);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(port.RxQueueCount(), 0);
}

TYPED_TEST_P(SerialPort, EveryByteValuePassesUnchangedBothWays) {
    auto& port = this->subject;
    port.Open();
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    EXPECT_EQ(port.WriteStr(all), 256);
    EXPECT_EQ(this->peer.Receive(256), all);

    this->peer.Send(all);
    std::string got;
    ASSERT_TRUE(this->PumpUntil([&] {
        got += this->ReadWaiting(port);
        return got.size() >= 256;
    }));
    EXPECT_EQ(got, all);
}

TYPED_TEST_P(SerialPort, OnRxCharAnnouncesTheWaitingBytesOnTheUserInterfaceThread) {
    auto& port = this->subject;
    const auto uiThread = std::this_thread::get_id();
    std::string received;
    int calls = 0;
    bool onUiThread = true;
    port.OnRxChar = [&](TComPort* sender, int count) {
        ++calls;
        onUiThread = onUiThread && std::this_thread::get_id() == uiThread;
        EXPECT_GT(count, 0);
        std::string s;
        EXPECT_EQ(sender->ReadStr(s, count), count);
        received += s;
    };
    port.Open();
    this->peer.Send("@t=150,5C\r");
    ASSERT_TRUE(this->PumpUntil([&] { return received.size() >= 10; }));
    EXPECT_EQ(received, "@t=150,5C\r");
    EXPECT_GE(calls, 1);
    EXPECT_TRUE(onUiThread);
    port.Close(); // before the handler's locals go
}

TYPED_TEST_P(SerialPort, AnEventGroupIsHandledInTheFixedOrder) {
    if (TypeParam::Wine()) GTEST_SKIP() << "Wine: EV_RXFLAG is never reported (Windows: on the event character)";
    auto& port = this->subject;
    port.SetEventChar('\r');
    port.OnRxChar = [&](TComPort* sender, int count) {
        std::string s;
        sender->ReadStr(s, count);
        this->events.push_back("RxChar:" + s);
    };
    port.OnRxFlag = [&](TComPort*) { this->events.push_back("RxFlag"); };
    port.Open();
    this->peer.Send("ok\r");
    ASSERT_TRUE(this->PumpUntil([&] { return this->events.size() >= 2; }));
    EXPECT_EQ(this->events, (std::vector<std::string>{"RxChar:ok\r", "RxFlag"}));
    port.Close();
}

TYPED_TEST_P(SerialPort, TxEmptyFollowsAWrite) {
    auto& port = this->subject;
    int txEmpty = 0;
    port.OnTxEmpty = [&](TComPort*) { ++txEmpty; };
    port.Open();
    port.WriteStr("*");
    ASSERT_TRUE(this->PumpUntil([&] { return txEmpty > 0; }));
    EXPECT_EQ(this->peer.Receive(1), "*");
    port.Close();
}

TYPED_TEST_P(SerialPort, CloseWhileAHandOverIsPendingRunsItsHandlersDuringClose) {
    auto& port = this->subject;
    auto& log = this->events;
    port.OnRxChar = [&](TComPort* sender, int count) {
        log.push_back(std::string("RxChar") + (sender->Connected() ? "+" : "-") + std::to_string(count));
    };
    port.OnBeforeClose = [&](TComPort*) { log.push_back("BeforeClose"); };
    port.OnAfterClose = [&](TComPort*) { log.push_back("AfterClose"); };
    port.Open();
    this->peer.Send("xy");
    this->sync->WaitForPending(); // the event thread now waits in the hand-over
    // Both bytes are in before the handler runs (the relay of a pair may pass them one by one).
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (port.RxQueueCount() < 2 && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
    port.Close();
    if (TypeParam::Wine()) {
        // Wine: PurgeComm's PURGE_RXABORT (Close cancels pending reads with it) also empties the
        // receive queue, so the last group's handler finds nothing (Windows: the bytes stay).
        EXPECT_EQ(log, (std::vector<std::string>{"BeforeClose", "AfterClose"}));
    } else {
        EXPECT_EQ(log, (std::vector<std::string>{"BeforeClose", "RxChar+2", "AfterClose"}));
    }
    EXPECT_FALSE(this->sync->HasPending());
}

TYPED_TEST_P(SerialPort, HandlerClosingItsOwnPortDoesNotDeadlock) {
    auto& port = this->subject;
    bool closed = false;
    port.OnRxChar = [&](TComPort* sender, int) {
        sender->Close();
        closed = true;
    };
    port.Open();
    this->peer.Send("z");
    ASSERT_TRUE(this->PumpUntil([&] { return closed; }));
    EXPECT_FALSE(port.Connected());
    EXPECT_NO_THROW(port.Open());
    port.Close();
}

TYPED_TEST_P(SerialPort, LinesWithoutModemSignalsReadOffAndLineControlWorks) {
    auto& port = this->subject;
    port.Open();
    EXPECT_TRUE(port.ModemLines().Empty());
    EXPECT_NO_THROW(port.SetDTR(true));
    EXPECT_NO_THROW(port.SetRTS(false));
    EXPECT_TRUE(port.LineErrors().Empty());
}

TYPED_TEST_P(SerialPort, ClosedPortRaisesTheCodesOfItsOperations) {
    auto& port = this->subject;
    try {
        port.WriteStr("x");
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 2);
        EXPECT_EQ(e.WinErrorCode(), 6);
    }
    try {
        port.SetDTR(true);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 12);
    }
}

REGISTER_TYPED_TEST_SUITE_P(SerialPort, OpenAndCloseRunTheirNotificationsInOrder,
                            MissingDeviceFailsWithFileNotFoundAndFiresOnlyBeforeOpen,
                            OpeningIsExclusiveAndADeviceChangeMovesToTheNewOne, WriteStrAndReadStrRoundTrip,
                            EveryByteValuePassesUnchangedBothWays,
                            OnRxCharAnnouncesTheWaitingBytesOnTheUserInterfaceThread,
                            AnEventGroupIsHandledInTheFixedOrder, TxEmptyFollowsAWrite,
                            CloseWhileAHandOverIsPendingRunsItsHandlersDuringClose,
                            HandlerClosingItsOwnPortDoesNotDeadlock,
                            LinesWithoutModemSignalsReadOffAndLineControlWorks,
                            ClosedPortRaisesTheCodesOfItsOperations);

} // namespace serialsuite
