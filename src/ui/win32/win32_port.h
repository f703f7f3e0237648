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
    void showPreview(const std::vector<FinishedReport>& results) override;
    void resetOptionControls() override;
    bool isControlChecked(int controlId) override;
    void closeWindow() override;

private:
    HWND control(int id) const { return window_ ? GetDlgItem(window_, id) : nullptr; }
    // A job runs inside the command handler, away from the message loop: let the control (and any
    // window uncovered meanwhile) repaint, but take no input.
    void repaint(HWND control) const;

    HWND window_ = nullptr;
    std::unique_ptr<PreviewWindow> preview_;
};

// The common file dialogs, one function each with its data.
struct FileDialogData {
    const FileDialogRequest& request;
    HWND owner;
    bool save;
};
std::optional<std::string> runFileDialog(const FileDialogData& data);

struct MessageBoxData {
    const MessageBoxRequest& request;
    HWND mainWindow;  // disabled while the box is up unless the request says otherwise
};
MessageAnswer runMessageBox(const MessageBoxData& data);

// The small dialog asking for a line of text, built from the window description; modal to its
// owner. Nothing when cancelled.
std::optional<std::string> runTextDialog(const TextRequest& request, HWND owner);

}  // namespace kelvarin::win32
