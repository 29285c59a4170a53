// The settings file as the window reads it at start and writes it when settings are applied.
#include "FormFixture.h"

#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>


using namespace std::string_literals;

namespace {

std::string Str(const QLineEdit* e) { return e->text().toStdString(); }

TEST(Settings, NoFileStartsWithEveryDefault) {
    TFormFixture fx;
    TForm1& f = fx.Create();
    EXPECT_EQ(f.Com1Port->Port(), "COM3");
    EXPECT_EQ(f.Com2Port->Port(), "COM4");
    EXPECT_EQ(f.Com1Port->BaudRate(), br4800);
    EXPECT_EQ(f.Com2Port->BaudRate(), br4800);
    const std::pair<QLineEdit*, const char*> edits[] = {
        {f.Edit1, "150"}, {f.Edit12, "150"}, {f.Edit15, "180"}, {f.Edit2, "0,01995"}, {f.Edit3, "31,5"},
        {f.Edit4, "2,35"}, {f.Edit8, "5"},   {f.Edit16, "180"}, {f.Edit17, "180"}};
    for (const auto& [edit, text] : edits) EXPECT_EQ(Str(edit), text) << edit->objectName().toStdString();
    EXPECT_FALSE(f.CheckBox2->isChecked());
    EXPECT_FALSE(f.CheckBox3->isChecked()); // designed checked: the settings default wins
    EXPECT_EQ(f.S.ProgramCount[1], 0);
    EXPECT_EQ(f.S.ProgramCount[2], 0);
    EXPECT_FALSE(std::filesystem::exists(fx.Dir() / "Regulator.ini"));
}

TEST(Settings, StartReadsWhatTheFileHolds) {
    const std::string file = "[Serial]\r\nCom1=COM7\r\nCom2=COM8\r\nBaudRate=9600\r\n"
                    "[Nastaveni]\r\nZadana1=abc\r\nZadana2=120,5\r\nDelkaCyklu=600\r\n"
                    "UkazKom=2\r\nNaPrubeh=true\r\nSimulace=1\r\n"
                    "[Regulace]\r\nr0=0,03\r\nTi=20\r\nTd=1,5\r\nTvz=2\r\nT1=100\r\nT2=90\r\n"
                    "[Prubeh1]\r\nCas1=30\r\nTeplota1=100\r\nCas2=0x10\r\nCas4=40\r\nTeplota4=5\r\n"
                    "[Prubeh2]\r\nCas1=abc\r\nTeplota1=7\r\n";
    TFormFixture fx(file);
    // What a write killed half way left beside the file goes at start (no write of ours is in
    // progress, so one named after this very process is a leftover too).
    const std::string leftover = "Regulator.ini.tmp" + std::to_string(::getpid()) + "_0";
    fx.WriteFile(leftover, "half");
    TForm1& f = fx.Create();
    EXPECT_FALSE(std::filesystem::exists(fx.Dir() / leftover));
    EXPECT_EQ(f.Com1Port->Port(), "COM7");
    EXPECT_EQ(f.Com2Port->Port(), "COM8");
    EXPECT_EQ(f.Com1Port->BaudRate(), br9600);
    EXPECT_EQ(f.Com2Port->BaudRate(), br9600);
    const std::pair<QLineEdit*, const char*> edits[] = {
        {f.Edit1, "abc"}, {f.Edit12, "120,5"}, {f.Edit15, "600"}, {f.Edit2, "0,03"}, {f.Edit3, "20"},
        {f.Edit4, "1,5"}, {f.Edit8, "2"},      {f.Edit16, "100"}, {f.Edit17, "90"}};
    for (const auto& [edit, text] : edits) EXPECT_EQ(Str(edit), text) << edit->objectName().toStdString();
    EXPECT_TRUE(f.CheckBox2->isChecked());  // UkazKom=2
    EXPECT_FALSE(f.CheckBox3->isChecked()); // NaPrubeh=true is no integer
    EXPECT_FALSE(f.CheckBox1->isChecked()); // Simulace is never read
    ASSERT_EQ(f.S.ProgramCount[1], 2);      // no Cas3: Cas4 is ignored
    EXPECT_EQ(f.S.ProgramTime[1][1], 30);
    EXPECT_EQ(f.S.ProgramTemp[1][1], 100);
    EXPECT_EQ(f.S.ProgramTime[1][2], 16);
    EXPECT_EQ(f.S.ProgramTemp[1][2], -1); // Teplota2 missing
    EXPECT_EQ(f.S.ProgramCount[2], 0);    // Cas1=abc ends the program before its first point
    EXPECT_EQ(fx.ReadFile("Regulator.ini"), file); // reading changes nothing
}

TEST(Settings, WindowSectionAtExitAndSimulationOffAtNextStart) {
    TFormFixture fx;
    {
        TForm1& f = fx.Show();
        f.Edit1->setText("155");
        f.Edit12->setText("abc");
        f.CheckBox1->setChecked(true);
        f.CheckBox2->setChecked(true);
        f.CheckBox3->setChecked(false);
        fx.Close();
    }
    EXPECT_EQ(fx.ReadFile("Regulator.ini"), "[Nastaveni]\r\nZadana1=155\r\nZadana2=abc\r\nDelkaCyklu=180\r\n"
                                            "Simulace=1\r\nUkazKom=1\r\nNaPrubeh=0\r\n");
    EXPECT_TRUE(fx.Boxes.boxes.empty());

    TForm1 next(fx.Services); // the next start, in the same folder
    EXPECT_FALSE(next.CheckBox1->isChecked());
    EXPECT_TRUE(next.CheckBox2->isChecked());
    EXPECT_FALSE(next.CheckBox3->isChecked());
    EXPECT_EQ(Str(next.Edit1), "155");
    EXPECT_EQ(Str(next.Edit12), "abc");
}

TEST(Settings, ParametersPortsAndProgramsWrittenWhenApplied) {
    TFormFixture fx;
    TForm1& f = fx.Show();
    f.Edit16->setText("175");
    f.Button4Click(f.Button4);
    f.Com1Port->SetPort("COM5");
    f.SaveSerialSettings();
    f.S.ProgramCount[2] = 1;
    f.S.ProgramTime[2][1] = 12;
    f.S.ProgramTemp[2][1] = 80;
    f.SavePrograms();
    EXPECT_EQ(fx.ReadFile("Regulator.ini"),
              "[Regulace]\r\nr0=0,01995\r\nTi=31,5\r\nTd=2,35\r\nTvz=5\r\nT1=175\r\nT2=180\r\n"
              "[Serial]\r\nCom1=COM5\r\nCom2=COM4\r\nBaudRate=4800\r\n"
              "[Prubeh2]\r\nCas1=12\r\nTeplota1=80\r\n");
    f.S.ProgramCount[2] = 0; // its last point deleted
    f.SavePrograms();
    EXPECT_EQ(fx.ReadFile("Regulator.ini").find("Prubeh2"), std::string::npos);
}

TEST(Settings, RoundTripThroughTheWindowKeepsEverythingElse) {
    const std::string before = "; written by hand\r\n"
                               "[NASTAVENI]\r\n"
                               "zadana1 = 140\r\n"
                               "Zadana2=150\r\n"
                               "DelkaCyklu=180\r\n"
                               "Simulace=0\r\n"
                               "UkazKom=0\r\n"
                               "naprubeh=1\r\n"
                               "\r\n"
                               "[Unknown]\r\n"
                               "Key=\"value\"\r\n"
                               "[regulace]\r\n"
                               "R0=0,01995\r\n"
                               "Ti=31,5\r\n"
                               "Td=2,35\r\n"
                               "Tvz=5\r\n"
                               "T1=180\r\n"
                               "T2=180\xB0\r\n"; // single-byte text, shown as a degree sign
    TFormFixture fx(before);
    TForm1& f = fx.Show();
    EXPECT_EQ(f.Edit17->text(), QString::fromUtf8("180\u00B0"));
    f.Button4Click(f.Button4);
    fx.Close();
    std::string after = before;
    after.replace(after.find("zadana1 = 140"), 13, "zadana1=140");
    EXPECT_EQ(fx.ReadFile("Regulator.ini"), after);
    EXPECT_TRUE(fx.Boxes.boxes.empty());
}

TEST(Settings, RefusedWritesAreReportedAndTheWindowStillCloses) {
    // A folder where the file should be: the file system refuses the file even for root.
    TFormFixture fx;
    std::filesystem::create_directory(fx.Dir() / "Regulator.ini");
    TForm1& f = fx.Show();
    const QString text = QString::fromStdString("Unable to write to " + (fx.Dir() / "Regulator.ini").string() + ".");

    f.Guard([&] { f.Button4Click(f.Button4); }); // as the button's own wiring runs it
    ASSERT_EQ(fx.Boxes.boxes.size(), 1u);
    EXPECT_EQ(fx.Boxes.boxes[0].text, text);
    EXPECT_EQ(fx.Boxes.boxes[0].title, "Regulace teploty");

    f.Guard([&] { f.SavePrograms(); }); // the erase is refused as well
    ASSERT_EQ(fx.Boxes.boxes.size(), 2u);
    EXPECT_EQ(fx.Boxes.boxes[1].text, text);

    fx.Close();
    ASSERT_EQ(fx.Boxes.boxes.size(), 3u); // reported once
    EXPECT_EQ(fx.Boxes.boxes[2].text, text);
    EXPECT_FALSE(f.isVisible()); // and closed all the same
    EXPECT_FALSE(f.Com1Port->Connected());
}

TEST(Settings, GarbageFileStartsWithDefaultsAndKeepsItsBytes) {
    std::string garbage = "\xff\xfe[Nast\0aveni]\n=\n[[]]\r\r\n"s;
    for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 131) % 256);
    TFormFixture fx;
    fx.WriteFile("Regulator.ini", garbage);
    TForm1& f = fx.Show();
    EXPECT_EQ(Str(f.Edit1), "150");
    EXPECT_EQ(f.Com1Port->Port(), "COM3");
    fx.Close();
    const std::string after = fx.ReadFile("Regulator.ini");
    EXPECT_EQ(after.compare(0, garbage.size(), garbage), 0);
    EXPECT_NE(after.find("Zadana1=150"), std::string::npos);
}

} // namespace
