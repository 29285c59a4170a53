#pragma once
#include <QIcon>

// The program's icon, drawn at start: a thermometer over two heated zones.
QIcon MakeAppIcon();

// Makes the window fonts available: Tahoma is not part of Linux, but Wine's metric-compatible
// Tahoma (Debian's fonts-wine) is loaded when present; otherwise the system's sans serif stands in.
void LoadWindowFonts();
