// The main window: a modal dialog built at run time from the window description, with its
// fonts and menu, whose commands all go to the command handler.
#pragma once

#include <windows.h>

#include <array>

#include "ui/command_handler.h"
#include "ui/win32/win32_port.h"
#include "ui/window_description.h"

namespace kelvarin::win32 {

// The fonts of the description other than the dialog's own; they live as long as the window
// data, which outlives the window.
class WindowFonts {
public:
    WindowFonts() = default;
    ~WindowFonts() { release(); }
    WindowFonts(const WindowFonts&) = delete;
    WindowFonts& operator=(const WindowFonts&) = delete;

    void create(HWND window);
    // Nullptr for the dialog font: such controls keep the dialog's.
    HFONT get(window::FontRole role) const { return fonts_[static_cast<std::size_t>(role)]; }
    void release();

private:
    std::array<HFONT, 5> fonts_{};
};

struct MainWindowData {
    Win32Port& port;
    CommandHandler& handler;
    WindowFonts fonts;
    HWND rememberedFocus = nullptr;  // the control that had the focus when the window was deactivated
};

// Shows the window modally until it is closed; returns the dialog's result (0).
INT_PTR runMainWindow(HINSTANCE instance, MainWindowData& data);

}  // namespace kelvarin::win32
