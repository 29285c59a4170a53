// The port against real pseudo-terminals: the test plays the peer on the master side.
#include "platform/ProgramDir.h"
#include "serial/ComPort.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

struct Recorder {
    std::vector<std::string> log;
    void Attach(TComPort& port) {
        port.OnBeforeOpen = [this](TComPort* p) { log.push_back(Tag("BeforeOpen", p)); };
        port.OnAfterOpen = [this](TComPort* p) { log.push_back(Tag("AfterOpen", p)); };
        port.OnBeforeClose = [this](TComPort* p) { log.push_back(Tag("BeforeClose", p)); };
        port.OnAfterClose = [this](TComPort* p) { log.push_back(Tag("AfterClose", p)); };
        port.OnCTSChange = [this](TComPort*, bool on) {
            log.push_back(std::string("CTS=") + (on ? "1" : "0"));
        };
        port.OnDSRChange = [this](TComPort*, bool on) {
            log.push_back(std::string("DSR=") + (on ? "1" : "0"));
        };
        port.OnRLSDChange = [this](TComPort*, bool on) {
            log.push_back(std::string("RLSD=") + (on ? "1" : "0"));
        };
    }
    static std::string Tag(const char* what, TComPort* p) {
        return std::string(what) + (p->Connected() ? "+" : "-");
    }
};

struct PortFixture : ::testing::Test {
    PtyPair pty;
    std::shared_ptr<TQueuedComSync> sync = std::make_shared<TQueuedComSync>();
    // What the handlers record outlives the port, whose destructor still notifies.
    Recorder rec;
    std::vector<std::string> log;
    TComPort port{nullptr, sync};
    void SetUp() override { port.SetPort(pty.SlavePath()); }

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
};

using PtyPort = PortFixture;

TEST_F(PtyPort, OpenAndCloseRunTheirNotificationsInOrder) {
    rec.Attach(port);
    port.Open();
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(port.ThreadCreated());
    EXPECT_NE(port.Handle(), platform::INVALID_HANDLE_VALUE);
    port.Open(); // already open: nothing
    port.Close();
    port.Close(); // already closed: nothing
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), platform::INVALID_HANDLE_VALUE);
    // A pseudo-terminal has no modem lines: all read off.
    const std::vector<std::string> expected = {"BeforeOpen-",  "AfterOpen+", "CTS=0", "DSR=0",
                                               "RLSD=0",       "CTS=0",      "DSR=0", "RLSD=0",
                                               "BeforeClose+", "AfterClose-"};
    EXPECT_EQ(rec.log, expected);
}

TEST_F(PtyPort, MissingDeviceFailsWithFileNotFoundAndFiresOnlyBeforeOpen) {
    rec.Attach(port);
    port.SetPort("/dev/pts/does-not-exist");
    try {
        port.Open();
        FAIL() << "opened a missing device";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_EQ(e.WinErrorCode(), 2);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(rec.log, std::vector<std::string>{"BeforeOpen-"});
}

TEST_F(PtyPort, OpeningIsExclusiveAndTheDeviceIsFreeAgainAfterClose) {
    port.Open();
    TComPort second(nullptr, sync);
    second.SetPort(pty.SlavePath());
    try {
        second.Open();
        FAIL() << "a second opener got the device";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_EQ(e.WinErrorCode(), 5);
    }
    port.Close();
    // The exclusive mode does not outlive the closed port.
    EXPECT_NO_THROW(second.Open());
    EXPECT_TRUE(second.Connected());
}

TEST_F(PtyPort, PortChangeWhileOpenMovesToTheNewDevice) {
    PtyPair other;
    port.Open();
    rec.Attach(port);
    port.SetPort(pty.SlavePath()); // the same text: nothing
    EXPECT_TRUE(rec.log.empty());
    port.SetPort(other.SlavePath());
    EXPECT_TRUE(port.Connected());
    const std::vector<std::string> expected = {"CTS=0",       "DSR=0",       "RLSD=0",     "BeforeClose+",
                                               "AfterClose-", "BeforeOpen-", "AfterOpen+", "CTS=0",
                                               "DSR=0",       "RLSD=0"};
    EXPECT_EQ(rec.log, expected);
    // The old device is free, the new one held.
    TComPort probe(nullptr, sync);
    probe.SetPort(pty.SlavePath());
    EXPECT_NO_THROW(probe.Open());
    probe.Close();
    probe.SetPort(other.SlavePath());
    EXPECT_THROW(probe.Open(), EComPort);
    // Data now flows over the new device.
    port.WriteStr("moved");
    EXPECT_EQ(other.Receive(5), "moved");
}

TEST_F(PtyPort, WriteStrAndReadStrRoundTrip) {
    port.SetBaudRate(br4800);
    port.Open();
    EXPECT_EQ(port.WriteStr("@ledka=1&"), 9);
    EXPECT_EQ(pty.Receive(9), "@ledka=1&");

    EXPECT_EQ(port.WriteStr(""), 0);
    std::string s = "old";
    EXPECT_EQ(port.ReadStr(s, 0), 0);
    EXPECT_EQ(s, "");
    // With the default timeouts a read returns at once with what is queued: nothing yet.
    EXPECT_EQ(port.ReadStr(s, 10), 0);
    EXPECT_EQ(s, "");

    pty.Send("abc");
    int queued = 0;
    ASSERT_TRUE(PumpUntil([&] { return (queued = port.RxQueueCount()) == 3; }));
    EXPECT_EQ(port.ReadStr(s, 10), 3);
    EXPECT_EQ(s, "abc");
    EXPECT_EQ(port.RxQueueCount(), 0);
}

TEST_F(PtyPort, EveryByteValuePassesUnchangedBothWays) {
    port.Open();
    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(port.WriteStr(all), 256);
    EXPECT_EQ(pty.Receive(256), all);

    pty.Send(all);
    std::string got;
    ASSERT_TRUE(PumpUntil([&] {
        std::string part;
        port.ReadStr(part, 300);
        got += part;
        return got.size() >= 256;
    }));
    EXPECT_EQ(got, all);
}

TEST_F(PtyPort, DiscardNullDropsZeroBytes) {
    port.SetDiscardNull(true);
    port.Open();
    pty.Send(std::string("a\0b\0c", 5));
    std::string got;
    ASSERT_TRUE(PumpUntil([&] {
        std::string part;
        port.ReadStr(part, 10);
        got += part;
        return got.size() >= 3;
    }));
    EXPECT_EQ(got, "abc");
}

TEST_F(PtyPort, OnRxCharAnnouncesTheWaitingBytesOnTheUserInterfaceThread) {
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
    pty.Send("@t=150,5C\r");
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 10; }));
    EXPECT_EQ(received, "@t=150,5C\r");
    EXPECT_GE(calls, 1);
    EXPECT_TRUE(onUiThread);
    port.Close(); // before the handler's locals go
}

TEST_F(PtyPort, BytesFoundByAQueueQueryAreStillAnnounced) {
    // The query on this thread may take the bytes from the kernel before the event thread sees
    // them; the announcement must come all the same.
    int announced = 0;
    port.OnRxChar = [&](TComPort*, int count) { announced += count; };
    port.Open();
    for (int round = 0; round < 20; ++round) {
        announced = 0;
        pty.Send("abc");
        ASSERT_TRUE(PumpUntil([&] { return port.RxQueueCount() == 3; }));
        ASSERT_TRUE(PumpUntil([&] { return announced > 0; })) << "round " << round;
        std::string s;
        port.ReadStr(s, 3);
        sync->ProcessPending();
    }
    port.Close();
}

TEST_F(PtyPort, AnEventGroupIsHandledInTheFixedOrder) {
    port.SetEventChar('\r');
    port.OnRxChar = [&](TComPort* sender, int count) {
        std::string s;
        sender->ReadStr(s, count);
        log.push_back("RxChar:" + s);
    };
    port.OnRxFlag = [&](TComPort*) { log.push_back("RxFlag"); };
    port.Open();
    pty.Send("ok\r");
    ASSERT_TRUE(PumpUntil([&] { return log.size() >= 2; }));
    EXPECT_EQ(log, (std::vector<std::string>{"RxChar:ok\r", "RxFlag"}));
}

TEST_F(PtyPort, TxEmptyFollowsAWrite) {
    int txEmpty = 0;
    port.OnTxEmpty = [&](TComPort*) { ++txEmpty; };
    port.Open();
    port.WriteStr("*");
    ASSERT_TRUE(PumpUntil([&] { return txEmpty > 0; }));
    EXPECT_EQ(pty.Receive(1), "*");
    port.Close();
}

TEST_F(PtyPort, CloseWhileAHandOverIsPendingRunsItsHandlersDuringClose) {
    port.OnRxChar = [&](TComPort* sender, int count) {
        log.push_back(std::string("RxChar") + (sender->Connected() ? "+" : "-") + std::to_string(count));
    };
    port.OnBeforeClose = [&](TComPort*) { log.push_back("BeforeClose"); };
    port.OnAfterClose = [&](TComPort*) { log.push_back("AfterClose"); };
    port.Open();
    pty.Send("xy");
    sync->WaitForPending(); // the event thread now waits in the hand-over
    port.Close();
    EXPECT_EQ(log, (std::vector<std::string>{"BeforeClose", "RxChar+2", "AfterClose"}));
    EXPECT_FALSE(sync->HasPending());
}

TEST_F(PtyPort, HandlerClosingItsOwnPortDoesNotDeadlock) {
    bool closed = false;
    port.OnRxChar = [&](TComPort* sender, int) {
        sender->Close();
        closed = true;
    };
    port.Open();
    pty.Send("z");
    ASSERT_TRUE(PumpUntil([&] { return closed; }));
    EXPECT_FALSE(port.Connected());
    EXPECT_NO_THROW(port.Open());
    port.Close();
}

double ProcessCpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST_F(PtyPort, HangUpIsReportedOnceAndDoesNotSpin) {
    std::vector<TComErrors> errors;
    port.OnError = [&](TComPort*, TComErrors e) { errors.push_back(e); };
    port.Open();
    pty.CloseMaster();
    ASSERT_TRUE(PumpUntil([&] { return !errors.empty(); }));
    EXPECT_TRUE(errors.front().Contains(ceIO));

    // A spinning wait would burn a whole core; the loop must sleep until it is stopped.
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    EXPECT_LT(cpu / wall, 0.03) << "event thread spins after a hang-up";
    sync->ProcessPending();
    EXPECT_EQ(errors.size(), 1u);

    // Transfers fail with their codes; Close still works.
    try {
        port.WriteStr("x");
        FAIL() << "write to a hung-up device succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 2);
        EXPECT_GT(e.WinErrorCode(), 0);
    }
    std::string s;
    EXPECT_THROW(port.ReadStr(s, 5), EComPort);
    EXPECT_NO_THROW(port.Close());
    EXPECT_FALSE(port.Connected());
}

TEST_F(PtyPort, WriteEndsAtItsTimeLimitWithTheBytesSentSoFar) {
    // Nobody reads the peer side, so the pseudo-terminal's buffers fill up.
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(100);
    port.Open();
    const std::string big(4 * 1024 * 1024, 'x');
    const int sent = port.WriteStr(big);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int>(big.size()));
    EXPECT_TRUE(port.Connected());
}

TEST_F(PtyPort, AnAllOnesPerByteWriteLimitIsNoLimitForALargeWrite) {
    // -1 is the all-ones value per byte: 128 KiB times it is far beyond any wait, and must not
    // wrap around into a limit that has already run out.
    port.Timeouts().SetWriteTotalMultiplier(-1);
    port.Timeouts().SetWriteTotalConstant(0);
    port.Open();
    const std::string big(128 * 1024, 'x');
    std::string got;
    std::thread peer([&] { got = pty.Receive(big.size()); });
    EXPECT_EQ(port.WriteStr(big), static_cast<int>(big.size()));
    peer.join();
    EXPECT_EQ(got.size(), big.size());
}

TEST_F(PtyPort, ModemLinesOfAPseudoTerminalReadOffAndLineControlDoesNothing) {
    port.Open();
    EXPECT_TRUE(port.ModemLines().Empty());
    EXPECT_NO_THROW(port.SetDTR(true));
    EXPECT_NO_THROW(port.SetRTS(false));
}

TEST_F(PtyPort, AnyRateAndCharacterFormatIsAccepted) {
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(12345);
    port.SetDataBits(dbSeven);
    port.Parity().SetBits(prMark);
    port.SetStopBits(sbTwoStopBits);
    ASSERT_NO_THROW(port.Open());
    EXPECT_NO_THROW(port.Parity().SetBits(prSpace));
    EXPECT_NO_THROW(port.SetBaudRate(br256000));
    EXPECT_NO_THROW(port.FlowControl().SetFlowControl(fcSoftware));
    port.WriteStr("7");
    EXPECT_EQ(pty.Receive(1), "7");
}

TEST_F(PtyPort, ClosedPortRaisesTheCodesOfItsOperations) {
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

struct DosDevices : ::testing::Test {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("serial-dosdevices-" + std::to_string(::getpid()));
    void SetUp() override {
        std::filesystem::create_directories(dir / "dosdevices");
        platform::SetProgramDir(dir);
    }
    void TearDown() override {
        platform::SetProgramDir({});
        std::filesystem::remove_all(dir);
    }
};

TEST_F(DosDevices, ComNameFollowsTheLinkNextToTheProgram) {
    PtyPair pty;
    std::filesystem::create_symlink(pty.SlavePath(), dir / "dosdevices" / "com7");
    TComPort port;
    port.SetPort("COM7");
    ASSERT_NO_THROW(port.Open());
    port.WriteStr("via link");
    EXPECT_EQ(pty.Receive(8), "via link");
}

TEST_F(DosDevices, DanglingLinkIsFileNotFoundAndNeverRealHardware) {
    std::filesystem::create_symlink(dir / "nowhere", dir / "dosdevices" / "com1");
    TComPort port;
    port.SetPort("COM1");
    try {
        port.Open();
        FAIL() << "opened through a dangling link";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.Code(), 1);
        EXPECT_EQ(e.WinErrorCode(), 2);
    }
}

} // namespace
