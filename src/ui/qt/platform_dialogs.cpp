// The platform dialogs of the Qt window: the file dialogs, the message boxes and the small text
// dialog, each configured from its request.
#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>

#include "ui/file_filter.h"
#include "ui/qt/main_window.h"
#include "ui/qt/qt_text.h"

namespace kelvarin::qt {

QStringList nameFilters(const FileDialogRequest& request) {
    QStringList filters;
    for (const FileFilter& filter : request.filters) {
        const QString pattern = filter.pattern == "*.*" ? QStringLiteral("*") : uiText(filter.pattern).replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << uiText(filter.description) + QStringLiteral(" (") + pattern + QStringLiteral(")");
    }
    return filters;
}

std::optional<std::string> MainWindow::runTextDialog(const TextRequest& request) {
    bool accepted = false;
    const QString text = QInputDialog::getText(nullptr, uiText(request.title), uiText(request.prompt), QLineEdit::Normal,
                                               uiText(request.initialText), &accepted);
    if (!accepted) return std::nullopt;
    return text.toStdString();
}

void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool save) {
    dialog.setWindowTitle(uiText(request.title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // An existing destination is written over without asking, unless the request says otherwise.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, save && !request.confirmOverwrite);
    const QStringList filters = nameFilters(request);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
    dialog.setDefaultSuffix(uiText(request.defaultExtension));
    if (!save) return;
    QObject::disconnect(&dialog, &QFileDialog::filterSelected, nullptr, nullptr);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, filters, request](const QString& selected) {
                         const qsizetype index = filters.indexOf(selected);
                         std::string extension = request.defaultExtension;
                         if (index >= 0 && static_cast<std::size_t>(index) < request.filters.size()) {
                             const std::string own = filterExtension(request.filters[static_cast<std::size_t>(index)]);
                             if (!own.empty()) extension = own;
                         }
                         dialog.setDefaultSuffix(uiText(extension));
                     });
}

std::optional<std::string> MainWindow::runFileDialog(const FileDialogRequest& request, bool save) {
    QFileDialog dialog(nullptr);
    configureFileDialog(dialog, request, save);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
    return chosen.front().toStdString();
}

void configureMessageBox(QMessageBox& box, const MessageBoxRequest& request) {
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (request.icon) {
        case MessageIcon::Error: icon = QMessageBox::Critical; break;
        case MessageIcon::Exclamation: icon = QMessageBox::Warning; break;
        case MessageIcon::Information: icon = QMessageBox::Information; break;
    }
    box.setIcon(icon);
    box.setWindowTitle(uiText(request.caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(boxText(request.text));
    switch (request.buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            break;
    }
    box.setWindowModality(request.disablesWindow ? Qt::ApplicationModal : Qt::NonModal);
    // Wide enough for the whole caption, which tells which box this is.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int captionWidth =
            QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(box.windowTitle());
        grid->addItem(new QSpacerItem(captionWidth + 120, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
}

MessageAnswer MainWindow::runMessageBox(const MessageBoxRequest& request) {
    // No owner: the box stands on its own, as the program's boxes always do.
    QMessageBox box;
    configureMessageBox(box, request);

    int result = QMessageBox::Ok;
    if (request.disablesWindow) {
        result = box.exec();
    } else {
        // Shown without blocking the main window, but the command still waits for the answer.
        QEventLoop loop;
        QObject::connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
        box.show();
        loop.exec();
        result = box.result();
        if (QAbstractButton* clicked = box.clickedButton()) result = box.standardButton(clicked);
    }
    return result == QMessageBox::Cancel || result == QMessageBox::No ? MessageAnswer::Cancel : MessageAnswer::Ok;
}

}  // namespace kelvarin::qt
