// Telemetry of the main window: its state and its journal's events published to an MQTT broker
// when section "MQTT" of the settings names one. The client lives in the telemetry library; here
// it is started, fed at every display refresh and stopped.
#include "app/form1.h"

#include "journal/EventKinds.h"
#include "persistence/Settings.h"
#include "platform/Clock.h"
#include "telemetry/Telemetry.h"

void TForm1::StartTelemetry() {
    Telemetry = telemetry::TTelemetry::Start(
        telemetry::ReadMqttSettings(persistence::SettingsFile(), telemetry::HostName()));
    if (!Telemetry || !Journal) return;
    Journal->AddListener([this](const journal::Event& e) {
        if (Telemetry) Telemetry->PublishEvent(e);
    });
}

void TForm1::PublishTelemetry() {
    if (!Telemetry) return;
    // The connection's news is told here, on this thread: a journal line for each change, one
    // report per outage.
    for (const telemetry::LinkNote& note : Telemetry->TakeLinkNotes()) {
        RecordEvent(0, journal::kind::Telemetry, note.Journal);
        if (!note.Report.empty()) Report(QString::fromStdString(note.Report));
    }
    telemetry::Snapshot s;
    for (int side = 1; side <= 2; ++side) {
        s.Sides[side - 1].Temperature = S.SideState[side].Temperature;
        s.Sides[side - 1].Setpoint = S.Setpoint[side];
    }
    s.Sides[0].Heater = CheckBoxTopeni1->isChecked();
    s.Sides[1].Heater = CheckBoxTopeni2->isChecked();
    s.CycleTime = S.CycleTime();
    s.CycleLength = S.CycleLength;
    s.Cycle = telemetry::CycleStateOf(CheckBoxRegulace->isChecked(), CheckBox3->isChecked(), S.CycleEnded);
    Telemetry->Refresh(s, platform::SteadyNow());
}

void TForm1::StopTelemetry() {
    Telemetry.reset();
}
