#pragma once
// A main window for tests: in its own temporary program folder, with every message box recorded
// instead of shown, and with its timers and the monotonic clock (platform::SteadyNow) held still.
#include "app/MessageBoxes.h"
#include "app/form1.h"
#include "tests/support/FakeSerialServices.h"

#include <QString>
#include <functional>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct TRecordedBox {
    QString title;
    QString text;
    TBoxIcon icon = TBoxIcon::None;
    bool question = false;
    bool defaultYes = false; // a question's default answer
};

// Records every box instead of showing it. By default a box is closed (a question answered with
// `Answer`) as soon as it opens; with HoldOpen the boxes stay open until the test closes them.
class TRecordingBoxes : public TMessageBoxes {
public:
    void Show(const QString& title, const QString& text, TBoxIcon icon, std::function<void()> closed = {}) override {
        boxes.push_back({title, text, icon, false});
        Open([closed = std::move(closed)](bool) {
            if (closed) closed();
        });
    }
    using TMessageBoxes::Ask;
    void Ask(const TQuestion& q, std::function<void(bool yes)> answered) override {
        boxes.push_back({q.Title, q.Text, TBoxIcon::Question, true, q.DefaultYes});
        Open(std::move(answered));
    }

    // Closes the oldest open box (a question gets `yes`); false when none is open.
    bool CloseOldest(bool yes = false) {
        if (open_.empty()) return false;
        auto done = std::move(open_.front());
        open_.erase(open_.begin());
        if (done) done(yes);
        return true;
    }
    std::size_t OpenCount() const { return open_.size(); }

    std::vector<TRecordedBox> boxes;
    std::function<void()> OnShow; // runs "while the box is open"
    bool HoldOpen = false;
    bool Answer = false; // the answer to questions closed at once

private:
    void Open(std::function<void(bool)> done) {
        if (OnShow) OnShow();
        if (HoldOpen) {
            open_.push_back(std::move(done));
        } else if (done) {
            done(Answer);
        }
    }
    std::vector<std::function<void(bool)>> open_;
};

// The alarm strip's rows without their times: the standing alarms first, then the notes.
QStringList StripTexts(const TForm1& form);

class TFormFixture {
public:
    // Creates the program folder (optionally with a Regulator.ini of the given content) but no window yet.
    explicit TFormFixture(const std::string& iniContent = {});
    ~TFormFixture();

    // Creates the window (FormCreate runs); Show() then runs FormShow as the program's start does,
    // and waits until the window is drawn, so reports raised at start-up are open.
    TForm1& Create();
    TForm1& Show();
    // Closes the window as the operator does (FormClose runs).
    void Close();
    // Shows the window with the units on the fake serial layer `lines` (devices COM3 and COM4),
    // both ports opened by the watchdog and without event threads: only what the window writes
    // to the units matters. True when both ports are open.
    bool ShowWithQuietUnits(const std::shared_ptr<testsupport::FakeSerialServices>& lines);
    // Runs the event loop until a reference being read is shown (or its failure reported).
    void AwaitReference();

    TForm1& Form() { return *form_; }
    std::filesystem::path Dir() const { return dir_; }
    std::string ReadFile(const std::string& name) const;
    void WriteFile(const std::string& name, const std::string& content) const;

    TRecordingBoxes Boxes;
    TFormServices Services;
    int Bells = 0; // the computer's bell, rung

private:
    std::filesystem::path dir_;
    std::unique_ptr<TForm1> form_;
};
