#pragma once
// The message boxes of a window under a benchmark: each closes at once (a question is answered
// "No") and its text goes to stderr, so that a benchmark never waits for an operator.
#include "app/MessageBoxes.h"

#include <QString>

#include <cstdio>
#include <functional>

namespace bench {

class TQuietBoxes : public TMessageBoxes {
public:
    void Show(const QString& title, const QString& text, TBoxIcon, std::function<void()> closed = {}) override {
        std::fprintf(stderr, "box: %s: %s\n", qPrintable(title), qPrintable(text));
        if (closed) closed();
    }
    using TMessageBoxes::Ask;
    void Ask(const TQuestion& q, std::function<void(bool)> answered) override {
        std::fprintf(stderr, "box: %s: %s\n", qPrintable(q.Title), qPrintable(q.Text));
        if (answered) answered(false);
    }
};

} // namespace bench
