// A port for the tests: dialog answers are queued in advance; message boxes, log lines,
// progress calls and the greying of the commands are recorded.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "job/clock.h"
#include "job/port.h"
#include "job/session.h"
#include "ui/command_handler.h"

namespace kelvarin::test {

class ScriptedPort final : public UiPort {
public:
    struct Dialog {
        bool save;
        FileDialogRequest request;
    };

    // Each dialog takes the next answer; nothing (std::nullopt) is a cancelled dialog.
    std::deque<std::optional<std::string>> answers;
    // Answers for OK/Cancel boxes; empty means OK.
    std::deque<MessageAnswer> boxAnswers;
    // Answers for the text dialog; empty (or nothing) means Cancel.
    std::deque<std::optional<std::string>> textAnswers;
    std::map<int, bool> checked;

    std::vector<Dialog> dialogs;
    std::vector<MessageBoxRequest> boxes;
    std::vector<TextRequest> textRequests;
    // The tick of each menu command that was ever ticked or cleared.
    std::map<int, bool> menuTicks;
    std::map<int, std::string> menuTexts;
    // The outputs of each preview shown, in order.
    std::vector<std::vector<std::string>> previews;
    std::vector<std::vector<std::string>> previewUpdates;  // updateOpenPreview calls
    std::vector<std::string> log;
    std::vector<std::pair<int, int>> ranges;
    std::vector<int> positions;
    bool commandsEnabled = true;
    std::vector<bool> enableCalls;
    int controlResets = 0;
    bool closed = false;
    // Help > Manual: the program's folder as the port gives it, the documents it was asked to
    // open, and whether the viewer opens them.
    std::string folder;
    std::vector<std::string> openedDocuments;
    bool documentsOpen = true;
    // Called with each log line as it is appended: lets a test change the disk mid-job.
    std::function<void(const std::string&)> onLogLine;
    // Called with each progress position as it is set (the same one again is a window's pulse).
    std::function<void(int)> onPosition;

    std::optional<std::string> askOpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> askSaveFile(const FileDialogRequest& request) override;
    MessageAnswer showMessage(const MessageBoxRequest& request) override;
    std::optional<std::string> askText(const TextRequest& request) override;
    void appendLogLine(std::string_view text) override {
        log.emplace_back(text);
        if (onLogLine) onLogLine(log.back());
    }
    void clearLog() override { log.clear(); }
    void setProgressRange(std::int32_t minimum, std::int32_t maximum) override { ranges.emplace_back(minimum, maximum); }
    void setProgressPosition(std::int32_t position) override {
        positions.push_back(position);
        if (onPosition) onPosition(position);
    }
    void setConversionCommandsEnabled(bool enabled) override {
        commandsEnabled = enabled;
        enableCalls.push_back(enabled);
    }
    void setMenuItemChecked(int commandId, bool checked) override { menuTicks[commandId] = checked; }
    void setMenuItemText(int commandId, const std::string& text) override { menuTexts[commandId] = text; }
    void showPreview(const std::vector<FinishedReport>& results) override { previews.push_back(outputsOf(results)); }
    void updateOpenPreview(const std::vector<FinishedReport>& results) override {
        previewUpdates.push_back(outputsOf(results));
    }
    void resetOptionControls() override { ++controlResets; }
    bool isControlChecked(int id) override { return checked[id]; }
    void closeWindow() override { closed = true; }
    std::string programFolder() override { return folder; }
    bool openDocument(const std::string& path) override {
        openedDocuments.push_back(path);
        return documentsOpen;
    }

    // "CAPTION: TEXT" of every box, in order.
    std::vector<std::string> boxTexts() const;

private:
    // The paths a preview was handed, one per result.
    static std::vector<std::string> outputsOf(const std::vector<FinishedReport>& results) {
        std::vector<std::string> outputs;
        for (const FinishedReport& result : results) outputs.push_back(result.report.output);
        return outputs;
    }
};

// A clock that stands still unless a test moves it.
class FixedClock final : public Clock {
public:
    LocalDateTime time{2026, 12, 7, 10, 20, 30, 0};
    LocalDateTime now() const override { return time; }
};

// A session wired to a scripted port and a fixed clock, started like the window.
struct Harness {
    ScriptedPort port;
    FixedClock clock;
    Session session{port, clock};
    CommandHandler handler{session};
    Harness() { handler.start(); }
    // Jobs read and write the files of `files` instead of the disk.
    explicit Harness(FileSystem& files) : session{port, clock, files} { handler.start(); }

    // Runs a menu command with the given dialog answers; returns the handler's result.
    int run(int commandId, std::vector<std::optional<std::string>> dialogAnswers);
};

}  // namespace kelvarin::test
