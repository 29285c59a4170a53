// Resuming a heating cycle after a crash or a power cut. While a cycle runs, the run journal
// (Regulator.run, journal/RunJournal.h) keeps what is needed to continue it; at start-up an
// unfinished entry is continued (asked, or without asking on unattended machines) when the program
// was not away too long. The cycle then goes on from the journal's cycle time, with the programs'
// steps, the setpoints, "Regulovat" and "Na prubeh" as they were and the same data log; the units
// are told nothing.
#include "app/form1.h"

#include "app/Controls.h"

#include "chart/RegulatorSeries.h"
#include "chart/TChart.h"
#include "journal/EventKinds.h"
#include "journal/ResumeQuestion.h"
#include "persistence/DataLog.h"
#include "persistence/Settings.h"
#include "platform/Clock.h"
#include "programs/ProgramTable.h"
#include "regulation/Controller.h"
#include "report/DataLogReader.h"
#include "text/NumText.h"

#include <QSignalBlocker>

#include <algorithm>
#include <system_error>

namespace {

std::string SecondsText(std::int64_t seconds) { return numtext::FormatInt(seconds) + " s"; }

// The cycle as it stands, for the run journal.
journal::RunEntry CurrentRunEntry(const TForm1& f) {
    const state::RegulatorState& S = f.S;
    journal::RunEntry e;
    e.Regulovat = f.CheckBoxRegulace->isChecked();
    e.NaPrubeh = f.CheckBox3->isChecked();
    e.Finished = !(e.Regulovat && e.NaPrubeh && !S.CycleEnded);
    e.WallTime = journal::EpochSeconds(platform::WallNow());
    e.CycleTicks = S.CycleTicks;
    e.CycleLength = S.CycleLength;
    e.BeepSent = S.BeepSent;
    e.CycleEnded = S.CycleEnded;
    e.ProgramStep1 = S.ProgramStep[1];
    e.ProgramStep2 = S.ProgramStep[2];
    e.Setpoint1 = S.Setpoint[1];
    e.Setpoint2 = S.Setpoint[2];
    if (const auto* log = persistence::OpenLog(S)) e.DataLog = log->Path().filename().string();
    for (int side = 1; side <= 2; ++side) {
        const supervision::Latched latched = f.Supervisor.Latches(side);
        e.Alarms(side) = {latched.OverTemperature, latched.RunawayThreshold, latched.SensorFault};
    }
    return e;
}

} // namespace

void TForm1::UpdateRunJournal(bool force) {
    if (closed_) return; // the close has marked the cycle finished; a late tick must not undo it
    const journal::RunEntry now = CurrentRunEntry(*this);
    // While the resume question stands, the interrupted cycle's entry stays as it is, unless a
    // new cycle has been started meanwhile.
    if (PendingResume && now.Finished) return;
    RunJournal.Update(now, force);
    ReportIfAny(RunJournal.TakeFailure());
}

void TForm1::FinishRunJournal() {
    if (terminating_) {
        // The system ends the program (a shutdown, a UPS): the running cycle, or the one whose
        // question still stands, stays unfinished, to be continued once the power is back.
        PendingResume.reset();
        const journal::RunEntry now = CurrentRunEntry(*this);
        if (!now.Finished) {
            RunJournal.Update(now, true);
            RecordEvent(0, journal::kind::CycleInterrupted,
                        "ukonceni systemem, cas " + SecondsText(now.CycleTicks / 10) + ", lze pokracovat");
        }
        ReportIfAny(RunJournal.TakeFailure());
        return;
    }
    // A question still open: the interrupted cycle is given up with the program.
    if (PendingResume && !RunJournal.WroteCycle()) RunJournal.Finish(*PendingResume);
    PendingResume.reset();
    journal::RunEntry now = CurrentRunEntry(*this);
    now.Finished = true;
    RunJournal.Update(now, false);
    ReportIfAny(RunJournal.TakeFailure());
}

void TForm1::ResumeAfterOutage() {
    const auto read = journal::ReadRunJournal(RunJournal.Path());
    if (read.State == journal::RunJournalRead::Status::Missing) return;
    if (read.State == journal::RunJournalRead::Status::Broken) {
        // Put aside, so that it is reported once and the next start finds none.
        std::filesystem::path aside = RunJournal.Path();
        aside += ".bad";
        std::error_code ec;
        std::filesystem::rename(RunJournal.Path(), aside, ec);
        ShowBox(QStringLiteral("Regulace teploty"),
                QString::fromStdString("Stav behu cyklu nelze precist: " + RunJournal.Path().string() + " (" +
                                       read.Problem + "). Preruseny cyklus nelze obnovit."),
                TBoxIcon::Warning);
        return;
    }

    const journal::RunEntry& entry = read.Entry;
    // Alarms latched when the program went away stand again, whether a cycle is continued or not.
    RestoreLatches(entry);
    const auto settings = journal::ReadResumeSettings(persistence::SettingsFile());
    const auto now = platform::WallNow();
    const auto choice = journal::DecideResume(entry, now, settings);
    if (choice == journal::ResumeChoice::Nothing) return;

    const std::int64_t cycleSeconds = entry.CycleTicks / 10;
    RecordEvent(0, journal::kind::CycleInterrupted,
                "cas " + SecondsText(cycleSeconds) + ", vypadek " +
                    SecondsText(journal::EpochSeconds(now) - entry.WallTime));
    switch (choice) {
    case journal::ResumeChoice::Continue:
        ResumeCycle(entry);
        break;
    case journal::ResumeChoice::Ask:
        // The program runs as after any start while the question stands; Yes then brings the
        // cycle back, unless a cycle was started meanwhile.
        PendingResume = entry;
        // "Ano" is the default: the operator was running this cycle when the program went away.
        Boxes().Ask(TQuestion{QStringLiteral("Regulace teploty"),
                              QString::fromStdString(journal::ResumeQuestionText(
                                  entry, journal::EpochSeconds(now) - entry.WallTime, platform::LocalNow())),
                              true, nullptr},
                    [this, settings](bool yes) {
                        if (!PendingResume) return; // the window closed meanwhile
                        const journal::RunEntry found = *PendingResume;
                        PendingResume.reset();
                        if (RunJournal.WroteCycle()) return; // a new cycle runs: it stays
                        Guard([&] {
                            // The oven was left alone while the question stood: the outage
                            // counts up to the answer.
                            const auto later = platform::WallNow();
                            const bool stillInTime = journal::DecideResume(found, later, settings) !=
                                                     journal::ResumeChoice::TooOld;
                            if (yes && stillInTime) {
                                ResumeCycle(found);
                                return;
                            }
                            RunJournal.Finish(found);
                            ReportIfAny(RunJournal.TakeFailure());
                            if (yes) {
                                ShowBox(QStringLiteral("Regulace teploty"),
                                        QString::fromStdString(
                                            "Preruseny cyklus uz nelze obnovit (vypadek " +
                                            SecondsText(journal::EpochSeconds(later) - found.WallTime) + ")."),
                                        TBoxIcon::Warning);
                            }
                        });
                    });
        break;
    default:
        RunJournal.Finish(entry);
        break;
    }
    ReportIfAny(RunJournal.TakeFailure());
}

void TForm1::RedrawFromLog(const std::filesystem::path& file) {
    report::LogTable log;
    try {
        log = report::ReadLog(file);
    } catch (const report::ELogRead&) {
        return; // the chart then begins at the resume; the log itself is reported when it is opened
    }
    // The cycle's lines: from where its cycle time last began again.
    std::size_t from = 0;
    for (std::size_t i = 1; i < log.Size(); ++i) {
        if (log.Time[i] < log.Time[i - 1]) from = i;
    }
    for (std::size_t i = from; i < log.Size(); ++i) {
        const double time = log.TimeAt(i);
        Chart->Append(chart::SeriesTemperature1, time, report::FromTenths(log.Side1.Temperature[i]));
        Chart->Append(chart::SeriesTemperature2, time, report::FromTenths(log.Side2.Temperature[i]));
        for (int side : {1, 2}) {
            if (programs::LiveSetpointDue(S, side, time))
                Chart->Append(chart::SetpointSeries(side), time, report::FromTenths(log.Side(side).Setpoint[i]));
        }
    }
    Chart->Refresh();
}

void TForm1::ResumeCycle(const journal::RunEntry& entry) {
    // The log begun at start-up gives way to the cycle's own; left empty, it goes.
    std::filesystem::path startupLog;
    if (const auto* log = persistence::OpenLog(S)) startupLog = log->Path();
    CloseDataLog();
    std::error_code ec;
    if (!startupLog.empty() && std::filesystem::file_size(startupLog, ec) == 0 && !ec)
        std::filesystem::remove(startupLog, ec);

    // The state of the cycle. The model starts afresh, as after any apply.
    regulation::ResetModel(S);
    S.CycleTicks = entry.CycleTicks;
    S.CycleLength = entry.CycleLength;
    S.BeepSent = entry.BeepSent;
    S.CycleEnded = entry.CycleEnded;
    S.ProgramStep[1] = std::clamp(entry.ProgramStep1, 0, S.ProgramCount[1]);
    S.ProgramStep[2] = std::clamp(entry.ProgramStep2, 0, S.ProgramCount[2]);
    S.Setpoint[1] = entry.Setpoint1;
    S.Setpoint[2] = entry.Setpoint2;
    SetText(Edit1, numtext::FormatFloat(S.Setpoint[1]));
    SetText(Edit12, numtext::FormatFloat(S.Setpoint[2]));
    SetText(Edit15, numtext::FormatInt(S.CycleLength));
    Changes.Set("Doba cyklu", Text(Edit15)); // the cycle's own, not an operator's change

    // "Regulovat" and "Na prubeh" as they were, without the apply: it would begin a new cycle
    // and a new log. What the apply does besides is done here.
    {
        const QSignalBlocker quiet(CheckBoxRegulace);
        CheckBoxRegulace->setChecked(entry.Regulovat);
    }
    CheckBox3->setChecked(entry.NaPrubeh);
    HeatersOffForRegulovat();
    // An alarm that stood at the outage stands again: the side stays off until acknowledged and
    // cooled.
    RestoreLatches(entry);

    // The measured points of the wait are not the cycle's: the chart shows the cycle as its log
    // holds it, up to the outage.
    ClearMeasuredSeries();
    Guard([&] { RenderPrograms(); });
    if (!entry.DataLog.empty()) RedrawFromLog(persistence::DataLogDir() / entry.DataLog);
    ChartGap(); // the curves do not join across the outage

    // The same log goes on; the gap in its cycle time shows the outage. A log that is gone or
    // cannot be opened is reported, and a new one is begun.
    if (!entry.DataLog.empty()) {
        Guard([&] {
            S.LogFile = persistence::DataLog::OpenExisting(persistence::DataLogDir() / entry.DataLog);
            S.LogOpen = true;
        });
    }
    if (!S.LogOpen) OpenDataLog();

    SetFontColour(Label10, colors::Red);
    RecordEvent(0, journal::kind::CycleResumed, "cas " + SecondsText(entry.CycleTicks / 10));
    UpdateRunJournal(true);
}
