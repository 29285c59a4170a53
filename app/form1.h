#pragma once
// The main window: every control under its own name, the regulator state, the two ports and the
// chart, and one handler per control event. Handlers are short: they read their widgets, call the
// logic libraries and write the results back. Their bodies are split by subsystem over the
// form1_*.cpp files.
#include "app/ErrorReport.h"
#include "app/FilePick.h"
#include "app/MessageBoxes.h"
#include "app/Shape.h"
#include "app/Timer.h"
#include "autotune/Tuning.h"
#include "devicelink/LineWatch.h"
#include "journal/EventJournal.h"
#include "journal/RunJournal.h"
#include "journal/SettingChanges.h"
#include "report/BackgroundRead.h"
#include "state/RegulatorState.h"
#include "supervision/AlarmList.h"
#include "supervision/Supervisor.h"
#include "telemetry/Telemetry.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class TAlarmStrip;
class TAutotuneWindow;
class TComPort;
class TComSync;
namespace chart {
class TChart;
}
namespace platform {
class ISerialServices;
}
namespace regulation {
template <class Port> class UnitSender;
}

// What the window needs from outside, so that tests can replace it.
struct TFormServices {
    TMessageBoxes* Boxes = nullptr;                   // required
    std::shared_ptr<platform::ISerialServices> Serial; // empty: the real termios device layer
    std::shared_ptr<TComSync> Sync;                   // the hand-over of port notifications to this thread
                                                      // (empty: one through the Qt event loop)
    std::function<void(int ms)> PortPause;            // the apply's pauses (empty: a real blocking wait)
    TFilePicker PickFile;                             // the chart menu's file dialogs (empty: QFileDialog)
    std::function<void()> Bell;                       // the computer's bell (empty: QApplication::beep)
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(const TFormServices& services, QWidget* parent = nullptr);
    ~TForm1() override;

    // ---- The regulator state: the one record of process state.
    state::RegulatorState S;

    // ---- Owned run-time objects (created by FormCreate).
    std::unique_ptr<TComPort> Com1Port;
    std::unique_ptr<TComPort> Com2Port;
    chart::TChart* Chart = nullptr; // child of PanelGraf, filling it

    // ---- Controls.
    QWidget* Panel1 = nullptr;
    QWidget* PanelGraf = nullptr;

    QLabel* Label1 = nullptr;
    QCheckBox* CheckBoxTopeni1 = nullptr;
    TShape* Shape1 = nullptr;
    QLabel* LabelTeplota1 = nullptr;
    QLabel* Label12 = nullptr;
    QCheckBox* CheckBoxTopeni2 = nullptr;
    TShape* Shape3 = nullptr;
    QLabel* LabelTeplota2 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* Label27 = nullptr;
    QLabel* Label26 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QCheckBox* CheckBoxRegulace = nullptr;
    QCheckBox* CheckBox3 = nullptr;
    QLabel* Label18 = nullptr;
    QLineEdit* Edit12 = nullptr;
    QLabel* Label21 = nullptr;
    QLineEdit* Edit15 = nullptr;
    QLabel* Label22 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;

    QTabWidget* t = nullptr;
    // "Regulator"
    QWidget* TabSheet1 = nullptr;
    QLabel* Label6 = nullptr;  // "r0 ="
    QLabel* Label7 = nullptr;  // "Ti ="
    QLabel* Label8 = nullptr;  // "Td ="
    QLabel* Label11 = nullptr; // "Tvz ="
    QLabel* Label23 = nullptr; // "t1 ="
    QLabel* Label24 = nullptr; // "t2 ="
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit8 = nullptr;
    QLineEdit* Edit16 = nullptr;
    QLineEdit* Edit17 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* ButtonAutotune = nullptr; // "Autotune": opens the autotune window
    // "COM"
    QWidget* TabSheet3 = nullptr;
    TShape* Shape2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Edit6 = nullptr;
    QLabel* Label14 = nullptr;
    TShape* Shape4 = nullptr;
    QLabel* Label13 = nullptr;
    QLineEdit* Edit9 = nullptr;
    QLabel* Label15 = nullptr;
    QPushButton* Button1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QListWidget* ListBox2 = nullptr;
    QLabel* Label19 = nullptr;
    QLineEdit* Edit13 = nullptr;
    QPushButton* Button9 = nullptr;
    QLabel* Label20 = nullptr;
    QLineEdit* Edit14 = nullptr;
    QPushButton* Button10 = nullptr;
    // "Prubeh 1"
    QWidget* TabSheet4 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* Edit7 = nullptr;
    QPushButton* Button3 = nullptr;
    // "Prubeh 2"
    QWidget* TabSheet5 = nullptr;
    QListWidget* ListBox3 = nullptr;
    QPushButton* Button7 = nullptr;
    QLabel* Label16 = nullptr;
    QLineEdit* Edit10 = nullptr;
    QLabel* Label17 = nullptr;
    QLineEdit* Edit11 = nullptr;
    QPushButton* Button8 = nullptr;

    // ---- Timers and keyboard actions.
    TTimer* TimerCas = nullptr;
    TTimer* TimerRegulator = nullptr;
    TTimer* TimerUkaz = nullptr;
    TTimer* TimerSimulace = nullptr;
    TTimer* COMTimer = nullptr;
    QAction* Start = nullptr; // Ctrl+S, F1
    QAction* Stop = nullptr;  // Del, F2

    // ---- Lifecycle (form1.cpp).
    void FormCreate(QObject* Sender);
    void FormShow(QObject* Sender);
    void FormClose(QObject* Sender);

    // ---- Regulation (form1_regulation.cpp).
    void CheckBoxRegulaceClick(QObject* Sender);
    // The end of every apply: both heaters off, the "Topit" boxes shown and "Na prubeh" enabled
    // exactly while "Regulovat" is off.
    void HeatersOffForRegulovat();
    void ClearMeasuredSeries(); // the measured temperature curves, at a new cycle
    void Button4Click(QObject* Sender);
    void TimerCasTimer(QObject* Sender);
    void TimerRegulatorTimer(QObject* Sender);
    void Button5Click(QObject* Sender);
    void Button6Click(QObject* Sender);
    void CheckBoxTopeni1Click(QObject* Sender);
    void CheckBoxTopeni2Click(QObject* Sender);
    void CheckBox1Click(QObject* Sender);
    void TimerSimulaceTimer(QObject* Sender);

    // ---- Program tables (form1_programs.cpp).
    void RenderPrograms();
    void Button2Click(QObject* Sender);
    void Button3Click(QObject* Sender);
    void Button7Click(QObject* Sender);
    void Button8Click(QObject* Sender);
    void ListBox1Click(QObject* Sender);
    void ListBox3Click(QObject* Sender);

    // ---- Display refresh and data log (form1_display.cpp).
    void CreateChart(); // FormCreate: the chart filling PanelGraf with its four series
    void TimerUkazTimer(QObject* Sender);
    void OpenDataLog();
    void CloseDataLog();

    // ---- Reference run and chart export, from the chart's menu (form1_reference.cpp).
    void CreateChartMenu();
    // One reference at a time; a new one replaces the old once it has been read. The file is
    // read on a thread of its own while the window goes on; the chart's caption shows how far
    // the read got.
    void LoadReference(const QString& file);
    bool ReferenceLoading() const { return referenceRead_ != nullptr; }
    void RemoveReference();
    bool HasReference() const;
    void ExportChart(const QString& file);   // PNG or PDF by the file's ending, drawn as the report draws it
    void ExportCsv(const QString& file, bool czech); // the current data log; the form is remembered

    // ---- Settings file (form1_settings.cpp).
    void LoadSettings();
    void SavePrograms();
    void SaveWindowSettings();    // "Nastaveni", at exit
    void SaveRegulatorSettings(); // "Regulace", by Button4Click
    void SaveSerialSettings();    // "Serial", by Button1Click

    // ---- Device link and ports (form1_devicelink.cpp).
    void CreatePorts();      // FormCreate: both ports with their built-in defaults
    void AttachPortEvents(); // FormCreate: OnAfterOpen, OnAfterClose, OnRxChar of both ports
    void ShowPortNumbers();  // FormShow: Edit6 and Edit9 from the port names
    void ClosePorts();       // FormClose: Com1Port, then Com2Port, Connected := false
    void ParseRxChar(int side, char ch);
    void Com1PortRxChar(QObject* Sender, int Count);
    void Com2PortRxChar(QObject* Sender, int Count);
    void Com1PortAfterOpen(QObject* Sender);
    void Com1PortAfterClose(QObject* Sender);
    void Com2PortAfterOpen(QObject* Sender);
    void Com2PortAfterClose(QObject* Sender);
    void Button9Click(QObject* Sender);
    void Button10Click(QObject* Sender);
    void COMTimerTimer(QObject* Sender);
    void Button1Click(QObject* Sender);
    void Edit6Change(QObject* Sender);
    void AddCommLine(const std::string& line); // to the top of the communication list

    // ---- Lost ports, closing and the journal's cycle events (form1_ports.cpp).
    // The side's device is gone (hang-up, I/O error): once per disappearance the port is
    // closed (from inside a port event only after that event's hand-over has returned), the
    // lamp turns red, "N/A" is shown and the loss is listed, journalled and shown as an alarm.
    // The watchdog opens the port again once the device is back.
    void PortLost(int side, std::string_view detail);
    void PortOpened(int side); // before the side's open notification: a lost port is back
    // A unit's writes in one operation: a device that is gone closes its port; other failures
    // are reported once until a write to that side goes through again.
    void WatchWrites(regulation::UnitSender<TComPort>& send);
    // Closing: every timer stops, and no tick, watchdog opening or port event runs any more.
    void StopClockwork();
    bool Closing() const { return closed_; }
    // Who the next Start or Stop with the window as sender comes from (a unit's message, the
    // end of the cycle); the operator's own come with their button or action as sender.
    std::string_view CycleBy = {};
    // Journals a Start (or Stop, or the end of the cycle) with who caused it; clears CycleBy.
    void RecordCycle(bool start, QObject* Sender);
    devicelink::TLineWatch LineWatch;

    // ---- Resuming a cycle after a crash or a power cut (form1_resume.cpp).
    void ResumeAfterOutage();                          // FormShow, last: an unfinished cycle in the run journal
    void ResumeCycle(const journal::RunEntry& entry);  // the cycle goes on where the entry left it
    void RedrawFromLog(const std::filesystem::path& file); // the measured curves of the cycle's log
    void UpdateRunJournal(bool force);                 // the refresh and every apply: the run journal
    // FormClose: the cycle ends with the program, unless the system ends the program (a shutdown):
    // then the cycle stays in the run journal, to be continued at the next start.
    void FinishRunJournal();

    // ---- Autotune (form1_autotune.cpp).
    // The "Autotune" button beside "Pouzit", the marks of a side under test and the line that
    // says which sides have parameters of their own.
    void BuildAutotune();
    void ButtonAutotuneClick(QObject* Sender);
    // The control tick, after the controller's decisions and before the safety override: each
    // side's recent response is kept, and a side under the relay test takes the test's heater
    // command.
    void AutotuneTick();
    // Ends a running relay test with the reason (Start, Stop, a failure, a safety limit).
    void AutotuneStop(const std::string& reason);
    int AutotuneSide() const; // the side under a running relay test, or 0
    // The setpoint of the relay test running on the side; none when the side is not under test.
    std::optional<double> AutotuneSetpoint(int side) const;
    // A relay test began or ended: the side's mark ("Test 150" where its "Topit" box is).
    void ShowAutotuneSide();
    // A cycle runs: "Regulovat" and "Na prubeh" checked and the cycle's end not yet reached.
    bool CycleRunning() const;
    TAutotuneWindow* AutotuneWindow = nullptr; // created on first use, owned as a child window
    QLabel* LabelAutotune1 = nullptr;          // side 1 under test: "Test" and the test's setpoint
    QLabel* LabelAutotune2 = nullptr;
    state::PerSide<autotune::TRecentResponse> RecentResponse{}; // per control tick, for the estimate

    // ---- A side's own controller parameters (form1_autotune.cpp). The boxes "r0 =", "Ti =",
    // "Td =" hold the shared set; a side may have a set of its own, which then rules that side.
    // Sets or (with none) takes away the side's own set: checked, stored in the settings file and
    // in force from the next control tick, the side's model started afresh. Nothing else is
    // applied: a running cycle goes on. Throws state::EInvalidOp for a set the model cannot be
    // built from and platform::EProfileWrite when the file refuses; nothing changes then.
    void ApplySideParameters(int side, const std::optional<state::SideParameters>& own);
    void ShowSideParameters(); // LabelParametry: which sides have their own set
    QLabel* LabelParametry = nullptr; // on the "Regulator" tab; hidden while both use the shared set

    // ---- Ending the program from outside (SIGTERM: a shutdown, the end of the session). Nothing
    // waits for the operator: reports not shown yet go to the journal, open boxes close with the
    // window, the heaters are switched off and the running cycle stays resumable.
    void Terminate();
    bool Terminating() const { return terminating_; }
    // FormClose: each connected unit is sent "@ledka=0&", "@rele=0&", "*" before its port closes,
    // so no heater stays on with nothing regulating it.
    void HeatersOffAtExit();
    // Every apply: the ports' write time limits fit the control period, so a stalled line never
    // holds a control tick longer than its period.
    void FitWriteTimeouts();

    // ---- The general error report.
    // Runs a handler; an error that leaves it ends it at the failing step (what it did before
    // stays done) and is shown by the general error report. Nothing crosses Qt's event loop.
    // Reports open when the outermost handler has finished, so a handler that runs another one
    // (a Start run by a unit's message) is never reported in the middle. No box stops the
    // program: it opens and the program goes on.
    template <class F> void Guard(F&& handler) {
        ++guardDepth_;
        try {
            handler();
        } catch (const std::exception& e) {
            Errors.Add(QString::fromLocal8Bit(e.what()));
        } catch (...) {
            Errors.Add(QStringLiteral("Unknown error"));
        }
        if (--guardDepth_ == 0) Errors.ShowPending();
    }
    void Report(const QString& errorText) {
        Errors.Add(errorText);
        if (guardDepth_ == 0) Errors.ShowPending();
    }
    // Reports a failure a journal kept for its caller, if there is one.
    void ReportIfAny(const std::optional<std::string>& failure) {
        if (failure) Report(QString::fromStdString(*failure));
    }
    TMessageBoxes& Boxes() { return *Services.Boxes; }
    // Opens a box (without waiting for it) and records it in the event journal.
    void ShowBox(const QString& title, const QString& text, TBoxIcon icon, std::function<void()> closed = {});

    // ---- The event journal ("events.txt" in the data folder). A journal that cannot be written
    // is reported once per outage and never stops anything. Side 0 is the whole program.
    void RecordEvent(int side, std::string_view kind, std::string_view detail = {});

    TFormServices Services;
    TErrorReport Errors;
    std::unique_ptr<journal::TEventJournal> Journal; // created by FormCreate
    journal::TRunJournal RunJournal{journal::RunJournalPath()};
    std::optional<journal::RunEntry> PendingResume; // an interrupted cycle while its question stands

    // ---- Safety supervision (form1_supervision.cpp): a side whose temperature has grown old
    // (stale) or that reached its temperature limit is kept off, whatever regulates it.
    supervision::TSupervisor Supervisor;
    QPushButton* ButtonPotvrdit1 = nullptr; // acknowledges side 1's temperature alarm (Panel1)
    QPushButton* ButtonPotvrdit2 = nullptr;
    QLabel* LabelMaxT1 = nullptr;           // "Tmax1 =" (tab "Regulator")
    QLineEdit* EditMaxT1 = nullptr;         // temperature limit of side 1, empty: none
    QLabel* LabelMaxT2 = nullptr;           // "Tmax2 ="
    QLineEdit* EditMaxT2 = nullptr;
    void BuildSafetyControls();             // BuildControls
    void StartSupervision();                // FormCreate: "Bezpecnost" read, ages count from now
    // A unit's temperature report: its number, or nothing when it carried none. A report that is
    // no sensible temperature counts towards a sensor fault, which switches the side off at once.
    void TemperatureArrived(int side, std::optional<double> value);
    // Judges both sides and keeps a stale, faulty or alarmed side's "Topit" box off. With sendNow,
    // a side that has just become unsafe is also sent its "=0" group at once (the display refresh
    // and a nonsense report do this, so the heater goes off within the limit whatever the control
    // period). A standing runaway sounds its unit's buzzer every 10 s.
    void SuperviseSides(bool sendNow);
    // The heater groups of a control tick have gone out: the runaway watch learns the commands.
    void HeatersCommanded();
    // The limit boxes applied at once (never restarting a cycle) and stored; a limit that cannot
    // be stored stays in force for this run, and the failure is reported. "Nastavit", Enter in a
    // limit box, and "Pouzit" (before its own apply) run it.
    void ApplySafetyLimits();
    QPushButton* ButtonMaxT = nullptr; // "Nastavit" beside the limit boxes
    void ButtonPotvrditClick(int side);
    // The latched alarms into and out of the run journal, so a crash does not release them.
    void RestoreLatches(const journal::RunEntry& entry);

    // ---- Telemetry to an MQTT broker (form1_telemetry.cpp); null while section "MQTT" names none.
    std::unique_ptr<telemetry::TTelemetry> Telemetry;
    void StartTelemetry();   // FormShow
    void PublishTelemetry(); // every display refresh
    void StopTelemetry();    // FormClose: "offline", disconnected, its thread ended

    // ---- Alarms, the status line and the record of changes (form1_alarms.cpp). Safety states
    // show in the alarm strip above the chart, not in boxes; every control stays usable.
    supervision::TAlarmList Alarms;
    TAlarmStrip* PanelAlarmy = nullptr;  // the alarm strip; its "Potvrdit" acknowledges everything
    QWidget* PanelStav = nullptr;        // the status line below the chart
    QLabel* LabelStav = nullptr;         // the cycle: "Cyklus bezi: ..."
    QLabel* LabelStav1 = nullptr;        // side 1 in its chart colour: setpoint, heating, alarms
    QLabel* LabelStav2 = nullptr;
    bool AlarmSound = true;              // section "Bezpecnost", "Zvuk" (0: alarms are not heard)
    void BuildAlarmStrip();              // the constructor: strip and status line around the chart
    // Which alarms stand, after every supervision pass and whenever a port is lost or back:
    // beginnings and ends are listed and journalled, and the strip and the big labels show them.
    void UpdateAlarms();
    void AcknowledgeAlarms(int side);    // the operator's "Potvrdit" (side 0: every alarm and note)
    // The side's latched alarms of the last run stand again: they stand in the strip with this
    // text, which is listed and journalled once (not each alarm's own beginning).
    void AlarmsRestored(int side, const std::string& text);
    void SoundAlarms();                  // every refresh: the bell and the units' buzzers
    void ShowStatus();                   // every refresh
    bool TemperatureCurrent(int side);   // no alarm says the side's temperature is old or missing
    void ChartGap();                     // a break in both measured curves (at a resume)
    void WarnProgramsAtLimit();          // Start: a program that reaches its side's limit
    // The operator's changes in the event journal, with the old and the new value.
    journal::TSettingChanges Changes;
    void RecordChange(int side, std::string_view what, const std::string& before, const std::string& after);
    void NoteAppliedSettings();          // every apply: parameters, t1, t2 and limits in effect
    void NoteLimits();

    // ---- The window's size and the panel's tab order (form1_layout.cpp).
    void ArrangeControls();              // the constructor: minimum size and tab order
    void FitPanel();                     // every resize: the page control and its lists fit the height

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void ReferenceReadWatch(); // every 50 ms while a reference is read
    void ShowReference(const report::LogTable& log, const QString& name);
    std::unique_ptr<report::TBackgroundRead> referenceRead_;
    QTimer* referenceWatch_ = nullptr;
    QString captionBeforeRead_; // shown again when a read fails
    void BuildControls();
    void ConnectEvents();
    bool HandleWindowKey(QObject* watched, QKeyEvent* key);
    std::unique_ptr<state::HeaterSwitchControl> switch1_;
    std::unique_ptr<state::HeaterSwitchControl> switch2_;
    int guardDepth_ = 0;
    bool shown_ = false;
    bool closed_ = false;
    bool terminating_ = false;
    int inPortEvent_ = 0; // > 0 while a port's notification runs
    bool drawn_ = false;  // the window has been exposed once: start-up reports may open
    void ClosePortNow(int side);
    void WindowDrawn();
    // Runs a port notification's handler: nothing once closing has begun (notifications may
    // still be queued then); a port lost inside it is closed after the hand-over.
    template <class F> void PortEvent(F&& handler) {
        if (closed_) return;
        struct TLeave {
            int& depth;
            ~TLeave() { --depth; }
        } leave{++inPortEvent_};
        handler();
    }
};
