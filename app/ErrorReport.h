#pragma once
// The general error report: an error that ends a handler is shown in a modal box with an error
// icon, the error's text and the title "Regulace teploty".
//
// A modal box runs a nested event loop in which the timers keep firing, so an error that repeats
// at every tick would open box on top of box without bound. Hence at most one report is shown at
// a time: a report that comes while one is open waits and follows it, and identical reports in a
// row are shown once, with a count of how often they came.
#include "app/MessageBoxes.h"

#include <QString>

#include <deque>

class TErrorReport {
public:
    explicit TErrorReport(TMessageBoxes& boxes) : boxes_(boxes) {}

    // The text as the report shows it: a "." is appended when the code of the last character is
    // above that of "." (a letter or a digit, say), as the runtime's own report does.
    static QString ReportText(const QString& errorText);

    // Shows the report, or queues it when a report is already open. Returns after every queued
    // report has been shown (or at once, when called from inside an open report's box).
    void Report(const QString& errorText) {
        Add(errorText);
        ShowPending();
    }

    // Queues a report without showing it yet (identical reports in a row are counted).
    void Add(const QString& errorText);
    // Shows the queued reports one after another, unless a report is open already (its loop
    // then shows them next).
    void ShowPending();

    bool Showing() const { return showing_; }

private:
    struct Pending {
        QString text;
        int count = 1;
    };
    TMessageBoxes& boxes_;
    std::deque<Pending> pending_;
    bool showing_ = false;
};
