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
