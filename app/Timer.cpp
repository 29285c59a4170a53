#include "app/Timer.h"

namespace {
bool gFrozen = false;
}

TTimer::TTimer(QObject* parent, int interval, bool enabled) : QObject(parent), interval_(interval), enabled_(enabled) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (OnTimer) OnTimer();
    });
    Restart();
}

void TTimer::SetFrozenForTesting(bool frozen) { gFrozen = frozen; }

void TTimer::SetInterval(int ms) {
    if (ms == interval_) return;
    interval_ = ms;
    Restart();
}

void TTimer::SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    Restart();
}

void TTimer::Restart() {
    timer_.stop();
    if (enabled_ && interval_ > 0 && !gFrozen) timer_.start(interval_);
}
