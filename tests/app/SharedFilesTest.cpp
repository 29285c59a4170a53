// What an operator may put into the shared data folder cannot stop the window: a FIFO where the
// event journal should be is refused once, by name, and the clockwork goes on. Before, the first
// event after it waited for ever for a reader, and no unit heard from the program again.
#include "FormFixture.h"

#include "journal/EventKinds.h"
#include "tests/support/FakeSerialServices.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(SharedFiles, AFifoAtTheEventJournalIsRefusedOnceAndTheControlTickGoesOn) {
    TFormFixture fx;
    fs::create_directories(fx.Dir() / "Data");
    const fs::path events = fx.Dir() / "Data" / "events.txt";
    ASSERT_EQ(::mkfifo(events.c_str(), 0666), 0); // nobody reads it
    auto lines = std::make_shared<testsupport::FakeSerialServices>();
    ASSERT_TRUE(fx.ShowWithQuietUnits(lines));
    TForm1& f = fx.Form();
    const QString refused = QString::fromStdString("Zapis do denniku udalosti selhal: " + events.string() +
                                                   " (neni obycejny soubor)");
    auto refusals = [&] {
        return std::count_if(fx.Boxes.boxes.begin(), fx.Boxes.boxes.end(),
                             [&](const TRecordedBox& b) { return b.text == refused; });
    };
    EXPECT_EQ(refusals(), 1);

    const std::string off = "@ledka=0&@rele=0&*";
    lines->TakeWritten("COM3");
    lines->TakeWritten("COM4");
    for (int tick = 1; tick <= 3; ++tick) {
        f.RecordEvent(1, journal::kind::Stale, "udalost " + std::to_string(tick)); // events go on coming
        f.TimerRegulator->OnTimer();
        EXPECT_EQ(lines->TakeWritten("COM3"), off) << tick;
        EXPECT_EQ(lines->TakeWritten("COM4"), off) << tick;
    }
    f.Button5->click(); // a Start and its event
    f.TimerRegulator->OnTimer();
    EXPECT_NE(lines->TakeWritten("COM3").find("@START&"), std::string::npos);
    EXPECT_EQ(refusals(), 1);
    EXPECT_TRUE(fs::is_fifo(events));
}

} // namespace
