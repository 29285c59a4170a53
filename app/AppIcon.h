#pragma once
#include <QIcon>
#include <QImage>

// The program's icon, drawn at start: a thermometer over two heated zones.
QIcon MakeAppIcon();

// The icon drawn at one size (size x size pixels, transparent around the shapes); the package's
// icon files are made from it at build time.
QImage DrawAppIcon(int size);

// Makes the window's fonts resolve on Linux: Tahoma and Courier New are replaced by metric-close
// free fonts.
void LoadWindowFonts();

// The application's title "Regulace teploty" (the taskbar's and the general error report's), set
// as the application name only. Qt falls back to it wherever it needs a display name, but an
// explicit display name would make the platform append a dash and "Regulace teploty" to every
// window title (X11, Wayland), the main window's and the boxes' alike.
void SetApplicationTitle();
