// The window's command handler: the one place where menu commands and option clicks turn into
// work. The CLI and both windows run this same code.
#pragma once

#include "job/session.h"

namespace kelvarin {

class CommandHandler {
public:
    explicit CommandHandler(Session& session) : session_(session) {}

    // Window creation: the window reset, then the option and job request defaults.
    void start();
    // Dispatches one command or control notification by its identifier.
    void handle(int commandId);
    // The window reset: commands enabled, default radio buttons, swap/boost/invert cleared,
    // progress 0 to 1 at 0, log cleared. The options are not written.
    void resetWindow();

    // Result of the last conversion or terrain command: 1 success, 0 failure, -1 none run.
    int lastResult() const { return lastResult_; }

private:
    void runConversion(SourceKind kind, bool modeWarning, const char* successText);
    void runTerrain(bool fourSources, bool maximum, const char* secondLine, const char* successText);
    void showResult(int result, const char* successText);
    bool handleOption(int commandId);
    // The Output menu: the size chosen, asked for, and shown by its tick.
    bool handleSize(int commandId);
    void askOtherSize();
    void tickSizeChoice();

    Session& session_;
    int lastResult_ = -1;
};

// The box shown when TE>Raw is ticked and before the PGM, RAW and BIN commands.
MessageBoxRequest modeWarningBox();

// The Output menu's command whose size is `size`: "Original Size" for none, an engine size by
// its text, "Other Size..." for any other.
int sizeChoiceCommand(const std::optional<ImageSize>& size);

}  // namespace kelvarin
