// Program table handlers of the main window: add, delete, list click, and rendering both
// programs as lists and step curves. The tables themselves live in the programs library.
#include "app/form1.h"

#include "app/Controls.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "journal/EventKinds.h"
#include "programs/ProgramTable.h"
#include "supervision/ProgramLimit.h"
#include "text/NumText.h"

#include <QSignalBlocker>

namespace {

// Rebuilding a list leaves no row selected and does not touch the delete button: after an add
// "Smazat" may stay enabled with nothing selected, and pressing it then does nothing.
void ShowProgramList(QListWidget* list, const state::RegulatorState& s, int side) {
    const QSignalBlocker quiet(list);
    list->clear();
    for (const auto& row : programs::ProgramListRows(s, side)) list->addItem(QString::fromStdString(row));
    list->setCurrentRow(-1);
}

void DrawStepCurve(chart::TChart* chart, const state::RegulatorState& s, int side) {
    if (chart == nullptr) return;
    const auto curve = programs::BuildStepCurve(s, side);
    chart->Replace(chart::SetpointSeries(side), curve.Keys, curve.Values);
}

QListWidget* ListOf(TForm1& f, int side) { return side == 1 ? f.ListBox1 : f.ListBox3; }

// The selected row, or -1. A row can stay current after a Ctrl+click has cleared the selection;
// it is then no longer the operator's choice and must not be deleted.
int SelectedRow(const QListWidget* list) {
    const QListWidgetItem* current = list->currentItem();
    return current != nullptr && current->isSelected() ? list->currentRow() : -1;
}

std::string PointText(int side, std::int32_t time, std::int32_t temperature) {
    return "Prubeh " + std::to_string(side) + ": bod " + numtext::FormatInt(time) + " s, " +
           numtext::FormatInt(temperature);
}

void AddProgramPoint(TForm1& f, int side) {
    const QLineEdit* time = side == 1 ? f.Edit5 : f.Edit10;
    const QLineEdit* temp = side == 1 ? f.Edit7 : f.Edit11;
    // A point at or above the side's limit would switch the side off as it is reached.
    const auto& limit = f.Supervisor.GetLimits().MaxT[side];
    const auto temperature = numtext::ParseInt(Text(temp));
    if (limit && temperature && *temperature >= *limit) {
        f.ShowBox(QString::fromLatin1(programs::RefusedPointTitle.data(), programs::RefusedPointTitle.size()),
                  QString::fromStdString(supervision::PointAtLimitText(side, *temperature, *limit)),
                  TBoxIcon::Warning);
        return;
    }
    switch (programs::AddPoint(f.S, side, Text(time), Text(temp))) {
    case programs::AddResult::Refused:
        f.ShowBox(QString::fromLatin1(programs::RefusedPointTitle.data(), programs::RefusedPointTitle.size()),
                       QString::fromLatin1(programs::RefusedPointText.data(), programs::RefusedPointText.size()),
                       TBoxIcon::None);
        break;
    case programs::AddResult::Added:
        f.RecordEvent(side, journal::kind::Change,
                      PointText(side, numtext::ParseInt(Text(time)).value_or(0), *temperature) + " pridan");
        f.RenderPrograms();
        break;
    case programs::AddResult::Full:
        break;
    }
    f.SavePrograms();
}

void DeleteSelectedPoint(TForm1& f, int side) {
    const int k = programs::PointOfRow(SelectedRow(ListOf(f, side)), f.S.ProgramCount[side]);
    if (k == 0) return;
    const std::string point = PointText(side, f.S.ProgramTime[side][k], f.S.ProgramTemp[side][k]);
    programs::DeletePoint(f.S, side, k);
    f.RecordEvent(side, journal::kind::Change, point + " smazan");
    f.RenderPrograms();
    if (side == 1) {
        f.ListBox1Click(f.ListBox1);
    } else {
        f.ListBox3Click(f.ListBox3);
    }
    f.SavePrograms();
}

} // namespace

void TForm1::RenderPrograms() {
    programs::SortProgram(S, 1);
    ShowProgramList(ListBox1, S, 1);
    programs::SortProgram(S, 2);
    ShowProgramList(ListBox3, S, 2);
    DrawStepCurve(Chart, S, 1);
    DrawStepCurve(Chart, S, 2);
    if (Chart != nullptr) Chart->Refresh();
}

void TForm1::Button3Click(QObject*) { AddProgramPoint(*this, 1); }
void TForm1::Button8Click(QObject*) { AddProgramPoint(*this, 2); }
void TForm1::Button2Click(QObject*) { DeleteSelectedPoint(*this, 1); }
void TForm1::Button7Click(QObject*) { DeleteSelectedPoint(*this, 2); }
void TForm1::ListBox1Click(QObject*) { Button2->setEnabled(SelectedRow(ListBox1) > 1); }
void TForm1::ListBox3Click(QObject*) { Button7->setEnabled(SelectedRow(ListBox3) > 1); }
