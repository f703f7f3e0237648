// Stopping a job from the window: the question, and what a stop leaves on the disk (the old
// destination, no temporary file) for a TIFF, a resampled PNG and a terrain set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "job/resample_aside.h"
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

// The resampling of a large image gives way while it runs (looked up every 25 ms, far below the
// half second a stop may take), and when it is not stopped gives exactly what resampling on the
// caller's thread gives.
TEST(ResampleAside, GivesWayAtOnceOrMatchesTheDirectResult) {
    const ImageSize from{2049, 2049}, to{4097, 4097};
    const std::size_t count = std::size_t{from.width} * from.height;
    const auto source = [&] {
        LargeArray<std::uint16_t> samples = makeLargeArray<std::uint16_t>(count);
        for (std::size_t i = 0; i < count; ++i) samples[i] = static_cast<std::uint16_t>(i * 2654435761u >> 7);
        return samples;
    };

    // Stopped is only answered while the resampling is still running: had it finished first, the
    // samples would come back instead.
    ResampleAsideResult stopped = resampleAside(source(), from, makeLargeArray<std::uint16_t>(std::size_t{to.width} * to.height),
                                                to, [] { return false; });
    EXPECT_TRUE(stopped.stopped);
    EXPECT_FALSE(stopped.samples);

    const ImageSize small{37, 23};
    const LargeArray<std::uint16_t> held = source();
    std::vector<std::uint16_t> direct(std::size_t{small.width} * small.height);
    ASSERT_TRUE(resampleGrey({held.get(), count}, from, direct, small));
    ResampleAsideResult done =
        resampleAside(source(), from, makeLargeArray<std::uint16_t>(direct.size()), small, [] { return true; });
    EXPECT_FALSE(done.stopped);
    ASSERT_TRUE(done.samples);
    EXPECT_TRUE(std::equal(direct.begin(), direct.end(), done.samples->get()));
}

}  // namespace
}  // namespace kelvarin
