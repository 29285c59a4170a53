// The program entry: the application titled "Regulace teploty" and its one main window.
#include "app/AppIcon.h"
#include "app/MessageBoxes.h"
#include "app/form1.h"
#include "app/TerminationWatch.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[]) {
    // Answered before any window system is touched, so it works on a machine without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("regulator %s\n", REGULATOR_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    SetApplicationTitle();
    // Lets the desktop match the window with the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("regulace-teploty"));
    QApplication::setWindowIcon(MakeAppIcon());
    LoadWindowFonts();

    TQtMessageBoxes boxes;
    TFormServices services;
    services.Boxes = &boxes;
    TForm1 form(services);
    boxes.SetParent(&form);

    // Placed at the centre of the desktop.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        form.move(area.center() - form.rect().center());
    }
    // A request from outside (SIGTERM; on Windows the session ending) closes the window as the
    // operator would.
    WatchTerminationRequest(&form, [&form] { form.close(); });

    form.show();
    return QApplication::exec();
}
