#include "ui/win32/main_window.h"

#include <cstring>
#include <string>
#include <vector>

#include <shellapi.h>

#include "formats/file.h"
#include "ui/dialog_template.h"
#include "ui/ids.h"
#include "ui/win32/resource.h"
#include "ui/wide_text.h"

namespace kelvarin::win32 {

namespace {

HMENU buildMenu(std::span<const window::MenuEntry> entries, bool bar) {
    HMENU menu = bar ? CreateMenu() : CreatePopupMenu();
    for (const window::MenuEntry& entry : entries) {
        // A shortcut is shown after a tab, where Windows right-aligns it.
        const std::u16string text =
            utf16FromUtf8(entry.shortcut.empty() ? std::string(entry.text)
                                                 : std::string(entry.text) + "\t" + std::string(entry.shortcut));
        const auto* wideText = reinterpret_cast<const wchar_t*>(text.c_str());
        switch (entry.kind) {
            case window::MenuEntryKind::Toggle:
            case window::MenuEntryKind::Command:
                AppendMenuW(menu, MF_STRING | (entry.tickedAtStart ? MF_CHECKED : MF_UNCHECKED),
                            static_cast<UINT_PTR>(entry.id), wideText);
                if (entry.group != window::ChoiceGroup::None) {
                    // A choice group's tick is drawn as a bullet.
                    MENUITEMINFOW item{};
                    item.cbSize = sizeof item;
                    item.fMask = MIIM_FTYPE;
                    item.fType = MFT_STRING | MFT_RADIOCHECK;
                    SetMenuItemInfoW(menu, static_cast<UINT>(entry.id), FALSE, &item);
                }
                break;
            case window::MenuEntryKind::Heading: AppendMenuW(menu, MF_STRING | MF_GRAYED, 0, wideText); break;
            case window::MenuEntryKind::Separator: AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); break;
            case window::MenuEntryKind::Submenu:
                AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(buildMenu(entry.items, false)), wideText);
                break;
        }
    }
    return menu;
}

// The template's size is the client area; the menu bar takes its height from it, so the window
// grows by the bar to keep the client area the described size.
void fitClientAreaBelowMenu(HWND window) {
    const window::WindowFrameDescription& frame = window::windowFrame();
    RECT area{0, 0, frame.clientWidth, frame.clientHeight};
    MapDialogRect(window, &area);
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    AdjustWindowRectEx(&area, style, TRUE, exStyle);
    SetWindowPos(window, nullptr, 0, 0, area.right - area.left, area.bottom - area.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A dialog has no class icon of its own: the caption, Alt+Tab and the taskbar take the program's
// icon from WM_SETICON, in the two sizes the system draws.
void setProgramIcon(HWND window) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const auto load = [instance](int width, int height) {
        return reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(KELVARIN_ICON_ID), IMAGE_ICON,
                                                   GetSystemMetrics(width), GetSystemMetrics(height), LR_SHARED));
    };
    SendMessageW(window, WM_SETICON, ICON_BIG, load(SM_CXICON, SM_CYICON));
    SendMessageW(window, WM_SETICON, ICON_SMALL, load(SM_CXSMICON, SM_CYSMICON));
}

HWND shortcutWindow = nullptr;

// The menus' Ctrl shortcuts. The main window is a dialog run by DialogBox, whose message loop
// has no accelerator table: its messages pass through this hook instead, and a shortcut becomes
// the menu command, which the command handler refuses as the menu would while a job runs.
LRESULT CALLBACK shortcutHook(int code, WPARAM wParam, LPARAM lParam) {
    const auto* message = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && message->message == WM_KEYDOWN && (GetKeyState(VK_CONTROL) & 0x8000) &&
        shortcutWindow && (message->hwnd == shortcutWindow || IsChild(shortcutWindow, message->hwnd))) {
        for (const window::MenuEntry& menu : window::menuBar())
            for (const window::MenuEntry& entry : menu.items)
                if (entry.shortcut.size() == 6 && entry.shortcut.starts_with("Ctrl+") &&
                    static_cast<WPARAM>(entry.shortcut[5]) == message->wParam) {
                    const UINT state = GetMenuState(GetMenu(shortcutWindow), static_cast<UINT>(entry.id), MF_BYCOMMAND);
                    if (state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED)))
                        PostMessageW(shortcutWindow, WM_COMMAND, static_cast<WPARAM>(entry.id), 0);
                    return TRUE;
                }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void initialise(HWND window, MainWindowData& data) {
    setProgramIcon(window);
    data.fonts.create(window);
    for (const window::ControlDescription& control : window::controls())
        if (HFONT font = data.fonts.get(control.font))
            SendDlgItemMessageW(window, control.id, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetMenu(window, buildMenu(window::menuBar(), true));
    fitClientAreaBelowMenu(window);
    data.port.attach(window);
    shortcutWindow = window;
    DragAcceptFiles(window, TRUE);
    SetWindowsHookExW(WH_MSGFILTER, shortcutHook, nullptr, GetCurrentThreadId());
    data.handler.start();
}

INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        initialise(window, *reinterpret_cast<MainWindowData*>(lParam));
        return TRUE;
    }
    auto* data = reinterpret_cast<MainWindowData*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!data) return FALSE;
    switch (message) {
        case WM_COMMAND:
            // Menu items, control notifications and the dialog keys (Enter = 1, Escape = 2) alike.
            data->handler.handle(LOWORD(wParam));
            return TRUE;
        case WM_DROPFILES: {
            // One file: File > Open... with it as the source; anything else is left alone.
            auto drop = reinterpret_cast<HDROP>(wParam);
            std::string path;
            if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
                std::u16string name(DragQueryFileW(drop, 0, nullptr, 0), u'\0');
                DragQueryFileW(drop, 0, reinterpret_cast<wchar_t*>(name.data()), static_cast<UINT>(name.size() + 1));
                path = utf8FromUtf16(name);
            }
            DragFinish(drop);
            if (!path.empty()) data->handler.openDropped(path);
            return TRUE;
        }
        case WM_CLOSE:
            // Handled here: the dialog default would turn it into IDCANCEL. Closing is File > Quit,
            // which a running command refuses (its terrain warning leaves the window enabled).
            data->handler.handle(ids::Quit);
            return TRUE;
        case WM_ENDSESSION:
            // The session ends and the program with it, whatever the job was doing: the
            // destination being written loses its temporary file, and nothing is written after.
            if (wParam) {
                removeTemporaryFilesNow();
                TerminateProcess(GetCurrentProcess(), 1);
            }
            return TRUE;
        case WM_SETCURSOR:
            // A busy cursor over the window while a job runs.
            if (!data->handler.jobRunning() || LOWORD(lParam) != HTCLIENT) return FALSE;
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window, focus)) data->rememberedFocus = focus;
                return TRUE;
            }
            if (data->rememberedFocus) {
                SetFocus(data->rememberedFocus);
                data->rememberedFocus = nullptr;
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            data->port.detach();
            return FALSE;
        default: return FALSE;
    }
}

}  // namespace

void WindowFonts::create(HWND window) {
    release();
    HDC screen = GetDC(window);
    const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(window, screen);
    for (const window::FontSpec& spec : window::fonts()) {
        if (spec.role == window::FontRole::Dialog) continue;
        const std::u16string face = utf16FromUtf8(spec.face);
        fonts_[static_cast<std::size_t>(spec.role)] =
            CreateFontW(-MulDiv(spec.pointSize, pixelsPerInch, 72), 0, 0, 0, spec.bold ? FW_BOLD : FW_NORMAL, FALSE,
                        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                        spec.monospace ? FIXED_PITCH | FF_MODERN : VARIABLE_PITCH | FF_SWISS,
                        reinterpret_cast<const wchar_t*>(face.c_str()));
    }
}

void WindowFonts::release() {
    for (HFONT& font : fonts_) {
        if (font) DeleteObject(font);
        font = nullptr;
    }
}

INT_PTR runMainWindow(HINSTANCE instance, MainWindowData& data) {
    const std::vector<std::uint8_t> bytes = dialog_template::build(
        window::windowFrame(), window::controls(), window::font(window::FontRole::Dialog));
    // The template must be DWORD-aligned; a vector of DWORDs guarantees it.
    std::vector<DWORD> aligned((bytes.size() + 3) / 4, 0);
    std::memcpy(aligned.data(), bytes.data(), bytes.size());
    const INT_PTR result = DialogBoxIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(aligned.data()),
                                                   nullptr, mainWindowProc, reinterpret_cast<LPARAM>(&data));
    // The window is gone: its fonts go with it.
    data.fonts.release();
    return result;
}

}  // namespace kelvarin::win32
