// The window tests run offscreen with the window's timers held still: tests call the timer
// handlers themselves.
#include "app/Timer.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TTimer::SetFrozenForTesting(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
