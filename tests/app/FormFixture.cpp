#include "FormFixture.h"

#include "app/AlarmStrip.h"

#include "platform/Clock.h"
#include "platform/ProgramDir.h"
#include "serial/ComPort.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <fstream>
#include <sstream>

namespace {
std::atomic<int> gCounter{0};
}

TFormFixture::TFormFixture(const std::string& iniContent) {
    dir_ = std::filesystem::temp_directory_path() /
           ("regulator-test-" + std::to_string(::getpid()) + "-" + std::to_string(gCounter++));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    platform::SetProgramDir(dir_);
    // The monotonic clock stands still like the timers: ages pass only when a test steps it.
    platform::SetSteadyClock([] { return std::chrono::steady_clock::time_point{} + std::chrono::hours(1); });
    if (!iniContent.empty()) WriteFile("Regulator.ini", iniContent);
    Services.Boxes = &Boxes;
    Services.Bell = [this] { ++Bells; };
}

QStringList StripTexts(const TForm1& form) {
    QStringList texts;
    for (const auto& row : form.PanelAlarmy->Rows())
        texts << row.Text.section(QStringLiteral("  "), 1);
    return texts;
}

TFormFixture::~TFormFixture() {
    form_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    platform::SetProgramDir({});
    platform::SetSteadyClock({});
}

TForm1& TFormFixture::Create() {
    form_ = std::make_unique<TForm1>(Services);
    return *form_;
}

TForm1& TFormFixture::Show() {
    if (!form_) Create();
    form_->show();
    // As at the program's start: the window is drawn, then the start-up reports open.
    if (QTest::qWaitForWindowExposed(form_.get())) QCoreApplication::processEvents();
    return *form_;
}

void TFormFixture::Close() {
    if (form_) form_->close();
}

bool TFormFixture::ShowWithQuietUnits(const std::shared_ptr<testsupport::FakeSerialServices>& lines) {
    lines->AddDevice("COM3");
    lines->AddDevice("COM4");
    Services.Serial = lines;
    TForm1& f = Show();
    f.Com1Port->SetEvents(TComEvents{});
    f.Com2Port->SetEvents(TComEvents{});
    f.COMTimerTimer(f.COMTimer);
    return f.Com1Port->Connected() && f.Com2Port->Connected();
}

void TFormFixture::AwaitReference() {
    QDeadlineTimer deadline(20000);
    while (form_->ReferenceLoading() && !deadline.hasExpired())
        QTest::qWait(2);
    if (form_->ReferenceLoading()) ADD_FAILURE() << "the reference is still being read";
}

std::string TFormFixture::ReadFile(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void TFormFixture::WriteFile(const std::string& name, const std::string& content) const {
    std::ofstream out(dir_ / name, std::ios::binary);
    out << content;
}
