// Display refresh and data log of the main window, and the chart it draws on.
#include "app/form1.h"

#include "app/Controls.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "persistence/DataLog.h"
#include "persistence/DataLogRefresh.h"
#include "programs/ProgramTable.h"

#include <QVBoxLayout>

void TForm1::CreateChart() {
    Chart = new chart::TChart(PanelGraf);
    auto* fill = new QVBoxLayout(PanelGraf);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(Chart);
    chart::AddRegulatorSeries(*Chart);
    CreateChartMenu();
}

void TForm1::TimerUkazTimer(QObject*) {
    SuperviseSides(true); // a side that has just become unsafe is switched off at once
    const double time = S.CycleTime();
    if (Chart != nullptr) {
        Chart->Append(chart::SeriesTemperature1, time, S.SideState[1].Temperature);
        Chart->Append(chart::SeriesTemperature2, time, S.SideState[2].Temperature);
        // Past the end of a program (or with no program at all) its series goes on with the live setpoint.
        for (int side : {1, 2}) {
            if (programs::LiveSetpointDue(S, side, time)) Chart->Append(chart::SetpointSeries(side), time, S.Setpoint[side]);
        }
        Chart->Refresh();
    }
    SetText(LabelTeplota1, persistence::TemperatureLabelText(S.SideState[1].Temperature));
    SetText(LabelTeplota2, persistence::TemperatureLabelText(S.SideState[2].Temperature));
    SetText(Label10, persistence::CycleTimeLabelText(time));
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
