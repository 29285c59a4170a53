// Device link of the main window: the two ports, their watchdog and lamps, received text and the
// Test path. The protocol itself lives in devicelink/RxParser.h; this file only connects it to
// the controls and the ports.
#include "app/form1.h"

#include "app/Controls.h"

#include "app/QtComSync.h"

#include "devicelink/RxParser.h"
#include "journal/EventKinds.h"
#include "platform/SerialServices.h"
#include "serial/ComPort.h"
#include "text/PlainText.h"

#include <chrono>
#include <thread>

namespace {

// What received text does to the window.
class TWindowRxEffects final : public devicelink::RxEffects {
public:
    TWindowRxEffects(TForm1& form, int side) : form_(form), side_(side) {}

    void ShowIdentification(int side, const std::string& text) override {
        (side == 1 ? form_.Label14 : form_.Label15)
            ->setText(QString::fromLatin1(text.data(), qsizetype(text.size())));
    }

    void AddCommLine(const std::string& line) override { form_.AddCommLine(line); }

    // A unit's Start or Stop runs with the window as sender, so it is not echoed to the units.
    // Its failure is reported and the rest of the batch is still parsed, so a failing apply
    // never silences the port.
    void RemoteStart() override {
        form_.CycleBy = side_ == 1 ? journal::kind::ByUnit1 : journal::kind::ByUnit2;
        form_.Guard([&] { form_.Button5Click(&form_); });
    }
    void RemoteStop() override {
        form_.CycleBy = side_ == 1 ? journal::kind::ByUnit1 : journal::kind::ByUnit2;
        form_.Guard([&] { form_.Button6Click(&form_); });
    }
    void TemperatureReported(int side, std::optional<double> value) override { form_.TemperatureArrived(side, value); }

private:
    TForm1& form_;
    int side_;
};

devicelink::RxOptions CurrentRxOptions(const TForm1& form) {
    return {form.CheckBox2->isChecked(), form.CheckBox1->isChecked()};
}

// Reads what the side's port holds and hands it to the parser. A read that finds the device
// gone closes the port; any other error here (a failing read) is reported and the handler
// returns normally, so the port's event thread lives on.
void ReceiveFromPort(TForm1& form, int side, TComPort& port, int count) {
    form.Guard([&] {
        std::string text;
        try {
            port.ReadStr(text, count);
        } catch (const EComPort& e) {
            if (!devicelink::DeviceGone(std::current_exception())) throw;
            form.PortLost(side, e.what());
            return;
        }
        TWindowRxEffects fx(form, side);
        devicelink::HandleReceived(form.S, fx, side, text, CurrentRxOptions(form));
    });
}

void TestText(TForm1& form, int side, const QLineEdit* edit) {
    const QByteArray text = edit->text().toLatin1();
    TWindowRxEffects fx(form, side);
    devicelink::HandleTestText(form.S, fx, side, std::string_view(text.constData(), std::size_t(text.size())),
                               CurrentRxOptions(form));
}

std::string PortNumberText(const std::string& portName) {
    // The name without its first three characters, whatever they are.
    return portName.size() > 3 ? portName.substr(3) : std::string();
}

} // namespace

// ---- Port creation, wiring, number display and shutdown.

void TForm1::CreatePorts() {
    std::shared_ptr<platform::ISerialServices> serial = Services.Serial;
    std::shared_ptr<TComSync> sync = Services.Sync;
    if (!sync) sync = std::make_shared<QtComSync>();
    sync->OnException = [this](std::exception_ptr error) { Guard([&] { std::rethrow_exception(error); }); };
    Com1Port = std::make_unique<TComPort>(serial, sync);
    Com1Port->SetPort("COM3");
    Com1Port->SetBaudRate(br4800);
    Com2Port = std::make_unique<TComPort>(serial, sync);
    Com2Port->SetPort("COM4");
    Com2Port->SetBaudRate(br4800);
}

void TForm1::AttachPortEvents() {
    Com1Port->OnAfterOpen = [this](TComPort*) {
        PortOpened(1);
        Com1PortAfterOpen(nullptr);
    };
    Com1Port->OnAfterClose = [this](TComPort*) { Com1PortAfterClose(nullptr); };
    Com1Port->OnRxChar = [this](TComPort*, int count) { PortEvent([&] { Com1PortRxChar(nullptr, count); }); };
    Com2Port->OnAfterOpen = [this](TComPort*) {
        PortOpened(2);
        Com2PortAfterOpen(nullptr);
    };
    Com2Port->OnAfterClose = [this](TComPort*) { Com2PortAfterClose(nullptr); };
    Com2Port->OnRxChar = [this](TComPort*, int count) { PortEvent([&] { Com2PortRxChar(nullptr, count); }); };
    // A line that hangs up (the device gone) reports an I/O error once: its port is closed.
    for (int side = 1; side <= 2; ++side) {
        (side == 1 ? Com1Port : Com2Port)->OnError = [this, side](TComPort*, TComErrors errors) {
            PortEvent([&] {
                if (errors.Contains(ceIO)) PortLost(side, "I/O error");
            });
        };
    }
}

void TForm1::ShowPortNumbers() {
    SetText(Edit6, PortNumberText(Com1Port->Port()));
    SetText(Edit9, PortNumberText(Com2Port->Port()));
}

void TForm1::ClosePorts() {
    Com1Port->SetConnected(false);
    Com2Port->SetConnected(false);
}

// ---- Received text and the Test path.

void TForm1::AddCommLine(const std::string& line) {
    // The newest lines stay; the oldest fall off the bottom. What a unit sent is shown as plain
    // text on one line: its control characters replaced.
    AddListLine(ListBox2, plaintext::OneLineLatin1(line), devicelink::CommListLimit);
}

void TForm1::ParseRxChar(int side, char ch) {
    TWindowRxEffects fx(*this, side);
    devicelink::ParseRxChar(S, fx, side, ch);
}

void TForm1::Com1PortRxChar(QObject*, int Count) {
    ReceiveFromPort(*this, 1, *Com1Port, Count);
}
void TForm1::Com2PortRxChar(QObject*, int Count) {
    ReceiveFromPort(*this, 2, *Com2Port, Count);
}

void TForm1::Button9Click(QObject*) {
    TestText(*this, 1, Edit13);
}
void TForm1::Button10Click(QObject*) {
    TestText(*this, 2, Edit14);
}

// ---- Lamps.

void TForm1::Com1PortAfterOpen(QObject*) {
    Com1Port->SetDTR(true);
    Com1Port->SetRTS(false);
    Shape2->SetBrushColor(colors::Lime);
}

void TForm1::Com1PortAfterClose(QObject*) {
    Shape2->SetBrushColor(colors::Red);
}

void TForm1::Com2PortAfterOpen(QObject*) {
    Com2Port->SetDTR(true);
    Com2Port->SetRTS(false);
    Shape4->SetBrushColor(colors::Lime);
}

void TForm1::Com2PortAfterClose(QObject*) {
    Shape4->SetBrushColor(colors::Red);
}

// ---- The watchdog and the apply.

void TForm1::COMTimerTimer(QObject*) {
    // Opens what is closed; a port that cannot be opened is simply tried again next second.
    // Once closing has begun, nothing opens again.
    if (Closing()) return;
    for (TComPort* port : {Com1Port.get(), Com2Port.get()}) {
        if (port->Connected()) continue;
        try {
            port->Open();
        } catch (const std::exception&) {
        }
    }
}

void TForm1::Button1Click(QObject*) {
    // The ports as they were, for the journal.
    const std::string before1 = Com1Port->Port() + ", " + BaudRateToStr(Com1Port->BaudRate()) + " Bd";
    const std::string before2 = Com2Port->Port() + ", " + BaudRateToStr(Com2Port->BaudRate()) + " Bd";
    Label14->setText(QStringLiteral("N/A"));
    Label15->setText(QStringLiteral("N/A"));
    struct Row {
        TComPort* port;
        QLineEdit* edit;
        const char* failure;
    };
    for (const Row& row : {Row{Com1Port.get(), Edit6, "Nelze otevrit COM port 1."},
                           Row{Com2Port.get(), Edit9, "Nelze otevrit COM port 2."}}) {
        row.port->SetConnected(false);
        row.port->SetPort("COM" + row.edit->text().toStdString());
        const int side = row.port == Com1Port.get() ? 1 : 2;
        RecordChange(side, side == 1 ? "Port 1" : "Port 2", side == 1 ? before1 : before2,
                     row.port->Port() + ", " + BaudRateToStr(row.port->BaudRate()) + " Bd");
        try {
            row.port->SetConnected(true);
        } catch (const std::exception&) {
            ShowBox(QStringLiteral("Error"), QString::fromLatin1(row.failure), TBoxIcon::None);
        }
        if (row.port->Connected()) row.port->WriteStr("!");
        // The unit's answer waits in the input queue; it is read once the window handles
        // events again.
        if (Services.PortPause) {
            Services.PortPause(200);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    SaveSerialSettings();
    Button1->hide();
}

void TForm1::Edit6Change(QObject*) {
    Button1->show();
}
