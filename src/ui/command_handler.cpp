#include "ui/command_handler.h"

#include "job/conversion_job.h"
#include "job/preview_file.h"
#include "job/terrain_set_job.h"
#include "ui/help_pages.h"
#include "ui/height_range_command.h"
#include "ui/ids.h"
#include "ui/manual_command.h"
#include "ui/source_commands.h"
#include "ui/tile_command.h"
#include "ui/window_description.h"

namespace kelvarin {

namespace {

const char kModeWarning[] = "All the Options are Deactivated in this mode!";

}  // namespace

MessageBoxRequest modeWarningBox() { return noticeBox(kModeWarning, "KELVARIN - Warning.", MessageIcon::Exclamation); }

namespace {

// The size of an engine size's command, read from its menu text ("1025 x 1025").
std::optional<ImageSize> presetSize(int commandId) {
    if (commandId == ids::OriginalSize || commandId == ids::OtherSize) return std::nullopt;
    const window::MenuEntry* entry = window::findMenuCommand(commandId);
    if (entry == nullptr || entry->group != window::ChoiceGroup::OutputSize) return std::nullopt;
    return parseImageSize(entry->text).size;
}

}  // namespace

int sizeChoiceCommand(const std::optional<ImageSize>& size) {
    if (!size) return ids::OriginalSize;
    for (int id : window::choiceGroupCommands(window::ChoiceGroup::OutputSize))
        if (presetSize(id) == size) return id;
    return ids::OtherSize;
}

void CommandHandler::start() {
    resetWindow();
    session_.options = ConversionOptions{};
    session_.request = JobRequest{};
    tickSizeChoice();
    session_.port.setMenuItemChecked(ids::Tiles, false);
    previewAfterJob_ = window::findMenuCommand(ids::ShowPreviewAfterJob)->tickedAtStart;
    session_.port.setMenuItemChecked(ids::ShowPreviewAfterJob, previewAfterJob_);
}

void CommandHandler::showLastResult() {
    if (lastResults_.empty()) {
        session_.port.showMessage(noticeBox("No height map has been written yet. The preview shows the last one a "
                                            "job writes.",
                                            "KELVARIN - Preview", MessageIcon::Information));
        return;
    }
    session_.port.showPreview(lastResults_);
}

void CommandHandler::togglePreviewAfterJob() {
    previewAfterJob_ = !previewAfterJob_;
    session_.port.setMenuItemChecked(ids::ShowPreviewAfterJob, previewAfterJob_);
}

void CommandHandler::afterJob() {
    if (lastResult_ != 1 || session_.lastReports.empty()) return;
    lastResults_ = session_.lastReports;
    // Unticked, the preview does not come up by itself, but an open one never shows an older map
    // than the one just written.
    if (previewAfterJob_) {
        session_.port.showPreview(lastResults_);
    } else {
        session_.port.updateOpenPreview(lastResults_);
    }
}

void CommandHandler::savePreview(const GreyImage& picture) {
    // Its dialogs would run inside the job.
    if (!jobRunning_) savePreviewPicture(session_, picture);
}

void CommandHandler::openDropped(const std::string& path) {
    if (session_.busy.busy()) {
        session_.port.showMessage(noticeBox("A conversion is running. Drop the file again when it has finished.",
                                            "KELVARIN - Busy", MessageIcon::Exclamation));
        return;
    }
    session_.droppedSource = path;
    handle(ids::OpenImage);
    session_.droppedSource.reset();
}

void CommandHandler::tickSizeChoice() {
    const int chosen = sizeChoiceCommand(session_.options.outputSize);
    for (int id : window::choiceGroupCommands(window::ChoiceGroup::OutputSize))
        session_.port.setMenuItemChecked(id, id == chosen);
    // "Other Size... (3000 x 2000)" while it is the one chosen.
    std::string otherText(window::findMenuCommand(ids::OtherSize)->text);
    if (chosen == ids::OtherSize) otherText += " (" + imageSizeText(*session_.options.outputSize) + ")";
    session_.port.setMenuItemText(ids::OtherSize, otherText);
}

bool CommandHandler::handleSize(int id) {
    if (id == ids::OriginalSize) {
        session_.options.outputSize.reset();
    } else if (id == ids::OtherSize) {
        askOtherSize();
    } else if (const auto size = presetSize(id)) {
        session_.options.outputSize = size;
    } else {
        return false;
    }
    // Also after a cancelled or refused Other Size: a window may have moved the tick itself.
    tickSizeChoice();
    return true;
}

void CommandHandler::askOtherSize() {
    const std::optional<ImageSize>& current = session_.options.outputSize;
    const auto answer = session_.port.askText(
        {"KELVARIN Other Size", "Width x height in pixels, each from 1 to 65535 (one number for a square):",
         current ? imageSizeText(*current) : std::string()});
    if (!answer) return;
    const ImageSizeParse parsed = parseImageSize(*answer);
    if (!parsed.size) {
        session_.port.showMessage(noticeBox(parsed.refusal, "KELVARIN - Other Size", MessageIcon::Exclamation));
        return;
    }
    session_.options.outputSize = parsed.size;
}

void CommandHandler::resetWindow() {
    session_.busy.end();
    session_.port.resetOptionControls();
    session_.progress.setRange(0, 1);
    session_.progress.setPosition(0);
    session_.log.clear();
}

bool CommandHandler::handleOption(int id) {
    ConversionOptions& options = session_.options;
    UiPort& port = session_.port;
    if (id >= ids::Average && id <= ids::Blue) {
        options.colourWeighting = static_cast<ColourWeighting>(id - ids::Average);
        return true;
    }
    if (id >= ids::PosteriseNone && id <= ids::Posterise16) {
        options.posteriseSteps = kPosteriseChoices[id - ids::PosteriseNone];
        return true;
    }
    switch (id) {
        case ids::TeRaw:
            options.teRawMode = port.isControlChecked(id);
            port.showMessage(options.teRawMode
                                 ? modeWarningBox()
                                 : noticeBox("All Options are Activated.", "KELVARIN - Information.",
                                         MessageIcon::Information));
            return true;
        case ids::Swap: options.swapByteOrder = port.isControlChecked(id); return true;
        case ids::Boost: options.boostContrast = port.isControlChecked(id); return true;
        case ids::Invert: options.invert = port.isControlChecked(id); return true;
        case ids::FStopX2: options.fStopX2 = port.isControlChecked(id); return true;
        case ids::FStopX4: options.fStopX4 = port.isControlChecked(id); return true;
        case ids::ProgressBar:
        case ids::LogList: return true;
        default: return false;
    }
}

MessageBoxRequest stopQuestionBox() {
    return {.text = "Stop the conversion? The destination keeps its old contents.",
            .caption = "KELVARIN - Stop",
            .icon = MessageIcon::Exclamation,
            .buttons = MessageButtons::YesNo};
}

template <typename Job>
int CommandHandler::runJob(Job&& job) {
    session_.stop.clear();
    jobRunning_ = true;
    const int result = job();
    jobRunning_ = false;
    return result;
}

void CommandHandler::askStop() {
    // One question at a time; once Yes is given the job is on its way out.
    if (askingStop_ || session_.stop.requested()) return;
    askingStop_ = true;
    if (session_.port.showMessage(stopQuestionBox()) == MessageAnswer::Ok) session_.stop.request();
    askingStop_ = false;
}

void CommandHandler::handleDuringJob(int id) {
    switch (id) {
        case ids::StopConversion:
        case ids::KeyCancel:
        case ids::Quit: return askStop();
        case ids::ShowPreviewAfterJob: return session_.port.setMenuItemChecked(id, previewAfterJob_);
        default:
            if (window::findMenuCommand(id) != nullptr &&
                window::findMenuCommand(id)->group == window::ChoiceGroup::OutputSize)
                tickSizeChoice();
            return;
    }
}

void CommandHandler::handle(int id) {
    if (jobRunning_) return handleDuringJob(id);
    // Greyed unless a job runs.
    if (id == ids::StopConversion) return;
    if (const SourceCommand* command = findSourceCommand(id); command && command->kind != SourceKind::None)
        return runConversion(*command);
    switch (id) {
        case ids::Terrain4Max:
            return runTerrain(true, true, "4 files 8/4/2/1name.raw expected, 3 files written as",
                              findSourceCommand(id)->successText);
        case ids::Terrain4Avg:
            return runTerrain(true, false, "4 files 8/4/2/1name.raw expected, 3 files written as",
                              findSourceCommand(id)->successText);
        case ids::Terrain3:
            return runTerrain(false, false, "3 files 4/2/1name.raw expected, 3 files written as",
                              findSourceCommand(id)->successText);
        case ids::Quit:
            // Only reachable under a running command through the terrain warning, which leaves
            // the window enabled: closing then would pull the window from under the command.
            if (session_.busy.busy()) return;
            resetWindow();
            session_.port.closeWindow();
            return;
        case ids::PreviewLastResult: return showLastResult();
        case ids::ShowPreviewAfterJob: return togglePreviewAfterJob();
        case ids::HeightRange: return askHeightRange(session_);
        case ids::HelpManual: return openManual(session_);
        case ids::Tiles:
            askTiles(session_);
            // Also after a cancelled or refused dialog: a window may have moved the tick itself.
            session_.port.setMenuItemChecked(ids::Tiles, session_.options.tiles.has_value());
            return;
        default: break;
    }
    if (handleOption(id) || handleSize(id)) return;
    if (const HelpPage* page = findHelpPage(id)) {
        session_.port.showMessage(noticeBox(page->text, std::string(page->caption), MessageIcon::Information));
        return;
    }
    session_.port.showMessage(noticeBox("This Option does NOT exist.", "KELVARIN", MessageIcon::Error));
}

void CommandHandler::showResult(int result, std::string_view successText) {
    lastResult_ = result != 0 ? 1 : 0;
    if (result != 0) {
        session_.port.showMessage(
            noticeBox(std::string(successText), "KELVARIN - Success.", MessageIcon::Information));
    } else {
        session_.port.showMessage(noticeBox("There were errors.", "KELVARIN - Error.", MessageIcon::Error));
    }
}

void CommandHandler::runConversion(const SourceCommand& command) {
    session_.setBusy();
    session_.request.kind = command.kind;
    if (command.modeWarning) session_.port.showMessage(modeWarningBox());
    showResult(runJob([this] { return runConversionJob(session_); }), command.successText);
    session_.log.endOfJob();
    afterJob();
}

void CommandHandler::runTerrain(bool fourSources, bool maximum, const char* secondLine, std::string_view successText) {
    session_.setBusy();
    const MessageBoxRequest warning{
        .text = std::string(kModeWarning) + "\r\n" + secondLine +
                "\r\nname_4096/_2048/_1024.tif; if existing overwritten!",
        .caption = "KELVARIN - Warning.",
        .icon = MessageIcon::Exclamation,
        .buttons = MessageButtons::OkCancel,
        .disablesWindow = false,  // the one box that leaves the main window usable
    };
    if (session_.port.showMessage(warning) == MessageAnswer::Ok) {
        showResult(runJob([&] { return buildTerrainSet(session_, fourSources, maximum); }), successText);
    } else {
        lastResult_ = 0;
    }
    session_.log.endOfJob();
    afterJob();
}

}  // namespace kelvarin
