// Keeping the program safe to leave running: a unit's line that goes away closes its port and
// stands in the alarm strip (the watchdog brings it back), closing the window is final, and the journal hears who started and
// stopped each cycle. The decisions live in devicelink/LineWatch.h; this file wires them to the
// ports, the controls and the journal.
#include "app/form1.h"

#include "journal/EventKinds.h"
#include "regulation/Cycle.h"
#include "regulation/UnitSender.h"
#include "serial/ComPort.h"

#include <QMetaObject>

#include <algorithm>

namespace {

// The longest command a unit is sent ("@ledka=1&").
constexpr int LongestCommand = 9;
// The port's own write limit: 100 ms a byte and 1 s.
constexpr int ByteMs = 100;
constexpr int ConstantMs = 1000;
// At exit a stalled unit holds the close for this long at most.
constexpr int ExitWriteMs = 500;

void SetWriteLimit(TComPort& port, int perByteMs, int constantMs) {
    port.Timeouts().SetWriteTotalMultiplier(perByteMs);
    port.Timeouts().SetWriteTotalConstant(constantMs);
}

std::string PortDetail(const TComPort& port, std::string_view detail) {
    std::string text = port.Port();
    if (!detail.empty()) text += ": " + std::string(detail);
    return text;
}

} // namespace

void TForm1::PortLost(int side, std::string_view detail) {
    if (closed_ || !LineWatch.Lost(side)) return; // the same disappearance: said once already
    TComPort& port = side == 1 ? *Com1Port : *Com2Port;
    (side == 1 ? Label14 : Label15)->setText(QStringLiteral("N/A"));
    const std::string text = devicelink::LostText(side);
    AddCommLine(std::to_string(side) + ": " + text);
    RecordEvent(side, journal::kind::PortLost, PortDetail(port, detail));
    UpdateAlarms(); // in the alarm strip, with the side's temperature shown as missing
    if (inPortEvent_ > 0) {
        // Inside the port's own notification its event thread waits for this handler to return;
        // the port is closed right after, from the event loop.
        QMetaObject::invokeMethod(
            this, [this, side] { ClosePortNow(side); }, Qt::QueuedConnection);
    } else {
        ClosePortNow(side);
    }
}

void TForm1::ClosePortNow(int side) {
    if (closed_) return; // the closing window closes its ports itself
    TComPort& port = side == 1 ? *Com1Port : *Com2Port;
    // Its close notification turns the lamp red; the watchdog opens it again when it can.
    Guard([&] { port.Close(); });
}

void TForm1::PortOpened(int side) {
    if (!LineWatch.Opened(side)) return;
    TComPort& port = side == 1 ? *Com1Port : *Com2Port;
    AddCommLine(std::to_string(side) + ": " + devicelink::BackText(side));
    RecordEvent(side, journal::kind::PortBack, PortDetail(port, {}));
    UpdateAlarms();
}

void TForm1::WatchWrites(regulation::UnitSender<TComPort>& send) {
    send.OnWriteFailure = [this](int side, const std::exception_ptr& error) {
        if (devicelink::DeviceGone(error)) {
            std::string what;
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = e.what();
            }
            PortLost(side, what);
            return true;
        }
        // Any other failure is reported once, and again only after a write has gone through.
        return !LineWatch.WriteFailed(side);
    };
    send.OnWritten = [this](int side) { LineWatch.WriteWent(side); };
}

void TForm1::StopClockwork() {
    for (TTimer* timer : {TimerCas, TimerRegulator, TimerUkaz, TimerSimulace, COMTimer})
        timer->SetEnabled(false);
}

void TForm1::RecordCycle(bool start, QObject* Sender) {
    std::string_view who = journal::kind::ByOperator;
    if (Sender == this && !CycleBy.empty()) who = CycleBy;
    CycleBy = {};
    if (!start && who == journal::kind::ByEndOfCycle) {
        RecordEvent(0, journal::kind::CycleEnd, who);
    } else {
        RecordEvent(0, start ? journal::kind::CycleStart : journal::kind::CycleStop, who);
    }
}

void TForm1::FitWriteTimeouts() {
    // The port's own limit while a whole command fits the control period; else the whole write
    // gets three quarters of the period. With a unit cut off after its first incomplete write
    // (UnitSender), a stalled line holds a tick for less than its period.
    const int period = TimerRegulator->Interval();
    const bool fits = LongestCommand * ByteMs + ConstantMs <= period;
    regulation::FirstFailure steps;
    for (TComPort* port : {Com1Port.get(), Com2Port.get()}) {
        steps.Run([&] {
            if (fits) {
                SetWriteLimit(*port, ByteMs, ConstantMs);
            } else {
                SetWriteLimit(*port, 0, std::max(20, period * 3 / 4));
            }
        });
    }
    steps.RethrowFirstFailure();
}

void TForm1::HeatersOffAtExit() {
    regulation::UnitSender<TComPort> send(Com1Port.get(), Com2Port.get());
    WatchWrites(send);
    for (int side = 1; side <= 2; ++side) {
        TComPort& port = side == 1 ? *Com1Port : *Com2Port;
        if (!port.Connected()) continue;
        // Closing never waits long on a unit that does not take its bytes.
        send.Failures().Run([&] { SetWriteLimit(port, 0, ExitWriteMs); });
        for (const auto text : regulation::HeaterCommands(false))
            send.Send(side, text);
        RecordEvent(side, journal::kind::HeatersOff,
                    PortDetail(port, send.CutOff(side) ? "povel k vypnuti topeni neodeslan" : "topeni vypnuto pri ukonceni"));
    }
    send.RethrowFirstFailure();
}

void TForm1::Terminate() {
    if (terminating_) return;
    terminating_ = true;
    close();
}
