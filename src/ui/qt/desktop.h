// What the desktop hands the Qt window: its icon, and a file chosen with "Open with" in a file
// manager (the desktop entry runs `kelvarin FILE`).
#pragma once

#include <QIcon>
#include <QString>

class QMimeData;

namespace kelvarin::qt {

class MainWindow;

// The icon theme's "kelvarin" (installed with the program), else the copy built into the program.
QIcon applicationIcon();

// The conversion command a file is opened with: PGM, RAW and BIN (by their extensions) have
// their own; everything else goes to File > Open..., which recognises the file by its content.
int commandForFile(const QString& path);
// The one local file a drag and drop carries; empty for anything else (several files, a link,
// text).
QString droppedFile(const QMimeData* data);

// Runs that command once the event loop starts, answering its first open dialog with the file;
// every later dialog (the destination, a BIN header) is asked as usual.
void openFileOnStart(MainWindow& window, const QString& path);

}  // namespace kelvarin::qt
