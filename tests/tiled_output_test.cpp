// A height map written as a grid of tiles: every tile holds exactly its window of the map the
// same job writes as one file, neighbours share their edges, the tiles are named after the
// destination, the report lists them, and the set is written whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "formats/memory_file_system.h"
#include "support/height_data_files.h"
#include "support/job_check.h"
#include "support/scripted_port.h"
#include "support/tiff_builder.h"
#include "terrain/tile_grid.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

using Samples = std::vector<std::uint16_t>;

Samples noise(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Samples samples(count);
    for (auto& s : samples) s = static_cast<std::uint16_t>(random());
    return samples;
}

// The samples of a written file: a TIFF's behind its header in its byte order, an R16's in `order`.
Samples samplesOf(const Bytes& file, bool tiff, bool bigEndian) {
    const std::size_t start = tiff ? 302 : 0;
    if (tiff) bigEndian = !file.empty() && file[0] == 'M';
    Samples samples;
    for (std::size_t i = start; i + 1 < file.size(); i += 2)
        samples.push_back(static_cast<std::uint16_t>(bigEndian ? file[i] << 8 | file[i + 1] : file[i] | file[i + 1] << 8));
    return samples;
}

struct Source {
    const char* name;
    int command;
    Bytes bytes;
};

Source rawSource(std::uint32_t side, unsigned seed) {
    return {"RAW", ids::RawToTif, littleEndianSamples(noise(std::size_t{side} * side, seed))};
}

Source tiffSource(std::uint32_t width, std::uint32_t length, unsigned seed) {
    Bytes rgb48;
    for (std::uint16_t v : noise(std::size_t{width} * length * 3, seed))
        rgb48.insert(rgb48.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    return {"MM TIFF", ids::OpenTif, TiffBuilder::rgb(true, width, length, 16, 0, rgb48).build()};
}

int runJob(Harness& harness, const Source& source, const std::string& destination) {
    return harness.run(source.command, {"/m/in.src", destination});
}

TEST(TiledOutput, TilesAreWindowsOfTheOneFileMap) {
    struct Case {
        Source source;
        std::optional<ImageSize> size;
        TileCount count;
        const char* extension;
        bool swap;
    };
    const Case cases[] = {
        {rawSource(9, 1), std::nullopt, {4, 2}, "tif", false},
        {rawSource(9, 2), std::nullopt, {2, 4}, "r16", true},
        {rawSource(9, 3), ImageSize{13, 7}, {3, 2}, "tif", true},
        {rawSource(5, 4), ImageSize{65, 33}, {8, 4}, "r16", false},
        {rawSource(7, 5), std::nullopt, {1, 1}, "tif", false},
        {tiffSource(17, 9, 6), std::nullopt, {4, 2}, "tif", false},
        {tiffSource(17, 9, 7), std::nullopt, {2, 1}, "r16", true},
    };
    for (const Case& c : cases) {
        MemoryFileSystem files;
        files.put("/m/in.src", c.source.bytes);
        const bool tiff = std::string(c.extension) == "tif";
        const std::string what = std::string(c.source.name) + " in " + tileCountText(c.count) + " ." + c.extension;

        Harness single(files);
        single.session.options.outputSize = c.size;
        single.session.options.swapByteOrder = c.swap;
        ASSERT_EQ(runJob(single, c.source, std::string("/m/one.") + c.extension), 1) << what;
        const Samples map = samplesOf(*files.contents(std::string("/m/one.") + c.extension), tiff, c.swap);
        const ImageSize mapSize = single.session.lastReports.at(0).report.width == 0
                                      ? ImageSize{}
                                      : ImageSize{static_cast<std::uint32_t>(single.session.lastReports[0].report.width),
                                                  static_cast<std::uint32_t>(single.session.lastReports[0].report.length)};

        Harness tiled(files);
        tiled.session.options.outputSize = c.size;
        tiled.session.options.swapByteOrder = c.swap;
        tiled.session.options.tiles = c.count;
        const std::string destination = std::string("/m/map.") + c.extension;
        ASSERT_EQ(runJob(tiled, c.source, destination), 1) << what << ": " << ::testing::PrintToString(tiled.port.boxTexts());
        const TilePlan plan = planTiles(mapSize, c.count);
        ASSERT_TRUE(plan.grid.has_value()) << what;
        const TileGrid& grid = *plan.grid;

        // The destination's own name is never written; only the tiles are.
        std::set<std::string> expectedNames{"/m/in.src", std::string("/m/one.") + c.extension};
        const auto& report = tiled.session.lastReports.at(0).report;
        ASSERT_EQ(report.tiles.size(), grid.tileCount()) << what;
        EXPECT_EQ(report.output, destination) << what;
        EXPECT_EQ(ImageSize(static_cast<std::uint32_t>(report.width), static_cast<std::uint32_t>(report.length)), mapSize);
        std::size_t listed = 0;
        for (std::uint32_t y = 0; y < c.count.rows; ++y) {
            for (std::uint32_t x = 0; x < c.count.columns; ++x) {
                const std::string name = "/m/map_x" + std::to_string(x) + "_y" + std::to_string(y) + "." + c.extension;
                expectedNames.insert(name);
                const auto bytes = files.contents(name);
                ASSERT_TRUE(bytes.has_value()) << what << " " << name;
                if (tiff) {
                    const auto info = readGreyTiffInfo(*bytes);
                    ASSERT_TRUE(info.has_value()) << name;
                    EXPECT_EQ(ImageSize(info->width, info->length), grid.tile) << name;
                }
                const TileWindow w = grid.window(x, y);
                Samples window;
                for (std::uint32_t row = w.top; row < w.top + w.length; ++row)
                    for (std::uint32_t column = w.left; column < w.left + w.width; ++column)
                        window.push_back(map[std::size_t{row} * mapSize.width + column]);
                const Samples tile = samplesOf(*bytes, tiff, c.swap);
                EXPECT_EQ(tile, window) << what << " " << name;
                // The right neighbour's first column is this tile's last.
                if (x + 1 < c.count.columns) {
                    const Samples right = samplesOf(
                        *files.contents("/m/map_x" + std::to_string(x + 1) + "_y" + std::to_string(y) + "." + c.extension),
                        tiff, c.swap);
                    for (std::uint32_t row = 0; row < w.length; ++row)
                        ASSERT_EQ(tile[std::size_t{row} * w.width + w.width - 1], right[std::size_t{row} * w.width]) << name;
                }
                const TileFigures& figures = report.tiles[listed++];
                EXPECT_EQ(figures.name, name);
                EXPECT_EQ(figures.x, x);
                EXPECT_EQ(figures.y, y);
                EXPECT_EQ(figures.min, *std::min_element(window.begin(), window.end())) << name;
                EXPECT_EQ(figures.max, *std::max_element(window.begin(), window.end())) << name;
                const auto& log = tiled.port.log;
                EXPECT_NE(std::find(log.begin(), log.end(), "Tile: " + name + " written and closed."), log.end()) << name;
            }
        }
        const std::vector<std::string> names = files.names();
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expectedNames) << what;
        EXPECT_EQ(files.pendingDestinations(), 0) << what;
    }
}

// A disk that fills anywhere in the set leaves none of the new tiles, and an old file of a tile's
// name exactly as it was: the n-th write fails, for every n until the set has room to be written.
TEST(TiledOutput, FailingDiskLeavesOldFilesAndNoNewTile) {
    const Source source = rawSource(9, 11);
    const Bytes old{'o', 'l', 'd'};
    std::uint64_t failing = 1;
    for (;; ++failing) {
        ASSERT_LT(failing, 1000u) << "the set never succeeded";
        MemoryFileSystem files;
        files.put("/m/in.src", source.bytes);
        files.put("/m/map_x1_y1.tif", old);
        files.put("/m/map_x0_y0.tif", old);
        files.failWritesFrom(failing);
        Harness harness(files);
        harness.session.options.tiles = TileCount{2, 2};
        if (runJob(harness, source, "/m/map.tif") == 1) break;
        const std::vector<std::string> names = files.names();
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
                  (std::set<std::string>{"/m/in.src", "/m/map_x0_y0.tif", "/m/map_x1_y1.tif"}))
            << failing;
        EXPECT_EQ(files.contents("/m/map_x0_y0.tif"), old) << failing;
        EXPECT_EQ(files.contents("/m/map_x1_y1.tif"), old) << failing;
        EXPECT_EQ(files.pendingDestinations(), 0) << failing;
        EXPECT_TRUE(harness.session.lastReports.empty()) << failing;
    }
    // Every one of the four tiles was written (so a failure in the last one was tried too).
    EXPECT_GE(failing, 5u);
}

// A disk whose error shows only when a tile is synced: the tiles are synced together before any
// takes its name, so whichever tile's sync fails, none of them does.
TEST(TiledOutput, FailedSyncOfAnyTileLeavesNoNewTile) {
    const Source source = rawSource(9, 11);
    const Bytes old{'o', 'l', 'd'};
    for (const std::uint64_t failing : {1u, 2u, 4u}) {
        MemoryFileSystem files;
        files.put("/m/in.src", source.bytes);
        files.put("/m/map_x1_y1.tif", old);
        files.failSyncsFrom(failing);
        Harness harness(files);
        harness.session.options.tiles = TileCount{2, 2};
        EXPECT_EQ(runJob(harness, source, "/m/map.tif"), 0) << failing;
        const std::vector<std::string> names = files.names();
        EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
                  (std::set<std::string>{"/m/in.src", "/m/map_x1_y1.tif"}))
            << failing;
        EXPECT_EQ(files.contents("/m/map_x1_y1.tif"), old) << failing;
        EXPECT_EQ(files.pendingDestinations(), 0) << failing;
    }
}

// Refused before any file is made: a map that does not split, and a tile that would be the source.
TEST(TiledOutput, RefusalsMakeNoFile) {
    struct Case {
        TileCount count;
        const char* source;
        const char* destination;
        const char* line;
        const char* boxText;
    };
    const Case cases[] = {
        {{3, 3}, "/m/in.src", "/m/map.tif", ">>> The map does not split into those tiles. STOP!",
         "The nearest that do: 7 (3 tiles of 3) or 10 (3 tiles of 4)."},
        {{2, 2}, "/m/in_x1_y0.raw", "/m/in.raw", ">>> A tile is the source file. STOP!",
         "The tile /m/in_x1_y0.raw is the source file itself."},
    };
    for (const Case& c : cases) {
        MemoryFileSystem files;
        files.put(c.source, rawSource(9, 3).bytes);
        Harness harness(files);
        harness.session.options.tiles = c.count;
        EXPECT_EQ(harness.run(ids::RawToTif, {c.source, c.destination}), 0) << c.line;
        EXPECT_EQ(files.names(), std::vector<std::string>{c.source}) << c.line;
        EXPECT_NE(std::find(harness.port.log.begin(), harness.port.log.end(), c.line), harness.port.log.end()) << c.line;
        const std::vector<std::string> boxes = harness.port.boxTexts();
        EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(),
                                [&](const std::string& box) { return box.find(c.boxText) != std::string::npos; }))
            << ::testing::PrintToString(boxes);
    }
}

}  // namespace
}  // namespace kelvarin::test
