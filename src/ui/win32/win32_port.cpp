#include "ui/win32/win32_port.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "ui/dialog_template.h"
#include "ui/file_filter.h"
#include "ui/ids.h"
#include "ui/wide_text.h"
#include "ui/win32/preview_window.h"
#include "ui/window_description.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the Windows API's wide characters are UTF-16 units");

namespace kelvarin::win32 {

namespace {

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Long enough for any path the dialogs can return (the \\?\ limit).
constexpr DWORD kPathBufferLength = 32768;

void enableCommands(HMENU menu, std::span<const window::MenuEntry> entries, bool enabled) {
    for (const window::MenuEntry& entry : entries) {
        if (entry.kind == window::MenuEntryKind::Submenu) enableCommands(menu, entry.items, enabled);
        if (entry.kind == window::MenuEntryKind::Command && window::isConversionCommand(entry.id))
            EnableMenuItem(menu, static_cast<UINT>(entry.id), MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }
}

struct TextDialogData {
    const TextRequest& request;
    std::string answer;
};

INT_PTR CALLBACK textDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const auto& data = *reinterpret_cast<TextDialogData*>(lParam);
        SetDlgItemTextW(dialog, ids::TextPrompt, wide(utf16FromUtf8(data.request.prompt)));
        SetDlgItemTextW(dialog, ids::TextBox, wide(utf16FromUtf8(data.request.initialText)));
        HWND box = GetDlgItem(dialog, ids::TextBox);
        SendMessageW(box, EM_SETSEL, 0, -1);
        SetFocus(box);
        return FALSE;  // the focus is set
    }
    if (message != WM_COMMAND) return FALSE;
    auto* data = reinterpret_cast<TextDialogData*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (LOWORD(wParam)) {
        case IDOK: {
            HWND box = GetDlgItem(dialog, ids::TextBox);
            std::vector<wchar_t> text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
            GetWindowTextW(box, text.data(), static_cast<int>(text.size()));
            if (data) data->answer = utf8FromUtf16(reinterpret_cast<const char16_t*>(text.data()));
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
    }
}

}  // namespace

WindowsDisabled::WindowsDisabled(const ProgramWindows& windows)
    : windows_(windows),
      mainWasEnabled_(windows.main && IsWindowEnabled(windows.main)),
      previewWasEnabled_(windows.preview && IsWindowEnabled(windows.preview)),
      active_(GetActiveWindow()) {
    if (mainWasEnabled_) EnableWindow(windows_.main, FALSE);
    if (previewWasEnabled_) EnableWindow(windows_.preview, FALSE);
}

WindowsDisabled::~WindowsDisabled() {
    // Set back in any case: a closing dialog enables its owner whatever its state was before.
    if (windows_.main && IsWindow(windows_.main)) EnableWindow(windows_.main, mainWasEnabled_);
    if (windows_.preview && IsWindow(windows_.preview)) EnableWindow(windows_.preview, previewWasEnabled_);
    // Nothing was disabled here: an outer box keeps the keyboard.
    if (!mainWasEnabled_ && !previewWasEnabled_) return;
    const bool previewActive = active_ && active_ == windows_.preview && previewWasEnabled_ &&
                               IsWindowVisible(windows_.preview);
    HWND back = previewActive ? windows_.preview : mainWasEnabled_ ? windows_.main : nullptr;
    if (back) SetForegroundWindow(back);
}

std::optional<std::string> runTextDialog(const TextRequest& request, const ProgramWindows& windows) {
    window::WindowFrameDescription frame = window::textDialogFrame();
    frame.caption = request.title;
    const std::vector<std::uint8_t> bytes =
        dialog_template::build(frame, window::textDialogControls(), window::font(window::FontRole::Dialog));
    // The template must be DWORD-aligned; a vector of DWORDs guarantees it.
    std::vector<DWORD> aligned((bytes.size() + 3) / 4, 0);
    std::memcpy(aligned.data(), bytes.data(), bytes.size());
    TextDialogData data{request, {}};
    const WindowsDisabled disabled(windows);
    const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                                   reinterpret_cast<LPCDLGTEMPLATEW>(aligned.data()), windows.main,
                                                   textDialogProc, reinterpret_cast<LPARAM>(&data));
    if (result != IDOK) return std::nullopt;
    return data.answer;
}

std::optional<std::string> runFileDialog(const FileDialogData& data) {
    const std::u16string title = utf16FromUtf8(data.request.title);
    const std::u16string filter = fileDialogFilter(data.request.filters);
    const std::u16string extension = utf16FromUtf8(data.request.defaultExtension);
    std::vector<wchar_t> name(kPathBufferLength, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = data.owner;
    dialog.lpstrFilter = filter.empty() ? nullptr : wide(filter);
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = kPathBufferLength;
    dialog.lpstrTitle = wide(title);
    dialog.lpstrDefExt = extension.empty() ? nullptr : wide(extension);
    // Save: an existing folder, confirm a new name, take an existing file without asking (unless
    // the request says otherwise).
    dialog.Flags = data.save ? OFN_PATHMUSTEXIST | OFN_CREATEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST;
    if (data.save && data.request.confirmOverwrite) dialog.Flags |= OFN_OVERWRITEPROMPT;
    BOOL chosen = FALSE;
    {
        const WindowsDisabled disabled(data.windows);
        chosen = data.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    }
    if (!chosen || name[0] == L'\0') return std::nullopt;
    std::string path = utf8FromUtf16(reinterpret_cast<const char16_t*>(name.data()));
    // A bare name saved takes the extension of the filter picked, which decides the format.
    const std::size_t picked = dialog.nFilterIndex;
    if (data.save && picked >= 1 && picked <= data.request.filters.size())
        path = withFilterExtension(path, data.request.filters[picked - 1]);
    return path;
}

MessageAnswer runMessageBox(const MessageBoxData& data) {
    const MessageBoxRequest& request = data.request;
    UINT flags = request.buttons == MessageButtons::OkCancel ? MB_OKCANCEL
                 : request.buttons == MessageButtons::YesNo  ? MB_YESNO | MB_DEFBUTTON1
                                                             : MB_OK;
    switch (request.icon) {
        case MessageIcon::Error: flags |= MB_ICONERROR; break;
        case MessageIcon::Exclamation: flags |= MB_ICONEXCLAMATION; break;
        case MessageIcon::Information: flags |= MB_ICONINFORMATION; break;
    }
    if (request.taskModal) flags |= MB_TASKMODAL;
    // The box has no owner, so the main window and the preview are disabled by hand (a task-modal
    // box does that itself); the terrain warning leaves them enabled.
    std::optional<WindowsDisabled> disabled;
    if (request.disablesWindow && !request.taskModal) disabled.emplace(data.windows);
    const int answer = MessageBoxW(nullptr, wide(utf16FromUtf8(request.text)), wide(utf16FromUtf8(request.caption)),
                                   flags);
    disabled.reset();
    return answer == IDCANCEL || answer == IDNO ? MessageAnswer::Cancel : MessageAnswer::Ok;
}

Win32Port::Win32Port() = default;

Win32Port::~Win32Port() = default;

void Win32Port::detach() {
    window_ = nullptr;
    preview_.reset();
}

void Win32Port::showPreview(const std::vector<FinishedReport>& results) {
    if (!preview_) {
        preview_ = std::make_unique<PreviewWindow>();
        preview_->onSave = [this](PreviewWindow& preview) {
            if (!savePreview) return;
            savingPreview_ = true;
            savePreview(preview.model().image());
            savingPreview_ = false;
        };
    }
    preview_->showResults(results, window_);
}

void Win32Port::updateOpenPreview(const std::vector<FinishedReport>& results) {
    if (preview_) preview_->updateResults(results);
}

ProgramWindows Win32Port::windows() const { return {window_, preview_ ? preview_->handle() : nullptr}; }

std::optional<std::string> Win32Port::askOpenFile(const FileDialogRequest& request) {
    return runFileDialog({request, window_, false, windows()});
}

std::optional<std::string> Win32Port::askSaveFile(const FileDialogRequest& request) {
    const ProgramWindows all = windows();
    return runFileDialog({request, savingPreview_ && all.preview ? all.preview : window_, true, all});
}

MessageAnswer Win32Port::showMessage(const MessageBoxRequest& request) { return runMessageBox({request, windows()}); }

std::optional<std::string> Win32Port::askText(const TextRequest& request) { return runTextDialog(request, windows()); }

namespace {

// Clicks and keys that reach a window's client area (the controls).
bool isClientInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST && message != WM_SYSKEYDOWN && message != WM_SYSKEYUP &&
            message != WM_SYSCHAR) ||
           (message >= WM_LBUTTONDOWN && message <= WM_MOUSELAST);
}

}  // namespace

void Win32Port::answerDuringJob() const {
    MSG message;
    for (int pending = 0; pending < 256 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++pending) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        const bool toMain = window_ && (message.hwnd == window_ || IsChild(window_, message.hwnd));
        if (toMain && message.message == WM_KEYDOWN && message.wParam == VK_ESCAPE) {
            if (onEscapeDuringJob) onEscapeDuringJob();
            continue;
        }
        if (toMain && isClientInput(message.message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Win32Port::repaint(HWND target) const {
    if (target) UpdateWindow(target);
    if (jobRunning && jobRunning()) return answerDuringJob();
    // Paint messages only: input stays queued until the job has returned to the message loop.
    MSG message;
    for (int pending = 0; pending < 64 && PeekMessageW(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++pending)
        DispatchMessageW(&message);
}

void Win32Port::appendLogLine(std::string_view text) {
    HWND list = control(ids::LogList);
    if (!list) return;
    // Inserted one past the last line, which does not scroll the view by itself.
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    // As a terminal does: the view follows new lines unless the user has scrolled up to read.
    RECT area{};
    GetClientRect(list, &area);
    const LRESULT itemHeight = SendMessageW(list, LB_GETITEMHEIGHT, 0, 0);
    const LRESULT visible = itemHeight > 0 ? std::max<LRESULT>((area.bottom - area.top) / itemHeight, 1) : 1;
    const bool following = SendMessageW(list, LB_GETTOPINDEX, 0, 0) + visible >= count;
    const std::u16string line = utf16FromUtf8(text);
    SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(count < 0 ? 0 : count),
                 reinterpret_cast<LPARAM>(wide(line)));
    if (following && count + 1 > visible) SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(count + 1 - visible), 0);
    repaint(list);
}

void Win32Port::clearLog() {
    if (HWND list = control(ids::LogList)) SendMessageW(list, LB_RESETCONTENT, 0, 0);
}

void Win32Port::setProgressRange(std::int32_t minimum, std::int32_t maximum) {
    if (HWND bar = control(ids::ProgressBar)) SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}

void Win32Port::setProgressPosition(std::int32_t position) {
    HWND bar = control(ids::ProgressBar);
    if (!bar) return;
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    repaint(bar);
}

void Win32Port::setConversionCommandsEnabled(bool enabled) {
    HMENU menu = window_ ? GetMenu(window_) : nullptr;
    if (!menu) return;
    enableCommands(menu, window::menuBar(), enabled);
    EnableMenuItem(menu, static_cast<UINT>(ids::StopConversion), MF_BYCOMMAND | (enabled ? MF_GRAYED : MF_ENABLED));
}

void Win32Port::setMenuItemChecked(int commandId, bool checked) {
    if (HMENU menu = window_ ? GetMenu(window_) : nullptr)
        CheckMenuItem(menu, static_cast<UINT>(commandId), MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void Win32Port::setMenuItemText(int commandId, const std::string& text) {
    HMENU menu = window_ ? GetMenu(window_) : nullptr;
    if (!menu) return;
    // The text only: the item keeps its radio tick and its state.
    std::u16string wideText = utf16FromUtf8(text);
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = reinterpret_cast<wchar_t*>(wideText.data());
    SetMenuItemInfoW(menu, static_cast<UINT>(commandId), FALSE, &item);
}

void Win32Port::resetOptionControls() {
    if (!window_) return;
    // The first button of each radio group is the default.
    const auto controls = window::controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].kind != window::ControlKind::RadioButton || !controls[i].startsGroup) continue;
        std::size_t last = i;
        while (last + 1 < controls.size() && controls[last + 1].kind == window::ControlKind::RadioButton &&
               !controls[last + 1].startsGroup)
            ++last;
        CheckRadioButton(window_, controls[i].id, controls[last].id, controls[i].id);
    }
    for (int id : {ids::Swap, ids::Boost, ids::Invert}) CheckDlgButton(window_, id, BST_UNCHECKED);
}

bool Win32Port::isControlChecked(int controlId) {
    return window_ && IsDlgButtonChecked(window_, controlId) == BST_CHECKED;
}

void Win32Port::closeWindow() {
    if (window_) EndDialog(window_, 0);
}

// The folder of kelvarin.exe: the zip puts README.txt beside it.
std::string Win32Port::programFolder() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            std::u16string text(reinterpret_cast<const char16_t*>(path.data()), length);
            return utf8FromUtf16(text.substr(0, text.find_last_of(u"\\/")));
        }
        path.resize(path.size() * 2);
    }
}

// Explorer's "open" for the file's kind (Notepad for README.txt unless the user chose another).
bool Win32Port::openDocument(const std::string& path) {
    const std::u16string widePath = utf16FromUtf8(path);
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(
        window_, L"open", reinterpret_cast<const wchar_t*>(widePath.c_str()), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

}  // namespace kelvarin::win32
