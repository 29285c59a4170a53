#pragma once
// An interval timer of the window, with the behaviour the program relies on: an enabled timer
// ticks every Interval ms; setting a different interval starts the period afresh, setting the
// same interval leaves it running. Ticks that fall due while a handler runs are not replayed.
// Timers are precise (Qt::PreciseTimer) so the 100 ms time base keeps to the wall clock.
#include <QObject>
#include <QTimer>

#include <functional>

class TTimer : public QObject {
    Q_OBJECT
public:
    TTimer(QObject* parent, int interval, bool enabled);

    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);

    // Tests hold every timer of the window still: the states above are kept, but nothing ticks
    // until they call the handlers themselves.
    static void SetFrozenForTesting(bool frozen);
    bool Running() const { return timer_.isActive(); }

    std::function<void()> OnTimer;

private:
    void Restart();

    QTimer timer_;
    int interval_ = 1000;
    bool enabled_ = true;
};
