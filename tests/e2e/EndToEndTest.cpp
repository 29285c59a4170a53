// The whole program against two emulated units: the window with its real timers, real ports on
// pseudo-terminals, and unitemu playing the units in its own process. The units' receive log is
// what the units saw; the window's state and controls are what the operator sees.
#include "app/AlarmStrip.h"
#include "app/form1.h"
#include "tools/unitemu/UnitEmulator.h"
#include "platform/ProgramDir.h"
#include "serial/ComPort.h"
#include "text/NumText.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <regex>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class TQuietBoxes : public TMessageBoxes {
public:
    void Show(const QString& title, const QString& text, TBoxIcon, std::function<void()> closed = {}) override {
        shown.push_back(title + ": " + text);
        if (Hold) {
            open.push_back(std::move(closed));
        } else if (closed) {
            closed();
        }
    }
    using TMessageBoxes::Ask;
    void Ask(const TQuestion& q, std::function<void(bool)> answered) override {
        shown.push_back(q.Title + ": " + q.Text);
        if (answered) answered(false);
    }
    QStringList shown;
    bool Hold = false; // boxes stay open (their callbacks kept) as an operator away would leave them
    std::vector<std::function<void()>> open;
};

// unitemu in its own process, driven through its standard input.
class TEmulator {
public:
    TEmulator(const fs::path& dir, const std::vector<std::string>& options) : log_(dir / "units.log") {
        int in[2], out[2];
        EXPECT_EQ(::pipe(in), 0);
        EXPECT_EQ(::pipe(out), 0);
        std::vector<std::string> args{UNITEMU_PATH, "--quiet", "--log", log_.string()};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(dir.string());
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        // Ready once both links point at the units.
        std::string said;
        pollfd p{out[0], POLLIN, 0};
        while (said.find("ready\n") == std::string::npos && ::poll(&p, 1, 5000) > 0) {
            char buf[64];
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            said.append(buf, std::size_t(n));
        }
        ::close(out[0]);
        EXPECT_NE(said.find("ready"), std::string::npos) << "unitemu did not start";
    }

    ~TEmulator() {
        Command("quit");
        ::close(input_);
        int status = 0;
        for (int i = 0; i < 200 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            ::usleep(10000);
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
    }

    void Command(const std::string& line) const {
        const std::string text = line + "\n";
        [[maybe_unused]] auto n = ::write(input_, text.data(), text.size());
    }

    // Everything unit `unit` has received so far, in order.
    std::string Received(int unit) const {
        std::ifstream in(log_);
        std::string line, bytes;
        while (std::getline(in, line)) {
            std::istringstream fields(line);
            std::string time, who, escaped;
            std::getline(fields, time, '\t');
            std::getline(fields, who, '\t');
            std::getline(fields, escaped);
            if (who == std::to_string(unit)) bytes += unitemu::Unescape(escaped);
        }
        return bytes;
    }

private:
    fs::path log_;
    pid_t pid_ = -1;
    int input_ = -1;
};

double CpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() {
        dir = fs::temp_directory_path() / ("regulator-e2e-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        platform::SetProgramDir(dir);
        services.Boxes = &boxes;
    }
    ~EndToEnd() override {
        form.reset();
        emulator.reset();
        std::error_code ec;
        fs::remove_all(dir, ec);
        platform::SetProgramDir({});
    }

    void WriteIni(const std::string& text) const { std::ofstream(dir / "Regulator.ini") << text; }

    void Start(const std::vector<std::string>& emulatorOptions) {
        emulator = std::make_unique<TEmulator>(dir, emulatorOptions);
        form = std::make_unique<TForm1>(services);
        form->show();
    }

    bool BothLampsLime() const {
        return form->Shape2->BrushColor() == colors::Lime && form->Shape4->BrushColor() == colors::Lime;
    }

    double Temperature(int side) const { return form->S.SideState[side].Temperature; }

    std::string DataLogText() const {
        std::string all;
        std::error_code ec;
        for (const auto& file : fs::directory_iterator(dir / "Data", ec)) {
            std::ifstream in(file.path());
            all += file.path().string() + ":\n" + std::string(std::istreambuf_iterator<char>(in), {});
        }
        return all;
    }

    // Whether a line of a data log has one field near t1 and another near t2.
    bool DataLogHolds(double t1, double t2) const {
        std::error_code ec;
        for (const auto& file : fs::directory_iterator(dir / "Data", ec)) {
            std::ifstream in(file.path());
            std::string line;
            while (std::getline(in, line)) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                bool near1 = false, near2 = false;
                // The log writes its numbers with a point.
                std::replace(line.begin(), line.end(), '.', ',');
                std::istringstream fields(line);
                std::string field;
                while (fields >> field) {
                    const auto v = numtext::ParseFloat(field);
                    if (v && std::abs(*v - t1) < 2) near1 = true;
                    if (v && std::abs(*v - t2) < 2) near2 = true;
                }
                if (near1 && near2) return true;
            }
        }
        return false;
    }

    fs::path dir;
    TQuietBoxes boxes;
    TFormServices services;
    std::unique_ptr<TEmulator> emulator;
    std::unique_ptr<TForm1> form;
};

// A unit's stream from the program is made of tick groups (lamp, relay, "*" with one value) and
// the beep; "!" only after an apply. Returns the groups' values in order, "B" for a beep, or
// "?" + the rest where the stream breaks that pattern.
std::vector<std::string> Tokens(std::string stream) {
    static const std::regex token(R"(^(@BEEP&|@ledka=([01])&@rele=\2&\*|!))");
    std::vector<std::string> out;
    std::smatch m;
    while (!stream.empty()) {
        if (!std::regex_search(stream, m, token)) {
            out.push_back("?" + stream);
            break;
        }
        const std::string whole = m[1];
        out.push_back(whole == "@BEEP&" ? "B" : whole == "!" ? "!" : m[2].str());
        stream.erase(0, whole.size());
    }
    return out;
}

TEST_F(EndToEnd, UnitsRunACycleStartedByOneOfThem) {
    WriteIni("[Nastaveni]\nDelkaCyklu=3\n[Regulace]\nTvz=0,5\nT1=0\nT2=0\n[Prubeh1]\nCas1=0\nTeplota1=100\n");
    const auto started = Clock::now();
    Start({"--period", "0.1", "--temp1", "30", "--temp2", "40", "--heat-rate", "5"});

    // The watchdog opens both ports about a second after start.
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothLampsLime(); }, 3000));
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(2000));
    EXPECT_EQ(form->Label14->text(), "N/A");

    // Reports reach the state and the big labels.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::abs(Temperature(1) - 30) < 2 && std::abs(Temperature(2) - 40) < 2; }, 3000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const auto t1 = numtext::ParseFloat(form->LabelTeplota1->text().toStdString());
            const auto t2 = numtext::ParseFloat(form->LabelTeplota2->text().toStdString());
            return t1 && t2 && std::abs(*t1 - 30) < 2 && std::abs(*t2 - 40) < 2;
        },
        3000));

    // ... and the data log: a line holding both sides' reported temperatures.
    ASSERT_TRUE(QTest::qWaitFor([&] { return DataLogHolds(30, 40); }, 3000)) << DataLogText();

    // An apply asks both units to identify themselves.
    form->Guard([&] { form->Button1Click(form->Button1); });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->Label14->text() == "Pt1&" && form->Label15->text() == "Pt2"; }, 3000));
    EXPECT_TRUE(BothLampsLime());

    // Unit 1 starts a cycle; it runs three seconds and ends by itself.
    emulator->Command("start 1");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->CheckBoxRegulace->isChecked() && form->CheckBox3->isChecked(); }, 3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->S.CycleEnded && !form->CheckBox3->isChecked(); }, 10000));
    QTest::qWait(1200); // the end tick's group and one more reach the units
    EXPECT_GT(Temperature(1), 31.0) << "unit 1 heated while its relay was on";

    for (int unit = 1; unit <= 2; ++unit) {
        const std::string stream = emulator->Received(unit);
        SCOPED_TRACE("unit " + std::to_string(unit) + " received: " + stream);
        EXPECT_EQ(stream.find("@START&"), std::string::npos) << "a unit's Start is not echoed";
        EXPECT_EQ(stream.find("@STOP&"), std::string::npos) << "the end of a cycle is not announced";
        const auto tokens = Tokens(stream);
        ASSERT_FALSE(tokens.empty());
        EXPECT_EQ(tokens.back().substr(0, 1) != "?", true) << tokens.back();
        EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "!"), 1);
        EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "B"), 1) << "one beep per cycle";
        const auto beep = std::find(tokens.begin(), tokens.end(), "B");
        EXPECT_GE(std::count(beep, tokens.end(), "0") + std::count(beep, tokens.end(), "1"), 4)
            << "groups go on every tick after the beep";
        const long on = std::count(tokens.begin(), tokens.end(), "1");
        if (unit == 1) {
            EXPECT_GT(on, 0) << "side 1 heats towards its program's 100 degC";
        } else {
            EXPECT_EQ(on, 0) << "side 2 has no program (setpoint 0) and a standby setpoint of 0";
        }
    }
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join("; ").toStdString();

    form->close();
    EXPECT_FALSE(form->Com1Port->Connected());
    EXPECT_EQ(form->Shape2->BrushColor(), colors::Red);
    EXPECT_EQ(form->Shape4->BrushColor(), colors::Red);
}

// Whether the alarm strip has a row ending in `text` (a standing alarm or a note).
bool StripShows(const TForm1& form, const QString& text) {
    for (const auto& row : form.PanelAlarmy->Rows())
        if (row.Text.endsWith(text)) return true;
    return false;
}

// A unit that falls silent has its heater switched off within the limit (10 s by default) while
// the other unit is served on, and the alarm strip says so (no box); when it reports again its
// side is regulated again by itself.
TEST_F(EndToEnd, ASilentUnitIsSwitchedOffWithinTheLimit) {
    WriteIni("[Regulace]\nTvz=1\n");
    Start({"--period", "0.2", "--temp1", "30", "--temp2", "40"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothLampsLime(); }, 3000));
    form->CheckBoxRegulace->setChecked(true); // towards the standby setpoints, 180 degC: heating
    auto heatingGroups = [&](int unit) {
        const auto tokens = Tokens(emulator->Received(unit));
        return std::count(tokens.begin(), tokens.end(), "1");
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return heatingGroups(1) >= 2 && heatingGroups(2) >= 2; }, 5000));

    const std::size_t before = Tokens(emulator->Received(1)).size();
    const long side2Before = heatingGroups(2);
    const auto silent = Clock::now();
    emulator->Command("silent 1");
    auto offSince = [&](std::size_t from) {
        const auto tokens = Tokens(emulator->Received(1));
        return tokens.size() > from && std::find(tokens.begin() + long(from), tokens.end(), "0") != tokens.end();
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return offSince(before); }, 15000)) << emulator->Received(1);
    const auto took = Clock::now() - silent;
    EXPECT_GT(took, std::chrono::seconds(9)) << "switched off before the limit";
    EXPECT_LT(took, std::chrono::seconds(11));
    EXPECT_GE(heatingGroups(2) - side2Before, 8) << "side 2 is regulated on";
    EXPECT_TRUE(StripShows(*form, "Strana 1: zadna teplota 10 s, topeni vypnuto."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return emulator->Received(1).find("@BEEP&") != std::string::npos; }, 2000))
        << "the unit's buzzer sounds the alarm";

    const long side1Heating = heatingGroups(1);
    emulator->Command("talk 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return heatingGroups(1) > side1Heating; }, 4000)) << emulator->Received(1);
    EXPECT_TRUE(StripShows(*form, "Strana 1: teplota opet prichazi."));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join("; ").toStdString();
}

// Tick groups in a unit's stream: each ends with the one "*".
long Groups(const std::string& stream) {
    return std::count(stream.begin(), stream.end(), '*');
}

// Unit 1's adapter pulled out while regulating: its alarm stands in the strip, unit 2 keeps
// getting its group every tick meanwhile; plugged in again, its port opens by itself, the alarm
// ends and regulation resumes. No box opens.
TEST_F(EndToEnd, APulledUnitIsReportedWhileTheOtherIsServedAndComesBackByItself) {
    WriteIni("[Nastaveni]\nDelkaCyklu=600\n[Regulace]\nTvz=0,5\n");
    Start({"--period", "0.2", "--temp1", "30", "--temp2", "40"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothLampsLime(); }, 3000));
    boxes.Hold = true;
    form->Button5->click();
    ASSERT_TRUE(form->CheckBoxRegulace->isChecked());
    QTest::qWait(1000);

    emulator->Command("unplug 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Com1Port->Connected(); }, 3000));
    EXPECT_EQ(form->Shape2->BrushColor(), colors::Red);
    EXPECT_TRUE(StripShows(*form, "Spojeni s jednotkou 1 preruseno."));
    // At the next refresh (later, the freed terminal's number may be another program's by now).
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->LabelTeplota1->text() == "---"; }, 1000));

    const long before = Groups(emulator->Received(2));
    QTest::qWait(3000);
    EXPECT_GE(Groups(emulator->Received(2)) - before, 5) << "a group every 0,5 s tick with the alarm standing";

    const long unit1 = Groups(emulator->Received(1));
    emulator->Command("plug 1");
    const auto plugged = Clock::now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Shape2->BrushColor() == colors::Lime; }, 3000));
    EXPECT_LT(Clock::now() - plugged, std::chrono::seconds(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Groups(emulator->Received(1)) >= unit1 + 3; }, 3000))
        << "regulation resumes on unit 1";
    EXPECT_TRUE(form->CheckBoxRegulace->isChecked());
    EXPECT_FALSE(form->Alarms.Has(1, "port-lost"));
    EXPECT_TRUE(StripShows(*form, "Spojeni s jednotkou 1 obnoveno."));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join("; ").toStdString();
}

TEST_F(EndToEnd, FloodGarbageSilenceAndAPulledUnitLeaveTheWindowWorking) {
    WriteIni("[Nastaveni]\nUkazKom=1\n[Regulace]\nTvz=0,5\n");
    Start({"--period", "0.1", "--temp1", "30", "--temp2", "40"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothLampsLime(); }, 3000));
    ASSERT_TRUE(form->CheckBox2->isChecked()) << "everything received is listed: the heaviest receive path";

    // Flooding: the time base keeps ticking and reports keep arriving.
    emulator->Command("temp 1 61");
    emulator->Command("flood 1 2");
    auto ticks = form->S.CycleTicks;
    QTest::qWait(2500);
    EXPECT_GE(form->S.CycleTicks - ticks, 15) << "the time base starved while the line flooded";
    EXPECT_NEAR(Temperature(1), 61, 1.5);
    EXPECT_LE(form->ListBox2->count(), 1000);

    // Binary garbage on side 2, then its reports again.
    emulator->Command("garbage 2 20000");
    emulator->Command("temp 2 44");
    ticks = form->S.CycleTicks;
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(Temperature(2) - 44) < 1; }, 5000));
    EXPECT_LE(form->S.RxLine[2].size(), 12u);
    EXPECT_NEAR(Temperature(1), 61, 1.5);

    // Silence changes nothing.
    emulator->Command("silent 2");
    emulator->Command("temp 2 50");
    QTest::qWait(600);
    EXPECT_NEAR(Temperature(2), 44, 1);
    emulator->Command("talk 2");
    ASSERT_TRUE(QTest::qWaitFor([&] { return std::abs(Temperature(2) - 50) < 1; }, 3000));

    // Pulling unit 1 away: no spinning, the timers go on, side 2 goes on.
    emulator->Command("unplug 1");
    QTest::qWait(500);
    const double cpu = CpuSeconds();
    ticks = form->S.CycleTicks;
    emulator->Command("temp 2 47");
    QTest::qWait(2000);
    EXPECT_LT(CpuSeconds() - cpu, 1.0) << "the window spins after a unit was pulled away";
    EXPECT_GE(form->S.CycleTicks - ticks, 12);
    EXPECT_NEAR(Temperature(2), 47, 1);

    const auto closing = Clock::now();
    form->close();
    EXPECT_LT(Clock::now() - closing, std::chrono::seconds(5));
    EXPECT_FALSE(form->Com1Port->Connected());
    EXPECT_FALSE(form->Com2Port->Connected());
}

// A unit whose sensor breaks keeps reporting, but nonsense ("@t=ERR  C"): its side is switched
// off at the third such report, the operator is told in words and the journal has it, while the
// other side is regulated on. Mended, the side is regulated again by itself.
TEST_F(EndToEnd, ASensorThatReportsNonsenseSwitchesItsSideOff) {
    WriteIni("[Regulace]\nTvz=1\n");
    Start({"--temp1", "30", "--temp2", "40"}); // a report a second, as the units send them
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothLampsLime(); }, 3000));
    form->CheckBoxRegulace->setChecked(true); // towards the standby setpoints, 180 degC: heating
    auto count = [&](int unit, const char* value) {
        const auto tokens = Tokens(emulator->Received(unit));
        return std::count(tokens.begin(), tokens.end(), value);
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(1, "1") >= 2 && count(2, "1") >= 2; }, 5000));

    const long off = count(1, "0");
    emulator->Command("broken 1");
    const auto broke = Clock::now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(1, "0") > off; }, 8000)) << emulator->Received(1);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - broke);
    std::printf("[ figure   ] first nonsense report to the heater-off group: at most %lld ms\n",
                static_cast<long long>(took.count()));
    EXPECT_LT(took, std::chrono::seconds(4)) << "three reports a second apart";
    EXPECT_TRUE(StripShows(*form, "Strana 1: cidlo hlasi nesmysl, topeni vypnuto."));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join("; ").toStdString();
    const long side2 = count(2, "1");
    QTest::qWait(2000);
    EXPECT_GE(count(2, "1") - side2, 1) << "side 2 is regulated on";
    std::ifstream events(dir / "Data" / "events.txt");
    const std::string journal{std::istreambuf_iterator<char>(events), {}};
    EXPECT_NE(journal.find("\t1\tsensor-fault\t"), std::string::npos) << journal;

    const long heating = count(1, "1");
    emulator->Command("mend 1");
    ASSERT_TRUE(QTest::qWaitFor([&] { return count(1, "1") > heating; }, 5000)) << emulator->Received(1);
}

// A welded relay: the oven goes on heating while the program commands its heater off. With the
// watch shortened to 10 s (UnikCas), the runaway alarm comes once the rise passes 10 degC, and
// the unit's buzzer sounds (every 10 s while it stands: the window's tests count them).
TEST_F(EndToEnd, AWeldedRelayRaisesTheRunawayAlarmWithTheBuzzer) {
    WriteIni("[Regulace]\nTvz=1\n[Bezpecnost]\nUnikCas=10\n");
    Start({"--period", "0.5", "--temp1", "60", "--temp2", "40"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return BothLampsLime(); }, 3000));
    QTest::qWait(1500); // by hand, both heaters off
    emulator->Command("stuck 1");
    const auto welded = Clock::now();
    auto alarmed = [&] {
        for (const auto& row : form->PanelAlarmy->Rows())
            if (row.Text.contains("Strana 1: topeni se nevypina") && row.Text.endsWith("Odpojte topeni od site!"))
                return true;
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor(alarmed, 30000));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - welded);
    std::printf("[ figure   ] weld to runaway alarm with UnikCas=10: %lld ms\n", static_cast<long long>(took.count()));
    EXPECT_GT(took, std::chrono::seconds(9));
    EXPECT_LT(took, std::chrono::seconds(16));
    EXPECT_TRUE(boxes.shown.isEmpty()) << boxes.shown.join("; ").toStdString();
    auto beeps = [&] {
        const auto tokens = Tokens(emulator->Received(1));
        return std::count(tokens.begin(), tokens.end(), "B");
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return beeps() >= 1; }, 5000)) << "the unit's buzzer";
    EXPECT_TRUE(form->ButtonPotvrdit1->isVisible());
}

} // namespace
