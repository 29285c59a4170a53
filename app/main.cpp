// The program entry: the application titled "Regulace teploty" and its one main window.
#include "app/AppIcon.h"
#include "app/MessageBoxes.h"
#include "app/form1.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    SetApplicationTitle();
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
    form.show();
    return QApplication::exec();
}
