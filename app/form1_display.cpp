// Display refresh and data log of the main window, and the chart it draws on.
#include "app/form1.h"

void TForm1::CreateChart() {}
void TForm1::TimerUkazTimer(QObject*) {}
void TForm1::OpenDataLog() {}
void TForm1::CloseDataLog() { S.LogOpen = false; }
