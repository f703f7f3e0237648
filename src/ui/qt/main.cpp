// kelvarin: the Qt window of KELVARIN. `kelvarin FILE` (the desktop's "Open with") starts the
// conversion of FILE at once.
#include <QApplication>

#include "job/clock.h"
#include "ui/qt/desktop.h"
#include "ui/qt/end_on_signals.h"
#include "ui/qt/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Set before the window exists, so that no moment of a job leaves its temporary file behind
    // on a kill or a closed terminal.
    kelvarin::qt::endOnSignals();
    // Ties the window to kelvarin.desktop (its icon and name on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("kelvarin"));
    QApplication::setWindowIcon(kelvarin::qt::applicationIcon());
    kelvarin::SystemClock clock;
    kelvarin::qt::MainWindow window(clock);
    window.show();
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1 && !arguments.at(1).startsWith(QLatin1Char('-'))) kelvarin::qt::openFileOnStart(window, arguments.at(1));
    return app.exec();
}
