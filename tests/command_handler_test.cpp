#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/id_names.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

using test::Harness;

const std::string kEquals(72, '=');

struct ChoiceCase {
    int id;
    ColourWeighting weighting;
    std::int32_t steps;  // -1: the posterise group is not touched
};

class RadioChoice : public ::testing::TestWithParam<ChoiceCase> {};

// A radio button stores its value and leaves the other group alone; no box, no log line.
TEST_P(RadioChoice, StoresItsValue) {
    const ChoiceCase& c = GetParam();
    Harness harness;
    harness.session.options.colourWeighting = ColourWeighting::Green;
    harness.session.options.posteriseSteps = 12;
    harness.handler.handle(c.id);
    if (c.steps < 0) {
        EXPECT_EQ(harness.session.options.colourWeighting, c.weighting);
        EXPECT_EQ(harness.session.options.posteriseSteps, 12);
    } else {
        EXPECT_EQ(harness.session.options.posteriseSteps, c.steps);
        EXPECT_EQ(harness.session.options.colourWeighting, ColourWeighting::Green);
    }
    EXPECT_TRUE(harness.port.boxes.empty());
    EXPECT_TRUE(harness.port.log.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Options, RadioChoice,
    ::testing::Values(ChoiceCase{ids::Average, ColourWeighting::Average, -1}, ChoiceCase{ids::TV, ColourWeighting::TV, -1},
                      ChoiceCase{ids::HDTV, ColourWeighting::HDTV, -1}, ChoiceCase{ids::Red, ColourWeighting::Red, -1},
                      ChoiceCase{ids::Green, ColourWeighting::Green, -1},
                      ChoiceCase{ids::Blue, ColourWeighting::Blue, -1},
                      ChoiceCase{ids::PosteriseNone, {}, 0}, ChoiceCase{ids::Posterise4, {}, 4},
                      ChoiceCase{ids::Posterise5, {}, 5}, ChoiceCase{ids::Posterise6, {}, 6},
                      ChoiceCase{ids::Posterise8, {}, 8}, ChoiceCase{ids::Posterise12, {}, 12},
                      ChoiceCase{ids::Posterise16, {}, 16}),
    [](const auto& info) { return test::idName(info.param.id); });

// The Output menu: a size is chosen, or typed into "Other Size...", and the one tick follows it.
// A typed engine size ticks its own item; a size refused or a dialog cancelled changes nothing.
TEST(CommandHandler, OutputSizeIsChosenAndTicked) {
    struct Step {
        int id;
        std::optional<std::string> typed;  // the answer to "Other Size..." (nothing: Cancel)
        std::optional<ImageSize> size;     // the size afterwards
        int ticked;
        std::string box;  // "" when none
    };
    const Step steps[] = {
        {ids::Size1025, {}, ImageSize{1025, 1025}, ids::Size1025, ""},
        {ids::OtherSize, " 1000 x 700 ", ImageSize{1000, 700}, ids::OtherSize, ""},
        {ids::OtherSize, "2017", ImageSize{2017, 2017}, ids::Size2017, ""},
        {ids::OtherSize, "0", ImageSize{2017, 2017}, ids::Size2017, "A width or height of 0 is not possible."},
        {ids::OtherSize, "70000", ImageSize{2017, 2017}, ids::Size2017, "The largest possible width or height is 65535."},
        {ids::OtherSize, "big", ImageSize{2017, 2017}, ids::Size2017,
         "The size must be a number, or a width and a height such as 1025 x 1025."},
        {ids::OtherSize, std::nullopt, ImageSize{2017, 2017}, ids::Size2017, ""},
        {ids::Size8129, {}, ImageSize{8129, 8129}, ids::Size8129, ""},
        {ids::OriginalSize, {}, std::nullopt, ids::OriginalSize, ""},
    };
    Harness harness;
    EXPECT_TRUE(harness.port.menuTicks[ids::OriginalSize]);
    harness.port.menuTicks.erase(ids::ShowPreviewAfterJob);  // the View menu's toggle, no size
    EXPECT_FALSE(harness.port.menuTicks.at(ids::Tiles));
    harness.port.menuTicks.erase(ids::Tiles);  // nor is "Tiles..."
    std::string shown;  // the size "Other Size..." offers
    for (const Step& step : steps) {
        const std::string what = std::to_string(step.id) + " " + step.typed.value_or("(cancelled)");
        harness.port.boxes.clear();
        harness.port.textRequests.clear();
        harness.port.textAnswers = {step.typed};
        harness.handler.handle(step.id);
        EXPECT_EQ(harness.session.options.outputSize, step.size) << what;
        for (const auto& [id, ticked] : harness.port.menuTicks) EXPECT_EQ(ticked, id == step.ticked) << what << " " << id;
        EXPECT_EQ(harness.port.menuTicks.size(), 12u);
        if (step.id == ids::OtherSize) {
            ASSERT_EQ(harness.port.textRequests.size(), 1u);
            EXPECT_EQ(harness.port.textRequests[0].initialText, shown) << what;
        }
        shown = step.size ? imageSizeText(*step.size) : "";
        ASSERT_EQ(harness.port.boxes.size(), step.box.empty() ? 0u : 1u) << what;
        if (!step.box.empty()) {
            EXPECT_EQ(harness.port.boxes[0].text, step.box);
            EXPECT_EQ(harness.port.boxes[0].caption, "KELVARIN - Other Size");
        }
    }
    EXPECT_TRUE(harness.port.log.empty());
}

// Output > "Height Range...": LO:HI is kept, offered again next time, and an empty answer goes back
// to each file's own range; a text that is no range is refused with a box and changes nothing.
TEST(CommandHandler, HeightRangeIsAskedAndKept) {
    struct Step {
        std::optional<std::string> typed;  // nothing: Cancel
        std::optional<std::pair<double, double>> range;
        std::string box;
    };
    const Step steps[] = {
        {"-120:4810.5", std::pair{-120.0, 4810.5}, ""},
        {"5:5", std::pair{-120.0, 4810.5}, "The lowest height must be below the highest."},
        {"high", std::pair{-120.0, 4810.5}, "A height range is two numbers, LO:HI, such as -120:4810.5."},
        {std::nullopt, std::pair{-120.0, 4810.5}, ""},
        {" 0 : 1e3 ", std::pair{0.0, 1000.0}, ""},
        {"  ", std::nullopt, ""},
    };
    Harness harness;
    std::string shown;
    for (const Step& step : steps) {
        const std::string what = step.typed.value_or("(cancelled)");
        harness.port.boxes.clear();
        harness.port.textRequests.clear();
        harness.port.textAnswers = {step.typed};
        harness.handler.handle(ids::HeightRange);
        const std::optional<HeightRange>& got = harness.session.options.heightRange;
        ASSERT_EQ(got.has_value(), step.range.has_value()) << what;
        if (got) {
            EXPECT_EQ(got->low, step.range->first) << what;
            EXPECT_EQ(got->high, step.range->second) << what;
        }
        ASSERT_EQ(harness.port.textRequests.size(), 1u);
        EXPECT_EQ(harness.port.textRequests[0].initialText, shown) << what;
        shown = got ? heightRangeText(*got) : "";
        ASSERT_EQ(harness.port.boxes.size(), step.box.empty() ? 0u : 1u) << what;
        if (!step.box.empty()) {
            EXPECT_EQ(harness.port.boxes[0].text, step.box);
            EXPECT_EQ(harness.port.boxes[0].caption, "KELVARIN - Height Range");
        }
    }
    EXPECT_TRUE(harness.port.log.empty());
}

struct BoxCase {
    int id;
    bool ConversionOptions::*field;
};

class CheckBoxOption : public ::testing::TestWithParam<BoxCase> {};

// A check box copies the control's state into its own field only.
TEST_P(CheckBoxOption, FollowsTheBoxState) {
    const BoxCase& c = GetParam();
    Harness harness;
    harness.port.checked[c.id] = true;
    harness.handler.handle(c.id);
    ConversionOptions expected;
    expected.*c.field = true;
    const ConversionOptions& got = harness.session.options;
    EXPECT_EQ(got.boostContrast, expected.boostContrast);
    EXPECT_EQ(got.invert, expected.invert);
    EXPECT_EQ(got.swapByteOrder, expected.swapByteOrder);
    EXPECT_EQ(got.fStopX2, expected.fStopX2);
    EXPECT_EQ(got.fStopX4, expected.fStopX4);
    EXPECT_EQ(got.teRawMode, expected.teRawMode);
    harness.port.checked[c.id] = false;
    harness.handler.handle(c.id);
    EXPECT_FALSE(harness.session.options.*c.field);
    if (c.id != ids::TeRaw) {
        EXPECT_TRUE(harness.port.boxes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Options, CheckBoxOption,
                         ::testing::Values(BoxCase{ids::Swap, &ConversionOptions::swapByteOrder},
                                           BoxCase{ids::Boost, &ConversionOptions::boostContrast},
                                           BoxCase{ids::Invert, &ConversionOptions::invert},
                                           BoxCase{ids::FStopX2, &ConversionOptions::fStopX2},
                                           BoxCase{ids::FStopX4, &ConversionOptions::fStopX4},
                                           BoxCase{ids::TeRaw, &ConversionOptions::teRawMode}),
                         [](const auto& info) { return test::idName(info.param.id); });

TEST(CommandHandler, TeRawShowsModeWarningThenOptionsBack) {
    Harness harness;
    harness.port.checked[ids::TeRaw] = true;
    harness.handler.handle(ids::TeRaw);
    harness.port.checked[ids::TeRaw] = false;
    harness.handler.handle(ids::TeRaw);
    ASSERT_EQ(harness.port.boxes.size(), 2u);
    EXPECT_EQ(harness.port.boxTexts(),
              (std::vector<std::string>{"KELVARIN - Warning.: All the Options are Deactivated in this mode!",
                                        "KELVARIN - Information.: All Options are Activated."}));
    EXPECT_EQ(harness.port.boxes[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(harness.port.boxes[1].icon, MessageIcon::Information);
}

TEST(CommandHandler, ProgressBarAndLogNotificationsDoNothing) {
    Harness harness;
    const ConversionOptions before = harness.session.options;
    for (int id : {ids::ProgressBar, ids::LogList}) harness.handler.handle(id);
    EXPECT_TRUE(harness.port.boxes.empty());
    EXPECT_EQ(harness.session.options.colourWeighting, before.colourWeighting);
}

// Enter and Escape, labels, frames and anything else unknown get the no-such-option box.
TEST(CommandHandler, UnknownIdsShowNoSuchOption) {
    for (int id : {ids::KeyOk, ids::KeyCancel, ids::TitleLabel, ids::OptionsFrame, 0, 1056, 9999}) {
        Harness harness;
        harness.handler.handle(id);
        ASSERT_EQ(harness.port.boxes.size(), 1u) << id;
        EXPECT_EQ(harness.port.boxes[0].text, "This Option does NOT exist.");
        EXPECT_EQ(harness.port.boxes[0].caption, "KELVARIN");
        EXPECT_EQ(harness.port.boxes[0].icon, MessageIcon::Error);
        EXPECT_FALSE(harness.port.closed);
        EXPECT_TRUE(harness.port.log.empty());
    }
}

TEST(CommandHandler, StartResetsControlsAndSetsDefaults) {
    Harness harness;  // started already
    EXPECT_EQ(harness.port.controlResets, 1);
    EXPECT_TRUE(harness.port.commandsEnabled);
    ASSERT_FALSE(harness.port.ranges.empty());
    EXPECT_EQ(harness.port.ranges.back(), std::make_pair(0, 1));
    EXPECT_EQ(harness.port.positions.back(), 0);
    EXPECT_EQ(harness.session.log.lineCounter(), 1);
    EXPECT_EQ(harness.session.request.kind, SourceKind::None);
}

// Quit resets the window side (but not x 2, x 4, TE>Raw nor the options) and closes the window.
TEST(CommandHandler, QuitResetsAndCloses) {
    Harness harness;
    harness.session.log.appendLine("something");
    harness.session.options.fStopX2 = true;
    harness.session.options.colourWeighting = ColourWeighting::Blue;
    harness.handler.handle(ids::Quit);
    EXPECT_TRUE(harness.port.closed);
    EXPECT_EQ(harness.port.controlResets, 2);
    EXPECT_TRUE(harness.port.log.empty());
    EXPECT_EQ(harness.session.log.lineCounter(), 1);
    EXPECT_TRUE(harness.session.options.fStopX2);
    EXPECT_EQ(harness.session.options.colourWeighting, ColourWeighting::Blue);
    EXPECT_TRUE(harness.port.boxes.empty());
}

struct ConversionCase {
    int id;
    bool modeWarning;
    const char* title;  // of the first dialog
};

class ConversionCommand : public ::testing::TestWithParam<ConversionCase> {};

// A cancelled source dialog: (mode warning), "No Input File Selected.", "File not found.",
// "There were errors.", and the log gains only one line of "=".
TEST_P(ConversionCommand, CancelledSourceDialog) {
    const ConversionCase& c = GetParam();
    Harness harness;
    EXPECT_EQ(harness.run(c.id, {std::nullopt}), 0);
    std::vector<std::string> expected;
    if (c.modeWarning) expected.push_back("KELVARIN - Warning.: All the Options are Deactivated in this mode!");
    expected.push_back("KELVARIN - Open Error: No Input File Selected.");
    expected.push_back("KELVARIN - File|Open: File not found.");
    expected.push_back("KELVARIN - Error.: There were errors.");
    EXPECT_EQ(harness.port.boxTexts(), expected);
    EXPECT_EQ(harness.port.boxes.back().icon, MessageIcon::Error);
    ASSERT_EQ(harness.port.dialogs.size(), 1u);
    EXPECT_EQ(harness.port.dialogs[0].request.title, c.title);
    EXPECT_FALSE(harness.port.dialogs[0].save);
    EXPECT_EQ(harness.port.log, std::vector<std::string>{kEquals});
    // Greyed first, enabled at the end.
    ASSERT_GE(harness.port.enableCalls.size(), 3u);
    EXPECT_FALSE(harness.port.enableCalls[1]);
    EXPECT_TRUE(harness.port.enableCalls.back());
    EXPECT_EQ(harness.session.request.kind, SourceKind::None);
}

// A file that is no image at all: the job's own box and lines first, then the failure box.
TEST(CommandHandler, UnknownFileEndsInFailureBox) {
    for (int id : {ids::OpenTif, ids::OpenHdr, ids::PgmToTif}) {
        SCOPED_TRACE(id);
        test::TempDir dir;
        const std::string path = dir.file("notes.txt");
        test::writeText(path, "XX not an image");
        Harness harness;
        EXPECT_EQ(harness.run(id, {path}), 0);
        const std::vector<std::string> boxes = harness.port.boxTexts();
        ASSERT_GE(boxes.size(), 2u);
        EXPECT_EQ(boxes[boxes.size() - 2], "KELVARIN - File|Open: Not a TIF, PGM or RGBE file.");
        EXPECT_EQ(boxes.back(), "KELVARIN - Error.: There were errors.");
        ASSERT_FALSE(harness.port.log.empty());
        EXPECT_EQ(harness.port.log.front(), "Input file opened:");
        EXPECT_EQ(harness.port.log.back(), kEquals);
        EXPECT_NE(std::find(harness.port.log.begin(), harness.port.log.end(), "STOP - No Job!"), harness.port.log.end());
        EXPECT_TRUE(harness.port.commandsEnabled);
        EXPECT_EQ(harness.handler.lastResult(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ConversionCommand,
    ::testing::Values(ConversionCase{ids::OpenTif, false, "KELVARIN Open TIF"},
                      ConversionCase{ids::OpenHdr, false, "KELVARIN Open HDR"},
                      ConversionCase{ids::PgmToTif, true, "KELVARIN Open PGM"},
                      ConversionCase{ids::RawToTif, true, "KELVARIN Open RAW"},
                      ConversionCase{ids::BinToTif, true, "KELVARIN Open BIN"}),
    [](const auto& info) { return test::idName(info.param.id); });

// Boxes and dialogs in one ordered list, to see which came first.
class OrderPort final : public UiPort {
public:
    std::vector<std::string> events;
    std::optional<std::string> askOpenFile(const FileDialogRequest& r) override {
        events.push_back("open " + r.title);
        return std::nullopt;
    }
    std::optional<std::string> askSaveFile(const FileDialogRequest& r) override {
        events.push_back("save " + r.title);
        return std::nullopt;
    }
    MessageAnswer showMessage(const MessageBoxRequest& r) override {
        events.push_back("box " + r.text);
        return MessageAnswer::Ok;
    }
    std::optional<std::string> askText(const TextRequest&) override { return std::nullopt; }
    void appendLogLine(std::string_view) override {}
    void clearLog() override {}
    void setProgressRange(std::int32_t, std::int32_t) override {}
    void setProgressPosition(std::int32_t) override {}
    void setConversionCommandsEnabled(bool enabled) override { events.push_back(enabled ? "enable" : "grey"); }
    void setMenuItemChecked(int, bool) override {}
    void showPreview(const std::vector<FinishedReport>&) override {}
    void resetOptionControls() override {}
    bool isControlChecked(int) override { return false; }
    void closeWindow() override {}
};

TEST(CommandHandler, ModeWarningComesAfterGreyingAndBeforeAnyDialog) {
    const std::pair<int, const char*> cases[] = {{ids::PgmToTif, "open KELVARIN Open PGM"},
                                                 {ids::RawToTif, "open KELVARIN Open RAW"},
                                                 {ids::BinToTif, "open KELVARIN Open BIN"}};
    for (const auto& [id, dialog] : cases) {
        OrderPort port;
        test::FixedClock clock;
        Session session(port, clock);
        CommandHandler handler(session);
        handler.start();
        port.events.clear();
        handler.handle(id);
        ASSERT_GE(port.events.size(), 4u);
        EXPECT_EQ(port.events[0], "grey");
        EXPECT_EQ(port.events[1], "box All the Options are Deactivated in this mode!");
        EXPECT_EQ(port.events[2], dialog);
        EXPECT_EQ(port.events.back(), "enable");
    }
}

// The terrain warning leaves the window enabled; a Quit chosen meanwhile must not reset and close
// the window under the running command.
TEST(CommandHandler, QuitDuringTerrainWarningIsIgnored) {
    class ReentrantPort final : public UiPort {
    public:
        CommandHandler* handler = nullptr;
        bool closed = false;
        int resets = 0;
        std::optional<std::string> askOpenFile(const FileDialogRequest&) override { return std::nullopt; }
        std::optional<std::string> askSaveFile(const FileDialogRequest&) override { return std::nullopt; }
        MessageAnswer showMessage(const MessageBoxRequest& r) override {
            if (r.buttons == MessageButtons::OkCancel) handler->handle(ids::Quit);
            return MessageAnswer::Cancel;
        }
        std::optional<std::string> askText(const TextRequest&) override { return std::nullopt; }
        void appendLogLine(std::string_view) override {}
        void clearLog() override {}
        void setProgressRange(std::int32_t, std::int32_t) override {}
        void setProgressPosition(std::int32_t) override {}
        void setConversionCommandsEnabled(bool) override {}
        void setMenuItemChecked(int, bool) override {}
        void showPreview(const std::vector<FinishedReport>&) override {}
        void resetOptionControls() override { ++resets; }
        bool isControlChecked(int) override { return false; }
        void closeWindow() override { closed = true; }
    };
    ReentrantPort port;
    test::FixedClock clock;
    Session session(port, clock);
    CommandHandler handler(session);
    port.handler = &handler;
    handler.start();
    handler.handle(ids::Terrain3);
    EXPECT_FALSE(port.closed);
    EXPECT_EQ(port.resets, 1);
    EXPECT_FALSE(session.busy.busy());
    handler.handle(ids::Quit);  // once the command is over, Quit works again
    EXPECT_TRUE(port.closed);
}

struct TerrainCase {
    int id;
    const char* secondLine;
};

class TerrainCommand : public ::testing::TestWithParam<TerrainCase> {};

// Cancel: no builder, no dialog, no result box, still a line of "=" and the commands enabled.
TEST_P(TerrainCommand, CancelRunsNothing) {
    Harness harness;
    harness.port.boxAnswers.push_back(MessageAnswer::Cancel);
    harness.handler.handle(GetParam().id);
    ASSERT_EQ(harness.port.boxes.size(), 1u);
    const MessageBoxRequest& warning = harness.port.boxes[0];
    EXPECT_EQ(warning.text, std::string("All the Options are Deactivated in this mode!\r\n") + GetParam().secondLine +
                                "\r\nname_4096/_2048/_1024.tif; if existing overwritten!");
    EXPECT_EQ(warning.caption, "KELVARIN - Warning.");
    EXPECT_EQ(warning.icon, MessageIcon::Exclamation);
    EXPECT_EQ(warning.buttons, MessageButtons::OkCancel);
    EXPECT_FALSE(warning.disablesWindow);
    EXPECT_TRUE(harness.port.dialogs.empty());
    EXPECT_EQ(harness.port.log, std::vector<std::string>{kEquals});
    EXPECT_TRUE(harness.port.commandsEnabled);
    EXPECT_FALSE(harness.port.enableCalls.at(1));
}

// OK with every dialog cancelled: the builder runs and fails, the failure box closes it.
TEST_P(TerrainCommand, OkRunsTheBuilder) {
    Harness harness;
    harness.port.boxAnswers.push_back(MessageAnswer::Ok);
    harness.handler.handle(GetParam().id);
    ASSERT_GE(harness.port.boxes.size(), 2u);
    EXPECT_EQ(harness.port.boxTexts().back(), "KELVARIN - Error.: There were errors.");
    EXPECT_EQ(harness.handler.lastResult(), 0);
    EXPECT_EQ(harness.port.log.back(), kEquals);
    EXPECT_TRUE(harness.port.commandsEnabled);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, TerrainCommand,
    ::testing::Values(TerrainCase{ids::Terrain4Max, "4 files 8/4/2/1name.raw expected, 3 files written as"},
                      TerrainCase{ids::Terrain4Avg, "4 files 8/4/2/1name.raw expected, 3 files written as"},
                      TerrainCase{ids::Terrain3, "3 files 4/2/1name.raw expected, 3 files written as"}),
    [](const auto& info) { return test::idName(info.param.id); });

}  // namespace
}  // namespace kelvarin
