// Device link of the main window: the two ports, their watchdog and lamps, received text and the
// Test path.
#include "app/form1.h"

void TForm1::CreatePorts() {}
void TForm1::AttachPortEvents() {}
void TForm1::ShowPortNumbers() {}
void TForm1::ClosePorts() {}
void TForm1::ParseRxChar(int, char) {}
void TForm1::Com1PortRxChar(QObject*, int) {}
void TForm1::Com2PortRxChar(QObject*, int) {}
void TForm1::Com1PortAfterOpen(QObject*) {}
void TForm1::Com1PortAfterClose(QObject*) {}
void TForm1::Com2PortAfterOpen(QObject*) {}
void TForm1::Com2PortAfterClose(QObject*) {}
void TForm1::Button9Click(QObject*) {}
void TForm1::Button10Click(QObject*) {}
void TForm1::COMTimerTimer(QObject*) {}
void TForm1::Button1Click(QObject*) {}
void TForm1::Edit6Change(QObject*) {}
