// Autotune handlers of the main window: the "Autotune" button on the "Regulator" tab opens the
// autotune window beside the main window; the control tick keeps each side's recent response and
// lets a side under the relay test take the test's heater command; Start, Stop and a failing tick
// end the test. A side under test is marked where its "Topit" box is.
//
// A side's own controller parameters live here too: an accepted proposal becomes the tested
// side's own set, and the "Regulator" tab says which sides have one.
#include "app/form1.h"

#include "app/AutotuneWindow.h"
#include "app/Controls.h"

#include "persistence/Settings.h"
#include "regulation/Controller.h"
#include "text/NumText.h"

namespace {

QCheckBox* HeaterBox(TForm1& f, int side) { return side == 1 ? f.CheckBoxTopeni1 : f.CheckBoxTopeni2; }
QLabel* TestMark(TForm1& f, int side) { return side == 1 ? f.LabelAutotune1 : f.LabelAutotune2; }

const QColor UnderTest{255, 200, 0};

} // namespace

void TForm1::BuildAutotune() {
    ButtonAutotune = new QPushButton(QStringLiteral("Autotune"), TabSheet1);
    ButtonAutotune->setObjectName(QStringLiteral("ButtonAutotune"));
    ButtonAutotune->setGeometry(135, 184, 72, 25);
    ButtonAutotune->setAutoDefault(false);
    connect(ButtonAutotune, &QPushButton::clicked, this, [this] { Guard([&] { ButtonAutotuneClick(ButtonAutotune); }); });

    // The mark of a side under test lies over its "Topit" box: while the test drives the heater,
    // the box is not the operator's.
    LabelAutotune1 = new QLabel(Panel1);
    LabelAutotune2 = new QLabel(Panel1);
    LabelAutotune1->setObjectName(QStringLiteral("LabelAutotune1"));
    LabelAutotune2->setObjectName(QStringLiteral("LabelAutotune2"));
    LabelAutotune1->setGeometry(6, 23, 68, 19);
    LabelAutotune2->setGeometry(6, 62, 68, 19);
    for (QLabel* l : {LabelAutotune1, LabelAutotune2}) {
        QPalette p = l->palette();
        p.setColor(QPalette::Window, UnderTest);
        p.setColor(QPalette::WindowText, colors::Black);
        l->setPalette(p);
        l->setAutoFillBackground(true);
        l->setAlignment(Qt::AlignCenter);
        l->hide();
    }

    // Below the limit rows of the same tab.
    LabelParametry = new QLabel(TabSheet1);
    LabelParametry->setObjectName(QStringLiteral("LabelParametry"));
    LabelParametry->move(12, 273);
    LabelParametry->hide();
}

void TForm1::ButtonAutotuneClick(QObject*) {
    if (AutotuneWindow == nullptr) {
        AutotuneWindow = new TAutotuneWindow(*this);
        AutotuneWindow->PlaceBeside();
    }
    if (!AutotuneWindow->Running() && !AutotuneWindow->isVisible()) AutotuneWindow->Prepare();
    AutotuneWindow->show();
    AutotuneWindow->raise();
    AutotuneWindow->activateWindow();
}

void TForm1::AutotuneTick() {
    if (AutotuneWindow != nullptr) {
        AutotuneWindow->Poll();
        if (AutotuneWindow->Running()) {
            const int side = AutotuneWindow->Side();
            const auto heater = AutotuneWindow->Tick(S.SideState[side].Temperature, S.ControlPeriod);
            if (heater) HeaterBox(*this, side)->setChecked(*heater);
        }
    }
    for (int side = 1; side <= state::SideCount; ++side)
        RecentResponse[side].Add(S.ControlPeriod, S.SideState[side].Temperature, HeaterBox(*this, side)->isChecked());
}

int TForm1::AutotuneSide() const {
    return AutotuneWindow != nullptr && AutotuneWindow->Running() ? AutotuneWindow->Side() : 0;
}

std::optional<double> TForm1::AutotuneSetpoint(int side) const {
    if (AutotuneSide() != side || AutotuneWindow->Test() == nullptr) return std::nullopt;
    return AutotuneWindow->Test()->Settings().Setpoint;
}

void TForm1::ShowAutotuneSide() {
    for (int side = 1; side <= state::SideCount; ++side) {
        QLabel* mark = TestMark(*this, side);
        const auto setpoint = AutotuneSetpoint(side);
        mark->setVisible(setpoint.has_value());
        if (!setpoint) continue;
        SetText(mark, "Test " + numtext::FormatFloat(*setpoint));
        mark->setToolTip(QStringLiteral("Strana %1: autotune, topeni zapina a vypina test kolem %2 C")
                             .arg(side)
                             .arg(QString::fromStdString(numtext::FormatFloat(*setpoint))));
        mark->raise();
    }
}

bool TForm1::CycleRunning() const {
    return CheckBoxRegulace->isChecked() && CheckBox3->isChecked() && !S.CycleEnded;
}

void TForm1::AutotuneStop(const std::string& reason) {
    if (AutotuneWindow != nullptr) AutotuneWindow->Cancel(reason);
}

void TForm1::ApplySideParameters(int side, const std::optional<state::SideParameters>& own) {
    std::optional<state::SideParameters> next = own;
    if (next) regulation::ComputeSideCoefficients(*next, S.ControlPeriod);
    if (next) {
        persistence::WriteSideParameters(side, numtext::FormatFloat(next->r0), numtext::FormatFloat(next->Ti),
                                         numtext::FormatFloat(next->Td));
    } else {
        persistence::WriteSideParameters(side, {}, {}, {});
    }
    S.OwnParameters[side] = next;
    // The lags held what the old coefficients made of the heater; the new ones start afresh, as
    // at every apply.
    S.SideState[side].FastLag = 0.0;
    S.SideState[side].SlowLag = 0.0;
    ShowSideParameters();
    if (AutotuneWindow != nullptr) AutotuneWindow->ShowSides();
}

void TForm1::ShowSideParameters() {
    const bool own1 = S.OwnParameters[1].has_value(), own2 = S.OwnParameters[2].has_value();
    LabelParametry->setVisible(own1 || own2);
    if (!own1 && !own2) return;
    LabelParametry->setText(own1 && own2 ? QStringLiteral("Strany 1 a 2: vlastni r0, Ti, Td")
                                         : QStringLiteral("Strana %1: vlastni r0, Ti, Td").arg(own1 ? 1 : 2));
    LabelParametry->adjustSize();
    QStringList tip;
    for (int side = 1; side <= state::SideCount; ++side) {
        if (const auto& p = S.OwnParameters[side]) {
            tip << QStringLiteral("Strana %1: r0 = %2, Ti = %3, Td = %4")
                       .arg(side)
                       .arg(QString::fromStdString(numtext::FormatFloat(p->r0)),
                            QString::fromStdString(numtext::FormatFloat(p->Ti)),
                            QString::fromStdString(numtext::FormatFloat(p->Td)));
        } else {
            tip << QStringLiteral("Strana %1: r0, Ti, Td z poli vyse").arg(side);
        }
    }
    LabelParametry->setToolTip(tip.join(QLatin1Char('\n')));
}
