#pragma once
// A main window for tests: in its own temporary program folder, with every message box recorded
// instead of shown, and with its timers held still.
#include "app/MessageBoxes.h"
#include "app/form1.h"

#include <QString>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct TRecordedBox {
    QString title;
    QString text;
    TBoxIcon icon = TBoxIcon::None;
};

class TRecordingBoxes : public TMessageBoxes {
public:
    void Show(const QString& title, const QString& text, TBoxIcon icon) override {
        boxes.push_back({title, text, icon});
        if (OnShow) OnShow();
    }
    std::vector<TRecordedBox> boxes;
    std::function<void()> OnShow; // runs "while the box is open"
};

class TFormFixture {
public:
    // Creates the program folder (optionally with a Regulator.ini of the given content) but no window yet.
    explicit TFormFixture(const std::string& iniContent = {});
    ~TFormFixture();

    // Creates the window (FormCreate runs); Show() then runs FormShow as the program's start does.
    TForm1& Create();
    TForm1& Show();
    // Closes the window as the operator does (FormClose runs).
    void Close();

    TForm1& Form() { return *form_; }
    std::filesystem::path Dir() const { return dir_; }
    std::string ReadFile(const std::string& name) const;
    void WriteFile(const std::string& name, const std::string& content) const;

    TRecordingBoxes Boxes;
    TFormServices Services;

private:
    std::filesystem::path dir_;
    std::unique_ptr<TForm1> form_;
};
