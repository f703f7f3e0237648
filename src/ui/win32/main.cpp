// kelvarin.exe: the Windows program. Initialises the common controls and runs the main window
// until it is closed.
#include <windows.h>

#include <commctrl.h>

#include "job/clock.h"
#include "formats/file.h"
#include "job/session.h"
#include "ui/ids.h"
#include "ui/command_handler.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_port.h"

namespace {

// The extended initialisation where comctl32 has it, the plain one otherwise.
void initialiseCommonControls() {
    using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    INITCOMMONCONTROLSEX classes{};
    classes.dwSize = 8;
    classes.dwICC = 0x9FF;
    static_assert(sizeof(INITCOMMONCONTROLSEX) == 8);
    HMODULE library = GetModuleHandleW(L"comctl32.dll");
    FARPROC entry = library ? GetProcAddress(library, "InitCommonControlsEx") : nullptr;
    auto initEx = reinterpret_cast<InitEx>(reinterpret_cast<void*>(entry));
    if (!initEx || !initEx(&classes)) InitCommonControls();
}

// A console the program is attached to that closes (or the session that ends under it) ends the
// program: the temporary file of a destination being written goes first.
BOOL WINAPI onConsoleEnd(DWORD) {
    kelvarin::removeTemporaryFilesNow();
    TerminateProcess(GetCurrentProcess(), 1);
    return TRUE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace kelvarin;
    initialiseCommonControls();
    SetConsoleCtrlHandler(onConsoleEnd, TRUE);
    win32::Win32Port port;
    SystemClock clock;
    Session session(port, clock);
    // The preview window shows what the jobs wrote, so their reports gather its picture too.
    session.reportPreview = PreviewGathering::Gather;
    CommandHandler handler(session);
    // Under a running command (the terrain warning leaves the windows enabled) the preview saves
    // nothing: its dialog and boxes would run inside the command.
    port.savePreview = [&handler, &session](const GreyImage& picture) {
        if (!session.busy.busy()) handler.savePreview(picture);
    };
    // While a job runs, Esc asks whether to stop it, as the menu item and the close button do.
    port.jobRunning = [&handler] { return handler.jobRunning(); };
    port.onEscapeDuringJob = [&handler] { handler.handle(ids::StopConversion); };
    win32::MainWindowData data{port, handler, {}, nullptr};
    const INT_PTR result = win32::runMainWindow(instance, data);
    return result < 0 ? 1 : 0;
}
