// Writes the program's icon as PNG files for the desktop's icon theme:
//   appicon DIR NAME SIZE...   makes DIR/<SIZE>x<SIZE>/apps/NAME.png for every SIZE
// The icon is the one the window shows, drawn by the same code at each size.
#include "app/AppIcon.h"

#include <QDir>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: appicon DIR NAME SIZE...\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || size < 8 || size > 1024) {
            std::fprintf(stderr, "appicon: bad size %s\n", argv[i]);
            return 2;
        }
        const QString sub = QStringLiteral("%1/%2x%2/apps").arg(dir).arg(size);
        const QString file = QStringLiteral("%1/%2.png").arg(sub, name);
        if (!QDir().mkpath(sub) || !DrawAppIcon(int(size)).save(file, "PNG")) {
            std::fprintf(stderr, "appicon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
