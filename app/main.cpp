// The program entry: the application titled "Regulace teploty" and its one main window.
#include "app/AppIcon.h"
#include "app/MessageBoxes.h"
#include "app/form1.h"
#include "persistence/DataLog.h"
#include "platform/Files.h"
#include "platform/InstanceLock.h"
#include "platform/TerminationRequest.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>

#include <cstdio>
#include <cstring>
#include <system_error>
#include <unistd.h>

namespace {

// A SIGTERM ends the program within this many seconds, whatever hangs.
constexpr unsigned TerminationLimitSeconds = 3;

} // namespace

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

    // A SIGTERM (the session ending, a shutdown, a UPS) ends the program from the first moment:
    // the window closes without waiting for any box, and whatever hangs ends with the process.
    TForm1* window = nullptr;
    QSocketNotifier termination(platform::CatchTerminationRequest(TerminationLimitSeconds), QSocketNotifier::Read);
    QObject::connect(&termination, &QSocketNotifier::activated, &app, [&window](QSocketDescriptor fd) {
        char byte = 0;
        while (::read(int(fd), &byte, 1) > 0) {
        }
        if (window != nullptr) window->Terminate();
        // Every event loop ends, a box's own included; quit() would ask the windows first.
        QCoreApplication::exit(0);
    });

    // One copy per installation: a second one (a double click, a second operator) would resume
    // the first one's cycle, write into its log and take its units over. It says so and ends
    // without opening a port or writing a file.
    platform::TInstanceLock instance;
    try {
        platform::CreateDirectoryLevel(persistence::DataLogDir());
        if (instance.Acquire(persistence::DataLogDir() / "regulator.lock") == platform::TInstanceLock::Result::Busy) {
            std::fprintf(stderr, "regulator: Program uz bezi.\n");
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Regulace teploty"), QStringLiteral("Program uz bezi."),
                            QMessageBox::Ok);
            box.exec();
            return 1;
        }
    } catch (const std::system_error& e) {
        // A data folder nobody may write does not keep the program from regulating; its own
        // reports tell what cannot be written.
        std::fprintf(stderr, "regulator: no lock against a second copy: %s\n", e.what());
    }

    TQtMessageBoxes boxes;
    TFormServices services;
    services.Boxes = &boxes;
    TForm1 form(services);
    boxes.SetParent(&form);
    window = &form;

    // Placed at the centre of the desktop.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        form.move(area.center() - form.rect().center());
    }

    form.show();
    const int code = QApplication::exec();
    window = nullptr;
    return code;
}
