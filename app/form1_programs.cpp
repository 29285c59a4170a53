// Program table handlers of the main window: add, delete, list click, and rendering both
// programs as lists and step curves.
#include "app/form1.h"

void TForm1::RenderPrograms() {}
void TForm1::Button2Click(QObject*) {}
void TForm1::Button3Click(QObject*) {}
void TForm1::Button7Click(QObject*) {}
void TForm1::Button8Click(QObject*) {}
void TForm1::ListBox1Click(QObject*) {}
void TForm1::ListBox3Click(QObject*) {}
