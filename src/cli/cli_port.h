// The headless port: dialogs are answered from the command line, the log goes to stdout,
// message boxes to stderr as "CAPTION: TEXT".
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "job/port.h"

namespace kelvarin {

class Session;

// How a job's data stages run, for tests and benches (not in the help): KELVARIN_THREADS=N
// converts on N threads, KELVARIN_MAP=0 reads every source and KELVARIN_MAP=1 maps every source
// (by default TIFF strips are read, Radiance pictures mapped), KELVARIN_REPORT=0 counts no
// report (no warnings on stderr; --report is refused), KELVARIN_HELD_MIB=N lets a job keep N MiB
// of greys from its analysis. Without them a job of `jobsAtOnce` running together gets its share
// of the cores and of that memory.
void applyRunSettings(Session& session, unsigned jobsAtOnce);
// Whether KELVARIN_REPORT=0 turned the report off.
bool reportsTurnedOff();

class CliPort final : public UiPort {
public:
    CliPort(std::deque<std::string> answers, bool drawProgress)
        : answers_(std::move(answers)), drawProgress_(drawProgress) {}

    std::optional<std::string> askOpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> askSaveFile(const FileDialogRequest& request) override;
    MessageAnswer showMessage(const MessageBoxRequest& request) override;
    // Sizes come from --size; no command asks for text here.
    std::optional<std::string> askText(const TextRequest&) override { return std::nullopt; }
    void appendLogLine(std::string_view text) override;
    void clearLog() override {}
    void setProgressRange(std::int32_t minimum, std::int32_t maximum) override;
    void setProgressPosition(std::int32_t position) override;
    void setConversionCommandsEnabled(bool) override {}
    void setMenuItemChecked(int, bool) override {}
    void showPreview(const std::vector<FinishedReport>&) override {}
    void resetOptionControls() override {}
    bool isControlChecked(int) override { return false; }
    void closeWindow() override {}

private:
    std::optional<std::string> nextAnswer();
    void eraseProgress();

    std::deque<std::string> answers_;
    bool drawProgress_;
    bool progressShown_ = false;
    std::int32_t minimum_ = 0, maximum_ = 1, lastCells_ = -1;
};

}  // namespace kelvarin
