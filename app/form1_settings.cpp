// Settings file of the main window: read once at start, each section written when applied.
#include "app/form1.h"

void TForm1::LoadSettings() {}
void TForm1::SavePrograms() {}
void TForm1::SaveWindowSettings() {}
void TForm1::SaveRegulatorSettings() {}
void TForm1::SaveSerialSettings() {}
