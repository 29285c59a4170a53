// Keeping the program safe to leave running: a unit's line that goes away closes its port and
// stands in the alarm strip (the watchdog brings it back), closing the window is final, and the journal hears who started and
// stopped each cycle. The decisions live in devicelink/LineWatch.h; this file wires them to the
// ports, the controls and the journal.
#include "app/form1.h"

#include "journal/EventKinds.h"
#include "regulation/UnitSender.h"
#include "serial/ComPort.h"

#include <QMetaObject>

namespace {

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
