#pragma once
#include <QIcon>

// The program's icon, drawn at start: a thermometer over two heated zones.
QIcon MakeAppIcon();

// Makes the window's fonts resolve on Linux: Tahoma and Courier New are replaced by metric-close
// free fonts.
void LoadWindowFonts();
