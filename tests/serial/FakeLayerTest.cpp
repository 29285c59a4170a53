// Failure paths and the event thread's hand-over modes, against the in-memory layer whose calls
// can be told to fail.
#include "serial/ComPort.h"
#include "tests/support/FakeSerialServices.h"

#include <gtest/gtest.h>

#include <thread>

using testsupport::Call;
using testsupport::FakeSerialServices;
using namespace platform;

namespace {

struct FakePort : ::testing::Test {
    std::shared_ptr<FakeSerialServices> fake = std::make_shared<FakeSerialServices>();
    std::shared_ptr<TQueuedComSync> sync = std::make_shared<TQueuedComSync>();
    std::vector<std::string> log;
    TComPort port{fake, sync};

    void SetUp() override {
        fake->AddDevice("COM3");
        port.SetPort("COM3");
        port.OnBeforeOpen = [this](TComPort*) { log.push_back("BeforeOpen"); };
        port.OnAfterOpen = [this](TComPort*) { log.push_back("AfterOpen"); };
        port.OnBeforeClose = [this](TComPort*) { log.push_back("BeforeClose"); };
        port.OnAfterClose = [this](TComPort*) { log.push_back("AfterClose"); };
    }

    // The code of the EComPort that `action` raises (0 when none).
    template <typename F> static std::pair<int, int> Raised(F action) {
        try {
            action();
        } catch (const EComPort& e) {
            return {e.Code(), e.WinErrorCode()};
        }
        return {0, 0};
    }

    // Waits for the event thread's next hand-over and runs it here.
    void Serve() {
        sync->WaitForPending();
        sync->ProcessPending();
    }
};

TEST_F(FakePort, OpenFailuresLeaveThePortClosedWithItsHandleReleased) {
    struct Case {
        Call call;
        DWORD error;
        int code;
    };
    const Case cases[] = {{Call::CreateFileA, ERROR_ACCESS_DENIED, 1},
                          {Call::SetupComm, ERROR_INVALID_PARAMETER, 9},
                          {Call::SetCommState, ERROR_INVALID_PARAMETER, 7},
                          {Call::SetCommTimeouts, ERROR_GEN_FAILURE, 8}};
    for (const Case& c : cases) {
        log.clear();
        fake->FailNext(c.call, c.error);
        EXPECT_EQ(Raised([&] { port.Open(); }), std::make_pair(c.code, static_cast<int>(c.error)))
            << testsupport::CallName(c.call);
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(port.Handle(), INVALID_HANDLE_VALUE);
        EXPECT_FALSE(fake->IsOpen("COM3"));
        EXPECT_EQ(fake->OpenHandles(), 0);
        EXPECT_EQ(log, std::vector<std::string>{"BeforeOpen"});
        // The port may be opened again later.
        port.Open();
        EXPECT_TRUE(port.Connected());
        port.Close();
    }
}

TEST_F(FakePort, LineStatesAreReadAfterOpenAndReportedOffBeforeClose) {
    port.OnCTSChange = [&](TComPort*, bool on) { log.push_back(std::string("CTS") + (on ? "1" : "0")); };
    port.OnDSRChange = [&](TComPort*, bool on) { log.push_back(std::string("DSR") + (on ? "1" : "0")); };
    port.OnRLSDChange = [&](TComPort*, bool on) { log.push_back(std::string("RLSD") + (on ? "1" : "0")); };
    fake->SetModemStatus("COM3", MS_CTS_ON | MS_RLSD_ON | MS_RING_ON);
    port.Open();
    EXPECT_EQ(port.ModemLines(), (TComSignals{csCTS, csRing, csRLSD}));
    port.Close();
    const std::vector<std::string> expected = {"BeforeOpen",  "AfterOpen", "CTS1", "DSR0",
                                               "RLSD1",       "CTS0",      "DSR0", "RLSD0",
                                               "BeforeClose", "AfterClose"};
    EXPECT_EQ(log, expected);
}

TEST_F(FakePort, ModemLineFailureAtTheEndOfOpenLeavesThePortOpen) {
    fake->FailNext(Call::GetCommModemStatus, ERROR_GEN_FAILURE);
    EXPECT_EQ(Raised([&] { port.Open(); }).first, 11);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeOpen", "AfterOpen"}));
}

TEST_F(FakePort, PurgeFailureInCloseKeepsThePortOpen) {
    port.Open();
    log.clear();
    fake->FailNext(Call::PurgeComm, ERROR_GEN_FAILURE);
    EXPECT_EQ(Raised([&] { port.Close(); }), std::make_pair(5, 31));
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(fake->IsOpen("COM3"));
    EXPECT_EQ(log, std::vector<std::string>{"BeforeClose"});
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(fake->OpenHandles(), 0); // the thread's stop event went with it
}

TEST_F(FakePort, TransferAndQueryFailuresRaiseTheirCodesAndKeepThePortOpen) {
    port.SetEvents({});
    port.Open();
    const int handles = fake->OpenHandles();
    struct Case {
        const char* what;
        Call call;
        std::function<void()> action;
        int code;
    };
    std::string s;
    char buf[8];
    const Case cases[] = {
        {"write start", Call::WriteFile, [&] { port.WriteStr("x"); }, 2},
        {"write wait", Call::WaitForSingleObject, [&] { port.WriteStr("x"); }, 2},
        {"write result", Call::GetOverlappedResult, [&] { port.WriteStr("x"); }, 2},
        {"read start", Call::ReadFile, [&] { port.ReadStr(s, 4); }, 3},
        {"read result", Call::GetOverlappedResult, [&] { port.ReadStr(s, 4); }, 3},
        {"read buffer", Call::ReadFile, [&] { port.ReadBuf(buf, 4); }, 3},
        {"query after read", Call::ClearCommError, [&] { port.ReadStr(s, 4); }, 10},
        {"queue count", Call::ClearCommError, [&] { port.RxQueueCount(); }, 10},
        {"line errors", Call::ClearCommError, [&] { port.LineErrors(); }, 10},
        {"modem lines", Call::GetCommModemStatus, [&] { port.ModemLines(); }, 11},
        {"abort", Call::PurgeComm, [&] { port.AbortPendingIo(); }, 5},
        {"DTR", Call::EscapeCommFunction, [&] { port.SetDTR(true); }, 12},
        {"RTS", Call::EscapeCommFunction, [&] { port.SetRTS(false); }, 12},
    };
    for (const Case& c : cases) {
        fake->FailNext(c.call, ERROR_GEN_FAILURE);
        EXPECT_EQ(Raised(c.action), std::make_pair(c.code, 31)) << c.what;
        EXPECT_TRUE(port.Connected()) << c.what;
        // The request was released whatever happened.
        EXPECT_EQ(fake->OpenHandles(), handles) << c.what;
        fake->ClearFailures();
    }
}

TEST_F(FakePort, PendingTransfersCompleteWhenWaitedFor) {
    port.SetEvents({});
    port.Open();
    fake->SetPendTransfers(true);
    PAsync request = port.CreateRequest();
    EXPECT_EQ(port.StartWriteStr("hello", request), 0); // pending
    EXPECT_EQ(fake->Written("COM3"), "");
    EXPECT_EQ(port.WaitForRequest(request), 5);
    EXPECT_EQ(fake->Written("COM3"), "hello");
    fake->Receive("COM3", "abc");
    std::string s;
    EXPECT_EQ(port.StartReadStr(s, 10, request), 0);
    EXPECT_EQ(port.WaitForRequest(request), 3);
    EXPECT_EQ(s.substr(0, 3), "abc");
    port.FreeRequest(request);
    EXPECT_EQ(request, nullptr);
    port.FreeRequest(request); // nothing to release

    // A request's completion failing raises the code of its kind.
    fake->FailNext(Call::GetOverlappedResult, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(Raised([&] { port.WriteStr("x"); }), std::make_pair(2, 995));
    fake->FailNext(Call::GetOverlappedResult, ERROR_OPERATION_ABORTED);
    EXPECT_EQ(Raised([&] { port.ReadStr(s, 2); }), std::make_pair(3, 995));
}

TEST_F(FakePort, RequestOperationsWithoutARequestRaiseCode4) {
    port.Open();
    char buf[4];
    std::string s;
    const std::function<void()> actions[] = {
        [&] { port.StartWrite(buf, 4, nullptr); }, [&] { port.StartRead(buf, 4, nullptr); },
        [&] { port.StartWriteStr("x", nullptr); }, [&] { port.StartReadStr(s, 3, nullptr); },
        [&] { port.WaitForRequest(nullptr); }};
    for (const auto& a : actions)
        EXPECT_EQ(Raised(a), std::make_pair(4, -1));
}

TEST_F(FakePort, ShortWriteIsNoFailure) {
    port.Open();
    fake->SetWriteLimit("COM3", 3);
    EXPECT_EQ(port.WriteStr("@rele=1&"), 3);
    EXPECT_EQ(fake->Written("COM3"), "@re");
}

TEST_F(FakePort, RefusedSettingWhileOpenKeepsTheNewValueAndThePortOpen) {
    port.Open();
    fake->FailNext(Call::SetCommState, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Raised([&] { port.SetBaudRate(br115200); }), std::make_pair(7, 87));
    EXPECT_EQ(port.BaudRate(), br115200);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(fake->LastDCB("COM3").BaudRate, 9600u);
}

TEST_F(FakePort, EventThreadSetsTheMaskAndClearsItWhenStopped) {
    port.Open();
    fake->WaitUntilWaiting("COM3");
    EXPECT_EQ(fake->Mask("COM3"), 0x05FFu);
    fake->ClearCalls();
    port.Close();
    const auto calls = fake->Calls();
    // Cancelled transfers, the thread's mask cleared and queues purged, then the handle closed.
    const auto at = [&](Call c) { return std::find(calls.begin(), calls.end(), c) - calls.begin(); };
    EXPECT_LT(at(Call::PurgeComm), at(Call::SetCommMask));
    EXPECT_LT(at(Call::SetCommMask), at(Call::CloseHandle));
    EXPECT_EQ(fake->Mask("COM3"), 0u);
    EXPECT_EQ(fake->CountOf(Call::PurgeComm), 2);
}

TEST_F(FakePort, WithoutEventsThereIsNoThread) {
    int notified = 0;
    port.OnRxChar = [&](TComPort*, int) { ++notified; };
    port.SetEvents({});
    port.Open();
    EXPECT_FALSE(port.ThreadCreated());
    EXPECT_EQ(fake->CountOf(Call::SetCommMask), 0);
    fake->Receive("COM3", "abc");
    EXPECT_FALSE(sync->HasPending());
    port.Close();
    EXPECT_EQ(notified, 0);
}

TEST_F(FakePort, AGroupOfEventsIsHandledInTheFixedOrder) {
    std::vector<std::string> order;
    port.OnError = [&](TComPort*, TComErrors) { order.push_back("Error"); };
    port.OnRxChar = [&](TComPort*, int n) { order.push_back("RxChar" + std::to_string(n)); };
    port.OnTxEmpty = [&](TComPort*) { order.push_back("TxEmpty"); };
    port.OnBreak = [&](TComPort*) { order.push_back("Break"); };
    port.OnRing = [&](TComPort*) { order.push_back("Ring"); };
    port.OnRxFlag = [&](TComPort*) { order.push_back("RxFlag"); };
    port.OnRx80Full = [&](TComPort*) { order.push_back("Rx80Full"); };
    port.Open();
    port.OnCTSChange = [&](TComPort*, bool on) { order.push_back(std::string("CTS") + (on ? "1" : "0")); };
    port.OnDSRChange = [&](TComPort*, bool on) { order.push_back(std::string("DSR") + (on ? "1" : "0")); };
    port.OnRLSDChange = [&](TComPort*, bool on) { order.push_back(std::string("RLSD") + (on ? "1" : "0")); };
    fake->WaitUntilWaiting("COM3");
    fake->SetLineErrors("COM3", CE_FRAME);
    fake->SetModemStatus("COM3", MS_CTS_ON | MS_RLSD_ON);
    // Bytes and every other event in one wake-up.
    fake->Receive("COM3", std::string("ab\0", 3), 0x05FF);
    while (order.size() < 10)
        Serve();
    const std::vector<std::string> expected = {"Error", "RxChar3", "TxEmpty", "Break", "Ring",
                                               "CTS1",  "DSR0",    "RxFlag",  "RLSD1", "Rx80Full"};
    EXPECT_EQ(order, expected);
    port.Close();
}

TEST_F(FakePort, StepsThatFindNothingDispatchNothing) {
    int rx = 0, errors = 0;
    port.OnRxChar = [&](TComPort*, int) { ++rx; };
    port.OnError = [&](TComPort*, TComErrors) { ++errors; };
    int txEmpty = 0;
    port.OnTxEmpty = [&](TComPort*) { ++txEmpty; };
    port.Open();
    fake->WaitUntilWaiting("COM3");
    // Received, but read before the step runs; and an error event with no error pending.
    fake->RaiseEvents("COM3", EV_RXCHAR | EV_ERR | EV_TXEMPTY);
    Serve();
    EXPECT_EQ(txEmpty, 1);
    EXPECT_EQ(rx, 0);
    EXPECT_EQ(errors, 0);
    // A parity error counts only while the port checks parity.
    fake->SetLineErrors("COM3", CE_RXPARITY);
    EXPECT_TRUE(port.LineErrors().Empty());
    port.Close();
}

TEST_F(FakePort, WithoutAnnounceTheBytesGoToOnRxBuf) {
    std::string got;
    int rxChar = 0;
    port.SetAnnounceRxChar(false);
    port.OnRxBuf = [&](TComPort*, const char* b, int n) { got.append(b, static_cast<std::size_t>(n)); };
    port.OnRxChar = [&](TComPort*, int) { ++rxChar; };
    port.Open();
    fake->Receive("COM3", "@t=20C\r");
    Serve();
    EXPECT_EQ(got, "@t=20C\r");
    EXPECT_EQ(rxChar, 0);
    EXPECT_EQ(port.RxQueueCount(), 0);
    port.Close();
}

TEST_F(FakePort, ThreadSyncRunsHandlersOnTheUserInterfaceThread) {
    const auto ui = std::this_thread::get_id();
    std::thread::id ran;
    port.OnRxChar = [&](TComPort*, int) { ran = std::this_thread::get_id(); };
    port.Open();
    fake->Receive("COM3", "a");
    Serve();
    EXPECT_EQ(ran, ui);
    port.Close();
}

TEST_F(FakePort, NoSyncRunsHandlersOnTheEventThread) {
    std::mutex m;
    std::condition_variable cv;
    std::thread::id ran;
    port.SetSyncMethod(smNone);
    port.OnRxChar = [&](TComPort*, int) {
        std::lock_guard lock(m);
        ran = std::this_thread::get_id();
        cv.notify_all();
    };
    port.Open();
    fake->Receive("COM3", "a");
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return ran != std::thread::id(); });
        EXPECT_NE(ran, std::this_thread::get_id());
    }
    EXPECT_FALSE(sync->HasPending());
    port.Close();
}

TEST_F(FakePort, WindowSyncReleasesTheThreadAndDeliversInOrder) {
    std::vector<std::string> order;
    port.SetSyncMethod(smWindowSync);
    port.SetEventChar('!');
    port.OnRxChar = [&](TComPort*, int n) { order.push_back("RxChar" + std::to_string(n)); };
    port.OnRxFlag = [&](TComPort*) { order.push_back("RxFlag"); };
    port.OnBreak = [&](TComPort*) { order.push_back("Break"); };
    port.Open();
    fake->WaitForWaits("COM3", 1);
    fake->Receive("COM3", "go!");
    // Without anyone serving, the thread goes on waiting and takes the next group.
    fake->WaitForWaits("COM3", 2);
    fake->RaiseEvents("COM3", EV_BREAK);
    while (order.size() < 3)
        Serve();
    EXPECT_EQ(order, (std::vector<std::string>{"RxChar3", "RxFlag", "Break"}));
    // Notifications still queued when the port closes are dropped.
    fake->RaiseEvents("COM3", EV_BREAK);
    sync->WaitForPending();
    port.Close();
    sync->ProcessPending();
    EXPECT_EQ(order.size(), 3u);
}

TEST_F(FakePort, WindowSyncErrorGoesToTheReportAndTheThreadGoesOn) {
    std::vector<std::string> reported;
    sync->OnException = [&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            reported.push_back(x.what());
        }
    };
    int breaks = 0;
    port.SetSyncMethod(smWindowSync);
    port.OnBreak = [&](TComPort*) {
        if (++breaks == 1) throw std::runtime_error("handler failed");
    };
    port.Open();
    fake->RaiseEvents("COM3", EV_BREAK);
    Serve();
    fake->RaiseEvents("COM3", EV_BREAK);
    Serve();
    EXPECT_EQ(breaks, 2);
    EXPECT_EQ(reported, std::vector<std::string>{"handler failed"});
    port.Close();
}

TEST_F(FakePort, ErrorLeavingTheHandlersEndsTheThreadQuietly) {
    int rx = 0;
    port.OnRxChar = [&](TComPort*, int) { ++rx; };
    port.Open();
    fake->WaitUntilWaiting("COM3");
    fake->FailNext(Call::ClearCommError, ERROR_GEN_FAILURE); // the RxChar step's queue query
    fake->Receive("COM3", "a");
    Serve();
    EXPECT_EQ(rx, 0);
    // The port stays open and usable; no further notifications arrive.
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.WriteStr("ok"), 2);
    fake->Receive("COM3", "b");
    EXPECT_FALSE(sync->HasPending());
    log.clear();
    port.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeClose", "AfterClose"}));
    EXPECT_EQ(rx, 0);
}

TEST_F(FakePort, HandlerClosingThePortDuringCloseLeavesTheClosingToIt) {
    // The last group is handled while Close waits for the thread; its handler closes again.
    port.OnRxChar = [&](TComPort* sender, int) {
        log.push_back("RxChar");
        sender->Close();
    };
    port.Open();
    fake->WaitUntilWaiting("COM3");
    fake->Receive("COM3", "a");
    sync->WaitForPending();
    log.clear();
    port.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeClose", "RxChar", "AfterClose"}));
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(fake->OpenHandles(), 0);
    // The port opens and closes as usual afterwards.
    port.Open();
    port.Close();
    EXPECT_EQ(log.back(), "AfterClose");
    EXPECT_FALSE(port.Connected());
}

TEST_F(FakePort, DestructorClosesWithItsNotifications) {
    std::vector<std::string> seen;
    {
        TComPort local(fake, sync);
        local.SetPort("COM3");
        local.OnAfterClose = [&](TComPort* p) { seen.push_back(p == &local ? "AfterClose(self)" : "other"); };
        local.Open();
    }
    EXPECT_EQ(seen, std::vector<std::string>{"AfterClose(self)"});
    EXPECT_FALSE(fake->IsOpen("COM3"));
    EXPECT_EQ(fake->OpenHandles(), 0);
}

} // namespace
