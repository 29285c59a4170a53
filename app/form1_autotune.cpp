// Autotune handlers of the main window: the "Autotune" button on the "Regulator" tab opens the
// autotune window; the control tick lets a side under the relay test take the test's heater
// command; Start, Stop and a failing tick end the test.
#include "app/form1.h"

#include "app/AutotuneWindow.h"

void TForm1::BuildAutotune() {
    ButtonAutotune = new QPushButton(QStringLiteral("Autotune"), TabSheet1);
    ButtonAutotune->setObjectName(QStringLiteral("ButtonAutotune"));
    ButtonAutotune->setGeometry(135, 184, 72, 25);
    ButtonAutotune->setAutoDefault(false);
    connect(ButtonAutotune, &QPushButton::clicked, this, [this] { Guard([&] { ButtonAutotuneClick(ButtonAutotune); }); });
}

void TForm1::ButtonAutotuneClick(QObject*) {
    if (AutotuneWindow == nullptr) AutotuneWindow = new TAutotuneWindow(*this);
    if (!AutotuneWindow->Running() && !AutotuneWindow->isVisible()) AutotuneWindow->Prepare();
    AutotuneWindow->show();
    AutotuneWindow->raise();
    AutotuneWindow->activateWindow();
}

void TForm1::AutotuneTick() {
    if (AutotuneWindow == nullptr) return;
    AutotuneWindow->Poll();
    if (!AutotuneWindow->Running()) return;
    const int side = AutotuneWindow->Side();
    const auto heater = AutotuneWindow->Tick(S.SideState[side].Temperature, S.ControlPeriod);
    if (heater) (side == 1 ? CheckBoxTopeni1 : CheckBoxTopeni2)->setChecked(*heater);
}

int TForm1::AutotuneSide() const {
    return AutotuneWindow != nullptr && AutotuneWindow->Running() ? AutotuneWindow->Side() : 0;
}

void TForm1::AutotuneStop(const std::string& reason) {
    if (AutotuneWindow != nullptr) AutotuneWindow->Cancel(reason);
}
