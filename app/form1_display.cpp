// Display refresh and data log of the main window, and the chart it draws on.
#include "app/form1.h"

#include "app/Controls.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "persistence/DataLog.h"
#include "persistence/DataLogRefresh.h"
#include "programs/ProgramTable.h"

#include <QVBoxLayout>

#include <limits>

namespace {

const std::string NoTemperature = "---"; // the big label of a side without a current temperature

} // namespace

void TForm1::CreateChart() {
    Chart = new chart::TChart(PanelGraf);
    // Between the alarm strip and the status line (BuildAlarmStrip), taking the room they leave.
    auto* fill = static_cast<QVBoxLayout*>(PanelGraf->layout());
    fill->insertWidget(1, Chart, 1);
    chart::AddRegulatorSeries(*Chart);
    CreateChartMenu();
}

void TForm1::TimerUkazTimer(QObject*) {
    SuperviseSides(true); // a side that has just become unsafe is switched off at once
    SoundAlarms();
    const double time = S.CycleTime();
    // A side whose temperature is not current (old, nonsense, its unit gone) shows "---" and
    // leaves a gap in its curve; the data log goes on as ever.
    const bool current1 = TemperatureCurrent(1), current2 = TemperatureCurrent(2);
    constexpr double Gap = std::numeric_limits<double>::quiet_NaN();
    if (Chart != nullptr) {
        // Nonsense from a sensor is no temperature to draw, even before it makes a fault.
        const bool drawn1 = current1 && !Supervisor.LastReportNonsense(1);
        const bool drawn2 = current2 && !Supervisor.LastReportNonsense(2);
        Chart->Append(chart::SeriesTemperature1, time, drawn1 ? S.SideState[1].Temperature : Gap);
        Chart->Append(chart::SeriesTemperature2, time, drawn2 ? S.SideState[2].Temperature : Gap);
        // Past the end of a program (or with no program at all) its series goes on with the live setpoint.
        for (int side : {1, 2}) {
            if (programs::LiveSetpointDue(S, side, time)) Chart->Append(chart::SetpointSeries(side), time, S.Setpoint[side]);
        }
        Chart->Refresh();
    }
    SetText(LabelTeplota1, current1 ? persistence::TemperatureLabelText(S.SideState[1].Temperature) : NoTemperature);
    SetText(LabelTeplota2, current2 ? persistence::TemperatureLabelText(S.SideState[2].Temperature) : NoTemperature);
    SetText(Label10, persistence::CycleTimeLabelText(time));
    ShowStatus();
    // The run journal first: then the last logged line is never a second ahead of it.
    UpdateRunJournal(false);
    PublishTelemetry(); // telemetry
    // A failing write closes the log and is reported once by the handler's guard. While
    // regulating, the refreshes after it reopen the same file quietly; the communication list
    // tells when the log goes on.
    const bool regulating = CheckBoxRegulace->isChecked();
    if (persistence::WriteDataLog(S, regulating) == persistence::LogWriteResult::Resumed) {
        const auto* log = persistence::OpenLog(S);
        AddCommLine("Zapis dat obnoven: " + (log ? log->Path().filename().string() : std::string()));
    }
}

// Opening and closing report a failure and return: whoever asked for a new log (start-up, the
// apply operation of Start, Stop and the end of a cycle) goes on without one.
void TForm1::OpenDataLog() {
    Guard([&] { persistence::OpenDataLog(S); });
}

void TForm1::CloseDataLog() {
    Guard([&] { persistence::CloseDataLog(S); });
}
