// kelvarin-preview-check.exe FILE: opens the Win32 preview window on the made-up report of the Qt
// check and runs it until the window is closed. It then writes what the window showed into FILE
// (UTF-8, one "name: value" line each; texts with their line breaks as " | "), for check.py to
// compare: the caption, the figures, the warnings and their font, which controls were shown, the
// readout under a cursor on the picture before and after a zoom, and where the picture and the
// figures went when the window was made wider and taller.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "support/synthetic_report.h"
#include "ui/ids.h"
#include "ui/wide_text.h"
#include "ui/win32/preview_window.h"

namespace {

using kelvarin::win32::PreviewWindow;

std::string text(HWND window) {
    std::u16string wide(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, u'\0');
    wide.resize(static_cast<std::size_t>(GetWindowTextW(window, reinterpret_cast<wchar_t*>(wide.data()),
                                                         static_cast<int>(wide.size()))));
    std::string line = kelvarin::utf8FromUtf16(wide);
    for (std::size_t at = 0; (at = line.find("\r\n", at)) != std::string::npos;) line.replace(at, 2, " | ");
    return line;
}

RECT placed(HWND window, int id) {
    RECT rect{};
    GetWindowRect(GetDlgItem(window, id), &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::string rectText(const RECT& r) {
    return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + " " +
           std::to_string(r.bottom - r.top);
}

bool bold(HWND control) {
    auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    return font && GetObjectW(font, sizeof description, &description) && description.lfWeight >= FW_BOLD;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count != 2) return 2;
    InitCommonControls();

    PreviewWindow preview;
    preview.onClosed = [] { PostQuitMessage(0); };
    std::vector<kelvarin::FinishedReport> results;
    results.push_back(kelvarin::test::syntheticReport());
    // A stand-in for the main window near the screen's top left corner: the preview opens right
    // of it, level with its top.
    HWND mainWindow = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 20, 30, 300, 200, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    preview.showResults(std::move(results), mainWindow);
    HWND window = preview.handle();
    if (!window) return 1;
    RECT opened{};
    GetWindowRect(window, &opened);
    const std::string beside = "opened at: " + std::to_string(opened.left) + " " + std::to_string(opened.top) + "\n";

    // The picture under a cursor, with the messages the mouse would bring: the readout is the
    // picture's window text. Zoomed about a point, the point's readout stays; "Fit" gives back the
    // fitted readouts.
    HWND picture = GetDlgItem(window, kelvarin::ids::PreviewImage);
    RECT area{};
    GetClientRect(picture, &area);
    const POINT nearPoint{area.right / 4, area.bottom / 2}, farPoint{area.right * 3 / 4, area.bottom / 2};
    const auto readoutAt = [&](POINT at) {
        SendMessageW(picture, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
        return text(picture);
    };
    const std::string farFitted = readoutAt(farPoint), nearFitted = readoutAt(nearPoint);
    POINT onScreen = nearPoint;
    ClientToScreen(picture, &onScreen);
    SendMessageW(picture, WM_MOUSEWHEEL, MAKEWPARAM(0, 3 * WHEEL_DELTA), MAKELPARAM(onScreen.x, onScreen.y));
    const std::string nearZoomed = text(picture), farZoomed = readoutAt(farPoint);
    SendMessageW(FindWindowExW(picture, nullptr, L"BUTTON", L"Fit"), BM_CLICK, 0, 0);
    std::string readouts = "readout: " + nearFitted + "\n";
    readouts += std::string("zoom keeps the point: ") + (nearZoomed == nearFitted ? "yes" : "no: " + nearZoomed) + "\n";
    readouts += std::string("zoom moves the far point: ") + (farZoomed != farFitted ? "yes" : "no") + "\n";
    readouts += std::string("fit: ") + (readoutAt(farPoint) == farFitted ? "yes" : "no") + "\n";

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    namespace ids = kelvarin::ids;
    std::string lines = "caption: " + text(window) + "\n";
    lines += "figures: " + text(GetDlgItem(window, ids::PreviewFigures)) + "\n";
    lines += "warnings: " + text(GetDlgItem(window, ids::PreviewWarnings)) + "\n";
    lines += std::string("warnings bold: ") + (bold(GetDlgItem(window, ids::PreviewWarnings)) ? "yes" : "no") + "\n";
    lines += std::string("tile buttons: ") + (GetWindowLongW(GetDlgItem(window, ids::PreviewTile1), GWL_STYLE) &
                                                      WS_VISIBLE
                                                  ? "shown"
                                                  : "hidden") +
             "\n";
    lines += readouts + beside;
    lines += std::string("resizable: ") + (GetWindowLongW(window, GWL_STYLE) & WS_THICKFRAME ? "yes" : "no") + "\n";
    // Made 200 x 100 pixels larger, the picture takes the room and the figures move right.
    const RECT imageBefore = placed(window, ids::PreviewImage), figuresBefore = placed(window, ids::PreviewFigures);
    RECT outer{};
    GetWindowRect(window, &outer);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + 200, outer.bottom - outer.top + 100,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    lines += "image: " + rectText(imageBefore) + " -> " + rectText(placed(window, ids::PreviewImage)) + "\n";
    lines += "figures at: " + rectText(figuresBefore) + " -> " + rectText(placed(window, ids::PreviewFigures)) + "\n";

    FILE* out = _wfopen(arguments[1], L"wb");
    if (!out) return 1;
    const bool written = std::fwrite(lines.data(), 1, lines.size(), out) == lines.size();
    return std::fclose(out) == 0 && written ? 0 : 1;
}
