// Help > Manual: where it looks for the installed documents on each system, that it opens the
// first one there, and the box when there is none or the viewer fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/memory_file_system.h"
#include "support/scripted_port.h"
#include "ui/ids.h"
#include "ui/manual_command.h"

namespace kelvarin {
namespace {

using test::Harness;

struct PlacesCase {
    const char* name;
    const char* folder;
    bool windows;
    std::vector<std::string> places;
};

class ManualPlaces : public testing::TestWithParam<PlacesCase> {};

TEST_P(ManualPlaces, FollowTheInstallationOfTheProgram) {
    EXPECT_EQ(manualPlaces(GetParam().folder, GetParam().windows), GetParam().places);
}

INSTANTIATE_TEST_SUITE_P(
    Systems, ManualPlaces,
    testing::Values(
        PlacesCase{"Debian", "/usr/bin", false, {"/usr/share/doc/kelvarin/manual/index.md"}},
        PlacesCase{"LocalPrefix", "/usr/local/bin/", false,
                   {"/usr/local/share/doc/kelvarin/manual/index.md", "/usr/share/doc/kelvarin/manual/index.md"}},
        PlacesCase{"BuildFolder", "/home/me/kelvarin/build/qt/src/ui/qt", false,
                   {"/usr/share/doc/kelvarin/manual/index.md"}},
        PlacesCase{"UnknownFolder", "", false, {"/usr/share/doc/kelvarin/manual/index.md"}},
        PlacesCase{"Zip", "C:\\Tools\\kelvarin-3.02-win64", true, {"C:\\Tools\\kelvarin-3.02-win64\\README.txt"}},
        PlacesCase{"ZipTrailingSeparator", "D:\\k\\", true, {"D:\\k\\README.txt"}},
        PlacesCase{"WindowsUnknownFolder", "", true, {"README.txt"}}),
    [](const testing::TestParamInfo<PlacesCase>& info) { return info.param.name; });

TEST(ManualCommand, OpensTheFirstPlaceThatExists) {
    MemoryFileSystem files;
    files.put("/usr/share/doc/kelvarin/manual/index.md", {'#'});
    Harness harness(files);
    harness.port.folder = "/usr/local/bin";
    harness.handler.handle(ids::HelpManual);
    EXPECT_EQ(harness.port.openedDocuments, std::vector<std::string>{"/usr/share/doc/kelvarin/manual/index.md"});
    EXPECT_TRUE(harness.port.boxes.empty());
    // Help never writes to the log.
    EXPECT_TRUE(harness.port.log.empty());
}

TEST(ManualCommand, SaysWhereItLookedWhenNothingIsInstalled) {
    MemoryFileSystem files;
    Harness harness(files);
    harness.port.folder = "/usr/local/bin";
    harness.handler.handle(ids::HelpManual);
    EXPECT_TRUE(harness.port.openedDocuments.empty());
    ASSERT_EQ(harness.port.boxes.size(), 1u);
    EXPECT_EQ(harness.port.boxes[0].caption, "KELVARIN - Manual");
    EXPECT_EQ(harness.port.boxes[0].text,
              "The manual is not installed. It was looked for in:\r\n"
              "/usr/local/share/doc/kelvarin/manual/index.md\r\n/usr/share/doc/kelvarin/manual/index.md");
}

TEST(ManualCommand, AViewerThatFailsIsReported) {
    MemoryFileSystem files;
    files.put("/usr/share/doc/kelvarin/manual/index.md", {'#'});
    Harness harness(files);
    harness.port.folder = "/usr/bin";
    harness.port.documentsOpen = false;
    harness.handler.handle(ids::HelpManual);
    ASSERT_EQ(harness.port.boxes.size(), 1u);
    EXPECT_EQ(harness.port.boxes[0].text,
              "The manual could not be opened:\r\n/usr/share/doc/kelvarin/manual/index.md");
}

}  // namespace
}  // namespace kelvarin
