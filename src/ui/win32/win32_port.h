// The UiPort of the Windows program: common file dialogs, owner-less message boxes, the small
// text dialog, and the log list, progress bar, menu and option controls of the main window once
// it exists.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "job/port.h"
#include "pixels/preview_images.h"

namespace kelvarin::win32 {

class PreviewWindow;

// The program's top-level windows: a box or dialog that disables the main window disables the
// preview too, or a click there could start a second command inside the first.
struct ProgramWindows {
    HWND main = nullptr;
    HWND preview = nullptr;  // nullptr until the preview exists
};

class Win32Port final : public UiPort {
public:
    Win32Port();
    ~Win32Port() override;
    Win32Port(const Win32Port&) = delete;
    Win32Port& operator=(const Win32Port&) = delete;

    // The main window while it exists; before and after, only dialogs and boxes work. The preview
    // window goes with the main window.
    void attach(HWND window) { window_ = window; }
    void detach();

    // The preview window's "Save Preview As..." hands its picture here.
    std::function<void(const GreyImage&)> savePreview;
    // Whether a job runs inside the command handler, and the command Esc gives then (the stop
    // question): while one runs, the port lets the menu and the close button through.
    std::function<bool()> jobRunning;
    std::function<void()> onEscapeDuringJob;
    // The preview window once a job or the View menu has opened it; nullptr before.
    PreviewWindow* previewWindow() const { return preview_.get(); }

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

private:
    HWND control(int id) const { return window_ ? GetDlgItem(window_, id) : nullptr; }
    ProgramWindows windows() const;
    // A job runs inside the command handler, away from the message loop: let the control (and any
    // window uncovered meanwhile) repaint, but take no input.
    void repaint(HWND control) const;
    // While a job runs: painting, the menu bar and the caption's buttons go through, Esc becomes
    // onEscapeDuringJob, and clicks and keys on the controls are dropped (they would change the
    // options under the job).
    void answerDuringJob() const;

    HWND window_ = nullptr;
    std::unique_ptr<PreviewWindow> preview_;
    // While the preview's "Save Preview As..." runs: its dialog belongs to the preview.
    bool savingPreview_ = false;
};

// Disables those of the windows that are enabled while it lives, then sets each back to the
// state it found, so a box inside a box leaves them disabled for the outer one. The window that
// was active gets the keyboard back.
class WindowsDisabled {
public:
    explicit WindowsDisabled(const ProgramWindows& windows);
    ~WindowsDisabled();
    WindowsDisabled(const WindowsDisabled&) = delete;
    WindowsDisabled& operator=(const WindowsDisabled&) = delete;

private:
    ProgramWindows windows_;
    bool mainWasEnabled_, previewWasEnabled_;
    HWND active_;
};

// The common file dialogs, one function each with its data.
struct FileDialogData {
    const FileDialogRequest& request;
    HWND owner;
    bool save;
    ProgramWindows windows;  // disabled while the dialog is up
};
std::optional<std::string> runFileDialog(const FileDialogData& data);

struct MessageBoxData {
    const MessageBoxRequest& request;
    ProgramWindows windows;  // disabled while the box is up unless the request says otherwise
};
MessageAnswer runMessageBox(const MessageBoxData& data);

// The small dialog asking for a line of text, built from the window description; modal to the
// main window, the preview disabled too. Nothing when cancelled.
std::optional<std::string> runTextDialog(const TextRequest& request, const ProgramWindows& windows);

}  // namespace kelvarin::win32
