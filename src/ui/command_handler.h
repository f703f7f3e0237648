// The window's command handler: the one place where menu commands and option clicks turn into
// work. The CLI and both windows run this same code.
#pragma once

#include <string_view>
#include <vector>

#include "job/session.h"
#include "ui/source_commands.h"
#include "pixels/preview_images.h"

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
    // True while a conversion or terrain job runs (not while its first question is up).
    bool jobRunning() const { return jobRunning_; }

    // The preview window's "Save Preview As...": the picture it shows, saved as a PNG.
    void savePreview(const GreyImage& picture);
    // A file dropped on a window: File > Open... with it as the source, or the busy box while a
    // job runs.
    void openDropped(const std::string& path);

private:
    void runConversion(const SourceCommand& command);
    void runTerrain(bool fourSources, bool maximum, const char* secondLine, std::string_view successText);
    void showResult(int result, std::string_view successText);
    bool handleOption(int commandId);
    // The Output menu: the size chosen, asked for, and shown by its tick.
    bool handleSize(int commandId);
    void askOtherSize();
    void tickSizeChoice();
    // The View menu: the last results shown on demand, and after each job while ticked.
    void showLastResult();
    void togglePreviewAfterJob();
    void afterJob();
    // While a job runs, a window hands its events on: Esc, the close button and "Stop Conversion"
    // ask whether to stop it; anything else waits for the job (a tick Qt moved itself is put back).
    void handleDuringJob(int commandId);
    void askStop();
    // Runs one job with the stop request cleared and the running flag set.
    template <typename Job>
    int runJob(Job&& job);

    Session& session_;
    int lastResult_ = -1;
    bool previewAfterJob_ = true;
    bool jobRunning_ = false;
    bool askingStop_ = false;
    // The reports of the last job that wrote a greyscale image: a failed job or a TE>Raw export
    // since then leaves them.
    std::vector<FinishedReport> lastResults_;
};

// The question Esc, the close button and "Stop Conversion" ask while a job runs.
MessageBoxRequest stopQuestionBox();

// The box shown when TE>Raw is ticked and before the PGM, RAW and BIN commands.
MessageBoxRequest modeWarningBox();

// The Output menu's command whose size is `size`: "Original Size" for none, an engine size by
// its text, "Other Size..." for any other.
int sizeChoiceCommand(const std::optional<ImageSize>& size);

}  // namespace kelvarin
