// regulator-report on files: a readable one-page report from a log, exit code 2 and one line
// on stderr for everything that is no log. The PDF is read back with poppler's tools when the
// machine has them.
#include "persistence/DataLog.h"

#include <gtest/gtest.h>

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
    for (const char* expected :
         {"Prubeh regulace: run.txt", "Reference_1 (cut.txt)", "Strana 1", "Strana 2", "0:03:19,5",
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
        {"", "regulator-report: no log given (see --help)\n"},
    };
    for (const auto& [args, error] : cases) {
        EXPECT_EQ(Run(args), 2) << args;
        EXPECT_EQ(err_, error) << args;
    }
    EXPECT_EQ(Run("--help"), 0);
    EXPECT_NE(Read(dir_ / "out.txt").find("usage: regulator-report LOG"), std::string::npos);
}

} // namespace
