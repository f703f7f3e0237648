#include "ui/qt/main_window.h"

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTimer>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QMoveEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QUrl>

#include "ui/file_filter.h"
#include "ui/ids.h"
#include "ui/qt/desktop.h"
#include "ui/qt/job_input_gate.h"
#include "ui/qt/qt_text.h"
#include "ui/preview_view.h"
#include "ui/qt/preview_window.h"
#include "ui/wide_text.h"

namespace kelvarin::qt {

namespace {

using window::ControlKind;

std::vector<QFont> makeFonts() {
    std::vector<QFont> fonts;
    for (const window::FontSpec& spec : window::fonts()) {
        const auto index = static_cast<std::size_t>(spec.role);
        if (fonts.size() <= index) fonts.resize(index + 1);
        fonts[index] = resolveFont(spec);
    }
    return fonts;
}

constexpr int kPaintIntervalMs = 30;

}  // namespace

MainWindow::MainWindow(const Clock& clock)
    : session_(*this, clock), handler_(session_), fonts_(makeFonts()),
      units_(fonts_[static_cast<std::size_t>(window::FontRole::Dialog)]) {
    openFileDialog = [](const FileDialogRequest& request) { return runFileDialog(request, false); };
    saveFileDialog = [](const FileDialogRequest& request) { return runFileDialog(request, true); };
    messageBox = [](const MessageBoxRequest& request) { return runMessageBox(request); };
    textDialog = [](const TextRequest& request) { return runTextDialog(request); };
    // The preview window shows what the jobs wrote, so their reports gather its picture too.
    session_.reportPreview = PreviewGathering::Gather;

    const window::WindowFrameDescription& frame = window::windowFrame();
    setWindowTitle(uiText(frame.caption));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(fonts_[static_cast<std::size_t>(window::FontRole::Dialog)]);

    auto* client = new QWidget(this);
    client->setFixedSize(units_.x(frame.clientWidth), units_.y(frame.clientHeight));
    setCentralWidget(client);
    buildControls();

    for (const window::MenuEntry& entry : window::menuBar()) buildMenu(menuBar()->addMenu(uiText(entry.text)), entry.items);

    handler_.start();
    setAcceptDrops(true);

    adjustSize();
    setFixedSize(sizeHint());
    placeWindow();
    sincePaint_.start();
}

MainWindow::~MainWindow() = default;

void MainWindow::placeWindow() {
    const window::WindowFrameDescription& frame = window::windowFrame();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        move(units_.x(frame.x), units_.y(frame.y));
        return;
    }
    const QPoint wanted = screen->geometry().topLeft() + QPoint(units_.x(frame.x), units_.y(frame.y));
    move(placeOnScreen(wanted, frameGeometry().size(), screen->availableGeometry()));
}

void MainWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // The caption and borders are known only once the window manager has framed the window; the
    // first time they are, the window is placed again with them counted.
    if (!placedWithFrame_ && frameGeometry().size() != geometry().size()) {
        placedWithFrame_ = true;
        placeWindow();
    }
}

void MainWindow::buildControls() {
    QWidget* client = centralWidget();
    QButtonGroup* group = nullptr;
    QWidget* previousFocusable = nullptr;
    std::vector<QWidget*> frames;
    for (const window::ControlDescription& description : window::controls()) {
        const QString text = uiText(description.text);
        QWidget* widget = nullptr;
        switch (description.kind) {
            case ControlKind::Label: {
                auto* label = new QLabel(text, client);
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                widget = label;
                break;
            }
            case ControlKind::List: {
                log_ = new QListWidget(client);
                log_->setEditTriggers(QAbstractItemView::NoEditTriggers);
                // A click highlights one line and does nothing else.
                log_->setSelectionMode(QAbstractItemView::SingleSelection);
                log_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
                log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
                log_->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
                log_->setUniformItemSizes(true);
                widget = log_;
                break;
            }
            case ControlKind::RadioButton: {
                auto* button = new QRadioButton(text, client);
                if (description.startsGroup || group == nullptr) {
                    group = new QButtonGroup(this);
                    group->setExclusive(true);
                    radioGroups_.push_back(group);
                }
                group->addButton(button, description.id);
                widget = button;
                break;
            }
            case ControlKind::CheckBox: widget = new QCheckBox(text, client); break;
            case ControlKind::GroupFrame: {
                auto* frame = new QGroupBox(text, client);
                frame->setFocusPolicy(Qt::NoFocus);
                frames.push_back(frame);
                widget = frame;
                break;
            }
            case ControlKind::ProgressBar: {
                progress_ = new QProgressBar(client);
                progress_->setTextVisible(false);
                // The bar shows the fill of progressRange_, not the job's own numbers.
                progress_->setRange(0, ProgressRange::kFillSteps);
                widget = progress_;
                break;
            }
            // The small text dialog's kinds; QInputDialog draws that dialog here.
            case ControlKind::TextBox: widget = new QLineEdit(text, client); break;
            case ControlKind::Button:
            case ControlKind::DefaultButton: widget = new QPushButton(text, client); break;
        }
        // A radio group runs from its first button up to the next control that is no radio button.
        if (description.kind != ControlKind::RadioButton) group = nullptr;

        widget->setObjectName(QStringLiteral("control%1").arg(description.id));
        widget->setFont(fonts_[static_cast<std::size_t>(description.font)]);
        widget->setGeometry(units_.rect(description.rect));
        controls_[description.id] = widget;

        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            const int id = description.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] { runCommand(id); });
        }
        if (widget->focusPolicy() != Qt::NoFocus && description.kind != ControlKind::ProgressBar &&
            description.kind != ControlKind::Label) {
            if (previousFocusable) QWidget::setTabOrder(previousFocusable, widget);
            previousFocusable = widget;
        }
    }
    // Frames are drawn behind the controls they enclose and must not catch their clicks. Their
    // caption sits on the top line, as in a dialog, not above it.
    for (QWidget* frame : frames) {
        frame->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); border-radius: 0px; margin-top: 0.5em; }"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: %1px;"
            " padding: 0px 2px; }").arg(units_.x(2)));
    }
    for (QWidget* frame : frames) frame->lower();
    for (QWidget* frame : frames) frame->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void MainWindow::buildMenu(QMenu* menu, std::span<const window::MenuEntry> entries) {
    for (const window::MenuEntry& entry : entries) {
        switch (entry.kind) {
            case window::MenuEntryKind::Separator: menu->addSeparator(); break;
            case window::MenuEntryKind::Submenu: buildMenu(menu->addMenu(uiText(entry.text)), entry.items); break;
            case window::MenuEntryKind::Heading: menu->addAction(uiText(entry.text))->setEnabled(false); break;
            case window::MenuEntryKind::Toggle:
            case window::MenuEntryKind::Command: {
                QAction* action = menu->addAction(uiText(entry.text));
                if (!entry.shortcut.empty()) action->setShortcut(QKeySequence(uiText(entry.shortcut)));
                const int id = entry.id;
                connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
                actions_[id] = action;
                if (entry.kind == window::MenuEntryKind::Toggle) {
                    // Qt flips the tick itself; the command handler then sets the one it decided.
                    action->setCheckable(true);
                    action->setChecked(entry.tickedAtStart);
                } else if (entry.group != window::ChoiceGroup::None) {
                    // Drawn as radio items; the command handler sets every tick of the group itself,
                    // so the group may be without a tick in between.
                    QActionGroup*& group = choiceGroups_[entry.group];
                    if (group == nullptr) {
                        group = new QActionGroup(this);
                        group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
                    }
                    action->setCheckable(true);
                    action->setChecked(entry.tickedAtStart);
                    group->addAction(action);
                }
                break;
            }
        }
    }
}

void MainWindow::runCommand(int commandId) { handler_.handle(commandId); }

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    openDroppedFile(path);
}

void MainWindow::openDroppedFile(const QString& path) {
    // The drop's own event must end before a job runs its dialogs.
    const std::string file = QFileInfo(path).absoluteFilePath().toStdString();
    QTimer::singleShot(0, this, [this, file] { handler_.openDropped(file); });
}

QWidget* MainWindow::control(int id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

QAction* MainWindow::menuAction(int commandId) const {
    const auto found = actions_.find(commandId);
    return found == actions_.end() ? nullptr : found->second;
}

std::optional<std::string> MainWindow::askOpenFile(const FileDialogRequest& request) { return openFileDialog(request); }

std::optional<std::string> MainWindow::askSaveFile(const FileDialogRequest& request) { return saveFileDialog(request); }

MessageAnswer MainWindow::showMessage(const MessageBoxRequest& request) { return messageBox(request); }

std::optional<std::string> MainWindow::askText(const TextRequest& request) { return textDialog(request); }

void MainWindow::keepPainting() {
    if (sincePaint_.elapsed() < kPaintIntervalMs) return;
    if (handler_.jobRunning()) {
        // The menu, the close button and Esc reach the command handler, which offers to stop the
        // job; clicks and keys on the controls wait for it (JobInputGate drops them).
        const JobInputGate gate(*this, [this] { runCommand(ids::StopConversion); });
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    } else {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    sincePaint_.restart();
}

void MainWindow::appendLogLine(std::string_view text) {
    // As a terminal does: the view follows new lines unless the user has scrolled up to read.
    const QScrollBar* bar = log_->verticalScrollBar();
    const bool following = bar == nullptr || bar->value() >= bar->maximum();
    log_->addItem(uiText(text));
    if (following) log_->scrollToBottom();
    keepPainting();
}

void MainWindow::clearLog() { log_->clear(); }

void MainWindow::setProgressRange(std::int32_t minimum, std::int32_t maximum) {
    progressRange_.setRange(minimum, maximum);
    progress_->setValue(progressRange_.fill());
}

void MainWindow::setProgressPosition(std::int32_t position) {
    progressRange_.setPosition(position);
    progress_->setValue(progressRange_.fill());
    keepPainting();
}

void MainWindow::setConversionCommandsEnabled(bool enabled) {
    for (int id : ids::kConversionCommands)
        if (QAction* action = menuAction(id)) action->setEnabled(enabled);
    if (QAction* stop = menuAction(ids::StopConversion)) stop->setEnabled(!enabled);
    // A busy cursor over the window while a job runs.
    if (enabled) {
        centralWidget()->unsetCursor();
    } else {
        centralWidget()->setCursor(Qt::BusyCursor);
    }
}

void MainWindow::setMenuItemChecked(int commandId, bool checked) {
    if (QAction* action = menuAction(commandId)) action->setChecked(checked);
}

void MainWindow::setMenuItemText(int commandId, const std::string& text) {
    if (QAction* action = menuAction(commandId)) action->setText(uiText(text));
}

void MainWindow::showPreview(const std::vector<FinishedReport>& results) {
    if (!preview_) {
        preview_ = std::make_unique<PreviewWindow>();
        preview_->onSave = [this](PreviewWindow& preview) { handler_.savePreview(preview.model().image()); };
        // Opened beside the main window when the screen has room, never over it.
        if (const QScreen* screen = this->screen()) {
            const QRect main = frameGeometry(), area = screen->availableGeometry();
            if (const auto at = besideMainWindow({main.x(), main.y(), main.width(), main.height()},
                                                 preview_->frameGeometry().width(), preview_->frameGeometry().height(),
                                                 {area.x(), area.y(), area.width(), area.height()}))
                preview_->move(at->first, at->second);
        }
    }
    preview_->showResults(results);
}

void MainWindow::updateOpenPreview(const std::vector<FinishedReport>& results) {
    if (preview_) preview_->updateResults(results);
}

void MainWindow::resetOptionControls() {
    for (int id : {ids::Average, ids::PosteriseNone})
        if (auto* button = qobject_cast<QAbstractButton*>(control(id))) button->setChecked(true);
    for (int id : {ids::Swap, ids::Boost, ids::Invert})
        if (auto* button = qobject_cast<QAbstractButton*>(control(id))) button->setChecked(false);
}

bool MainWindow::isControlChecked(int controlId) {
    const auto* button = qobject_cast<const QAbstractButton*>(control(controlId));
    return button != nullptr && button->isChecked();
}

void MainWindow::closeWindow() { close(); }

std::string MainWindow::programFolder() { return QCoreApplication::applicationDirPath().toStdString(); }

// The desktop's viewer for the file's kind (xdg-open's choice), as a file manager would open it.
bool MainWindow::openDocument(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // As in a dialog, Enter and Escape arrive as commands of their own.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: runCommand(ids::KeyOk); return;
        case Qt::Key_Escape: runCommand(ids::KeyCancel); return;
        default: QMainWindow::keyPressEvent(event);
    }
}

void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        if (!isActiveWindow()) {
            QWidget* focus = QApplication::focusWidget();
            if (focus != nullptr && isAncestorOf(focus)) rememberedFocus_ = focus;
        } else if (rememberedFocus_) {
            rememberedFocus_->setFocus(Qt::ActiveWindowFocusReason);
            rememberedFocus_ = nullptr;
        }
    }
    QMainWindow::changeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A job runs inside the handler; the window goes only when it has finished. The close button
    // offers to stop it.
    if (busy()) {
        event->ignore();
        if (handler_.jobRunning()) runCommand(ids::StopConversion);
        return;
    }
    // The preview has no parent: left open, it would keep the program running.
    if (preview_) preview_->close();
    QMainWindow::closeEvent(event);
}

}  // namespace kelvarin::qt
