// Stopping a job from the window: the question, and what a stop leaves on the disk (the old
// destination, no temporary file) for a TIFF, a resampled PNG and a terrain set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "job/streamed_resample.h"
#include "job/terrain_set_job.h"
#include "pixels/resample.h"
#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

using test::Bytes;
using test::Harness;
using test::TempDir;

const char kStopLine[] = ">>> Stopped by the user. STOP!";
const Bytes kOldContents{'o', 'l', 'd', ' ', 'm', 'a', 'p'};

int countOf(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// One kind of job, the files it writes, and the moment the stop comes.
struct StopCase {
    const char* name;
    // Writes the sources into the folder and runs the job; `whenToStop` is wired to the port.
    std::function<int(Harness&, const TempDir&)> run;
    std::vector<const char*> destinations;
};

int runTiff(Harness& h, const TempDir& dir) {
    test::writeBytes(dir.file("in.tif"), test::buildTiff({.width = 64, .length = 64, .rowsPerStrip = 1}));
    h.session.conversionChunkBytes = 256;  // many blocks
    // Mid-way through the data stage.
    h.port.onPosition = [&h](int position) {
        if (position == 8) h.session.stop.request();
    };
    return h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")});
}

int runResampledPng(Harness& h, const TempDir& dir) {
    test::writeBytes(dir.file("in.tif"), test::buildTiff({.width = 40, .length = 30}));
    h.session.options.outputSize = ImageSize{300, 200};
    // Once the data stage is complete: the stop comes during the resampling or the PNG writing.
    h.port.onLogLine = [&h](const std::string& line) {
        if (line.starts_with("DONE. Data conversion completed")) h.session.stop.request();
    };
    return h.run(ids::OpenImage, {dir.file("in.tif"), dir.file("out.png")});
}

// Tiles of a resampled map: the stop comes while the map is resampled aside or cut into tiles.
int runResampledTiles(Harness& h, const TempDir& dir) {
    test::writeBytes(dir.file("in.tif"), test::buildTiff({.width = 40, .length = 30}));
    h.session.options.outputSize = ImageSize{301, 201};
    h.session.options.tiles = TileCount{2, 2};
    h.port.onLogLine = [&h](const std::string& line) {
        if (line.starts_with("DONE. Data conversion completed")) h.session.stop.request();
    };
    return h.run(ids::OpenImage, {dir.file("in.tif"), dir.file("out.png")});
}

int runTerrainSet(Harness& h, const TempDir& dir) {
    const char digits[] = {'4', '2', '1'};
    for (int level = 0; level < 3; ++level) {
        const std::uint32_t side = 16u >> level;
        test::writeBytes(dir.file(std::string(1, digits[level]) + "alps.raw"), Bytes(std::size_t{side} * side * 2, 7));
    }
    // After the second file is read: the tiles are not written yet.
    h.port.onLogLine = [&](const std::string& line) {
        if (line.find("2alps.raw read and closed.") != std::string::npos) h.session.stop.request();
    };
    h.port.answers = {dir.file("4alps.raw")};
    return terrain_detail::buildTerrainSetWithSides(h.session, false, false, 4);
}

class StopLeavesTheOldFile : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopLeavesTheOldFile, AndNoTemporaryFile) {
    const StopCase& c = GetParam();
    TempDir dir;
    for (const char* name : c.destinations) test::writeBytes(dir.file(name), kOldContents);
    Harness h;
    EXPECT_EQ(c.run(h, dir), 0);
    EXPECT_EQ(countOf(h.port.log, kStopLine), 1) << ::testing::PrintToString(h.port.log);
    for (const char* name : c.destinations) EXPECT_EQ(test::readBytes(dir.file(name)), kOldContents) << name;
    EXPECT_TRUE(test::temporaryFilesIn(dir.path()).empty());
    // A stop is the user's wish, not a fault: no box of its own (the handler shows "There were errors.").
    for (const MessageBoxRequest& box : h.port.boxes)
        EXPECT_EQ(box.caption.find("Write Error"), std::string::npos) << box.caption;
}

INSTANTIATE_TEST_SUITE_P(Jobs, StopLeavesTheOldFile,
                         ::testing::Values(StopCase{"Tiff", runTiff, {"out.tif"}},
                                           StopCase{"ResampledPng", runResampledPng, {"out.png"}},
                                           StopCase{"ResampledTiles", runResampledTiles,
                                                    {"out_x0_y0.png", "out_x1_y0.png", "out_x0_y1.png", "out_x1_y1.png"}},
                                           StopCase{"TerrainSet", runTerrainSet,
                                                    {"alps_4096.tif", "alps_2048.tif", "alps_1024.tif"}}),
                         [](const ::testing::TestParamInfo<StopCase>& info) { return info.param.name; });

// "Stop Conversion" (and Esc, and closing the window) ask first; only Yes stops, and only a job
// that runs. Idle, the command does nothing at all.
TEST(StopQuestion, AsksWhileAJobRunsAndStopsOnYesOnly) {
    struct Row {
        int command;
        MessageAnswer answer;
        int expectedResult;
    };
    for (const Row& row : {Row{ids::StopConversion, MessageAnswer::Ok, 0}, Row{ids::KeyCancel, MessageAnswer::Ok, 0},
                           Row{ids::Quit, MessageAnswer::Ok, 0}, Row{ids::StopConversion, MessageAnswer::Cancel, 1}}) {
        TempDir dir;
        test::writeBytes(dir.file("in.tif"), test::buildTiff({.width = 32, .length = 32, .rowsPerStrip = 1}));
        Harness h;
        h.session.conversionChunkBytes = 256;
        bool asked = false;
        h.port.onPosition = [&](int position) {
            if (position != 4 || asked) return;
            asked = true;
            h.port.boxAnswers = {row.answer};
            h.handler.handle(row.command);
        };
        EXPECT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}), row.expectedResult) << row.command;
        const auto question = std::find_if(h.port.boxes.begin(), h.port.boxes.end(),
                                           [](const MessageBoxRequest& box) { return box.caption == "KELVARIN - Stop"; });
        ASSERT_NE(question, h.port.boxes.end()) << row.command;
        EXPECT_EQ(question->text, "Stop the conversion? The destination keeps its old contents.");
        EXPECT_EQ(question->buttons, MessageButtons::YesNo);
        EXPECT_EQ(h.port.boxes.back().text, row.expectedResult ? "TIF Conversion concluded." : "There were errors.");
        EXPECT_FALSE(h.port.closed) << "Quit under a job never closes the window";
        EXPECT_EQ(test::exists(dir.file("out.tif")), row.expectedResult == 1);
    }
    // Idle: no question, no box, and the next job is not stopped by it.
    Harness h;
    h.handler.handle(ids::StopConversion);
    EXPECT_TRUE(h.port.boxes.empty());
    EXPECT_FALSE(h.session.stop.requested());
}

// A small part of a source may make a great many rows of a result: the resampling asks between
// their groups whether to go on, and gives way at the first no. Asked to go on, it hands on
// exactly what resampling the whole image gives, whatever parts the samples come in.
TEST(StreamedResample, GivesWayBetweenGroupsOrMatchesTheWholeResult) {
    const ImageSize from{5, 3}, to{4097, 4097};
    std::vector<std::uint16_t> source(std::size_t{from.width} * from.height);
    for (std::size_t i = 0; i < source.size(); ++i) source[i] = static_cast<std::uint16_t>(i * 2654435761u >> 7);
    std::vector<std::uint16_t> whole(std::size_t{to.width} * to.height);
    ASSERT_TRUE(resampleGrey(source, from, whole, to));

    for (const bool goOn : {false, true}) {
        SCOPED_TRACE(goOn ? "going on" : "stopped");
        std::vector<std::uint16_t> out;
        int starts = 0, asked = 0;
        StreamedResample stream;
        ASSERT_TRUE(stream.begin(
            from, to, 2, [&] { return ++starts == 1; },
            [&](std::uint16_t* samples, std::size_t count) {
                out.insert(out.end(), samples, samples + count);
                return true;
            }));
        const KeepGoing keepGoing = [&] {
            ++asked;
            return goOn;
        };
        // In parts of 4 and 11 samples: rows are completed across calls.
        bool added = true;
        for (std::size_t at = 0; at < source.size() && added; at += 15) {
            added = stream.add(source.data() + at, 4, keepGoing) && stream.add(source.data() + at + 4, 11, keepGoing);
        }
        EXPECT_EQ(starts, 1);
        if (!goOn) {
            EXPECT_FALSE(added);
            EXPECT_EQ(asked, 1);
            EXPECT_LT(out.size(), whole.size() / 8) << "a stop comes after the first group";
            continue;
        }
        ASSERT_TRUE(added);
        EXPECT_TRUE(stream.complete());
        EXPECT_EQ(stream.finish(keepGoing), StreamedResample::Outcome::Done);
        EXPECT_GT(asked, 2);
        EXPECT_TRUE(out == whole);
    }
}

}  // namespace
}  // namespace kelvarin
