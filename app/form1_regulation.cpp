// Regulation handlers of the main window: apply parameters, time base, control tick, Start and
// Stop, heater lamps, simulation. The computing lives in the regulation library; these handlers
// read their controls, call it and write the results back.
#include "app/form1.h"

#include "app/Controls.h"

#include "chart/RegulatorSeries.h"
#include "journal/EventKinds.h"
#include "regulation/Controller.h"
#include "regulation/Cycle.h"
#include "regulation/Simulation.h"
#include "regulation/UnitSender.h"
#include "serial/ComPort.h"
#include "platform/Clock.h"
#include "text/NumText.h"

#include <QSignalBlocker>

namespace {

// Parses a box with the field's previous value as the fallback, stores it and shows it again.
void ReadBack(QLineEdit* edit, double& field) {
    const auto read = regulation::ReadBoxNumber(Text(edit), field);
    field = read.Value;
    SetText(edit, read.Text);
}

// Sets "Regulovat" and, when that changes it, runs the apply operation here rather than through
// the box's signal: the signal's handler reports its own errors, but an apply that fails during
// Start or Stop must end that Start or Stop.
void SetRegulovat(TForm1& form, bool on) {
    if (form.CheckBoxRegulace->isChecked() == on) return;
    {
        const QSignalBlocker quiet(form.CheckBoxRegulace);
        form.CheckBoxRegulace->setChecked(on);
    }
    form.CheckBoxRegulaceClick(form.CheckBoxRegulace);
}


using UnitLink = regulation::UnitSender<TComPort>;

} // namespace

void TForm1::CheckBoxRegulaceClick(QObject*) {
    regulation::ResetModel(S);
    if (CheckBoxRegulace->isChecked()) {
        if (CheckBox3->isChecked()) {
            regulation::BeginCycle(S);
            Edit1->setText(QStringLiteral("0"));
            Edit12->setText(QStringLiteral("0"));
            ClearMeasuredSeries();
        }
        RenderPrograms();
        CloseDataLog();
        OpenDataLog();
    }

    // A setpoint the operator typed is a change of theirs for the journal; those that Start,
    // Stop and the programs write into the boxes are not.
    const bool typed1 = Edit1->isModified(), typed2 = Edit12->isModified();
    const double before1 = S.Setpoint[1], before2 = S.Setpoint[2];
    ReadBack(Edit1, S.Setpoint[1]);
    ReadBack(Edit12, S.Setpoint[2]);
    if (typed1) RecordChange(1, "Zadana 1", numtext::FormatFloat(before1), numtext::FormatFloat(S.Setpoint[1]));
    if (typed2) RecordChange(2, "Zadana 2", numtext::FormatFloat(before2), numtext::FormatFloat(S.Setpoint[2]));
    ReadBack(Edit2, S.r0);
    ReadBack(Edit3, S.Ti);
    ReadBack(Edit4, S.Td);

    S.Tvz = regulation::ClampTvz(regulation::ReadBoxNumber(Text(Edit8), S.Tvz).Value);
    SetText(Edit8, numtext::FormatFloat(S.Tvz));
    NoteAppliedSettings(); // the parameters that changed, into the journal

    const auto interval = static_cast<int>(regulation::IntervalMs(S.Tvz));
    TimerRegulator->SetInterval(interval);
    TimerSimulace->SetInterval(interval);

    // The coefficients follow the interval the timer actually runs at, not Tvz itself.
    regulation::ComputeCoefficients(S, static_cast<std::uint32_t>(TimerRegulator->Interval()));

    HeatersOffForRegulovat();
    UpdateRunJournal(true); // a cycle begun, ended or given a new log
    FitWriteTimeouts();     // to the new control period
}

void TForm1::HeatersOffForRegulovat() {
    CheckBoxTopeni1->setChecked(false);
    CheckBoxTopeni2->setChecked(false);

    // The operator switches the heaters by hand, and chooses "Na prubeh", only while the
    // controller is off.
    const bool manual = !CheckBoxRegulace->isChecked();
    CheckBoxTopeni1->setVisible(manual);
    CheckBoxTopeni2->setVisible(manual);
    CheckBox3->setEnabled(manual);
}

// A new cycle starts its measured curves afresh; the setpoint curves are redrawn with the programs.
void TForm1::ClearMeasuredSeries() {
    if (Chart == nullptr || Chart->SeriesCount() <= chart::SeriesTemperature2) return;
    Chart->Clear(chart::SeriesTemperature1);
    Chart->Clear(chart::SeriesTemperature2);
}

void TForm1::Button4Click(QObject*) {
    // The temperature limits below the button take effect first and on their own: whatever the
    // apply below meets, a limit typed into its box protects the run.
    Guard([&] { ApplySafetyLimits(); });
    // While regulating, "Pouzit" begins a new data log, and with "Na prubeh" a new cycle.
    if (CheckBoxRegulace->isChecked()) {
        if (CheckBox3->isChecked()) {
            RecordEvent(0, journal::kind::CycleStart, "obsluha, Pouzit");
        } else {
            RecordEvent(0, journal::kind::Change, "Pouzit: novy datovy soubor");
        }
    }
    CheckBoxRegulaceClick(this);
    SaveRegulatorSettings();
}

void TForm1::TimerCasTimer(QObject*) { regulation::TimeBaseTick(S); }

void TForm1::TimerRegulatorTimer(QObject*) {
    // Nothing is sent once the window is closing (a tick may still be queued).
    if (Closing()) return;
    // Every step runs even when an earlier one failed (a unit whose writes fail must not leave
    // the other unit's heater in whatever state it was last told); the first failure is
    // reported at the end, a unit whose device is gone has its port closed.
    UnitLink send(Com1Port.get(), Com2Port.get());
    WatchWrites(send);
    auto& steps = send.Failures();

    if (CheckBox3->isChecked()) {
        if (regulation::StepProgram(S, 1)) SetText(Edit1, numtext::FormatFloat(S.Setpoint[1]));
        if (regulation::StepProgram(S, 2)) SetText(Edit12, numtext::FormatFloat(S.Setpoint[2]));
    }

    if (CheckBoxRegulace->isChecked()) {
        steps.Run([&] { CheckBoxTopeni1->setChecked(regulation::DecideHeater(S, 1, S.Setpoint[1])); });
        steps.Run([&] { CheckBoxTopeni2->setChecked(regulation::DecideHeater(S, 2, S.Setpoint[2])); });
        if (regulation::EndOfCycleDue(S)) {
            S.CycleEnded = true;
            CycleBy = journal::kind::ByEndOfCycle;
            steps.Run([&] { Button6Click(this); }); // the window as sender: no "@STOP&"
        }
        if (regulation::BeepDue(S)) {
            S.BeepSent = true;
            send.SendToBoth(regulation::BeepCommand);
        }
    }

    // A side under the relay test takes the test's command.
    steps.Run([&] { AutotuneTick(); });

    // The safety override has the last word: a stale side, or one at its temperature limit, is
    // off whatever the controller, the relay test or the operator decided (the model above has
    // still advanced).
    SuperviseSides(false);

    for (const auto text : regulation::HeaterCommands(CheckBoxTopeni1->isChecked())) send.Send(1, text);
    for (const auto text : regulation::HeaterCommands(CheckBoxTopeni2->isChecked())) send.Send(2, text);
    HeatersCommanded();

    if (steps.Failed()) AutotuneStop("Chyba pri regulaci: test prerusen");
    send.RethrowFirstFailure();
}

void TForm1::Button5Click(QObject* Sender) {
    AutotuneStop("Start cyklu: test prerusen");
    UnitLink send(Com1Port.get(), Com2Port.get());
    WatchWrites(send);
    RecordCycle(true, Sender);
    // A Start that came from a unit (the window as sender) is not echoed to the units.
    if (Sender != this) send.SendToBoth(regulation::StartCommand);

    regulation::BeginCycle(S);
    S.CycleLength = regulation::CycleLengthFromText(Text(Edit15));
    SetText(Edit15, numtext::FormatInt(S.CycleLength));
    if (const auto change = Changes.Note("Doba cyklu", Text(Edit15))) RecordEvent(0, journal::kind::Change, *change);

    // Toggling "Regulovat" off and on again applies the parameters and starts the new cycle; an
    // apply that fails ends the Start there.
    send.Failures().Run([&] {
        SetRegulovat(*this, false);
        CheckBox3->setChecked(true);
        SetRegulovat(*this, true);
        SetFontColour(Label10, colors::Red);
    });
    WarnProgramsAtLimit(); // a program that will switch its side off at the limit
    send.RethrowFirstFailure();
}

void TForm1::Button6Click(QObject* Sender) {
    AutotuneStop("STOP: test prerusen");
    UnitLink send(Com1Port.get(), Com2Port.get());
    WatchWrites(send);
    RecordCycle(false, Sender);
    SetText(Label26, numtext::FormatInt(regulation::WholeSeconds(S)));
    if (Sender != this) send.SendToBoth(regulation::StopCommand);

    // The standby setpoints become the setpoint texts; the apply below reads them.
    Edit1->setText(Edit16->text());
    Edit12->setText(Edit17->text());

    send.Failures().Run([&] {
        SetRegulovat(*this, false);
        CheckBox3->setChecked(false);
        SetRegulovat(*this, true);
        SetFontColour(Label10, colors::Blue);
    });
    send.RethrowFirstFailure();
}

void TForm1::CheckBoxTopeni1Click(QObject*) {
    Shape1->SetBrushColor(CheckBoxTopeni1->isChecked() ? colors::Red : colors::Grey);
}

void TForm1::CheckBoxTopeni2Click(QObject*) {
    Shape3->SetBrushColor(CheckBoxTopeni2->isChecked() ? colors::Red : colors::Grey);
}

void TForm1::CheckBox1Click(QObject*) { TimerSimulace->SetEnabled(CheckBox1->isChecked()); }

void TForm1::TimerSimulaceTimer(QObject*) {
    regulation::SimulationTick(S);
    const auto now = platform::SteadyNow();
    Supervisor.Fresh(1, now);
    Supervisor.Fresh(2, now);
}
