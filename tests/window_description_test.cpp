#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/image_size.h"
#include "support/scripted_port.h"
#include "ui/help_pages.h"
#include "ui/ids.h"
#include "ui/window_description.h"

namespace kelvarin::window {
namespace {

void collectCommands(std::span<const MenuEntry> entries, std::vector<int>& out) {
    for (const MenuEntry& entry : entries) {
        if (entry.kind == MenuEntryKind::Command || entry.kind == MenuEntryKind::Toggle) out.push_back(entry.id);
        if (entry.kind == MenuEntryKind::Submenu) collectCommands(entry.items, out);
    }
}

std::vector<int> menuCommands() {
    std::vector<int> all;
    collectCommands(menuBar(), all);
    return all;
}

TEST(WindowDescription, ControlIdsAreUniqueAndFindable) {
    std::set<int> seen;
    for (const ControlDescription& control : controls()) {
        EXPECT_TRUE(seen.insert(control.id).second) << control.id;
        EXPECT_EQ(findControl(control.id), &control);
    }
    EXPECT_EQ(seen.size(), 28u);
    EXPECT_EQ(findControl(ids::OpenTif), nullptr);
}

TEST(WindowDescription, EveryControlLiesInsideTheClientArea) {
    const WindowFrameDescription& frame = windowFrame();
    for (const ControlDescription& control : controls()) {
        EXPECT_GE(control.rect.x, 0) << control.id;
        EXPECT_GE(control.rect.y, 0) << control.id;
        EXPECT_LE(control.rect.x + control.rect.width, frame.clientWidth) << control.id;
        EXPECT_LE(control.rect.y + control.rect.height, frame.clientHeight) << control.id;
    }
}

// Each radio group starts with a flagged button and is closed by the frame right after it;
// no radio button floats outside a group.
TEST(WindowDescription, RadioGroupsAreOpenedAndClosed) {
    std::vector<std::vector<int>> groups;
    bool open = false;
    for (const ControlDescription& control : controls()) {
        if (control.kind == ControlKind::RadioButton) {
            if (control.startsGroup) {
                groups.emplace_back();
                open = true;
            }
            ASSERT_TRUE(open) << control.id;
            groups.back().push_back(control.id);
        } else {
            EXPECT_FALSE(control.startsGroup) << control.id;
            if (open) {
                EXPECT_EQ(control.kind, ControlKind::GroupFrame) << control.id;
            }
            open = false;
        }
    }
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], (std::vector<int>{ids::Average, ids::TV, ids::HDTV, ids::Red, ids::Green, ids::Blue}));
    EXPECT_EQ(groups[1].front(), ids::PosteriseNone);
    EXPECT_EQ(groups[1].back(), ids::Posterise16);
    EXPECT_EQ(groups[1].size(), 7u);
}

// The option frames sit inside the big frame, and each option control inside its own frame.
TEST(WindowDescription, OptionControlsSitInsideTheirFrames) {
    auto inside = [](int inner, int outer) {
        const DuRect a = findControl(inner)->rect, b = findControl(outer)->rect;
        return a.x >= b.x && a.y >= b.y && a.x + a.width <= b.x + b.width && a.y + a.height <= b.y + b.height;
    };
    const std::pair<std::vector<int>, int> cases[] = {
        {{ids::ColourFrame, ids::EnhancingFrame, ids::FStopFrame, ids::PosteriseFrame}, ids::OptionsFrame},
        {{ids::Average, ids::TV, ids::HDTV, ids::Red, ids::Green, ids::Blue}, ids::ColourFrame},
        {{ids::Boost, ids::Invert}, ids::EnhancingFrame},
        {{ids::FStopX2, ids::FStopX4}, ids::FStopFrame},
        {{ids::PosteriseNone, ids::Posterise4, ids::Posterise8, ids::Posterise16}, ids::PosteriseFrame},
    };
    for (const auto& [inner, outer] : cases)
        for (int id : inner) EXPECT_TRUE(inside(id, outer)) << id << " in " << outer;
}

TEST(WindowDescription, FontsHaveTheirSizes) {
    EXPECT_EQ(fonts().size(), 5u);
    EXPECT_EQ(font(FontRole::Dialog).pointSize, 8);
    EXPECT_FALSE(font(FontRole::Dialog).bold);
    EXPECT_EQ(font(FontRole::Title).pointSize, 12);
    EXPECT_TRUE(font(FontRole::Title).bold);
    EXPECT_TRUE(font(FontRole::Log).monospace);
    EXPECT_EQ(font(FontRole::Log).face, "Courier New");
    EXPECT_EQ(font(FontRole::BigFrame).pointSize, 10);
    EXPECT_EQ(findControl(ids::Swap)->font, FontRole::Frame);
    EXPECT_EQ(findControl(ids::TeRaw)->font, FontRole::Dialog);
}

TEST(WindowDescription, MenuPathsAreBuiltFromTheTree) {
    EXPECT_EQ(menuPath(ids::OpenTif), "File > Open TIF");
    EXPECT_EQ(menuPath(ids::BinToTif), "Convert > BIN   to 16-bit TIF");
    EXPECT_EQ(menuPath(ids::HelpFStop), "Help > Options > f-stop");
    EXPECT_EQ(menuPath(ids::HelpTerrain3), "Help > Convert > 3 RAW to 3 16-bit TIF");
    EXPECT_EQ(menuPath(ids::TeRaw), "");
}

TEST(WindowDescription, MenuCommandsAreUniqueAndTheNineConversionsAreMarked) {
    const std::vector<int> all = menuCommands();
    EXPECT_EQ(std::set<int>(all.begin(), all.end()).size(), all.size());
    // 4 File, 7 Convert (Stop Conversion last), 14 Output, 2 View, 17 Help pages and Manual
    EXPECT_EQ(all.size(), 45u);
    EXPECT_EQ(menuPath(ids::StopConversion), "Convert > Stop Conversion");
    EXPECT_FALSE(isConversionCommand(ids::StopConversion));
    int conversions = 0;
    for (int id : all) conversions += isConversionCommand(id) ? 1 : 0;
    EXPECT_EQ(conversions, 9);
    EXPECT_TRUE(isConversionCommand(ids::OpenImage));
    // Open... heads the File menu, with its shortcut; the specified items follow unchanged.
    const MenuEntry& first = menuBar().front().items.front();
    EXPECT_EQ(first.text, "Open...");
    EXPECT_EQ(first.shortcut, "Ctrl+O");
    EXPECT_EQ(menuBar().front().items[1].text, "Open TIF");
    EXPECT_FALSE(isConversionCommand(ids::Quit));
    EXPECT_FALSE(isConversionCommand(ids::HelpAbout));
}

// The help pages are listed in menu order, and their menu paths are the menu's own; "Manual"
// comes after them, below a separator.
TEST(WindowDescription, HelpMenuMatchesTheHelpPages) {
    std::vector<int> helpIds;
    collectCommands(menuBar().back().items, helpIds);
    const auto& pages = helpPages();
    ASSERT_EQ(helpIds.size(), pages.size() + 1);
    EXPECT_EQ(helpIds.back(), ids::HelpManual);
    EXPECT_EQ(menuPath(ids::HelpManual), "Help > Manual");
    const auto& helpItems = menuBar().back().items;
    ASSERT_GE(helpItems.size(), 2u);
    EXPECT_EQ(helpItems[helpItems.size() - 2].kind, MenuEntryKind::Separator);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(helpIds[i], pages[i].commandId);
        EXPECT_EQ(menuPath(pages[i].commandId), pages[i].menuPath);
    }
}

// "Output" stands between "Convert" and "View", the menus before it as they were. Its sizes are one
// choice group, "Original Size" ticked at start, and each engine size gives the size its text
// says, of its family: 2^n + 1, or the landscape sizes.
TEST(WindowDescription, OutputMenuOffersTheEngineSizes) {
    std::vector<std::string_view> bar;
    for (const MenuEntry& menu : menuBar()) bar.push_back(menu.text);
    EXPECT_EQ(bar, (std::vector<std::string_view>{"File", "Convert", "Output", "View", "Help"}));

    const std::vector<int> sizes = choiceGroupCommands(ChoiceGroup::OutputSize);
    std::vector<int> outputCommands;
    collectCommands(menuBar()[2].items, outputCommands);
    // The sizes, then "Tiles..." and the height range of elevation files, which are no sizes.
    ASSERT_GE(outputCommands.size(), 2u);
    EXPECT_EQ(outputCommands[outputCommands.size() - 2], ids::Tiles);
    EXPECT_EQ(outputCommands.back(), ids::HeightRange);
    outputCommands.resize(outputCommands.size() - 2);
    EXPECT_EQ(sizes, outputCommands);
    std::vector<std::uint32_t> sides;
    for (int id : sizes) {
        EXPECT_EQ(findMenuCommand(id)->tickedAtStart, id == ids::OriginalSize) << id;
        const auto size = parseImageSize(findMenuCommand(id)->text).size;
        EXPECT_EQ(size.has_value(), id != ids::OriginalSize && id != ids::OtherSize) << id;
        if (!size) continue;
        EXPECT_EQ(size->width, size->height) << id;
        sides.push_back(size->width);
        EXPECT_EQ(sizeChoiceCommand(size), id);
    }
    EXPECT_EQ(sides, (std::vector<std::uint32_t>{513, 1025, 2049, 4097, 8193, 505, 1009, 2017, 4033, 8129}));
    EXPECT_EQ(sizeChoiceCommand(std::nullopt), ids::OriginalSize);
    EXPECT_EQ(sizeChoiceCommand(ImageSize{1025, 513}), ids::OtherSize);
}

// "View" before "Help": the preview on demand, and a toggle of its own, ticked at start, that is
// no choice group's.
TEST(WindowDescription, ViewMenuHoldsThePreviewCommands) {
    const MenuEntry& view = menuBar()[3];
    ASSERT_EQ(view.items.size(), 2u);
    EXPECT_EQ(view.items[0].kind, MenuEntryKind::Command);
    EXPECT_EQ(menuPath(ids::PreviewLastResult), "View > Preview of Last Result");
    const MenuEntry* toggle = findMenuCommand(ids::ShowPreviewAfterJob);
    ASSERT_EQ(toggle, &view.items[1]);
    EXPECT_EQ(toggle->kind, MenuEntryKind::Toggle);
    EXPECT_EQ(toggle->text, "Show Preview After Each Job");
    EXPECT_TRUE(toggle->tickedAtStart);
    EXPECT_EQ(toggle->group, ChoiceGroup::None);
}

// Every menu command and every option control reaches an action of the handler, never the
// no-such-option box.
TEST(WindowDescription, EveryMenuCommandAndControlIsDispatched) {
    std::vector<int> all = menuCommands();
    for (const ControlDescription& control : controls())
        if (control.kind != ControlKind::Label && control.kind != ControlKind::GroupFrame) all.push_back(control.id);
    for (int id : all) {
        test::Harness harness;
        harness.port.boxAnswers.push_back(MessageAnswer::Cancel);
        harness.handler.handle(id);
        for (const auto& box : harness.port.boxes)
            EXPECT_NE(box.text, "This Option does NOT exist.") << id;
    }
}

}  // namespace
}  // namespace kelvarin::window
