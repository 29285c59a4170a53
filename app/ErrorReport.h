#pragma once
// The general error report: an error that ends a handler is shown in a box with an error icon,
// the error's text and the title "Regulace teploty".
//
// The box does not stop the program: it opens and the report returns at once. An error that
// repeats at every tick must not open box on top of box, so at most one report is open at a
// time: a report that comes while one is open waits and follows it, and identical reports in a
// row are shown once, with a count of how often they came.
#include "app/MessageBoxes.h"

#include <QString>

#include <deque>
#include <functional>
#include <vector>

class TErrorReport {
public:
    explicit TErrorReport(TMessageBoxes& boxes) : boxes_(boxes) {}

    // The text as the report shows it: plain text on one line (text/PlainText.h: an error's text
    // may carry what came from outside), and a "." appended when the code of the last character
    // is above that of "." (a letter or a digit, say), as the runtime's own report does.
    static QString ReportText(const QString& errorText);

    // Queues the report and shows it, unless a report is open already (it then follows that one).
    void Report(const QString& errorText) {
        Add(errorText);
        ShowPending();
    }

    // Queues a report without showing it yet (identical reports in a row are counted).
    void Add(const QString& errorText);
    // Opens the first queued report, unless one is open already (the next one opens when the
    // operator has closed it).
    void ShowPending();

    bool Showing() const { return showing_; }
    bool Idle() const { return !showing_ && pending_.empty(); }

    // While held, reports are queued but no box opens (the window is not drawn yet); releasing
    // opens the first one.
    void SetHeld(bool held);

    // The queued reports that no box has shown yet (with their counts), taken out of the queue:
    // when the program must end without waiting for the operator, they go to the journal instead.
    std::vector<QString> TakeUnshown();

    // Runs with the text of each box as it opens (the event journal records it).
    std::function<void(const QString& shown)> OnShown;
    // Runs when the last open report has been closed and none waits.
    std::function<void()> OnIdle;

private:
    void Closed();

    struct Pending {
        QString text;
        int count = 1;
    };
    TMessageBoxes& boxes_;
    std::deque<Pending> pending_;
    bool showing_ = false;
    bool held_ = false;
};
