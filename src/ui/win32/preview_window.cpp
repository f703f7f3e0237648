#include "ui/win32/preview_window.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "ui/ids.h"
#include "ui/preview_view.h"
#include "ui/win32/preview_picture.h"
#include "ui/win32/resource.h"
#include "ui/wide_text.h"

namespace kelvarin::win32 {

namespace {

constexpr wchar_t kClassName[] = L"KelvarinPreview";

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

COLORREF colour(preview::Colour c) { return RGB(c.red, c.green, c.blue); }

std::u16string joined(const std::vector<std::string>& lines, const char* separator) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += separator;
        text += line;
    }
    return utf16FromUtf8(text);
}

DWORD controlStyle(const preview::ControlDescription& control) {
    DWORD style = WS_CHILD | WS_VISIBLE;
    switch (control.kind) {
        case preview::ControlKind::RadioButton:
            // Checked by the model, not by the button itself; BS_NOTIFY tells when an arrow key
            // has moved the focus onto it.
            style |= BS_RADIOBUTTON | BS_NOTIFY | WS_TABSTOP | (control.startsGroup ? WS_GROUP : 0);
            break;
        case preview::ControlKind::PushButton: style |= BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP; break;
        case preview::ControlKind::Label:
            style |= (control.align == preview::Align::Right ? SS_RIGHT : SS_LEFT) | SS_NOPREFIX;
            break;
        case preview::ControlKind::ImageView: break;  // a window of its own class
        // SS_NOTIFY: a click switches its scale.
        case preview::ControlKind::HistogramView: style |= SS_OWNERDRAW | SS_NOTIFY; break;
    }
    return style;
}

const wchar_t* controlClass(const preview::ControlDescription& control) {
    return control.kind == preview::ControlKind::RadioButton || control.kind == preview::ControlKind::PushButton
               ? L"BUTTON"
               : L"STATIC";
}

// A font's dialog base units, measured the way Windows measures a dialog's font.
preview::BaseUnits baseUnits(HWND window, HFONT font) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SIZE letters{};
    GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &letters);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return {std::max(1, static_cast<int>((letters.cx / 26 + 1) / 2)), std::max(1, static_cast<int>(metrics.tmHeight))};
}

bool registerClass(HINSTANCE instance) {
    static const bool registered = [instance] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;  // replaced per window in WM_NCCREATE's owner
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(KELVARIN_ICON_ID), IMAGE_ICON, 0,
                                                          0, LR_DEFAULTSIZE | LR_SHARED));
        return RegisterClassExW(&windowClass) != 0;
    }();
    return registered;
}

}  // namespace

PreviewWindow::~PreviewWindow() {
    if (keyboardHook_) UnhookWindowsHookEx(keyboardHook_);
    if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK PreviewWindow::filterMessage(int code, WPARAM wParam, LPARAM lParam) {
    // IsDialogMessage calls this hook again on its way in: one pass does the work.
    static bool inside = false;
    auto* message = reinterpret_cast<MSG*>(lParam);
    // The wheel goes to the window with the keyboard, the main one while the user works there:
    // over the preview's picture it zooms the picture instead, as it does on newer systems.
    if (code == MSGF_DIALOGBOX && message && message->message == WM_MOUSEWHEEL) {
        HWND under = WindowFromPoint(message->pt);
        HWND root = under ? GetAncestor(under, GA_ROOT) : nullptr;
        wchar_t name[32] = {};
        if (root && GetClassNameW(root, name, 32) && std::wcscmp(name, kClassName) == 0 &&
            wheelOverPreviewPicture(GetDlgItem(root, ids::PreviewImage), message->pt,
                                    GET_WHEEL_DELTA_WPARAM(message->wParam)))
            return 1;
    }
    if (code == MSGF_DIALOGBOX && !inside && message && message->message >= WM_KEYFIRST &&
        message->message <= WM_KEYLAST) {
        HWND root = GetAncestor(message->hwnd, GA_ROOT);
        wchar_t name[32] = {};
        if (root && GetClassNameW(root, name, 32) && std::wcscmp(name, kClassName) == 0) {
            inside = true;
            const BOOL handled = IsDialogMessageW(root, message);
            inside = false;
            if (handled) return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void PreviewWindow::create() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(instance);
    const std::u16string caption = utf16FromUtf8(preview::frame().caption);
    window_ = CreateWindowExW(0, kClassName, wide(caption), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                              CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, nullptr);
    if (!window_) return;
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PreviewWindow::windowProc));
    keyboardHook_ = SetWindowsHookExW(WH_MSGFILTER, &PreviewWindow::filterMessage, nullptr, GetCurrentThreadId());

    fonts_.create(window_);
    const window::FontSpec& dialog = window::font(window::FontRole::Dialog);
    const std::u16string face = utf16FromUtf8(dialog.face);
    HDC screen = GetDC(window_);
    const int pixelsPerInch = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(window_, screen);
    dialogFont_ = CreateFontW(-MulDiv(dialog.pointSize, pixelsPerInch, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              VARIABLE_PITCH | FF_SWISS, wide(face));
    units_ = baseUnits(window_, dialogFont_);

    for (const preview::ControlDescription& description : preview::controls()) {
        const std::u16string text = utf16FromUtf8(description.text);
        HWND child = description.kind == preview::ControlKind::ImageView
                         ? createPreviewPicture(window_, description.id, model_)
                         : CreateWindowExW(0, controlClass(description), wide(text), controlStyle(description), 0, 0,
                                           0, 0, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(description.id)),
                                           instance, nullptr);
        HFONT font = fonts_.get(description.font);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : dialogFont_), FALSE);
    }

    // The window's outer size for the described client area.
    const preview::FrameDescription& frame = preview::frame();
    RECT area{0, 0, units_.x(frame.clientWidth), units_.y(frame.clientHeight)};
    AdjustWindowRectEx(&area, WS_OVERLAPPEDWINDOW, FALSE, 0);
    SetWindowPos(window_, nullptr, 0, 0, area.right - area.left, area.bottom - area.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    layout();
}

void PreviewWindow::layout() {
    RECT client{};
    GetClientRect(window_, &client);
    for (const preview::ControlDescription& description : preview::controls()) {
        const preview::PixelRect r = preview::place(description, client.right, client.bottom, units_);
        MoveWindow(control(description.id), r.x, r.y, r.width, r.height, TRUE);
    }
    // Moved controls leave their old pictures and texts on the background unless all of it is
    // painted again, children included.
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void PreviewWindow::refresh() {
    for (const preview::ControlDescription& description : preview::controls()) {
        HWND child = control(description.id);
        ShowWindow(child, model_.isVisible(description.id) ? SW_SHOWNA : SW_HIDE);
        if (description.kind == preview::ControlKind::RadioButton) {
            const bool checked = model_.isChecked(description.id);
            SendMessageW(child, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
            // Tab stops at a choice once, on its ticked button; the arrows move within it.
            const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
            SetWindowLongPtrW(child, GWL_STYLE, checked ? style | WS_TABSTOP : style & ~DWORD{WS_TABSTOP});
        }
    }
    SetWindowTextW(control(ids::PreviewFigures), wide(joined(model_.figureLines(), "\r\n")));
    HWND warnings = control(ids::PreviewWarnings);
    SetWindowTextW(warnings, wide(joined(model_.warningLines(), "\r\n\r\n")));
    HFONT font = model_.hasWarnings() ? fonts_.get(window::FontRole::Frame) : dialogFont_;
    SendMessageW(warnings, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    EnableWindow(control(ids::PreviewSave), !model_.empty() && onSave != nullptr);
    InvalidateRect(control(ids::PreviewImage), nullptr, FALSE);
    InvalidateRect(control(ids::PreviewHistogram), nullptr, FALSE);
}

void PreviewWindow::showResults(std::vector<FinishedReport> results, HWND beside) {
    model_.setResults(std::move(results));
    if (!window_) {
        create();
        if (window_ && beside) placeBeside(beside);
    }
    if (!window_) return;
    refresh();
    // Shown (a minimized one restored) and raised without taking the keyboard from the main
    // window, where the user goes on working.
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void PreviewWindow::placeBeside(HWND main) {
    RECT mainFrame{}, own{};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetWindowRect(main, &mainFrame) || !GetWindowRect(window_, &own) ||
        !GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& work = monitor.rcWork;
    const auto at = besideMainWindow(
        {mainFrame.left, mainFrame.top, mainFrame.right - mainFrame.left, mainFrame.bottom - mainFrame.top},
        own.right - own.left, own.bottom - own.top, {work.left, work.top, work.right - work.left, work.bottom - work.top});
    if (at) SetWindowPos(window_, nullptr, at->first, at->second, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PreviewWindow::updateResults(std::vector<FinishedReport> results) {
    if (!window_ || !IsWindowVisible(window_)) return;
    model_.setResults(std::move(results));
    refresh();
}

void PreviewWindow::drawHistogram(const DRAWITEMSTRUCT& item) {
    const RECT& area = item.rcItem;
    HBRUSH background = CreateSolidBrush(colour(preview::kHistogramBackground));
    FillRect(item.hDC, &area, background);
    DeleteObject(background);
    HBRUSH frame = GetSysColorBrush(COLOR_BTNSHADOW);
    FrameRect(item.hDC, &area, frame);
    const int width = area.right - area.left, inner = area.bottom - area.top - 2;
    const std::array<int, 256> bars = model_.histogramBars(inner);
    HBRUSH bar = CreateSolidBrush(colour(preview::kHistogramBars));
    for (int bin = 0; bin < 256; ++bin) {
        const int height = bars[static_cast<std::size_t>(bin)];
        if (height == 0) continue;
        const int left = static_cast<int>(area.left) + 1 + bin * (width - 2) / 256;
        const int right = std::max(left + 1, static_cast<int>(area.left) + 1 + (bin + 1) * (width - 2) / 256);
        const RECT column{left, area.top + 1 + inner - height, right, area.top + 1 + inner};
        FillRect(item.hDC, &column, bar);
    }
    DeleteObject(bar);
    // Tick marks at the quarters of the levels, and the scale in the corner.
    HPEN pen = CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW));
    HGDIOBJ oldPen = SelectObject(item.hDC, pen);
    for (int bin : PreviewModel::kHistogramTickBins) {
        const int x = static_cast<int>(area.left) + 1 + (2 * bin + 1) * (width - 2) / 512;
        MoveToEx(item.hDC, x, area.bottom - 2, nullptr);
        LineTo(item.hDC, x, area.bottom - 6);
    }
    SelectObject(item.hDC, oldPen);
    DeleteObject(pen);
    RECT corner{area.left, area.top + 2, area.right - 3, area.bottom};
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(COLOR_3DDKSHADOW));
    HGDIOBJ oldFont = SelectObject(item.hDC, dialogFont_);
    DrawTextW(item.hDC, model_.logarithmicHistogram() ? L"log" : L"linear", -1, &corner,
              DT_RIGHT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(item.hDC, oldFont);
}

LRESULT CALLBACK PreviewWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->handleMessage(message, wParam, lParam);
}

LRESULT PreviewWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HIWORD(wParam) == BN_SETFOCUS) {
                // An arrow key moving through a choice picks the button it lands on, as a click
                // does (a click itself picks it on release).
                HWND button = reinterpret_cast<HWND>(lParam);
                if (GetKeyState(VK_LBUTTON) >= 0 && SendMessageW(button, BM_GETCHECK, 0, 0) != BST_CHECKED &&
                    model_.handle(id))
                    refresh();
                return 0;
            }
            // Esc, through the dialog keys.
            if (id == IDCANCEL) {
                SendMessageW(window_, WM_CLOSE, 0, 0);
                return 0;
            }
            if (id == ids::PreviewHistogram && (HIWORD(wParam) == STN_CLICKED || HIWORD(wParam) == STN_DBLCLK)) {
                // Each click switches the scale, the second of a double click too.
                model_.setLogarithmicHistogram(!model_.logarithmicHistogram());
                InvalidateRect(control(ids::PreviewHistogram), nullptr, FALSE);
                return 0;
            }
            if (HIWORD(wParam) != BN_CLICKED) break;
            if (id == ids::PreviewSave) {
                if (onSave) onSave(*this);
            } else if (model_.handle(id)) {
                refresh();
            }
            return 0;
        }
        case WM_SIZE: layout(); return 0;
        case WM_MOUSEWHEEL: {
            // Passed up by the control with the keyboard: the picture's when the cursor is over it.
            const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            wheelOverPreviewPicture(control(ids::PreviewImage), at, GET_WHEEL_DELTA_WPARAM(wParam));
            return 0;
        }
        case WM_NEXTDLGCTL: {
            // What the dialog manager asks of a dialog on Tab; this window is none, so it answers.
            HWND focus = GetFocus();
            HWND next = LOWORD(lParam) ? reinterpret_cast<HWND>(wParam)
                                       : GetNextDlgTabItem(window_, IsChild(window_, focus) ? focus : nullptr,
                                                           wParam != 0);
            if (next) SetFocus(next);
            return 0;
        }
        case WM_ACTIVATE:
            // The focus goes back to the control that had it, or to the first stop.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window_, focus)) rememberedFocus_ = focus;
            } else {
                // Only a tab stop: a choice's other buttons would pick themselves on taking it.
                const bool remembered = rememberedFocus_ && IsWindowVisible(rememberedFocus_) &&
                                        IsWindowEnabled(rememberedFocus_) &&
                                        (GetWindowLongPtrW(rememberedFocus_, GWL_STYLE) & WS_TABSTOP);
                HWND focus = remembered ? rememberedFocus_ : GetNextDlgTabItem(window_, nullptr, FALSE);
                rememberedFocus_ = nullptr;
                if (focus) SetFocus(focus);
            }
            return 0;
        case WM_GETMINMAXINFO: {
            const preview::FrameDescription& frame = preview::frame();
            RECT area{0, 0, units_.x(frame.minimumWidth), units_.y(frame.minimumHeight)};
            AdjustWindowRectEx(&area, WS_OVERLAPPEDWINDOW, FALSE, 0);
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {area.right - area.left, area.bottom - area.top};
            return 0;
        }
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item.CtlID == static_cast<UINT>(ids::PreviewHistogram)) drawHistogram(item);
            return TRUE;
        }
        case WM_CTLCOLORSTATIC: {
            auto dc = reinterpret_cast<HDC>(wParam);
            SetBkMode(dc, TRANSPARENT);
            const bool warning = reinterpret_cast<HWND>(lParam) == control(ids::PreviewWarnings) && model_.hasWarnings();
            SetTextColor(dc, warning ? colour(preview::kWarningColour) : GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_CLOSE:
            // Hidden, not destroyed: the next results show in the same place and size.
            ShowWindow(window_, SW_HIDE);
            if (onClosed) onClosed();
            return 0;
        case WM_DESTROY:
            fonts_.release();
            if (dialogFont_) DeleteObject(dialogFont_);
            dialogFont_ = nullptr;
            window_ = nullptr;
            return 0;
        default: break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace kelvarin::win32
