// Safety supervision of the main window: the age of each side's temperature, the temperature
// limits, and what the operator sees of them. The rules live in the supervision library; here
// they meet the controls and the ports.
#include "app/form1.h"

#include "app/Controls.h"

#include "journal/EventKinds.h"
#include "platform/Clock.h"
#include "regulation/Cycle.h"
#include "regulation/UnitSender.h"
#include "serial/ComPort.h"
#include "text/NumText.h"
#include "supervision/Messages.h"
#include "supervision/SafetySettings.h"

#include <algorithm>

namespace {

QCheckBox* HeaterBox(TForm1& f, int side) {
    return side == 1 ? f.CheckBoxTopeni1 : f.CheckBoxTopeni2;
}
QPushButton* AckButton(TForm1& f, int side) {
    return side == 1 ? f.ButtonPotvrdit1 : f.ButtonPotvrdit2;
}

} // namespace

void TForm1::BuildSafetyControls() {
    // The acknowledge buttons lie over the "Topit" boxes: while an alarm waits for the operator,
    // the heater of that side cannot be switched on anyway.
    ButtonPotvrdit1 = new QPushButton(QStringLiteral("Potvrdit"), Panel1);
    ButtonPotvrdit2 = new QPushButton(QStringLiteral("Potvrdit"), Panel1);
    ButtonPotvrdit1->setObjectName(QStringLiteral("ButtonPotvrdit1"));
    ButtonPotvrdit2->setObjectName(QStringLiteral("ButtonPotvrdit2"));
    ButtonPotvrdit1->setGeometry(6, 22, 66, 21);
    ButtonPotvrdit2->setGeometry(6, 61, 66, 21);
    for (int side = 1; side <= 2; ++side) {
        QPushButton* b = AckButton(*this, side);
        b->setAutoDefault(false);
        b->hide();
        b->raise();
        connect(b, &QPushButton::clicked, this, [this, side] { Guard([&] { ButtonPotvrditClick(side); }); });
    }

    // Two more rows on the "Regulator" tab, below "Pouzit", in the style of the rows above.
    LabelMaxT1 = new QLabel(QStringLiteral("Tmax1 ="), TabSheet1);
    LabelMaxT2 = new QLabel(QStringLiteral("Tmax2 ="), TabSheet1);
    EditMaxT1 = new QLineEdit(TabSheet1);
    EditMaxT2 = new QLineEdit(TabSheet1);
    LabelMaxT1->setObjectName(QStringLiteral("LabelMaxT1"));
    LabelMaxT2->setObjectName(QStringLiteral("LabelMaxT2"));
    EditMaxT1->setObjectName(QStringLiteral("EditMaxT1"));
    EditMaxT2->setObjectName(QStringLiteral("EditMaxT2"));
    LabelMaxT1->move(12, 219);
    LabelMaxT2->move(12, 247);
    LabelMaxT1->adjustSize();
    LabelMaxT2->adjustSize();
    // The boxes end where the boxes above end; they begin clear of their (longer) labels.
    const int x = std::max({52, LabelMaxT1->geometry().right() + 5, LabelMaxT2->geometry().right() + 5});
    EditMaxT1->setGeometry(x, 216, 141 - x, 21);
    EditMaxT2->setGeometry(x, 244, 141 - x, 21);
    EditMaxT1->setToolTip(QStringLiteral("Mez teploty strany 1 (prazdne = bez meze)"));
    EditMaxT2->setToolTip(QStringLiteral("Mez teploty strany 2 (prazdne = bez meze)"));
}

void TForm1::StartSupervision() {
    const supervision::SafetySettings s = supervision::ReadSafetySettings();
    SetText(EditMaxT1, supervision::ReadLimitText(s.MaxT1).Text);
    SetText(EditMaxT2, supervision::ReadLimitText(s.MaxT2).Text);
    Supervisor.SetLimits(supervision::LimitsFrom(s));
    Supervisor.Begin(platform::SteadyNow());
}

void TForm1::TemperatureArrived(int side) {
    Supervisor.Fresh(side, platform::SteadyNow());
}

void TForm1::SuperviseSides(bool sendNow) {
    const auto now = platform::SteadyNow();
    regulation::UnitSender<TComPort> send(Com1Port.get(), Com2Port.get());
    WatchWrites(send); // a unit whose device is gone has its port closed
    for (int side = 1; side <= 2; ++side) {
        // The simulation supplies the temperatures while it runs; it never falls silent.
        if (CheckBox1->isChecked()) Supervisor.Fresh(side, now);
        const supervision::SideChanges c = Supervisor.Check(side, S.SideState[side].Temperature, now);
        if (!Supervisor.HeaterBlocked(side)) continue;
        // A relay test never heats a side the supervision keeps off: it ends, and nothing of it
        // is proposed.
        if (AutotuneSide() == side) AutotuneStop("Strana " + std::to_string(side) + ": topeni vypnuto ochranou, test prerusen");
        HeaterBox(*this, side)->setChecked(false);
        if (sendNow && (c.BecameStale || c.OverTemperature)) {
            for (const auto text : regulation::HeaterCommands(false))
                send.Send(side, text);
        }
    }
    UpdateAlarms(); // the alarm strip tells what began and what ended
    // Any other write failure is reported as every sending operation reports it: once, and
    // again only after a write to that unit has gone through.
    send.RethrowFirstFailure();
}

void TForm1::ApplySafetyLimits() {
    supervision::Limits limits = Supervisor.GetLimits();
    for (int side = 1; side <= 2; ++side) {
        QLineEdit* box = side == 1 ? EditMaxT1 : EditMaxT2;
        const supervision::LimitText read = supervision::ReadLimitText(Text(box));
        // A text that is no number keeps the limit in force, as the parameters above do.
        if (read.Valid) limits.MaxT[side] = read.Limit;
        const auto& limit = limits.MaxT[side];
        SetText(box, limit ? numtext::FormatFloat(*limit) : std::string());
    }
    Supervisor.SetLimits(limits);
    supervision::WriteTemperatureLimits(Text(EditMaxT1), Text(EditMaxT2));
    SuperviseSides(true);
}

void TForm1::ButtonPotvrditClick(int side) {
    AcknowledgeAlarms(side); // the side's alarms, as the strip's "Potvrdit" does them all
}
