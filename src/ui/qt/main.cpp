// kelvarin: the Qt window of KELVARIN.
#include <QApplication>

#include "job/clock.h"
#include "ui/qt/main_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kelvarin::SystemClock clock;
    kelvarin::qt::MainWindow window(clock);
    window.show();
    return app.exec();
}
