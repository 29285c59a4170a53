// What the operator sees and hears of the safety states, and what the machine is doing in words:
// the alarm strip above the chart, the big temperatures of a side without a current
// temperature, the bell and the units' buzzers, the status line below the chart, and the
// operator's changes in the event journal. Which alarms stand is the alarm list's
// (supervision/AlarmList.h); here it meets the controls.
#include "app/form1.h"

#include "app/AlarmStrip.h"
#include "app/Controls.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "devicelink/LineWatch.h"
#include "journal/EventKinds.h"
#include "persistence/Settings.h"
#include "platform/Clock.h"
#include "regulation/Cycle.h"
#include "regulation/UnitSender.h"
#include "serial/ComPort.h"
#include "supervision/Messages.h"
#include "supervision/ProgramLimit.h"
#include "supervision/StatusLine.h"
#include "text/NumText.h"

#include <QApplication>
#include <QGridLayout>
#include <QVBoxLayout>

#include <limits>

namespace {

namespace kind = journal::kind;

// One safety state of a side, as the window finds it and tells it. A new safety state is one
// more entry in Sources.
struct TAlarmSource {
    supervision::AlarmKind Kind;
    bool (*Holds)(TForm1& f, int side);
    std::string (*Text)(TForm1& f, int side);    // when it begins
    std::string (*EndText)(TForm1& f, int side); // when it ends
    std::string_view EndKind;                    // the journal's kind of its end
    bool NotCurrent = false;                     // while it stands the side's temperature is not current
    bool SaidElsewhere = false; // its beginning and end are listed and journalled where they happen
};

const TAlarmSource Sources[] = {
    {{kind::PortLost, "bez spojeni"},
     [](TForm1& f, int side) { return f.LineWatch.IsLost(side); },
     [](TForm1&, int side) { return devicelink::LostText(side); },
     [](TForm1&, int side) { return devicelink::BackText(side); },
     kind::PortBack,
     true,
     true},
    {{kind::Stale, "bez teploty"},
     [](TForm1& f, int side) { return f.Supervisor.Stale(side); },
     [](TForm1& f, int side) { return supervision::StaleText(side, f.Supervisor.GetLimits().MaxAge); },
     [](TForm1&, int side) { return supervision::RecoveredText(side); },
     kind::Recovered,
     true,
     false},
    {{kind::SensorFault, "cidlo hlasi nesmysl"},
     [](TForm1& f, int side) { return f.Supervisor.SensorFault(side); },
     [](TForm1&, int side) { return supervision::SensorFaultText(side); },
     [](TForm1&, int side) { return supervision::SensorRecoveredText(side); },
     kind::Recovered,
     true,
     false},
    {{kind::OverTemperature, "nad mezi", true},
     [](TForm1& f, int side) { return f.Supervisor.Alarm(side); },
     [](TForm1& f, int side) {
         return supervision::OverTemperatureText(side, f.S.SideState[side].Temperature,
                                                 f.Supervisor.GetLimits().MaxT[side].value_or(0.0));
     },
     [](TForm1&, int side) { return supervision::ReleasedText(side); },
     kind::Recovered,
     false,
     false},
    // Heard until it ends, acknowledged or not: someone must cut the heater's mains.
    {{kind::Runaway, "topeni se nevypina", true, true},
     [](TForm1& f, int side) { return f.Supervisor.Runaway(side); },
     [](TForm1& f, int side) {
         const double from =
             f.Supervisor.Latches(side).RunawayThreshold.value_or(0.0) - f.Supervisor.GetLimits().RunawayRise;
         return supervision::RunawayText(side, from, f.S.SideState[side].Temperature);
     },
     [](TForm1&, int side) { return supervision::RunawayReleasedText(side); },
     kind::Recovered,
     false,
     false},
};

const QColor White{255, 255, 255};

QLabel* TemperatureLabel(TForm1& f, int side) {
    return side == 1 ? f.LabelTeplota1 : f.LabelTeplota2;
}
QPushButton* AckButton(TForm1& f, int side) {
    return side == 1 ? f.ButtonPotvrdit1 : f.ButtonPotvrdit2;
}

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// The strip's rows: the standing alarms, then the notes.
std::vector<TAlarmStrip::TRow> StripRows(const supervision::TAlarmList& alarms) {
    const platform::LocalDateTime now = platform::LocalNow();
    std::vector<TAlarmStrip::TRow> rows;
    for (const supervision::Alarm& a : alarms.Alarms()) {
        std::string text = supervision::AlarmTime(a.Since, now) + "  " + a.Text;
        if (!a.Holds)
            text += "  (skoncilo, potvrdte)";
        else if (a.Acknowledged)
            text += "  (potvrzeno)";
        rows.push_back({Latin1(text), a.Acknowledged ? TAlarmStrip::TRowStyle::Acknowledged
                                                     : TAlarmStrip::TRowStyle::Alarm});
    }
    for (const supervision::AlarmNote& n : alarms.Notes()) {
        rows.push_back({Latin1(supervision::AlarmTime(n.Time, now) + "  " + n.Text),
                        n.Warning ? TAlarmStrip::TRowStyle::Warning : TAlarmStrip::TRowStyle::Note});
    }
    return rows;
}

// The strip, the big temperatures and the acknowledge buttons as the list stands.
void ShowAlarms(TForm1& f) {
    const supervision::TAlarmList& alarms = f.Alarms;
    f.PanelAlarmy->Show(StripRows(alarms), alarms.AnyUnacknowledged() || !alarms.Notes().empty());
    for (int side = 1; side <= 2; ++side) {
        QLabel* label = TemperatureLabel(f, side);
        bool any = false;
        for (const supervision::Alarm& a : alarms.Alarms())
            any = any || a.Side == side;
        const bool unacknowledged = alarms.Unacknowledged(side);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, any ? White : colors::Green);
        p.setColor(QPalette::Window,
                   TAlarmStrip::Background(unacknowledged ? TAlarmStrip::TRowStyle::Alarm
                                                          : TAlarmStrip::TRowStyle::Acknowledged));
        label->setPalette(p);
        label->setAutoFillBackground(any);
        AckButton(f, side)->setVisible(unacknowledged);
    }
}

std::string OnOff(bool on) {
    return on ? "zapnuto" : "vypnuto";
}

std::string LimitText(const std::optional<double>& limit) {
    return limit ? numtext::FormatFloat(*limit) : std::string("bez meze");
}

} // namespace

void TForm1::BuildAlarmStrip() {
    PanelAlarmy = new TAlarmStrip(PanelGraf);
    connect(PanelAlarmy->ButtonPotvrdit, &QPushButton::clicked, this,
            [this] { Guard([&] { AcknowledgeAlarms(0); }); });

    // The status line: the cycle on the first line, the two sides side by side on the second.
    PanelStav = new QWidget(PanelGraf);
    PanelStav->setObjectName(QStringLiteral("PanelStav"));
    auto* lines = new QGridLayout(PanelStav);
    lines->setContentsMargins(6, 2, 6, 2);
    lines->setHorizontalSpacing(18);
    lines->setVerticalSpacing(0);
    QFont bold = font();
    bold.setBold(true);
    for (auto [label, name] : {std::pair{&LabelStav, "LabelStav"}, std::pair{&LabelStav1, "LabelStav1"},
                               std::pair{&LabelStav2, "LabelStav2"}}) {
        *label = new QLabel(PanelStav);
        (*label)->setObjectName(QString::fromLatin1(name));
        (*label)->setFont(bold);
        // A text too long for the chart's width is cut rather than widening the window.
        (*label)->setMinimumWidth(0);
        (*label)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    lines->addWidget(LabelStav, 0, 0, 1, 2);
    lines->addWidget(LabelStav1, 1, 0);
    lines->addWidget(LabelStav2, 1, 1);

    // The strip above the chart, the status line below it (the chart goes in between).
    auto* column = new QVBoxLayout(PanelGraf);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(PanelAlarmy);
    column->addWidget(PanelStav);

    AlarmSound = supervision::ReadAlarmSound(persistence::SettingsFile());

    // The operator's switches, journalled as the operator clicks them (code that sets them, as
    // Start and Stop do, is journalled as what it is).
    connect(CheckBox1, &QCheckBox::clicked, this,
            [this](bool on) { RecordChange(0, "Simulace", OnOff(!on), OnOff(on)); });
    connect(CheckBox3, &QCheckBox::clicked, this,
            [this](bool on) { RecordChange(0, "Na prubeh", OnOff(!on), OnOff(on)); });
    connect(CheckBoxRegulace, &QCheckBox::clicked, this, [this](bool on) {
        RecordChange(0, "Regulovat", OnOff(!on), OnOff(on));
        // Its apply has begun a new cycle.
        if (on && CheckBox3->isChecked()) RecordEvent(0, kind::CycleStart, "obsluha, Regulovat");
    });
}

bool TForm1::TemperatureCurrent(int side) {
    for (const TAlarmSource& source : Sources)
        if (source.NotCurrent && source.Holds(*this, side)) return false;
    return true;
}

void TForm1::UpdateAlarms() {
    if (PanelAlarmy == nullptr) return;
    const platform::LocalDateTime now = platform::LocalNow();
    for (int side = 1; side <= 2; ++side) {
        for (const TAlarmSource& source : Sources) {
            const bool holds = source.Holds(*this, side);
            const bool stands = Alarms.Has(side, source.Kind.Name);
            if (holds == stands) {
                Alarms.Set(side, source.Kind, holds, {}, {}, now); // a latched alarm that came back
                continue;
            }
            const std::string text = holds ? source.Text(*this, side) : std::string();
            const std::string endText = holds ? std::string() : source.EndText(*this, side);
            const auto change = Alarms.Set(side, source.Kind, holds, text, endText, now);
            if (source.SaidElsewhere) continue;
            if (change == supervision::AlarmChange::Began) {
                AddCommLine(text);
                RecordEvent(side, source.Kind.Name, text);
            } else if (change == supervision::AlarmChange::Ended) {
                AddCommLine(endText);
                RecordEvent(side, source.EndKind, endText);
            }
        }
    }
    NoteLimits();
    ShowAlarms(*this);
}

void TForm1::AlarmsRestored(int side, const std::string& text) {
    const platform::LocalDateTime now = platform::LocalNow();
    for (const TAlarmSource& source : Sources)
        if (source.Holds(*this, side)) Alarms.Set(side, source.Kind, true, text, {}, now);
    AddCommLine(text);
    RecordEvent(side, kind::AlarmRestored, text);
    ShowAlarms(*this);
}

void TForm1::AcknowledgeAlarms(int side) {
    const platform::LocalDateTime now = platform::LocalNow();
    for (const supervision::Alarm& a : Alarms.Acknowledge(side, now))
        RecordEvent(a.Side, kind::Acknowledged, "Potvrzeno: " + a.Text);
    for (const supervision::Alarm& a : Alarms.Ended()) {
        AddCommLine(a.EndText);
        RecordEvent(a.Side, kind::Recovered, a.EndText);
    }
    if (side == 0) Alarms.AcknowledgeNotes();
    // The supervisor's latched alarms are released once the side has cooled as well: a side that
    // is cool already is released at once.
    for (int s = 1; s <= 2; ++s)
        if (side == 0 || side == s) Supervisor.Acknowledge(s, S.SideState[s].Temperature);
    SuperviseSides(false);
}

void TForm1::SoundAlarms() {
    // With the sound set off only a heater that does not switch off is still heard.
    const std::vector<int> sides = Alarms.SoundDue(platform::SteadyNow(), !AlarmSound);
    if (sides.empty()) return;
    if (Services.Bell) {
        Services.Bell();
    } else {
        QApplication::beep();
    }
    // The unit of the side sounds its buzzer, while its line is there.
    regulation::UnitSender<TComPort> send(Com1Port.get(), Com2Port.get());
    WatchWrites(send);
    for (const int side : sides)
        if (side == 1 || side == 2) send.Send(side, regulation::BeepCommand);
    send.RethrowFirstFailure();
}

void TForm1::ShowStatus() {
    if (PanelStav == nullptr) return;
    const auto phase =
        supervision::PhaseOf(CheckBoxRegulace->isChecked(), CheckBox3->isChecked(), S.CycleEnded);
    SetText(LabelStav, supervision::CycleStatusText(phase, regulation::WholeSeconds(S), S.CycleLength));
    for (int side = 1; side <= 2; ++side) {
        QLabel* label = side == 1 ? LabelStav1 : LabelStav2;
        const bool heating = (side == 1 ? CheckBoxTopeni1 : CheckBoxTopeni2)->isChecked();
        SetText(label, supervision::SideStatusText(side, S.Setpoint[side], heating, Alarms.ShortText(side)));
        if (Chart != nullptr) SetFontColour(label, Chart->Look(chart::TemperatureSeries(side)).SeriesColour);
    }
}

void TForm1::ChartGap() {
    if (Chart == nullptr) return;
    const double time = S.CycleTime();
    for (int side = 1; side <= 2; ++side)
        Chart->Append(chart::TemperatureSeries(side), time, std::numeric_limits<double>::quiet_NaN());
}

void TForm1::WarnProgramsAtLimit() {
    const platform::LocalDateTime now = platform::LocalNow();
    for (int side = 1; side <= 2; ++side) {
        const auto& limit = Supervisor.GetLimits().MaxT[side];
        if (!limit) continue;
        const auto k = supervision::PointAtLimit(S, side, *limit);
        if (!k) continue;
        const std::string text =
            supervision::ProgramAtLimitText(side, S.ProgramTime[side][*k], S.ProgramTemp[side][*k], *limit);
        Alarms.AddNote(side, text, true, now);
        AddCommLine(text);
        RecordEvent(side, kind::Warning, text);
    }
    ShowAlarms(*this);
}

void TForm1::RecordChange(int side, std::string_view what, const std::string& before,
                          const std::string& after) {
    if (before != after) RecordEvent(side, kind::Change, journal::ChangeText(what, before, after));
}

void TForm1::NoteAppliedSettings() {
    const std::pair<const char*, std::string> applied[] = {
        {"r0", numtext::FormatFloat(S.r0)},
        {"Ti", numtext::FormatFloat(S.Ti)},
        {"Td", numtext::FormatFloat(S.Td)},
        {"Tvz", numtext::FormatFloat(S.Tvz)},
        {"t1", Text(Edit16)},
        {"t2", Text(Edit17)},
    };
    for (const auto& [what, value] : applied)
        if (const auto change = Changes.Note(what, value)) RecordEvent(0, kind::Change, *change);
    // The cycle length as it stands at start-up; it changes by Start.
    Changes.Seed("Doba cyklu", Text(Edit15));
    NoteLimits();
}

void TForm1::NoteLimits() {
    for (int side = 1; side <= 2; ++side) {
        const std::string what = "Tmax" + std::to_string(side);
        if (const auto change = Changes.Note(what, LimitText(Supervisor.GetLimits().MaxT[side])))
            RecordEvent(side, kind::Change, *change);
    }
}
