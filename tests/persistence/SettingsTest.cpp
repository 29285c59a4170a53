// The settings file: what start-up reads from it and what the four writers leave in it.
#include "persistence/Settings.h"

#include "platform/ProgramDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace fs = std::filesystem;
using persistence::ReadSettings;
using persistence::StoredProgram;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    SettingsTest() {
        std::string pattern = (fs::temp_directory_path() / "settings_test_XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        dir = pattern;
        platform::SetProgramDir(dir);
    }
    ~SettingsTest() override {
        platform::SetProgramDir({});
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    fs::path Ini() const { return dir / "Regulator.ini"; }
    void Write(const std::string& text) const {
        std::ofstream out(Ini(), std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::string Read() const {
        std::ifstream in(Ini(), std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::vector<std::pair<int, int>> Points(const StoredProgram& p) {
        std::vector<std::pair<int, int>> v;
        for (int n = 1; n <= p.Count; ++n) v.emplace_back(p.Time[n], p.Temp[n]);
        return v;
    }

    fs::path dir;
};

TEST_F(SettingsTest, NoFileGivesEveryDefault) {
    const auto s = ReadSettings();
    EXPECT_EQ(s.Com1, "COM3");
    EXPECT_EQ(s.Com2, "COM4");
    EXPECT_EQ(s.BaudRate1, "4800");
    EXPECT_EQ(s.BaudRate2, "4800");
    EXPECT_EQ(s.Zadana1, "150");
    EXPECT_EQ(s.Zadana2, "150");
    EXPECT_EQ(s.DelkaCyklu, "180");
    EXPECT_EQ(s.r0, "0,01995");
    EXPECT_EQ(s.Ti, "31,5");
    EXPECT_EQ(s.Td, "2,35");
    EXPECT_EQ(s.Tvz, "5");
    EXPECT_EQ(s.T1, "180");
    EXPECT_EQ(s.T2, "180");
    EXPECT_FALSE(s.UkazKom);
    EXPECT_FALSE(s.NaPrubeh);
    EXPECT_EQ(s.Programs[1].Count, 0);
    EXPECT_EQ(s.Programs[2].Count, 0);
    EXPECT_FALSE(fs::exists(Ini())); // reading never creates the file
}

TEST_F(SettingsTest, ProgramLoadingRule) {
    std::string hundredAndFive = "[Prubeh1]\n";
    for (int n = 1; n <= 105; ++n)
        hundredAndFive += "Cas" + std::to_string(n) + "=" + std::to_string(n * 10) + "\nTeplota" + std::to_string(n) + "=1\n";
    struct Case {
        const char* name;
        std::string section;
        std::vector<std::pair<int, int>> expected;
    } cases[] = {
        {"Cas3 missing: Cas4 is ignored", "Cas1=10\nTeplota1=100\nCas2=20\nTeplota2=110\nCas4=40\nTeplota4=130\n",
         {{10, 100}, {20, 110}}},
        {"Teplota2 missing loads -1", "Cas1=10\nTeplota1=100\nCas2=20\n", {{10, 100}, {20, -1}}},
        {"hexadecimal time", "Cas1=0x10\nTeplota1=0X20\n", {{16, 32}}},
        {"not an integer ends the program", "Cas1=abc\nTeplota1=100\nCas2=20\n", {}},
        {"stored -1 ends the program", "Cas1=5\nTeplota1=1\nCas2=-1\nTeplota2=7\nCas3=30\n", {{5, 1}}},
        {"any other integer is a point", "Cas1=-5\nTeplota1=-300\nCas2=0\nTeplota2=abc\n", {{-5, -300}, {0, -1}}},
        {"odd case and any order", "teplota1=99\nCAS1=7\n", {{7, 99}}},
        {"empty time value", "Cas1=\nTeplota1=5\n", {}},
    };
    for (const auto& c : cases) {
        Write("[Prubeh2]\n" + c.section);
        EXPECT_EQ(Points(ReadSettings().Programs[2]), c.expected) << c.name;
        EXPECT_EQ(ReadSettings().Programs[1].Count, 0) << c.name;
    }
    // A hand-edited section with more points than the tables hold: the first 100 are read.
    Write(hundredAndFive);
    const auto p = ReadSettings().Programs[1];
    ASSERT_EQ(p.Count, 100);
    EXPECT_EQ(p.Time[100], 1000);
}

TEST_F(SettingsTest, TextsAndCheckBoxes) {
    struct Case {
        const char* nastaveni;
        bool ukazKom;
        bool naPrubeh;
    } cases[] = {
        {"NaPrubeh=1\n", false, true},
        {"NaPrubeh=true\n", false, false}, // a word is no integer: the default
        {"UkazKom=2\nNaPrubeh=0\n", true, false},
        {"UkazKom=-1\nNaPrubeh=0x1\n", true, true},
        {"ukazkom = 1 \n", true, false},
    };
    for (const auto& c : cases) {
        Write(std::string("[Nastaveni]\n") + c.nastaveni);
        const auto s = ReadSettings();
        EXPECT_EQ(s.UkazKom, c.ukazKom) << c.nastaveni;
        EXPECT_EQ(s.NaPrubeh, c.naPrubeh) << c.nastaveni;
    }
    // Texts are taken as they stand; nothing is parsed here.
    Write("[Nastaveni]\nZadana1=abc\nDelkaCyklu=1e9\n[Regulace]\nr0=0.5\nTvz= 0,05 \n[Serial]\nCom1=COM12\nBaudRate=9600\n");
    const auto s = ReadSettings();
    EXPECT_EQ(s.Zadana1, "abc");
    EXPECT_EQ(s.DelkaCyklu, "1e9");
    EXPECT_EQ(s.r0, "0.5");
    EXPECT_EQ(s.Tvz, "0,05");
    EXPECT_EQ(s.Com1, "COM12");
    EXPECT_EQ(s.Com2, "COM4");
    EXPECT_EQ(s.BaudRate1, "9600"); // one key serves both ports
    EXPECT_EQ(s.BaudRate2, "9600");
}

TEST_F(SettingsTest, WritersWriteTheirKeysInOrder) {
    persistence::WriteWindowSettings("150", "151,5", "180", true, false, true);
    persistence::WriteRegulatorSettings("0,01995", "31,5", "2,35", "5", "180", "170");
    persistence::WriteSerialSettings("COM5", "COM6", "4800");
    EXPECT_EQ(Read(), "[Nastaveni]\r\nZadana1=150\r\nZadana2=151,5\r\nDelkaCyklu=180\r\n"
                      "Simulace=1\r\nUkazKom=0\r\nNaPrubeh=1\r\n"
                      "[Regulace]\r\nr0=0,01995\r\nTi=31,5\r\nTd=2,35\r\nTvz=5\r\nT1=180\r\nT2=170\r\n"
                      "[Serial]\r\nCom1=COM5\r\nCom2=COM6\r\nBaudRate=4800\r\n");
    // Simulation was on at exit; nothing of it comes back at the next start.
    const auto s = ReadSettings();
    EXPECT_EQ(s.Zadana2, "151,5");
    EXPECT_TRUE(s.NaPrubeh);
    EXPECT_EQ(s.Com1, "COM5");
}

TEST_F(SettingsTest, ProgramsAreRewrittenAndAnEmptyOneLeavesNoSection) {
    state::RegulatorState st;
    st.ProgramCount[1] = 2;
    st.ProgramTime[1][1] = 0;
    st.ProgramTemp[1][1] = 100;
    st.ProgramTime[1][2] = 60;
    st.ProgramTemp[1][2] = 150;
    st.ProgramCount[2] = 1;
    st.ProgramTime[2][1] = 30;
    st.ProgramTemp[2][1] = 90;
    // Stale points beyond the count, as a hand edit or an older file leaves them.
    Write("[prubeh1]\r\nCas1=5\r\nCas7=70\r\n[Nastaveni]\r\nZadana1=120\r\n");
    persistence::WritePrograms(st);
    EXPECT_EQ(Read(), "[Nastaveni]\r\nZadana1=120\r\n"
                      "[Prubeh1]\r\nCas1=0\r\nTeplota1=100\r\nCas2=60\r\nTeplota2=150\r\n"
                      "[Prubeh2]\r\nCas1=30\r\nTeplota1=90\r\n");

    st.ProgramCount[2] = 0; // the last point of side 2 deleted
    persistence::WritePrograms(st);
    EXPECT_EQ(Read().find("Prubeh2"), std::string::npos);
    const auto s = ReadSettings();
    EXPECT_EQ(Points(s.Programs[1]), (std::vector<std::pair<int, int>>{{0, 100}, {60, 150}}));
    EXPECT_EQ(s.Programs[2].Count, 0);
}

TEST_F(SettingsTest, RoundTripKeepsCommentsUnknownSectionsAndCase) {
    const std::string before = "; Regulator settings, edited by hand\r\n"
                               "\r\n"
                               "[serial]\r\n"
                               "COM1 = COM3\r\n"
                               "baudrate=4800\r\n"
                               "\r\n"
                               "[Kalibrace]\r\n"
                               "Offset=0,5 ; keep\r\n"
                               "[NASTAVENI]\r\n"
                               "zadana1=140\r\n"
                               "NaPrubeh=true\r\n"
                               "weird line without equals\r\n"
                               "\r\n"
                               "[Regulace]\r\n"
                               "r0=0,02\r\n"
                               "Ti=30\r\n"
                               "Td=2\r\n"
                               "Tvz=5\r\n"
                               "T1=180\r\n"
                               "T2=180\r\n"
                               "[Prubeh1]\r\n"
                               "Cas1=0\r\n"
                               "Teplota1=100\r\n"
                               "[Konec]\r\n"
                               "x=1";
    Write(before);
    const auto s = ReadSettings();
    EXPECT_EQ(s.Zadana1, "140");
    EXPECT_FALSE(s.NaPrubeh);

    // A session: a point added to program 1, parameters applied, ports applied, then exit.
    state::RegulatorState st;
    st.ProgramCount[1] = 2;
    st.ProgramTime[1][1] = 0;
    st.ProgramTemp[1][1] = 100;
    st.ProgramTime[1][2] = 50;
    st.ProgramTemp[1][2] = 120;
    persistence::WritePrograms(st);
    persistence::WriteRegulatorSettings(s.r0, s.Ti, s.Td, s.Tvz, s.T1, s.T2);
    persistence::WriteSerialSettings("COM3", "COM4", "4800");
    persistence::WriteWindowSettings("140", s.Zadana2, s.DelkaCyklu, false, s.UkazKom, true);

    const std::string after = "; Regulator settings, edited by hand\r\n"
                              "\r\n"
                              "[serial]\r\n"
                              "COM1=COM3\r\n"
                              "baudrate=4800\r\n"
                              "Com2=COM4\r\n"
                              "\r\n"
                              "[Kalibrace]\r\n"
                              "Offset=0,5 ; keep\r\n"
                              "[NASTAVENI]\r\n"
                              "zadana1=140\r\n"
                              "NaPrubeh=1\r\n"
                              "Zadana2=150\r\n"
                              "DelkaCyklu=180\r\n"
                              "Simulace=0\r\n"
                              "UkazKom=0\r\n"
                              "weird line without equals\r\n"
                              "\r\n"
                              "[Regulace]\r\n"
                              "r0=0,02\r\n"
                              "Ti=30\r\n"
                              "Td=2\r\n"
                              "Tvz=5\r\n"
                              "T1=180\r\n"
                              "T2=180\r\n"
                              "[Konec]\r\n"
                              "x=1\r\n"
                              "[Prubeh1]\r\n"
                              "Cas1=0\r\n"
                              "Teplota1=100\r\n"
                              "Cas2=50\r\n"
                              "Teplota2=120\r\n";
    EXPECT_EQ(Read(), after);
    const auto again = ReadSettings();
    EXPECT_TRUE(again.NaPrubeh);
    EXPECT_EQ(Points(again.Programs[1]), (std::vector<std::pair<int, int>>{{0, 100}, {50, 120}}));
}

TEST_F(SettingsTest, ASideKeepsItsOwnParametersBesideTheSharedOnes) {
    Write("[Regulace]\r\nr0=0,02\r\nTi=30\r\nTd=2\r\n");
    for (int side = 1; side <= 2; ++side) EXPECT_TRUE(ReadSettings().SideParameters[side].r0.empty()) << side;

    persistence::WriteSideParameters(2, "0,0182", "1086", "102,3");
    EXPECT_EQ(Read(), "[Regulace]\r\nr0=0,02\r\nTi=30\r\nTd=2\r\nr0_2=0,0182\r\nTi_2=1086\r\nTd_2=102,3\r\n");
    auto s = ReadSettings();
    EXPECT_EQ(s.r0, "0,02") << "the shared set stays";
    EXPECT_EQ(s.SideParameters[2].r0, "0,0182");
    EXPECT_EQ(s.SideParameters[2].Ti, "1086");
    EXPECT_EQ(s.SideParameters[2].Td, "102,3");
    EXPECT_TRUE(s.SideParameters[1].Ti.empty());

    persistence::WriteSideParameters(2, "", "", ""); // back to the shared set
    s = ReadSettings();
    EXPECT_TRUE(s.SideParameters[2].r0.empty() && s.SideParameters[2].Ti.empty() && s.SideParameters[2].Td.empty());
}

TEST_F(SettingsTest, PathHasOneSeparatorAlsoInTheErrorText) {
    platform::SetProgramDir(dir.string() + "//");
    EXPECT_EQ(persistence::SettingsPath(), dir / "Regulator.ini");
    fs::create_directory(Ini()); // the file system refuses the file here
    try {
        persistence::WriteSerialSettings("COM1", "COM2", "4800");
        FAIL() << "the write was not refused";
    } catch (const platform::EProfileWrite& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.string() + "/Regulator.ini");
    }
    // Reading the unusable file gives the defaults.
    EXPECT_EQ(ReadSettings().Com1, "COM3");
}

TEST_F(SettingsTest, GarbageFileReadsAsDefaultsAndSurvivesTheWriters) {
    std::string garbage;
    for (int i = 0; i < 20000; ++i) garbage += static_cast<char>((i * 7919) % 256);
    Write(garbage);
    const auto s = ReadSettings();
    EXPECT_EQ(s.Zadana1, "150");
    EXPECT_EQ(s.Programs[1].Count, 0);
    persistence::WriteWindowSettings("1", "2", "3", false, false, false);
    EXPECT_EQ(Read().compare(0, garbage.size(), garbage), 0);
    EXPECT_EQ(ReadSettings().Zadana2, "2");
}

} // namespace
