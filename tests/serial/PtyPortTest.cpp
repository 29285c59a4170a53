// The port against real pseudo-terminals: the test plays the peer on the master side. The cases
// that hold on every system are the shared suite (SerialPortSuite.h); here are its Linux backend
// and the cases of the Linux layer alone (hang-up, write limits, null bytes, dosdevices links).
#include "platform/ProgramDir.h"
#include "serial/ComPort.h"
#include "tests/serial/SerialPortSuite.h"
#include "tests/support/PtyPair.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

struct PosixBackend {
    class Peer {
    public:
        explicit Peer(int /*index*/) {}
        std::string PortName() const { return pty.SlavePath(); }
        void Send(const std::string& bytes) { pty.Send(bytes); }
        std::string Receive(std::size_t count, int timeoutMs = 2000) { return pty.Receive(count, timeoutMs); }

        PtyPair pty; // the Linux cases below reach the master itself (a hang-up)
    };
    static std::string MissingPort() { return "/dev/pts/does-not-exist"; }
    static bool Wine() { return false; }
};

} // namespace

namespace serialsuite {
INSTANTIATE_TYPED_TEST_SUITE_P(Posix, SerialPort, PosixBackend);
} // namespace serialsuite

namespace {

// The shared suite's fixture on a pseudo-terminal, under the names the Linux cases use.
struct PtyPort : serialsuite::SerialPort<PosixBackend> {
    PtyPair& pty = peer.pty;
    TComPort& port = subject;
};

TEST(PosixLayer, OperatingSystemErrorsBecomeWindowsCodes) {
    const std::pair<int, platform::DWORD> table[] = {
        {ENOENT, 2},       {ENXIO, 2},       {ENODEV, 2},      {EACCES, 5}, {EBUSY, 5},  {EAGAIN, 5},
        {EINVAL, 87},      {ENOTTY, 87},     {EBADF, 6},       {EMFILE, 4}, {ENOMEM, 8}, {EIO, 1117},
        {ETIMEDOUT, 1460}, {ECANCELED, 995}, {EOPNOTSUPP, 50}, {EXDEV, 31}, {0, 0}};
    for (const auto& [err, code] : table)
        EXPECT_EQ(platform::WinErrorFromErrno(err), code) << err;
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
    std::thread reader([&] { got = pty.Receive(big.size()); });
    EXPECT_EQ(port.WriteStr(big), static_cast<int>(big.size()));
    reader.join();
    EXPECT_EQ(got.size(), big.size());
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
