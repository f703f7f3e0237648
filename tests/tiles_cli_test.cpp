// kelvarin-cli --tiles: the grid refused as a usage error when it is none, and a whole run that
// writes the tiles, names them in the log and lists them in the report; a batch run tiles every
// source.
#include <gtest/gtest.h>

#include <random>

#include "support/cli_run.h"
#include "support/height_data_files.h"
#include "support/test_files.h"

namespace kelvarin::test {
namespace {

Bytes rawFile(std::uint32_t side, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint16_t> samples(std::size_t{side} * side);
    for (auto& s : samples) s = static_cast<std::uint16_t>(random());
    return littleEndianSamples(samples);
}

TEST(TilesCli, BadGridsExitWithTwoAndWriteNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"--tiles 0x4", "Columns and rows of tiles must each be from 1 to 64."},
        {"--tiles 65", "Columns and rows of tiles must each be from 1 to 64."},
        {"--tiles four", "The tiles must be given as columns x rows"},
        {"--tiles 4x", "The tiles must be given as columns x rows"},
        {"--tiles", "--tiles takes CxR"},
    };
    for (const auto& [option, message] : cases) {
        TempDir dir;
        writeBytes(dir.file("in.raw"), rawFile(9, 1));
        const std::string args = std::string(option) + (std::string(option) == "--tiles" ? "" : " raw in.raw out.tif");
        const CliRun run = runCli(dir, args);
        EXPECT_EQ(run.status, 2) << option;
        EXPECT_NE(run.err.find(message), std::string::npos) << option << ": " << run.err;
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"in.raw", "stdout.txt", "stderr.txt"})) << option;
    }
}

TEST(TilesCli, WritesTheTilesAndReportsThem) {
    TempDir dir;
    writeBytes(dir.file("in.raw"), rawFile(9, 2));
    const CliRun run = runCli(dir, "--tiles 2x2 --report r.json raw in.raw out.r16");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"in.raw", "stdout.txt", "stderr.txt", "r.json", "out_x0_y0.r16", "out_x1_y0.r16",
                                                           "out_x0_y1.r16", "out_x1_y1.r16"}));
    for (const char* tile : {"out_x0_y0.r16", "out_x1_y1.r16"}) {
        EXPECT_EQ(readBytes(dir.file(tile)).size(), 5u * 5 * 2) << tile;
        EXPECT_NE(run.out.find("Tile: " + dir.file(tile) + " written and closed.\n"), std::string::npos) << run.out;
    }
    EXPECT_NE(run.out.find("Cutting into 2 x 2 tiles of 5 x 5 pixels that share their edges.\n"), std::string::npos);
    const Bytes json = readBytes(dir.file("r.json"));
    const std::string report(json.begin(), json.end());
    EXPECT_NE(report.find("\"tiles\": ["), std::string::npos) << report;
    EXPECT_NE(report.find("\"name\": \"" + dir.file("out_x1_y0.r16") + "\""), std::string::npos) << report;
    EXPECT_NE(report.find("\"width\": 9"), std::string::npos) << report;  // the whole map's own object
}

TEST(TilesCli, BatchTilesEverySourceAndRefusesWhatDoesNotSplit) {
    TempDir dir;
    runCommand("mkdir '" + dir.file("src") + "'");
    writeBytes(dir.file("src/a.raw"), rawFile(9, 3));
    writeBytes(dir.file("src/b.raw"), rawFile(8, 4));  // 8 - 1 does not divide by 2
    const CliRun run = runCli(dir, "--tiles 2x1 --out-dir out raw src/a.raw src/b.raw");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(namesIn(dir.file("out")), (std::set<std::string>{"a_x0_y0.tif", "a_x1_y0.tif"}));
    EXPECT_NE(run.err.find("The width 8 does not split into 2 tiles"), std::string::npos) << run.err;
    // Run again: the tiles exist, and without --overwrite their job fails before writing.
    const CliRun again = runCli(dir, "--tiles 2x1 --out-dir out raw src/a.raw");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("a_x0_y0.tif exists already"), std::string::npos) << again.err;
}

}  // namespace
}  // namespace kelvarin::test
