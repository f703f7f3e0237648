// The Qt main window: the controls, fonts and menu of the window description, and the UiPort
// through which the command handler drives it. It holds no conversion logic and no texts of its
// own; every command goes to the shared CommandHandler.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/clock.h"
#include "job/port.h"
#include "job/session.h"
#include "ui/command_handler.h"
#include "ui/qt/window_metrics.h"

class QAbstractButton;
class QAction;
class QActionGroup;
class QButtonGroup;
class QFileDialog;
class QMessageBox;
class QListWidget;
class QMenu;
class QProgressBar;

namespace kelvarin::qt {

class PreviewWindow;

class MainWindow final : public QMainWindow, public UiPort {
    Q_OBJECT

public:
    explicit MainWindow(const Clock& clock);
    ~MainWindow() override;

    // The platform dialogs, replaceable so tests can answer them without a modal loop.
    std::function<std::optional<std::string>(const FileDialogRequest&)> openFileDialog;
    std::function<std::optional<std::string>(const FileDialogRequest&)> saveFileDialog;
    std::function<MessageAnswer(const MessageBoxRequest&)> messageBox;
    std::function<std::optional<std::string>(const TextRequest&)> textDialog;

    // Runs one command as a menu item or a control would.
    void runCommand(int commandId);
    // A file dropped on the window: File > Open... with it once this event has ended.
    void openDroppedFile(const QString& path);

    QWidget* control(int id) const;
    QAction* menuAction(int commandId) const;
    QListWidget* logList() const { return log_; }
    QProgressBar* progressBar() const { return progress_; }
    Session& session() { return session_; }
    const DialogUnits& dialogUnits() const { return units_; }
    bool busy() const { return session_.busy.busy(); }
    // The preview window once View or a job has opened it; nullptr before.
    PreviewWindow* previewWindow() const { return preview_.get(); }

    // UiPort
    std::optional<std::string> askOpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> askSaveFile(const FileDialogRequest& request) override;
    MessageAnswer showMessage(const MessageBoxRequest& request) override;
    std::optional<std::string> askText(const TextRequest& request) override;
    void appendLogLine(std::string_view text) override;
    void clearLog() override;
    void setProgressRange(std::int32_t minimum, std::int32_t maximum) override;
    void setProgressPosition(std::int32_t position) override;
    void setConversionCommandsEnabled(bool enabled) override;
    void setMenuItemChecked(int commandId, bool checked) override;
    void setMenuItemText(int commandId, const std::string& text) override;
    void showPreview(const std::vector<FinishedReport>& results) override;
    void updateOpenPreview(const std::vector<FinishedReport>& results) override;
    void resetOptionControls() override;
    bool isControlChecked(int controlId) override;
    void closeWindow() override;
    std::string programFolder() override;
    bool openDocument(const std::string& path) override;

    // The real dialogs behind the hooks above.
    static std::optional<std::string> runFileDialog(const FileDialogRequest& request, bool save);
    static MessageAnswer runMessageBox(const MessageBoxRequest& request);
    static std::optional<std::string> runTextDialog(const TextRequest& request);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void buildControls();
    // At its place from the window description, moved into the screen's work area where it does
    // not fit there.
    void placeWindow();
    void buildMenu(QMenu* menu, std::span<const window::MenuEntry> entries);
    // Lets the window repaint while a job runs, at most every few tens of milliseconds.
    void keepPainting();

    Session session_;
    CommandHandler handler_;
    std::vector<QFont> fonts_;
    DialogUnits units_;
    std::map<int, QWidget*> controls_;
    std::map<int, QAction*> actions_;
    std::vector<QButtonGroup*> radioGroups_;
    std::map<window::ChoiceGroup, QActionGroup*> choiceGroups_;
    std::unique_ptr<PreviewWindow> preview_;
    QListWidget* log_ = nullptr;
    QProgressBar* progress_ = nullptr;
    ProgressRange progressRange_;
    QPointer<QWidget> rememberedFocus_;
    QElapsedTimer sincePaint_;
    bool placedWithFrame_ = false;
};

// Builds "TIF (*.tif)" style filters; "*.*" becomes "*" so that files without an extension show.
QStringList nameFilters(const FileDialogRequest& request);
// Title, mode, filters and default extension of a dialog request. A save dialog's default
// extension follows the filter the user selects, so a bare name gets the format picked.
void configureFileDialog(QFileDialog& dialog, const FileDialogRequest& request, bool save);
// Caption, text, icon, buttons and modality of a message box request.
void configureMessageBox(QMessageBox& box, const MessageBoxRequest& request);

}  // namespace kelvarin::qt
