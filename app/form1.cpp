#include "app/form1.h"

#include "app/Controls.h"

#include "journal/EventKinds.h"
#include "persistence/DataLog.h"
#include "serial/ComPort.h"
#include "text/PlainText.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QProxyStyle>
#include <QShowEvent>
#include <QTabBar>
#include <QTimer>
#include <QWindow>

namespace {

// The "Topit" check box of a side, as the regulator state sees it: its checked state is the
// heater command, and changing it runs the box's handler (through QCheckBox::toggled).
class TCheckBoxSwitch : public state::HeaterSwitchControl {
public:
    explicit TCheckBoxSwitch(QCheckBox* box) : box_(box) {}
    bool Checked() const override { return box_->isChecked(); }
    void SetChecked(bool on) override { box_->setChecked(on); }

private:
    QCheckBox* box_;
};

QFont WindowFont(int pixelSize, bool bold) {
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    return f;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y, bool bold = false) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    if (bold) l->setFont(WindowFont(11, true));
    l->move(x, y);
    l->adjustSize();
    return l;
}

QLabel* MakeBigLabel(QWidget* parent, const char* name, const QString& text, QRect geometry, QColor colour,
                     Qt::Alignment align) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setFont(WindowFont(32, true));
    SetFontColour(l, colour);
    l->setAlignment(align | Qt::AlignVCenter);
    l->setGeometry(geometry);
    return l;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(geometry);
    return e;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& text, int x, int y, bool checked) {
    auto* c = new QCheckBox(text, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setChecked(checked);
    c->move(x, y);
    c->adjustSize();
    return c;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

TShape* MakeShape(QWidget* parent, const char* name, QColor colour, QRect geometry) {
    auto* s = new TShape(parent, colour);
    s->setObjectName(QString::fromLatin1(name));
    s->setGeometry(geometry);
    return s;
}

QListWidget* MakeList(QWidget* parent, const char* name, QRect geometry) {
    auto* l = new QListWidget(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    return l;
}

QWidget* MakeTab(QTabWidget* t, const char* name, const QString& caption) {
    auto* w = new QWidget;
    w->setObjectName(QString::fromLatin1(name));
    t->addTab(w, caption);
    return w;
}

// Tabs with less room around their captions, so the four of them fit in the panel's width.
class TNarrowTabsStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_TabBarTabHSpace) return 10;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

constexpr int ClientWidth = 1016;
constexpr int ClientHeight = 570;
constexpr int Panel1Width = 217;
constexpr int PageControlHeight = 321;
// Start-up reports open once the window has been drawn, or after this long at the latest.
constexpr int StartupReportLimitMs = 3000;

} // namespace

TForm1::TForm1(const TFormServices& services, QWidget* parent)
    : QWidget(parent), Services(services), Errors(*services.Boxes) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Regulace teploty v2.9"));
    setFont(WindowFont(11, false));
    resize(ClientWidth, ClientHeight);
    BuildControls();
    ConnectEvents();
    BuildAutotune();
    BuildAlarmStrip(); // the alarm strip and the status line around the chart (form1_alarms.cpp)
    ArrangeControls(); // the minimum size and the tab order (form1_layout.cpp)
    qApp->installEventFilter(this);
    // Reports raised before the window is on the screen wait until it is (a box on an empty
    // screen says nothing about what failed).
    Errors.SetHeld(true);
    Guard([&] { FormCreate(this); });
}

TForm1::~TForm1() {
    qApp->removeEventFilter(this);
    closed_ = true; // a notification served while the ports close finds the window going
    // The ports close (with their notifications) before the controls they paint go away.
    Com1Port.reset();
    Com2Port.reset();
}

void TForm1::BuildControls() {
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    PanelGraf = new QWidget(this);
    PanelGraf->setObjectName(QStringLiteral("PanelGraf"));

    QWidget* p = Panel1;
    // Side 1 and side 2: heater switch, heater lamp and the big temperature.
    Label1 = MakeLabel(p, "Label1", QStringLiteral("Strana 1:"), 8, 8, true);
    CheckBoxTopeni1 = MakeCheck(p, "CheckBoxTopeni1", QStringLiteral("Topit"), 8, 24, false);
    Shape1 = MakeShape(p, "Shape1", colors::Grey, QRect(76, 10, 22, 29));
    LabelTeplota1 = MakeBigLabel(p, "LabelTeplota1", QStringLiteral("200,1"), QRect(119, 5, 90, 39), colors::Green,
                                 Qt::AlignHCenter);
    Label12 = MakeLabel(p, "Label12", QStringLiteral("Strana 2:"), 8, 47, true);
    CheckBoxTopeni2 = MakeCheck(p, "CheckBoxTopeni2", QStringLiteral("Topit"), 8, 63, false);
    Shape3 = MakeShape(p, "Shape3", colors::Grey, QRect(76, 49, 22, 29));
    LabelTeplota2 = MakeBigLabel(p, "LabelTeplota2", QStringLiteral("200,1"), QRect(119, 44, 90, 39), colors::Green,
                                 Qt::AlignHCenter);
    // Cycle time and the length of the last cycle.
    Label9 = MakeLabel(p, "Label9", QStringLiteral("Cas:"), 8, 95, true);
    Label10 = MakeBigLabel(p, "Label10", QStringLiteral("NA"), QRect(30, 81, 68, 39), colors::Blue, Qt::AlignRight);
    Label25 = MakeLabel(p, "Label25", QStringLiteral("Posledni"), 102, 87, true);
    Label27 = MakeLabel(p, "Label27", QStringLiteral("cyklus:"), 102, 101, true);
    Label26 = MakeBigLabel(p, "Label26", QStringLiteral("NA"), QRect(150, 81, 62, 39), colors::Black, Qt::AlignRight);
    // Setpoints, regulation switches and cycle length.
    Label2 = MakeLabel(p, "Label2", QStringLiteral("Zadana 1:"), 8, 129);
    Edit1 = MakeEdit(p, "Edit1", QStringLiteral("150"), QRect(64, 125, 41, 21));
    CheckBoxRegulace = MakeCheck(p, "CheckBoxRegulace", QStringLiteral("Regulovat"), 118, 127, false);
    CheckBox3 = MakeCheck(p, "CheckBox3", QStringLiteral("Na prubeh"), 118, 151, true);
    Label18 = MakeLabel(p, "Label18", QStringLiteral("Zadana 2:"), 8, 153);
    Edit12 = MakeEdit(p, "Edit12", QStringLiteral("150"), QRect(64, 149, 41, 21));
    Label21 = MakeLabel(p, "Label21", QStringLiteral("Doba cyklu:"), 8, 175);
    Edit15 = MakeEdit(p, "Edit15", QStringLiteral("180"), QRect(72, 171, 41, 21));
    Label22 = MakeLabel(p, "Label22", QStringLiteral("s"), 118, 175);
    // The two big buttons.
    Button5 = MakeButton(p, "Button5", QStringLiteral("Start cyklu"), QRect(8, 194, 105, 49));
    Button6 = MakeButton(p, "Button6", QStringLiteral("STOP"), QRect(122, 194, 75, 49));
    for (QPushButton* b : {Button5, Button6}) {
        b->setFont(WindowFont(16, true));
        b->setDefault(true); // both carry the default-button mark; Enter clicks "Start cyklu"
    }

    // The page control at the bottom of Panel1.
    t = new QTabWidget(p);
    t->setObjectName(QStringLiteral("t"));
    t->setGeometry(0, ClientHeight - PageControlHeight - 1, Panel1Width, PageControlHeight);
    // Four tabs side by side in the panel's 217 px, as narrow as the captions allow.
    t->setUsesScrollButtons(false);
    t->tabBar()->setExpanding(false);
    auto* tabStyle = new TNarrowTabsStyle;
    tabStyle->setParent(t);
    t->tabBar()->setStyle(tabStyle);

    TabSheet1 = MakeTab(t, "TabSheet1", QStringLiteral("Regulator"));
    {
        QWidget* s = TabSheet1;
        const char* labelNames[] = {"Label6", "Label7", "Label8", "Label11", "Label23", "Label24"};
        const QString captions[] = {QStringLiteral("r0 ="), QStringLiteral("Ti ="),  QStringLiteral("Td ="),
                                    QStringLiteral("Tvz ="), QStringLiteral("t1 ="), QStringLiteral("t2 =")};
        QLabel** labels[] = {&Label6, &Label7, &Label8, &Label11, &Label23, &Label24};
        const char* editNames[] = {"Edit2", "Edit3", "Edit4", "Edit8", "Edit16", "Edit17"};
        const QString texts[] = {QStringLiteral("0,01995"), QStringLiteral("31,5"), QStringLiteral("2,35"),
                                 QStringLiteral("5"),       QStringLiteral("180"),  QStringLiteral("180")};
        QLineEdit** edits[] = {&Edit2, &Edit3, &Edit4, &Edit8, &Edit16, &Edit17};
        for (int i = 0; i < 6; ++i) {
            const int y = 12 + 28 * i;
            *labels[i] = MakeLabel(s, labelNames[i], captions[i], 12, y + 3);
            *edits[i] = MakeEdit(s, editNames[i], texts[i], QRect(52, y, 89, 21));
        }
        Button4 = MakeButton(s, "Button4", QStringLiteral("Pouzit"), QRect(52, 184, 75, 25));
    }

    TabSheet3 = MakeTab(t, "TabSheet3", QStringLiteral("COM"));
    {
        QWidget* s = TabSheet3;
        Shape2 = MakeShape(s, "Shape2", colors::Red, QRect(6, 8, 16, 16));
        Label3 = MakeLabel(s, "Label3", QStringLiteral("Port:"), 28, 10);
        Edit6 = MakeEdit(s, "Edit6", QStringLiteral("1"), QRect(60, 6, 30, 21));
        Label14 = MakeLabel(s, "Label14", QStringLiteral("N/A"), 96, 10);
        Shape4 = MakeShape(s, "Shape4", colors::Red, QRect(6, 34, 16, 16));
        Label13 = MakeLabel(s, "Label13", QStringLiteral("Port:"), 28, 36);
        Edit9 = MakeEdit(s, "Edit9", QStringLiteral("2"), QRect(60, 32, 30, 21));
        Label15 = MakeLabel(s, "Label15", QStringLiteral("N/A"), 96, 36);
        Button1 = MakeButton(s, "Button1", QStringLiteral("Pouzit"), QRect(140, 18, 60, 25));
        Button1->hide();
        CheckBox1 = MakeCheck(s, "CheckBox1", QStringLiteral("Simulace"), 6, 60, false);
        CheckBox2 = MakeCheck(s, "CheckBox2", QStringLiteral("Ukaz vse"), 100, 60, false);
        ListBox2 = MakeList(s, "ListBox2", QRect(4, 82, 205, 138));
        // Every received batch goes to the top of the communication list while "Ukaz vse" is
        // checked. All its rows are one line high, so the view need not measure each of up to a
        // thousand (possibly long) rows again at every insert: that kept a flooded line from
        // starving the timers.
        ListBox2->setUniformItemSizes(true);
        Label19 = MakeLabel(s, "Label19", QStringLiteral("Port 1:"), 6, 230);
        Edit13 = MakeEdit(s, "Edit13", QStringLiteral("@Pt1&"), QRect(50, 226, 100, 21));
        Button9 = MakeButton(s, "Button9", QStringLiteral("Test"), QRect(156, 225, 50, 23));
        Label20 = MakeLabel(s, "Label20", QStringLiteral("Port 2:"), 6, 258);
        Edit14 = MakeEdit(s, "Edit14", QStringLiteral("@Pt2"), QRect(50, 254, 100, 21));
        Button10 = MakeButton(s, "Button10", QStringLiteral("Test"), QRect(156, 253, 50, 23));
    }

    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setFixedPitch(true);
    fixed.setPointSize(8);
    auto buildProgramTab = [&](const char* tabName, const QString& caption, QWidget*& tab, const char* listName,
                               QListWidget*& list, const char* delName, QPushButton*& del, const char* timeLabel,
                               QLabel*& lTime, const char* timeEdit, QLineEdit*& eTime, const char* tempLabel,
                               QLabel*& lTemp, const char* tempEdit, QLineEdit*& eTemp, const char* addName,
                               QPushButton*& add) {
        tab = MakeTab(t, tabName, caption);
        list = MakeList(tab, listName, QRect(4, 4, 140, 262));
        list->setFont(fixed);
        list->addItem(QStringLiteral("  Cas     Teplota"));
        list->addItem(QStringLiteral("=================="));
        del = MakeButton(tab, delName, QStringLiteral("Smazat"), QRect(150, 4, 58, 25));
        del->setEnabled(false);
        lTime = MakeLabel(tab, timeLabel, QStringLiteral("Cas:"), 150, 44);
        eTime = MakeEdit(tab, timeEdit, QStringLiteral("10"), QRect(150, 60, 58, 21));
        lTemp = MakeLabel(tab, tempLabel, QStringLiteral("Teplota:"), 150, 90);
        eTemp = MakeEdit(tab, tempEdit, QStringLiteral("100"), QRect(150, 106, 58, 21));
        add = MakeButton(tab, addName, QStringLiteral("Pridat"), QRect(150, 136, 58, 25));
    };
    buildProgramTab("TabSheet4", QStringLiteral("Prubeh 1"), TabSheet4, "ListBox1", ListBox1, "Button2", Button2,
                    "Label4", Label4, "Edit5", Edit5, "Label5", Label5, "Edit7", Edit7, "Button3", Button3);
    buildProgramTab("TabSheet5", QStringLiteral("Prubeh 2"), TabSheet5, "ListBox3", ListBox3, "Button7", Button7,
                    "Label16", Label16, "Edit10", Edit10, "Label17", Label17, "Edit11", Edit11, "Button8", Button8);
    t->setCurrentWidget(TabSheet3); // the "COM" tab is the one shown at start

    // Timers: intervals and enabled states at start.
    TimerCas = new TTimer(this, 100, true);
    TimerRegulator = new TTimer(this, 100, true);
    TimerUkaz = new TTimer(this, 500, true);
    TimerSimulace = new TTimer(this, 100, false);
    COMTimer = new TTimer(this, 1000, true);
    TimerCas->setObjectName(QStringLiteral("TimerCas"));
    TimerRegulator->setObjectName(QStringLiteral("TimerRegulator"));
    TimerUkaz->setObjectName(QStringLiteral("TimerUkaz"));
    TimerSimulace->setObjectName(QStringLiteral("TimerSimulace"));
    COMTimer->setObjectName(QStringLiteral("COMTimer"));

    // Keyboard actions. Their keys are matched window-wide in eventFilter, before the focused
    // control sees them, so the actions are not added to any widget's shortcut map.
    Start = new QAction(QStringLiteral("Start"), this);
    Start->setObjectName(QStringLiteral("Start"));
    Start->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_S), QKeySequence(Qt::Key_F1)});
    Stop = new QAction(QStringLiteral("Stop"), this);
    Stop->setObjectName(QStringLiteral("Stop"));
    Stop->setShortcuts({QKeySequence(Qt::Key_Delete), QKeySequence(Qt::Key_F2)});

    BuildSafetyControls(); // the acknowledge buttons and the limit rows (form1_supervision.cpp)

    switch1_ = std::make_unique<TCheckBoxSwitch>(CheckBoxTopeni1);
    switch2_ = std::make_unique<TCheckBoxSwitch>(CheckBoxTopeni2);
}

void TForm1::ConnectEvents() {
    auto click = [this](QPushButton* b, void (TForm1::*handler)(QObject*)) {
        connect(b, &QPushButton::clicked, this, [this, b, handler] { Guard([&] { (this->*handler)(b); }); });
    };
    click(Button1, &TForm1::Button1Click);
    click(Button2, &TForm1::Button2Click);
    click(Button3, &TForm1::Button3Click);
    click(Button4, &TForm1::Button4Click);
    click(Button5, &TForm1::Button5Click);
    click(Button6, &TForm1::Button6Click);
    click(Button7, &TForm1::Button7Click);
    click(Button8, &TForm1::Button8Click);
    click(Button9, &TForm1::Button9Click);
    click(Button10, &TForm1::Button10Click);

    auto toggled = [this](QCheckBox* c, void (TForm1::*handler)(QObject*)) {
        connect(c, &QCheckBox::toggled, this, [this, c, handler] { Guard([&] { (this->*handler)(c); }); });
    };
    toggled(CheckBox1, &TForm1::CheckBox1Click);
    toggled(CheckBoxRegulace, &TForm1::CheckBoxRegulaceClick);
    toggled(CheckBoxTopeni1, &TForm1::CheckBoxTopeni1Click);
    toggled(CheckBoxTopeni2, &TForm1::CheckBoxTopeni2Click);

    connect(Edit6, &QLineEdit::textChanged, this, [this] { Guard([&] { Edit6Change(Edit6); }); });
    connect(Edit9, &QLineEdit::textChanged, this, [this] { Guard([&] { Edit6Change(Edit9); }); });
    connect(ListBox1, &QListWidget::currentRowChanged, this, [this] { Guard([&] { ListBox1Click(ListBox1); }); });
    connect(ListBox3, &QListWidget::currentRowChanged, this, [this] { Guard([&] { ListBox3Click(ListBox3); }); });
    // A Ctrl+click can clear the selection without moving the current row.
    connect(ListBox1, &QListWidget::itemSelectionChanged, this, [this] { Guard([&] { ListBox1Click(ListBox1); }); });
    connect(ListBox3, &QListWidget::itemSelectionChanged, this, [this] { Guard([&] { ListBox3Click(ListBox3); }); });

    auto tick = [this](TTimer* timer, void (TForm1::*handler)(QObject*)) {
        timer->OnTimer = [this, timer, handler] {
            if (closed_) return; // a tick that was already due when closing began
            Guard([&] { (this->*handler)(timer); });
        };
    };
    tick(TimerCas, &TForm1::TimerCasTimer);
    tick(TimerRegulator, &TForm1::TimerRegulatorTimer);
    tick(TimerUkaz, &TForm1::TimerUkazTimer);
    tick(TimerSimulace, &TForm1::TimerSimulaceTimer);
    tick(COMTimer, &TForm1::COMTimerTimer);

    connect(Start, &QAction::triggered, this, [this] { Guard([&] { Button5Click(Start); }); });
    connect(Stop, &QAction::triggered, this, [this] { Guard([&] { Button6Click(Stop); }); });
}

// ---- Lifecycle.

void TForm1::FormCreate(QObject*) {
    Journal = std::make_unique<journal::TEventJournal>(persistence::DataLogDir());
    Errors.OnShown = [this](const QString& shown) { RecordEvent(0, journal::kind::Report, shown.toStdString()); };
    S.LogOpen = false;
    CreateChart();
    CreatePorts();
    S.ProgramCount[1] = 0;
    S.ProgramCount[2] = 0;
    LoadSettings();
    StartSupervision(); // the safety limits of "Bezpecnost"; temperature ages count from here
    AttachPortEvents();
    S.SideState[1].HeaterSwitch = switch1_.get();
    S.SideState[2].HeaterSwitch = switch2_.get();
    S.SideState[1].Temperature = 19.0;
    S.SideState[2].Temperature = 21.0;
    for (int side = 1; side <= 2; ++side)
        for (int j = 1; j <= state::HeaterHistoryLength; ++j) S.SideState[side].HeaterHistory[j] = false;
    S.ResetCycleTime();
}

void TForm1::FormShow(QObject*) {
    ShowPortNumbers();
    Button1->hide();
    // Each of the following steps is guarded on its own: one bad value in the settings file (a
    // parameter outside the model's domain, say) is reported, and the program still gets its
    // programs drawn, its log opened and its receive parsers reset.
    Guard([&] { CheckBoxRegulaceClick(this); });
    Guard([&] { RenderPrograms(); });
    Guard([&] { OpenDataLog(); });
    S.RxState[1] = state::RxIdle;
    S.RxState[2] = state::RxIdle;
    StartTelemetry(); // telemetry
    RecordEvent(0, journal::kind::ProgramStart, windowTitle().toStdString());
    ResumeAfterOutage();
}

void TForm1::FormClose(QObject*) {
    // Closing is final: the timers stop first, so no tick, watchdog opening or port event runs
    // while the rest closes or while a report of it stands open.
    StopClockwork();
    referenceRead_.reset(); // a reference still being read is stopped
    // Closing must always succeed: a log that cannot be closed, a port that fails to close or a
    // settings file that cannot be written is reported, and the window closes all the same.
    FinishRunJournal();
    Guard([&] { CloseDataLog(); });
    // No heater stays on with nothing regulating it: each unit is told to switch off first.
    Guard([&] { HeatersOffAtExit(); });
    Guard([&] { ClosePorts(); });
    Guard([&] { SaveWindowSettings(); });
    if (terminating_) {
        // Nobody waits for a click: what was to be reported goes to the journal.
        for (const QString& text : Errors.TakeUnshown()) RecordEvent(0, journal::kind::Report, text.toStdString());
    }
    RecordEvent(0, journal::kind::ProgramExit, terminating_ ? "ukonceni systemem" : "");
    StopTelemetry(); // telemetry
}

void TForm1::ShowBox(const QString& title, const QString& text, TBoxIcon icon, std::function<void()> closed) {
    const QString plain = QString::fromStdString(plaintext::OneLine(text.toStdString()));
    RecordEvent(0, journal::kind::Report, (title + QStringLiteral(": ") + plain).toStdString());
    Boxes().Show(title, plain, icon, std::move(closed));
}

void TForm1::RecordEvent(int side, std::string_view kind, std::string_view detail) {
    if (!Journal) return;
    Journal->Record(side, kind, detail);
    ReportIfAny(Journal->TakeFailure());
}

void TForm1::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (shown_) return;
    shown_ = true;
    Guard([&] { FormShow(this); });
    // Should the window never be reported drawn, the start-up reports still open.
    QTimer::singleShot(StartupReportLimitMs, this, [this] { WindowDrawn(); });
}

void TForm1::WindowDrawn() {
    if (drawn_) return;
    drawn_ = true;
    Errors.SetHeld(false);
}

void TForm1::closeEvent(QCloseEvent* e) {
    if (terminating_) {
        Errors.SetHeld(true); // the program ends now: nothing more opens
    } else {
        WindowDrawn(); // whatever is reported now is shown, drawn window or not
    }
    if (!closed_) {
        closed_ = true;
        Guard([&] { FormClose(this); });
    }
    if (!Errors.Idle() && !terminating_) {
        // A report of the closing (an unwritable settings file) must still be read: the window,
        // with everything stopped, stays until the operator has closed the last report.
        Errors.OnIdle = [this] {
            QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
        };
        e->ignore();
        return;
    }
    e->accept();
}

void TForm1::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int h = height();
    Panel1->setGeometry(0, 0, Panel1Width, h);
    PanelGraf->setGeometry(Panel1Width, 0, std::max(0, width() - Panel1Width), h);
    FitPanel(); // the page control at the bottom of Panel1, as high as there is room for
}

// ---- Keys.

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    if (!drawn_ && e->type() == QEvent::Expose && watched == windowHandle()) {
        // The window paints as this exposure is handled; reports held since start-up open after.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (windowHandle() && windowHandle()->isExposed()) WindowDrawn();
            },
            Qt::QueuedConnection);
    }
    if (e->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this && HandleWindowKey(watched, static_cast<QKeyEvent*>(e))) return true;
    }
    return QWidget::eventFilter(watched, e);
}

bool TForm1::HandleWindowKey(QObject* watched, QKeyEvent* key) {
    // The first delivery of a key press is to the control that has the focus; a key handled here
    // is consumed, so it never reaches that control (Del deletes no character in an edit box).
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    const QKeySequence pressed(QKeyCombination(modifiers, Qt::Key(key->key())));
    for (QAction* action : {Start, Stop}) {
        for (const QKeySequence& s : action->shortcuts()) {
            if (s == pressed) {
                action->trigger();
                return true;
            }
        }
    }
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        // A push button takes Enter itself; every other control passes it to the default button,
        // "Start cyklu".
        if (auto* b = qobject_cast<QPushButton*>(watched)) {
            b->click();
            return true;
        }
        // The limit boxes take Enter themselves: it applies the limits, never a Start.
        if (watched == EditMaxT1 || watched == EditMaxT2) {
            ButtonMaxT->click();
            return true;
        }
        Button5->click();
        return true;
    }
    return false;
}
