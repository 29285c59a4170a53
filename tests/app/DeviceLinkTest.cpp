// The device link seen through the window: ports on real pseudo-terminals behind the dosdevices
// links of the test's program folder, notifications handed over through a queue that the test
// serves, and a device layer that can be told to fail single calls.
#include "FormFixture.h"

#include "devicelink/RxParser.h"
#include "platform/SerialServices.h"
#include "serial/ComPort.h"
#include "serial/ComSync.h"

#include <gtest/gtest.h>

#include <QTest>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using platform::DWORD;
using platform::HANDLE;

// The real termios layer, with single calls that can be made to fail.
class TFailingSerial : public platform::ISerialServices {
public:
    std::shared_ptr<platform::ISerialServices> Real = platform::PosixSerialServices();
    std::atomic<bool> FailLineControl{false};
    std::atomic<int> FailReads{0};

    DWORD GetLastError() override { return Real->GetLastError(); }
    void SetLastError(DWORD code) override { Real->SetLastError(code); }
    HANDLE CreateFileA(const std::string& n) override { return Real->CreateFileA(n); }
    bool CloseHandle(HANDLE h) override { return Real->CloseHandle(h); }
    bool SetupComm(HANDLE d, DWORD i, DWORD o) override { return Real->SetupComm(d, i, o); }
    bool SetCommState(HANDLE d, const platform::DCB& b) override { return Real->SetCommState(d, b); }
    bool GetCommState(HANDLE d, platform::DCB& b) override { return Real->GetCommState(d, b); }
    bool SetCommTimeouts(HANDLE d, const platform::COMMTIMEOUTS& t) override {
        return Real->SetCommTimeouts(d, t);
    }
    bool GetCommTimeouts(HANDLE d, platform::COMMTIMEOUTS& t) override { return Real->GetCommTimeouts(d, t); }
    bool SetCommMask(HANDLE d, DWORD m) override { return Real->SetCommMask(d, m); }
    DWORD WaitCommEvent(HANDLE d, DWORD& e, HANDLE c) override { return Real->WaitCommEvent(d, e, c); }
    bool ReadFile(HANDLE d, void* b, DWORD n, DWORD& done, platform::OVERLAPPED& o) override {
        if (FailReads > 0) {
            --FailReads;
            Real->SetLastError(platform::ERROR_GEN_FAILURE);
            return false;
        }
        return Real->ReadFile(d, b, n, done, o);
    }
    bool WriteFile(HANDLE d, const void* b, DWORD n, DWORD& done, platform::OVERLAPPED& o) override {
        return Real->WriteFile(d, b, n, done, o);
    }
    bool GetOverlappedResult(HANDLE d, platform::OVERLAPPED& o, DWORD& done, bool w) override {
        return Real->GetOverlappedResult(d, o, done, w);
    }
    bool ClearCommError(HANDLE d, DWORD& e, platform::COMSTAT* s) override {
        return Real->ClearCommError(d, e, s);
    }
    bool GetCommModemStatus(HANDLE d, DWORD& m) override { return Real->GetCommModemStatus(d, m); }
    bool PurgeComm(HANDLE d, DWORD f) override { return Real->PurgeComm(d, f); }
    bool EscapeCommFunction(HANDLE d, DWORD f) override {
        if (FailLineControl) {
            Real->SetLastError(platform::ERROR_GEN_FAILURE);
            return false;
        }
        return Real->EscapeCommFunction(d, f);
    }
    HANDLE CreateEventA(bool m, bool i) override { return Real->CreateEventA(m, i); }
    bool SetEvent(HANDLE e) override { return Real->SetEvent(e); }
    bool ResetEvent(HANDLE e) override { return Real->ResetEvent(e); }
    DWORD WaitForSingleObject(HANDLE e, DWORD ms) override { return Real->WaitForSingleObject(e, ms); }
};

// A unit's line: a pseudo-terminal whose device side the program finds as dosdevices/comN.
class TLine {
public:
    TLine(const std::filesystem::path& dir, int number) {
        EXPECT_EQ(::openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        termios tio{};
        ::tcgetattr(slave_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        std::filesystem::create_directories(dir / "dosdevices");
        link_ = dir / "dosdevices" / ("com" + std::to_string(number));
        std::filesystem::remove(link_);
        std::filesystem::create_symlink(::ttyname(slave_), link_);
    }
    ~TLine() {
        ::close(master_);
        ::close(slave_);
        std::error_code ec;
        std::filesystem::remove(link_, ec);
    }
    void Send(const std::string& text) const {
        ASSERT_EQ(::write(master_, text.data(), text.size()), ssize_t(text.size()));
    }
    // What the program has written so far (waits briefly for bytes on their way).
    std::string Received(std::chrono::milliseconds settle = 100ms) const {
        std::string out;
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, int(settle.count())) > 0 && (p.revents & POLLIN)) {
            char buf[512];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, std::size_t(n));
        }
        return out;
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::filesystem::path link_;
};

class DeviceLinkTest : public ::testing::Test {
protected:
    DeviceLinkTest() {
        fx.Services.Serial = serial;
        fx.Services.Sync = sync;
        fx.Services.PortPause = [this](int ms) { pauses.push_back(ms); };
    }

    TForm1& Form() { return fx.Form(); }

    // Serves port notifications until the condition holds or five seconds have passed.
    template <class Done> bool ServeUntil(Done done) {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            if (sync->HasPending()) {
                sync->ProcessPending();
            } else {
                std::this_thread::sleep_for(1ms); // bytes on their way through the kernel
            }
        }
        return true;
    }

    std::shared_ptr<TFailingSerial> serial = std::make_shared<TFailingSerial>();
    std::shared_ptr<TQueuedComSync> sync = std::make_shared<TQueuedComSync>();
    std::vector<int> pauses;
    TFormFixture fx;
};

TEST_F(DeviceLinkTest, WatchdogOpensSilentlyOnceTheDeviceIsThere) {
    fx.Show();
    EXPECT_FALSE(Form().Button1->isVisible()) << "showing the port numbers must not leave Button1 shown";
    EXPECT_EQ(Form().Edit6->text(), "3");
    EXPECT_EQ(Form().Edit9->text(), "4");
    EXPECT_EQ(Form().Com1Port->BaudRate(), br4800);

    Form().COMTimerTimer(Form().COMTimer);
    EXPECT_FALSE(Form().Com1Port->Connected());
    EXPECT_EQ(Form().Shape2->BrushColor(), colors::Red);
    EXPECT_TRUE(fx.Boxes.boxes.empty());

    TLine line3(fx.Dir(), 3);
    Form().COMTimerTimer(Form().COMTimer);
    EXPECT_TRUE(Form().Com1Port->Connected());
    EXPECT_FALSE(Form().Com2Port->Connected());
    EXPECT_EQ(Form().Shape2->BrushColor(), colors::Lime);
    EXPECT_EQ(Form().Shape4->BrushColor(), colors::Red);
    EXPECT_EQ(Form().Label14->text(), "N/A");
    EXPECT_EQ(line3.Received(), "") << "the watchdog sends nothing, not even \"!\"";
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST_F(DeviceLinkTest, StoredNamesAndRateAreShownAndWrittenBack) {
    fx.WriteFile("Regulator.ini", "[Serial]\nCom1=XYZ7\nCom2=COM12\nBaudRate=abc\n");
    // Dangling links: the two ports are missing here, whatever serial hardware the machine has.
    std::filesystem::create_directories(fx.Dir() / "dosdevices");
    std::filesystem::create_symlink(fx.Dir() / "missing", fx.Dir() / "dosdevices" / "com7");
    std::filesystem::create_symlink(fx.Dir() / "missing", fx.Dir() / "dosdevices" / "com12");
    fx.Show();
    EXPECT_EQ(Form().Edit6->text(), "7") << "the first three characters go, whatever they are";
    EXPECT_EQ(Form().Edit9->text(), "12");
    EXPECT_EQ(Form().Com1Port->BaudRate(), br9600);
    EXPECT_EQ(Form().Com2Port->BaudRate(), br9600);
    Form().Button1Click(Form().Button1);
    const std::string ini = fx.ReadFile("Regulator.ini");
    EXPECT_NE(ini.find("BaudRate=9600"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Com1=COM7"), std::string::npos) << ini;
    EXPECT_EQ(fx.Boxes.boxes.size(), 2u) << "neither COM7 nor COM12 exists here";
}

TEST_F(DeviceLinkTest, ApplyReopensIdentifiesAndStoresTheNames) {
    TLine line5(fx.Dir(), 5), line4(fx.Dir(), 4);
    fx.Show();
    Form().Label14->setText("Pt1&");
    Form().Edit6->setText("5");
    EXPECT_TRUE(Form().Button1->isVisibleTo(&Form()));

    Form().Button1Click(Form().Button1);
    EXPECT_EQ(Form().Com1Port->Port(), "COM5");
    EXPECT_TRUE(Form().Com1Port->Connected());
    EXPECT_TRUE(Form().Com2Port->Connected());
    EXPECT_EQ(Form().Shape2->BrushColor(), colors::Lime);
    EXPECT_EQ(Form().Label14->text(), "N/A");
    EXPECT_EQ(line5.Received(), "!");
    EXPECT_EQ(line4.Received(), "!");
    EXPECT_EQ(pauses, (std::vector<int>{200, 200}));
    EXPECT_FALSE(Form().Button1->isVisibleTo(&Form()));
    EXPECT_TRUE(fx.Boxes.boxes.empty());
    const std::string ini = fx.ReadFile("Regulator.ini");
    EXPECT_NE(ini.find("Com1=COM5"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Com2=COM4"), std::string::npos) << ini;

    // The unit's answer is parsed once the window serves events again.
    line5.Send("@Pt1&\r");
    EXPECT_TRUE(ServeUntil([&] { return Form().Label14->text() == "Pt1&"; }));

    // Unchanged numbers: both ports close and reopen, and "!" goes out again.
    Form().Button1Click(Form().Button1);
    EXPECT_EQ(Form().Label14->text(), "N/A");
    EXPECT_EQ(line5.Received(), "!");
    EXPECT_EQ(line4.Received(), "!");
}

TEST_F(DeviceLinkTest, ApplyThatCannotOpenShowsOneBoxAndTheWatchdogStaysQuiet) {
    TLine line3(fx.Dir(), 3);
    fx.Show();
    Form().Edit9->setText("abc");
    Form().Button1Click(Form().Button1);
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].title, "Error");
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Nelze otevrit COM port 2.");
    EXPECT_EQ(Form().Com2Port->Port(), "COMabc");
    EXPECT_FALSE(Form().Com2Port->Connected());
    EXPECT_EQ(Form().Shape4->BrushColor(), colors::Red);
    EXPECT_EQ(pauses.size(), 2u) << "the wait happens even when the port did not open";
    EXPECT_EQ(line3.Received(), "!");
    EXPECT_NE(fx.ReadFile("Regulator.ini").find("Com2=COMabc"), std::string::npos);

    Form().COMTimerTimer(Form().COMTimer);
    Form().COMTimerTimer(Form().COMTimer);
    EXPECT_EQ(fx.Boxes.boxes.size(), 1u);
}

TEST_F(DeviceLinkTest, LineControlFailureLeavesThePortOpenWithItsLampRed) {
    TLine line3(fx.Dir(), 3), line4(fx.Dir(), 4);
    fx.Show();
    serial->FailLineControl = true;
    Form().COMTimerTimer(Form().COMTimer);
    EXPECT_TRUE(Form().Com1Port->Connected());
    EXPECT_EQ(Form().Shape2->BrushColor(), colors::Red);
    EXPECT_TRUE(fx.Boxes.boxes.empty()) << "the watchdog never reports";

    // An apply reports it, and as the port is open it still sends "!".
    Form().Button1Click(Form().Button1);
    ASSERT_EQ(fx.Boxes.boxes.size(), 2u);
    EXPECT_EQ(fx.Boxes.boxes[0].text, "Nelze otevrit COM port 1.");
    EXPECT_EQ(fx.Boxes.boxes[1].text, "Nelze otevrit COM port 2.");
    EXPECT_EQ(line3.Received(), "!");
    EXPECT_EQ(line4.Received(), "!");
}

TEST_F(DeviceLinkTest, ReceivedTextReachesItsOwnSideOnly) {
    TLine line3(fx.Dir(), 3), line4(fx.Dir(), 4);
    fx.Show();
    Form().COMTimerTimer(Form().COMTimer);
    line4.Send("@Pt1&\r@t=150.5C\r");
    ASSERT_TRUE(ServeUntil([&] { return Form().S.SideState[2].Temperature == 150.5; }));
    EXPECT_EQ(Form().Label15->text(), "Pt1&");
    EXPECT_EQ(Form().Label14->text(), "N/A");
    EXPECT_DOUBLE_EQ(Form().S.SideState[1].Temperature, 19.0);
    EXPECT_EQ(Form().ListBox2->count(), 0) << "nothing is listed without \"Ukaz vse\"";

    // A report split over two deliveries is still one report.
    line3.Send("@t= 2");
    ASSERT_TRUE(ServeUntil([&] { return Form().S.RxLine[1] == "t= 2"; }));
    line3.Send("1,5C\r");
    ASSERT_TRUE(ServeUntil([&] { return Form().S.SideState[1].Temperature == 21.5; }));
}

TEST_F(DeviceLinkTest, SimulationListsButDoesNotParse) {
    TLine line3(fx.Dir(), 3);
    fx.Show();
    Form().CheckBox2->setChecked(true);
    Form().CheckBox1->setChecked(true);
    Form().COMTimerTimer(Form().COMTimer);
    line3.Send("@t=150,5C\x1b[2J\r");
    ASSERT_TRUE(ServeUntil([&] { return Form().ListBox2->count() > 0; }));
    // Listed as one plain line: no control character reaches the list.
    EXPECT_EQ(Form().ListBox2->item(0)->text(), "1: @t=150,5C?[2J ");
    EXPECT_NE(Form().S.SideState[1].Temperature, 150.5);
    EXPECT_EQ(Form().S.RxLine[1], "");
}

TEST_F(DeviceLinkTest, FailingReadIsReportedAndThePortGoesOnReceiving) {
    TLine line3(fx.Dir(), 3);
    fx.Show();
    Form().COMTimerTimer(Form().COMTimer);
    serial->FailReads = 1;
    line3.Send("@t=100,0C\r");
    ASSERT_TRUE(ServeUntil([&] { return !fx.Boxes.boxes.empty(); }));
    EXPECT_EQ(fx.Boxes.boxes[0].title, "Regulace teploty");

    // The event thread lives on: the next report (and the one the failed read left) arrive.
    line3.Send("@t=150,5C\r");
    EXPECT_TRUE(ServeUntil([&] { return Form().S.SideState[1].Temperature == 150.5; }));
}

TEST_F(DeviceLinkTest, FailingRemoteStartIsReportedAndTheBatchGoesOn) {
    TLine line3(fx.Dir(), 3);
    fx.Show();
    Form().COMTimerTimer(Form().COMTimer);
    Form().Edit2->setText("-1"); // r0 outside the model's domain: the apply of a Start fails
    line3.Send("@START&\r@t=150,5C\r");
    ASSERT_TRUE(ServeUntil([&] { return Form().S.SideState[1].Temperature == 150.5; }));
    ASSERT_FALSE(fx.Boxes.boxes.empty());
    EXPECT_EQ(fx.Boxes.boxes[0].title, "Regulace teploty");
    EXPECT_EQ(line3.Received(), "") << "a unit's Start is not echoed, even when it fails";

    line3.Send("@t= 99,5C\r");
    EXPECT_TRUE(ServeUntil([&] { return Form().S.SideState[1].Temperature == 99.5; }));
}

TEST_F(DeviceLinkTest, TestButtonsUseTheSideParsers) {
    fx.Show();
    Form().Button9Click(Form().Button9);
    Form().Button10Click(Form().Button10);
    EXPECT_EQ(Form().Label14->text(), "Pt1&");
    EXPECT_EQ(Form().Label15->text(), "Pt2");

    Form().CheckBox2->setChecked(true);
    Form().Edit13->setText("@t=150,5C");
    Form().Button9Click(Form().Button9);
    EXPECT_DOUBLE_EQ(Form().S.SideState[1].Temperature, 150.5);
    EXPECT_EQ(Form().ListBox2->item(0)->text(), "1: @t=150,5C");

    Form().Edit14->setText("@ABCDEFGHIJKLMNOP");
    Form().Button10Click(Form().Button10);
    ASSERT_GE(Form().ListBox2->count(), 3);
    EXPECT_EQ(Form().ListBox2->item(0)->text(), "2: nerozumim: ABCDEFGHIJKL");
    EXPECT_EQ(Form().ListBox2->item(1)->text(), "2: @ABCDEFGHIJKLMNOP");
}

TEST_F(DeviceLinkTest, CommunicationListKeepsTheNewestLines) {
    fx.Show();
    Form().CheckBox2->setChecked(true);
    Form().CheckBox1->setChecked(true); // listed only
    const int total = devicelink::CommListLimit + 50;
    for (int i = 1; i <= total; ++i) {
        Form().Edit13->setText(QString::number(i));
        Form().Button9Click(Form().Button9);
    }
    EXPECT_EQ(Form().ListBox2->count(), devicelink::CommListLimit);
    EXPECT_EQ(Form().ListBox2->item(0)->text(), "1: " + QString::number(total));
    EXPECT_EQ(Form().ListBox2->item(devicelink::CommListLimit - 1)->text(), "1: 51");
}

TEST_F(DeviceLinkTest, ClosingTurnsTheLampsRed) {
    TLine line3(fx.Dir(), 3);
    fx.Show();
    Form().COMTimerTimer(Form().COMTimer);
    ASSERT_EQ(Form().Shape2->BrushColor(), colors::Lime);
    fx.Close();
    EXPECT_FALSE(Form().Com1Port->Connected());
    EXPECT_EQ(Form().Shape2->BrushColor(), colors::Red);
}

} // namespace
