#pragma once
// Every message box of the program goes through this seam, so tests can record the boxes instead
// of showing them.
//
// No box runs a nested event loop: a box opens window-modal (the operator answers it before
// going on in the window) and the call returns at once, so the timers, the control tick and the
// port events keep running while it stands open. What follows the operator's answer runs from
// the callback.
#include <QString>

#include <functional>

class QWidget;

enum class TBoxIcon { None, Information, Warning, Error, Question };

// A question with the buttons "Ano" and "Ne". Enter chooses the default; Escape and closing the
// box answer "Ne".
struct TQuestion {
    QString Title;
    QString Text;
    bool DefaultYes = false;
    QWidget* Over = nullptr; // the window it opens over (empty: the main one)
};

class TMessageBoxes {
public:
    virtual ~TMessageBoxes() = default;
    // Opens a box with one OK button and returns at once; `closed` (if any) runs once the
    // operator has closed the box.
    virtual void Show(const QString& title, const QString& text, TBoxIcon icon, std::function<void()> closed = {}) = 0;
    // Opens a question and returns at once; `answered` runs with true for "Ano" once the
    // operator has answered (closing the box counts as "Ne").
    virtual void Ask(const TQuestion& question, std::function<void(bool yes)> answered) = 0;
    // The same with "Ne" as the default.
    void Ask(const QString& title, const QString& text, std::function<void(bool yes)> answered) {
        Ask(TQuestion{title, text, false, nullptr}, std::move(answered));
    }
    // The same over another of the program's windows than the main one (a tool window asks its
    // own questions over itself); by default as Show and Ask.
    virtual void ShowOver(QWidget* window, const QString& title, const QString& text, TBoxIcon icon,
                          std::function<void()> closed = {}) {
        (void)window;
        Show(title, text, icon, std::move(closed));
    }
    void AskOver(QWidget* window, const QString& title, const QString& text,
                 std::function<void(bool yes)> answered) {
        Ask(TQuestion{title, text, false, window}, std::move(answered));
    }
};

// The real boxes: QMessageBox, window-modal to the given window.
class TQtMessageBoxes : public TMessageBoxes {
public:
    explicit TQtMessageBoxes(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    void Show(const QString& title, const QString& text, TBoxIcon icon, std::function<void()> closed = {}) override;
    using TMessageBoxes::Ask;
    void Ask(const TQuestion& question, std::function<void(bool yes)> answered) override;
    void ShowOver(QWidget* window, const QString& title, const QString& text, TBoxIcon icon,
                  std::function<void()> closed = {}) override;

private:
    QWidget* parent_ = nullptr;
};
