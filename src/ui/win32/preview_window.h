// The Win32 preview window: an overlapped, resizable window (not a dialog) built from the preview
// description, laid out again on every resize, showing what the PreviewModel holds. The picture
// is a window of its own (preview_picture.h); the histogram is an owner-drawn static painted from
// the model's data, a click switching its scale between linear and logarithmic.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

#include "ui/preview_description.h"
#include "ui/preview_model.h"
#include "ui/win32/main_window.h"

namespace kelvarin::win32 {

class PreviewWindow {
public:
    PreviewWindow() = default;
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Shows these results and brings the window up, creating it the first time beside the window
    // `beside` when the screen has room there (never over it). It does not take the keyboard.
    void showResults(std::vector<FinishedReport> results, HWND beside = nullptr);
    // Shows these results if the window is open, where it is, without bringing it up.
    void updateResults(std::vector<FinishedReport> results);
    HWND handle() const { return window_; }
    PreviewModel& model() { return model_; }

    // "Save Preview As..." calls this; the button is greyed while it is empty.
    std::function<void(PreviewWindow&)> onSave;
    // Called when the user has closed the window (it is hidden, and shows again with the next results).
    std::function<void()> onClosed;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The keyboard's dialog keys (Tab, the arrows, Space) for the preview: the main window runs as
    // a modal dialog whose loop knows only its own controls, but calls this hook first.
    static LRESULT CALLBACK filterMessage(int code, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void create();
    void layout();
    // Texts, checks, visibility and pictures from the model.
    void refresh();
    void placeBeside(HWND main);
    void drawHistogram(const DRAWITEMSTRUCT& item);
    HWND control(int id) const { return GetDlgItem(window_, id); }

    HWND window_ = nullptr;
    HHOOK keyboardHook_ = nullptr;
    HWND rememberedFocus_ = nullptr;  // the control that had the focus when the window was deactivated
    PreviewModel model_;
    WindowFonts fonts_;
    HFONT dialogFont_ = nullptr;
    preview::BaseUnits units_{6, 13};
};

}  // namespace kelvarin::win32
