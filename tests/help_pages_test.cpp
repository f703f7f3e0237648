#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/id_names.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/help_pages.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

struct PageCase {
    int id;
    const char* caption;
    const char* heading;  // first line without its centring blanks
    bool centred;
    std::size_t dashLength;
    int sections;
};

const PageCase kPages[] = {
    {ids::HelpGeneral, "KELVARIN - Help|General", "____ ABOUT THIS TOOL ____", true, 75, 1},
    {ids::HelpUsage, "KELVARIN - Help|Usage", "____ HOW TO USE THIS TOOL ____", false, 54, 2},
    {ids::HelpBryceRender, "KELVARIN - Help|Bryce|Render", "___ EXPORT A RENDER OUT OF BRYCE ___", false, 60, 1},
    {ids::HelpBryceHdri, "KELVARIN - Help|Bryce|HDRI", "____ EXPORT AN HDRI OUT OF BRYCE ____", false, 57, 1},
    {ids::HelpColour, "KELVARIN - Help|Options|Colour", "____ OPTIONS FOR COLOUR PICTURES ____", true, 63, 3},
    {ids::HelpEnhancing, "KELVARIN - Help|Options|Enhance", "____ OPTIONS FOR ENHANCING ____", true, 67, 1},
    {ids::HelpFStop, "KELVARIN - Help|Options|f-Stop", "____ OPTIONS FOR F-STOP ____", true, 60, 1},
    {ids::HelpPosterise, "KELVARIN - Help|Options|Posterise", "____ OPTIONS FOR POSTERISE ____", true, 60, 1},
    {ids::HelpTeRaw, "KELVARIN - Help|TE > Raw", "____ OPTION TE > Raw (Converter) ____", true, 64, 1},
    {ids::HelpSwap, "KELVARIN - Help|Swap", "____ OPTION SWAP MAC AND PC ____", true, 67, 1},
    {ids::HelpOpen, "KELVARIN - Help|Open Support", "_____ Opening Any Height-Map Source _____", true, 60, 1},
    {ids::HelpPgm, "KELVARIN - Help|PGM Support", "_____ Portable Grey Map Conversion _____", true, 60, 1},
    {ids::HelpRaw, "KELVARIN - Help|RAW Support", "_______ WorldCreator RAW Conversion _______", true, 70, 1},
    {ids::HelpBin, "KELVARIN - Help|Bin Support", "______ SIGNED INTEGER BINARY ______", true, 60, 1},
    {ids::HelpTerrain4, "KELVARIN - Help|4 > 3 TIF 16", "_____ 4 Raw to 3 Tif Terrain Creation from 16 Bit _____",
     false, 75, 1},
    {ids::HelpTerrain3, "KELVARIN - Help|3 > 3 TIF 16", "_____ 3 Raw to 3 Tif Terrain Creation from 16 Bit _____",
     false, 75, 1},
    {ids::HelpAbout, "KELVARIN - Help|About", "KELVARIN.exe - v.3.02:181122", false, 35, 2},
};

const std::string kBullet = "\xE2\x80\xA2";  // Windows-1252 code 149 as UTF-8

// Splits on CR LF; fails the test on a bare CR or LF. The text must end with CR LF.
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            EXPECT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at " << i;
            result.push_back(current);
            current.clear();
            ++i;
        } else {
            EXPECT_NE(text[i], '\n') << "bare LF at " << i;
            current += text[i];
        }
    }
    EXPECT_TRUE(current.empty()) << "last line has no CR LF: " << current;
    return result;
}

bool isDashLine(const std::string& line) { return !line.empty() && line.find_first_not_of('-') == std::string::npos; }

// Display width: the bullet is one character in three bytes.
std::size_t width(const std::string& line) {
    std::size_t n = 0;
    for (unsigned char c : line) n += (c & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

class HelpPageTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(HelpPageTest, HeadingCaptionAndClosingDashLines) {
    const PageCase& expected = GetParam();
    const HelpPage* page = findHelpPage(expected.id);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->caption, expected.caption);
    const std::vector<std::string> text = lines(page->text);
    ASSERT_GE(text.size(), 3u);

    const std::size_t indent = text[0].find_first_not_of(' ');
    EXPECT_EQ(text[0].substr(indent), expected.heading);
    EXPECT_EQ(indent > 0, expected.centred) << text[0];
    if (expected.id != ids::HelpAbout) {
        EXPECT_EQ(text[1], "");
    }

    EXPECT_TRUE(isDashLine(text.back()));
    int dashLines = 0;
    for (const std::string& line : text) {
        if (!isDashLine(line)) continue;
        ++dashLines;
        EXPECT_EQ(line.size(), expected.dashLength);
    }
    EXPECT_EQ(dashLines, expected.sections);
}

TEST_P(HelpPageTest, ProseLayout) {
    const HelpPage* page = findHelpPage(GetParam().id);
    ASSERT_NE(page, nullptr);
    const std::vector<std::string> text = lines(page->text);
    bool inItem = false;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const std::string& line = text[i];
        if (isDashLine(line)) continue;
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
        EXPECT_LE(width(line), 60u) << line;
        if (!line.empty()) {
            EXPECT_NE(line.back(), ' ') << "trailing blank: " << line;
        }
        if (line.rfind(kBullet, 0) == 0) {
            EXPECT_EQ(line.substr(kBullet.size(), 3).find_first_not_of(' '), 2u) << "bullet needs two blanks: " << line;
            inItem = true;
        } else if (line.rfind(" ", 0) == 0) {
            EXPECT_TRUE(inItem) << "indented line outside a list item: " << line;
            EXPECT_EQ(line.find_first_not_of(' '), 4u) << line;
        } else if (line.rfind("[", 0) != 0) {
            inItem = false;
        } else {
            inItem = true;  // the numbered items of the Usage page indent like bullets
        }
        EXPECT_EQ(line.find("\xE2\x80\xA2", 1), std::string::npos) << "bullet inside a line: " << line;
    }
}

INSTANTIATE_TEST_SUITE_P(AllPages, HelpPageTest, ::testing::ValuesIn(kPages),
                         [](const auto& info) { return test::idName(info.param.id); });

TEST(HelpPages, PagesInMenuOrder) {
    const auto& pages = helpPages();
    ASSERT_EQ(pages.size(), std::size(kPages));
    for (std::size_t i = 0; i < pages.size(); ++i) EXPECT_EQ(pages[i].commandId, kPages[i].id);
    EXPECT_EQ(findHelpPage(ids::OpenTif), nullptr);
    EXPECT_EQ(findHelpPage(ids::KeyOk), nullptr);
}

TEST(HelpPages, AboutPageHasVersionDisclaimerAndCredits) {
    const std::vector<std::string> text = lines(findHelpPage(ids::HelpAbout)->text);
    EXPECT_EQ(text.front(), "KELVARIN.exe - v.3.02:181122");
    const auto disclaimer = std::find(text.begin(), text.end(), "DISCLAIMER:");
    const auto firstDashes = std::find(text.begin(), text.end(), std::string(35, '-'));
    ASSERT_NE(disclaimer, text.end());
    EXPECT_LT(disclaimer, firstDashes);
    EXPECT_NE(std::find(text.begin(), text.end(), "KELVARIN developers"), text.end());
}

// The usage page numbers its steps 1 to 5, with three alternatives for step 2.
TEST(HelpPages, UsageStepsAreNumbered) {
    std::vector<std::string> numbers;
    for (const std::string& line : lines(findHelpPage(ids::HelpUsage)->text))
        if (line.rfind("[", 0) == 0) numbers.push_back(line.substr(0, 6));
    EXPECT_EQ(numbers, (std::vector<std::string>{"[1] - ", "[2] - ", "[2] - ", "[2] - ", "[3] - ", "[4] - ", "[5] - "}));
}

// A help command shows its page in an information box and leaves the log alone.
TEST(HelpPages, HelpCommandsShowTheirPageAndNeverLog) {
    for (const PageCase& expected : kPages) {
        test::Harness harness;
        harness.handler.handle(expected.id);
        ASSERT_EQ(harness.port.boxes.size(), 1u) << expected.caption;
        const MessageBoxRequest& box = harness.port.boxes[0];
        EXPECT_EQ(box.caption, expected.caption);
        EXPECT_EQ(box.text, findHelpPage(expected.id)->text);
        EXPECT_EQ(box.icon, MessageIcon::Information);
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
        EXPECT_TRUE(harness.port.log.empty());
        EXPECT_TRUE(harness.port.dialogs.empty());
    }
}

TEST(HelpPages, CliListsAndPrintsThePages) {
    test::TempDir dir;
    const std::string list = dir.file("list.txt"), page = dir.file("page.txt");
    ASSERT_EQ(test::runCommand(std::string(KELVARIN_CLI_PATH) + " help > " + list), 0);
    std::string expectedList;
    char row[128];
    for (std::size_t i = 0; i < helpPages().size(); ++i) {
        std::snprintf(row, sizeof row, "%2zu  %s\n", i + 1, std::string(helpPages()[i].menuPath).c_str());
        expectedList += row;
    }
    const test::Bytes listed = test::readBytes(list);
    EXPECT_EQ(std::string(listed.begin(), listed.end()), expectedList);

    ASSERT_EQ(test::runCommand(std::string(KELVARIN_CLI_PATH) + " help " + std::to_string(helpPages().size()) + " > " + page), 0);
    const test::Bytes printed = test::readBytes(page);
    const HelpPage& about = helpPages().back();
    // The page's CR LF line ends come out as line feeds.
    std::string expectedPage = std::string(about.caption) + "\n";
    for (char c : about.text)
        if (c != '\r') expectedPage += c;
    EXPECT_EQ(std::string(printed.begin(), printed.end()), expectedPage);
    EXPECT_EQ(test::runCommand(std::string(KELVARIN_CLI_PATH) + " help " + std::to_string(helpPages().size() + 1) + " 2>/dev/null"), 2);
    EXPECT_EQ(test::runCommand(std::string(KELVARIN_CLI_PATH) + " help 0 2>/dev/null"), 2);
}

}  // namespace
}  // namespace kelvarin
