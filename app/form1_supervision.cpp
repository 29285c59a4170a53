// Safety supervision of the main window: the age of each side's temperature, the temperature
// limits and their controls. The rules live in the supervision library; here they meet the
// controls and the ports. What the operator sees and hears of them is the alarm strip's
// (form1_alarms.cpp).
#include "app/form1.h"

#include "app/Controls.h"

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

bool NewlyUnsafe(const supervision::SideChanges& c) {
    return c.BecameStale || c.SensorFault || c.OverTemperature || c.Runaway;
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
    EditMaxT1->setToolTip(QStringLiteral("Mez teploty strany 1 (prazdne = bez meze); Enter ji nastavi"));
    EditMaxT2->setToolTip(QStringLiteral("Mez teploty strany 2 (prazdne = bez meze); Enter ji nastavi"));
    // The limits take effect by themselves, without the parameters' apply and its cycle restart.
    ButtonMaxT = new QPushButton(QStringLiteral("Nastavit"), TabSheet1);
    ButtonMaxT->setObjectName(QStringLiteral("ButtonMaxT"));
    ButtonMaxT->setAutoDefault(false);
    ButtonMaxT->setToolTip(QStringLiteral("Nastavit meze teploty hned, bez restartu cyklu"));
    ButtonMaxT->setGeometry(146, 229, 62, 25);
    connect(ButtonMaxT, &QPushButton::clicked, this, [this] { Guard([&] { ApplySafetyLimits(); }); });
}

void TForm1::StartSupervision() {
    const supervision::SafetySettings s = supervision::ReadSafetySettings();
    SetText(EditMaxT1, supervision::ReadLimitText(s.MaxT1).Text);
    SetText(EditMaxT2, supervision::ReadLimitText(s.MaxT2).Text);
    Supervisor.SetLimits(supervision::LimitsFrom(s));
    Supervisor.Begin(platform::SteadyNow());
}

void TForm1::TemperatureArrived(int side, std::optional<double> value) {
    Supervisor.Reported(side, value, platform::SteadyNow());
    // Judged at once: the third nonsense report in a row switches the heater off now, a good one
    // ends the fault, and a limit trips without waiting for the next refresh.
    SuperviseSides(true);
}

void TForm1::SuperviseSides(bool sendNow) {
    const auto now = platform::SteadyNow();
    regulation::UnitSender<TComPort> send(Com1Port.get(), Com2Port.get());
    WatchWrites(send); // a unit whose device is gone has its port closed
    for (int side = 1; side <= 2; ++side) {
        // The simulation supplies the temperatures while it runs; it never falls silent.
        if (CheckBox1->isChecked()) Supervisor.Fresh(side, now);
        const double temperature = S.SideState[side].Temperature;
        const supervision::SideChanges c = Supervisor.Check(side, temperature, now);
        if (!Supervisor.HeaterBlocked(side)) continue;
        // A relay test never heats a side the supervision keeps off: it ends, and nothing of it
        // is proposed.
        if (AutotuneSide() == side) AutotuneStop("Strana " + std::to_string(side) + ": topeni vypnuto ochranou, test prerusen");
        HeaterBox(*this, side)->setChecked(false);
        if (sendNow && NewlyUnsafe(c)) {
            for (const auto text : regulation::HeaterCommands(false))
                send.Send(side, text);
            Supervisor.HeaterCommanded(side, false, temperature, now);
        }
    }
    UpdateAlarms(); // the alarm strip tells what began and what ended
    // Any other write failure is reported as every sending operation reports it: once, and
    // again only after a write to that unit has gone through.
    send.RethrowFirstFailure();
}

void TForm1::HeatersCommanded() {
    const auto now = platform::SteadyNow();
    Supervisor.HeaterCommanded(1, CheckBoxTopeni1->isChecked(), S.SideState[1].Temperature, now);
    Supervisor.HeaterCommanded(2, CheckBoxTopeni2->isChecked(), S.SideState[2].Temperature, now);
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
    // In force before they are stored: a settings file that refuses them does not keep them from
    // protecting this run.
    Supervisor.SetLimits(limits);
    regulation::FirstFailure steps;
    steps.Run([&] { supervision::WriteTemperatureLimits(Text(EditMaxT1), Text(EditMaxT2)); });
    steps.Run([&] { SuperviseSides(true); });
    steps.RethrowFirstFailure();
}

void TForm1::ButtonPotvrditClick(int side) {
    AcknowledgeAlarms(side); // the side's alarms, as the strip's "Potvrdit" does them all
}

void TForm1::RestoreLatches(const journal::RunEntry& entry) {
    for (int side = 1; side <= 2; ++side) {
        const journal::SideAlarms& a = entry.Alarms(side);
        const supervision::Latched latched{a.OverTemperature, a.RunawayThreshold, a.SensorFault};
        if (!latched.Any() || Supervisor.Latches(side) == latched) continue; // none, or restored already
        Supervisor.Restore(side, latched);
        HeaterBox(*this, side)->setChecked(false);
        AlarmsRestored(side, supervision::RestoredText(side, a.OverTemperature, a.RunawayThreshold.has_value(),
                                                       a.SensorFault));
    }
    UpdateAlarms();
}
