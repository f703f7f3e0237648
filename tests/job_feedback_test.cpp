// What a job tells beyond its boxes: the system's reason when a file cannot be opened, made or
// written, and a warning when a new size changes the map's proportions.
#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "base/aspect_change.h"
#include "formats/system_reason.h"
#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

using test::Harness;
using test::TempDir;

bool logHas(const Harness& h, const std::string& line) {
    for (const std::string& entry : h.port.log)
        if (entry == line) return true;
    return false;
}

// Each failure keeps its box and adds one line with the reason and the path.
TEST(ReasonLines, NameWhatTheSystemSaid) {
    TempDir dir;
    test::writeBytes(dir.file("in.tif"), test::buildTiff({}));
    struct Row {
        const char* name;
        std::string source, destination;
        std::string expectedLine;
        std::string expectedBox;
    };
    const std::string missingFolder = dir.file("no-such/out.tif");
    const std::string missingSource = dir.file("gone.tif");
    // Root may write anywhere on a disk, but never makes a file in /sys.
    const std::string refused = "/sys/kelvarin-out.tif";
    const Row rows[] = {
        {"missing folder", dir.file("in.tif"), missingFolder, "Reason: no such folder (" + missingFolder + ")",
         "KELVARIN - Save As: File not created."},
        {"no permission", dir.file("in.tif"), refused, "Reason: permission denied (" + refused + ")",
         "KELVARIN - Save As: File not created."},
        {"missing source", missingSource, dir.file("out.tif"), "Reason: no such file (" + missingSource + ")",
         "KELVARIN - File|Open: File not found."},
    };
    for (const Row& row : rows) {
        Harness h;
        EXPECT_EQ(h.run(ids::OpenTif, {row.source, row.destination}), 0) << row.name;
        EXPECT_TRUE(logHas(h, row.expectedLine)) << row.name << ": " << ::testing::PrintToString(h.port.log);
        const std::vector<std::string> boxes = h.port.boxTexts();
        EXPECT_NE(std::find(boxes.begin(), boxes.end(), row.expectedBox), boxes.end()) << row.name;
    }
}

TEST(ReasonLines, WordsForTheCommonErrors) {
    EXPECT_EQ(reasonForErrno(ENOSPC, ReasonSubject::Destination), "the disk is full");
    EXPECT_EQ(reasonForErrno(ENOENT, ReasonSubject::Destination), "no such folder");
    EXPECT_EQ(reasonForErrno(ENOENT, ReasonSubject::Source), "no such file");
    EXPECT_EQ(reasonForErrno(EACCES, ReasonSubject::Source), "permission denied");
    EXPECT_EQ(reasonForErrno(0, ReasonSubject::Source), "");
    EXPECT_EQ(reasonLine("", "/x"), "");
}

TEST(Aspect, ChangesBeyondOnePercentAreNamed) {
    struct Row {
        ImageSize from, to;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {{2048, 1024}, {1025, 1025}, "Aspect changed from 2.00:1 to 1:1."},
        {{1000, 1500}, {1000, 1000}, "Aspect changed from 1:1.50 to 1:1."},
        {{4096, 4096}, {3000, 2000}, "Aspect changed from 1:1 to 1.50:1."},
        {{1024, 1024}, {1025, 1025}, std::nullopt},  // the same proportions
        {{1000, 1000}, {1009, 1000}, std::nullopt},  // 0.9 %: within the 1 % allowed
        {{1000, 1000}, {1011, 1000}, "Aspect changed from 1:1 to 1.01:1."},
    };
    for (const Row& row : rows) EXPECT_EQ(aspectChange(row.from, row.to), row.expected) << row.to.width;
}

// A 2:1 source written as a square: the log line, and the report's warning `aspect`; at its own
// proportions, neither.
TEST(Aspect, LogLineAndReportWarning) {
    TempDir dir;
    test::writeBytes(dir.file("in.tif"), test::buildTiff({.width = 8, .length = 4}));
    for (const ImageSize size : {ImageSize{5, 5}, ImageSize{10, 5}}) {
        Harness h;
        h.session.options.outputSize = size;
        ASSERT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}), 1);
        const bool square = size.width == size.height;
        EXPECT_EQ(logHas(h, "Aspect changed from 2.00:1 to 1:1."), square);
        ASSERT_EQ(h.session.lastReports.size(), 1u);
        bool warned = false;
        for (const ReportWarning& warning : h.session.lastReports[0].report.warnings) warned |= warning.code == "aspect";
        EXPECT_EQ(warned, square);
    }
}

// The Output menu's Other Size item names the size chosen, and loses it for a preset.
TEST(Aspect, OtherSizeShowsItsSize) {
    Harness h;
    h.port.textAnswers = {std::string("3000 x 2000")};
    h.handler.handle(ids::OtherSize);
    EXPECT_EQ(h.port.menuTexts[ids::OtherSize], "Other Size... (3000 x 2000)");
    h.handler.handle(ids::Size1025);
    EXPECT_EQ(h.port.menuTexts[ids::OtherSize], "Other Size...");
}

}  // namespace
}  // namespace kelvarin
