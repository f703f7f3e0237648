#include "ui/qt/desktop.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "ui/ids.h"
#include "ui/qt/main_window.h"

namespace kelvarin::qt {

QIcon applicationIcon() {
    QIcon builtIn;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        builtIn.addFile(QStringLiteral(":/icons/hicolor/%1x%1/kelvarin.png").arg(size), QSize(size, size));
    return QIcon::fromTheme(QStringLiteral("kelvarin"), builtIn);
}

QString droppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().first();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

int commandForFile(const QString& path) {
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("hdr") || extension == QLatin1String("pic")) return ids::OpenHdr;
    if (extension == QLatin1String("pgm")) return ids::PgmToTif;
    if (extension == QLatin1String("raw")) return ids::RawToTif;
    if (extension == QLatin1String("bin")) return ids::BinToTif;
    return ids::OpenImage;
}

void openFileOnStart(MainWindow& window, const QString& path) {
    // The log shows the path as an open dialog would have returned it: absolute.
    auto pending = std::make_shared<std::optional<std::string>>(QFileInfo(path).absoluteFilePath().toStdString());
    auto ask = window.openFileDialog;
    window.openFileDialog = [pending, ask](const FileDialogRequest& request) -> std::optional<std::string> {
        if (!pending->has_value()) return ask(request);
        std::optional<std::string> answer = std::move(*pending);
        pending->reset();
        return answer;
    };
    const int command = commandForFile(path);
    QTimer::singleShot(0, &window, [&window, command] { window.runCommand(command); });
}

}  // namespace kelvarin::qt
