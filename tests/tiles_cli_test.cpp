// kelvarin-cli --tiles: the grid refused as a usage error when it is none, and a whole run that
// writes the tiles, names them in the log and lists them in the report; a batch run tiles every
// source.
#include <gtest/gtest.h>

#include <random>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/cli_run.h"
#include "support/height_data_files.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"

namespace kelvarin::test {
namespace {

Bytes rawFile(std::uint32_t side, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint16_t> samples(std::size_t{side} * side);
    for (auto& s : samples) s = static_cast<std::uint16_t>(random());
    return littleEndianSamples(samples);
}

TEST(TilesCli, BadValuesExitWithTwoAndWriteNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"--tiles 0x4", "Columns and rows of tiles must each be from 1 to 64."},
        {"--tiles 65", "Columns and rows of tiles must each be from 1 to 64."},
        {"--tiles four", "The tiles must be given as columns x rows"},
        {"--tiles 4x", "The tiles must be given as columns x rows"},
        {"--tiles", "--tiles takes CxR"},
        {"--metres-per-step 0", "--metres-per-step takes a number of metres above 0"},
        {"--metres-per-step 0,05", "--metres-per-step takes a number of metres above 0"},
        {"--metres-per-step -1", "--metres-per-step takes a number of metres above 0"},
        {"--metres-per-step nan", "--metres-per-step takes a number of metres above 0"},
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
    const CliRun run = runCli(dir, "--tiles 2x2 --metres-per-step 0.05 --report r.json raw in.raw out.r16");
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
    // 65535 steps of 5 cm; the landscape engine spans 512 m at 100 %.
    EXPECT_NE(report.find("\"span_m\": 3276.75,"), std::string::npos) << report;
    EXPECT_NE(report.find("\"z_scale_percent\": 639.990234375,"), std::string::npos) << report;
    EXPECT_NE(report.find("\"terrain_height_m\": 3276.75\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("spacing_m"), std::string::npos) << report;  // a RAW file gives no spacing
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

// Interrupted once the first band of tiles is complete and the second being written: none of the
// new tiles is left, nor any temporary file, and an old file of a tile's name is as it was. The
// source's pixels are a hole in a sparse file, so the job takes long enough to be caught.
TEST(TilesCli, InterruptLeavesNoNewTile) {
    TempDir dir;
    const std::uint64_t pixelBytes = std::uint64_t{16384} * 16384 * 12;
    TiffBuilder tiff = TiffBuilder::rgb(false, 16384, 16384, 32, 3, {});
    tiff.find(279)->values = {static_cast<std::uint32_t>(pixelBytes)};
    const Bytes head = tiff.build();
    writeBytes(dir.file("big.tif"), head);
    ASSERT_EQ(truncate(dir.file("big.tif").c_str(), static_cast<off_t>(head.size() + pixelBytes)), 0);
    const Bytes oldTile{'o', 'l', 'd'};
    writeBytes(dir.file("map_x0_y0.tif"), oldTile);
    // 16383 divides by 3: three bands of three tiles.
    const pid_t pid = spawnCli(dir, {"--tiles", "3x3", "tif", dir.file("big.tif"), dir.file("map.tif")});
    ASSERT_GT(pid, 0);
    int status = 0;
    bool ended = false;
    while (!ended && temporaryFilesIn(dir.path()).size() < 4) {
        ended = waitpid(pid, &status, WNOHANG) == pid;
        if (!ended) usleep(1000);
    }
    ASSERT_FALSE(ended) << "the job ended before its second band of tiles was seen";
    kill(pid, SIGINT);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_EQ(readBytes(dir.file("map_x0_y0.tif")), oldTile);
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"big.tif", "map_x0_y0.tif", "stderr.txt", "stdout.txt"}));
}

}  // namespace
}  // namespace kelvarin::test
