// regulator-report on files: a readable report from a log with what the journal and the settings
// tell of its run, the log as CSV in both forms, exit code 2 and one line on stderr for everything
// that is no log. The PDF is read back with poppler's tools and the CSV with Python's csv module
// when the machine has them.
#include "persistence/DataLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ReportTool : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("report_tool_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        // Side 1 heats to 150 and overshoots to 152.4; side 2 stays at 21.
        std::string log;
        for (int n = 0; n < 400; ++n) {
            persistence::LogRow r;
            r.CycleTime = n * 0.5;
            r.Setpoint1 = 150.0;
            r.Temperature1 = n < 100 ? 20.0 + n * 1.3 : 150.0 + (n == 150 ? 2.4 : 0.0);
            r.Heater1 = n < 100;
            r.Setpoint2 = 0.0;
            r.Temperature2 = 21.0;
            log += persistence::LogLineText(r);
        }
        Write("run.txt", log);
        Write("cut.txt", log + "   200.0\t   150.0\t0\t");
        Write("notes.txt", "Prubeh 1: 150 stupnu\r\n");
        Write("empty.txt", "");
        fs::create_directories(dir_ / "folder");
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }

    // Runs the tool in the test folder; returns its exit code, stderr in err_.
    int Run(const std::string& args) {
        const std::string cmd =
            "cd '" + dir_.string() + "' && '" REPORT_TOOL "' " + args + " >out.txt 2>err.txt";
        const int status = std::system(cmd.c_str());
        err_ = Read(dir_ / "err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Text of pages `first` to `last` of a PDF in the test folder.
    std::string PdfText(const std::string& pdf, int first, int last) {
        const std::string cmd = "cd '" + dir_.string() + "' && pdftotext -layout -f " +
                                std::to_string(first) + " -l " + std::to_string(last) + " " + pdf +
                                " text.txt";
        return std::system(cmd.c_str()) == 0 ? Read(dir_ / "text.txt") : std::string();
    }
    int PdfPages(const std::string& pdf) {
        const std::string cmd = "cd '" + dir_.string() + "' && pdfinfo " + pdf + " >info.txt";
        if (std::system(cmd.c_str()) != 0) return -1;
        const std::string info = Read(dir_ / "info.txt");
        const auto at = info.find("Pages:");
        return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + 6);
    }

    static bool Have(const char* tool) {
        return std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0;
    }

    fs::path dir_;
    std::string err_;
};

TEST_F(ReportTool, WritesAOnePageReportOfALogAndOfALogStillBeingWritten) {
    ASSERT_EQ(Run("run.txt --reference cut.txt"), 0) << err_;
    EXPECT_EQ(err_, "");
    ASSERT_TRUE(fs::exists(dir_ / "run.pdf")); // the default name: the log's, with .pdf
    EXPECT_EQ(Read(dir_ / "run.pdf").substr(0, 5), "%PDF-");

    ASSERT_EQ(Run("cut.txt -o cut.png"), 0) << err_;
    EXPECT_EQ(Read(dir_ / "cut.png").substr(1, 3), "PNG");

    if (!Have("pdftotext") || !Have("pdfinfo")) GTEST_SKIP() << "poppler-utils not installed";
    ASSERT_EQ(std::system(("cd '" + dir_.string() +
                           "' && pdfinfo run.pdf >info.txt && pdftotext -layout run.pdf text.txt")
                              .c_str()),
              0);
    const std::string info = Read(dir_ / "info.txt");
    const auto pages = info.find("Pages:");
    ASSERT_NE(pages, std::string::npos);
    EXPECT_EQ(info.substr(info.find_first_not_of(' ', pages + 6), 2), "1\n");
    const std::string text = Read(dir_ / "text.txt");
    for (const char* expected : {"Protokol o prubehu regulace", "Datovy soubor: run.txt",
                                 "Reference_1 (cut.txt)", "Strana 1", "Strana 2", "0:03:19,5",
                                 "152,4 \xc2\xb0"
                                 "C",
                                 "2,4 \xc2\xb0"
                                 "C",
                                 "21,0 \xc2\xb0"
                                 "C",
                                 "25,0 %"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    }
}

TEST_F(ReportTool, BadInputGivesExitCodeTwoAndOneLine) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"notes.txt", "regulator-report: notes.txt: not a data log (line 1)\n"},
        {"empty.txt", "regulator-report: empty.txt: empty data log\n"},
        {"folder", "regulator-report: folder: is a folder, not a data log\n"},
        {"missing.txt", "regulator-report: missing.txt: no such file\n"},
        {"run.txt --reference notes.txt", "regulator-report: notes.txt: not a data log (line 1)\n"},
        {"run.txt -o run.jpg", "regulator-report: run.jpg: the report is written as .pdf or .png\n"},
        {"run.txt --colour", "regulator-report: unknown option --colour (see --help)\n"},
        {"run.txt --czech", "regulator-report: --czech is the form of --csv (see --help)\n"},
        {"", "regulator-report: no log given (see --help)\n"},
    };
    for (const auto& [args, error] : cases) {
        EXPECT_EQ(Run(args), 2) << args;
        EXPECT_EQ(err_, error) << args;
    }
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(Read(dir_ / "out.txt").find("usage: regulator-report LOG"), std::string::npos);
}

// A two-hour run in a program folder: Data/ with the log (a crash after 43 min, resumed 3 min 31 s
// later with the cycle time back by half a second) and the journal, Regulator.ini beside it.
class ReportRecord : public ReportTool {
protected:
    void SetUp() override {
        ReportTool::SetUp();
        fs::create_directories(dir_ / "Data");
        std::string log;
        auto add = [&log](double t) {
            persistence::LogRow r;
            r.CycleTime = t;
            const double program = t < 1800 ? 100.0 : 150.0;
            r.Setpoint1 = t < 4.0 ? 0.0 : program; // 0 until the first control tick
            r.Temperature1 = std::min(program + 0.5, 20.0 + t * 0.5);
            r.Heater1 = r.Temperature1 < r.Setpoint1;
            r.Setpoint2 = t < 4.0 ? 0.0 : 80.0;
            r.Temperature2 = std::min(81.0, 21.0 + t * 0.3);
            log += persistence::LogLineText(r);
        };
        for (int n = 0; n <= 5160; ++n)
            add(n * 0.5);
        for (int n = 0; n <= 9241; ++n)
            add(2579.5 + n * 0.5);
        Write("Data/data_08_12_26__13_19.txt", log);
        Write("Regulator.ini", "[Serial]\r\nCom1=COM3\r\nCom2=COM7\r\n[Regulace]\r\nr0=0,01995\r\nTi=31,5\r\n"
                               "Td=2,35\r\nTvz=5\r\nr0_2=0,025\r\n[Bezpecnost]\r\nMaxT1=160\r\n"
                               "[Prubeh1]\r\nCas1=1800\r\nTeplota1=150\r\nCas2=0\r\nTeplota2=100\r\n"
                               "[Protokol]\r\nPec=Pec B2\r\nStrana1=Horni zona\r\n");
    }
    std::string Journal(int extraAlarms, bool changes = false) {
        std::string text = std::string(changes ? "2026-12-08 12:00:00\t2\tchange\tt2: 25 -> 180\r\n" : "") +
                           "2026-12-08 13:10:00\t-\tprogram-start\tRegulace teploty v2.9\r\n"
                           "2026-12-08 13:19:05\t-\tcycle-start\tobsluha\r\n"
                           "2026-12-08 13:19:06\t-\ttelemetry\tpripojeno k brokeru\r\n"
                           "2026-12-08 13:39:05\t2\tstale\tStrana 2: zadna teplota 10 s, topeni vypnuto.\r\n"
                           "2026-12-08 14:05:30\t-\tprogram-start\tRegulace teploty v2.9\r\n"
                           "2026-12-08 14:05:30\t-\tcycle-interrupted\tcas 2579 s, vypadek 206 s\r\n"
                           "2026-12-08 14:05:35\t-\tcycle-resumed\tcas 2579 s\r\n";
        for (int n = 0; n < extraAlarms; ++n)
            text += "2026-12-08 14:" + std::to_string(10 + n / 60) + ":" + (n % 60 < 10 ? "0" : "") +
                    std::to_string(n % 60) + "\t1\tport-lost\tCOM3: I/O error\r\n";
        return text +
               "2026-12-08 14:45:56\t1\tover-temperature\tStrana 1: teplota dosahla meze\r\n"
               "2026-12-08 14:50:00\t2\tsome-new-kind\tneco noveho\r\n"
               "2026-12-08 15:22:36\t-\tcycle-end\tkonec cyklu\r\n"
               "2026-12-08 15:23:00\t-\tcycle-start\tobsluha\r\n" +
               (changes ? "2026-12-09 08:00:00\t-\tchange\tr0: 0,015 -> 0,01995\r\n" : "");
    }
};

TEST_F(ReportRecord, HeaderSettingsProgramsEventsAndOneCycleForAResumedRun) {
    if (!Have("pdftotext") || !Have("pdfinfo")) GTEST_SKIP() << "poppler-utils not installed";
    Write("Data/events.txt", Journal(0));
    ASSERT_EQ(Run("Data/data_08_12_26__13_19.txt -o record.pdf"), 0) << err_;
    EXPECT_EQ(PdfPages("record.pdf"), 1);
    std::string text = PdfText("record.pdf", 1, 1);
    auto has = [&text](const std::string& what) { return text.find(what) != std::string::npos; };
    // pdftotext -layout keeps the columns apart with runs of spaces; a row is found by its cells in order.
    auto row = [&text](std::vector<std::string> cells) {
        std::size_t at = text.find(cells[0]);
        while (at != std::string::npos) {
            std::size_t end = text.find('\n', at), p = at;
            bool all = true;
            for (const std::string& c : cells) {
                p = text.find(c, p);
                all = all && p != std::string::npos && p < end;
            }
            if (all) return true;
            at = text.find(cells[0], at + 1);
        }
        return false;
    };
    for (const char* expected :
         {"Datovy soubor: data_08_12_26__13_19.txt", "Pec: Pec B2", "Datum: 08.12.2026", "Zacatek: 13:19:05",
          "Konec: 15:22:36", "Strana 1: Horni zona (COM3)", "Strana 2 (COM7)", "Cas cyklu [h:mm]",
          "Vypadek: 14:02:04 az 14:05:35 (3 min 31 s)", "aktualni nastaveni", "Zadna teplota",
          "some-new-kind", "Prekrocena mez teploty", "Cyklus obnoven"})
        EXPECT_TRUE(has(expected)) << expected << "\n" << text;
    EXPECT_TRUE(row({"Pocet cyklu", "1", "1"})) << text;
    EXPECT_TRUE(row({"Preruseni cyklu", "1x, vypadek 3 min 31 s"})) << text;
    EXPECT_TRUE(row({"r0", "0,01995", "0,025 (vlastni)"})) << text;
    EXPECT_TRUE(row({"Mez teploty", "160", "bez meze"})) << text;
    EXPECT_TRUE(row({"Cas [s]", "0", "1800"})) << text; // the program in time order
    EXPECT_TRUE(row({"Teplota", "100", "150"})) << text;
    EXPECT_TRUE(row({"A1", "13:39:05", "2", "Zadna teplota"})) << text;
    EXPECT_TRUE(row({"A2", "14:45:56", "1", "Prekrocena mez teploty"})) << text;
    EXPECT_FALSE(has("Telemetrie")) << text;
    // The setpoint of 0 logged before the first control tick does not stretch the axis to 0.
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        const std::size_t first = line.find_first_not_of(' ');
        EXPECT_FALSE(first != std::string::npos && line.compare(first, 2, "0 ") == 0) << line;
        EXPECT_NE(line.substr(first == std::string::npos ? 0 : first), "0");
        at = end + 1;
    }
    EXPECT_FALSE(has("13:10:00")) << text; // before the run
    EXPECT_FALSE(has("15:23:00")) << text; // the next run's

    // Events that do not fit go on further pages; the chart stays on the first. With the
    // journal's change records the settings are the run's.
    Write("Data/events.txt", Journal(90, true));
    ASSERT_EQ(Run("Data/data_08_12_26__13_19.txt -o long.pdf"), 0) << err_;
    const int pages = PdfPages("long.pdf");
    EXPECT_GE(pages, 2);
    const std::string first = PdfText("long.pdf", 1, 1), last = PdfText("long.pdf", pages, pages);
    EXPECT_NE(first.find("Teplota [\xc2\xb0"
                         "C]"),
              std::string::npos);
    EXPECT_NE(first.find("list 1/" + std::to_string(pages)), std::string::npos);
    EXPECT_NE(last.find("Udalosti behu (Data/events.txt) (pokracovani)"), std::string::npos) << last;
    EXPECT_NE(last.find("A92"), std::string::npos) << last; // the over-temperature after 91 ports lost
    text = PdfText("long.pdf", 1, pages);
    EXPECT_TRUE(has("Nastaveni regulatoru (stav v dobe behu)")) << text;
    EXPECT_TRUE(row({"r0", "0,015", "0,025 (vlastni)"})) << text;
}

TEST_F(ReportTool, TheLogAsCsvInBothFormsReadsBackAsNumbers) {
    ASSERT_EQ(Run("run.txt --csv point.csv"), 0) << err_;
    ASSERT_EQ(Run("run.txt --csv czech.csv --czech"), 0) << err_;
    EXPECT_FALSE(fs::exists(dir_ / "run.pdf")); // --csv alone writes no report
    if (!Have("python3")) GTEST_SKIP() << "python3 not installed";
    // A spreadsheet's parsing of each form: its separator, then its decimal mark in numbers.
    Write("read.py", R"(import csv
def read(name, separator, decimal):
    with open(name, newline='', encoding='utf-8') as f:
        rows = list(csv.reader(f, delimiter=separator))
    assert all(len(r) == 7 for r in rows), name
    other = ',' if decimal == '.' else '.'
    assert not any(other in cell for r in rows[1:] for cell in r), name
    return rows[0], [[float(cell.replace(decimal, '.')) for cell in r] for r in rows[1:]]
point = read('point.csv', ',', '.')
czech = read('czech.csv', ';', ',')
print(point == czech, len(point[1]), '|'.join(czech[0]), point[1][150], czech[1][-1])
)");
    ASSERT_EQ(std::system(("cd '" + dir_.string() + "' && python3 read.py >py.txt 2>&1").c_str()), 0)
        << Read(dir_ / "py.txt");
    EXPECT_EQ(Read(dir_ / "py.txt"),
              "True 400 Cas_s|Zadana_hodnota_1|Topeni_1|Teplota_1|Zadana_hodnota_2|Topeni_2|"
              "Teplota_2 [75.0, 150.0, 0.0, 152.4, 0.0, 0.0, 21.0] [199.5, 150.0, 0.0, 150.0, "
              "0.0, 0.0, 21.0]\n");
}

} // namespace
