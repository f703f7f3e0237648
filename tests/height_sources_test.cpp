// Elevation files end to end through kelvarin-cli: files GDAL writes (GeoTIFF, ASCII grid, SRTM)
// and PFM, converted with their own range and with one given, against the levels computed from
// what GDAL reads of the same files; one range shared by the halves of a DEM; the usage errors of
// the height options.
#include <gtest/gtest.h>

#include <string>

#include "support/cli_run.h"
#include "support/source_decode.h"

namespace kelvarin::test {
namespace {

class HeightFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = makeReferenceFolder("/usr/bin/python3 -c 'import numpy; from osgeo import gdal'", "height_reference.py");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        if (!dir_) GTEST_SKIP() << "python3 with numpy and GDAL (python3-gdal) is needed";
    }
    static TempDir* dir_;
};

TempDir* HeightFiles::dir_ = nullptr;

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string fileText(const std::string& path) {
    const Bytes bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST_F(HeightFiles, EveryFileGivesTheLevelsOfTheHeightsGdalReads) {
    const auto cases = manifestRows(dir_->file("manifest.txt"));
    ASSERT_GE(cases.size(), 10u) << "the reference script made too few cases";
    for (const auto& c : cases) {
        ASSERT_EQ(c.size(), 7u);
        const std::string& source = c[0];
        const std::string name = c[1].substr(0, c[1].size() - 4);
        SCOPED_TRACE(name);
        const std::string range = c[4].empty() ? "" : "--height-range " + c[4] + " ";
        const CliRun run = runCli(*dir_, range + "--report " + name + ".json open " + source + " " + name + ".r16");
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(readBytes(dir_->file(name + ".r16")) == readBytes(dir_->file(c[1]))) << "levels differ from GDAL's";
        const std::string report = fileText(dir_->file(name + ".json"));
        EXPECT_NE(report.find("\"voids\": " + c[5] + ","), std::string::npos) << report;
        EXPECT_NE(report.find("\"clipped\": " + c[6] + ","), std::string::npos) << report;
        EXPECT_EQ(report.find("\"code\": \"voids\"") != std::string::npos, c[5] != "0") << report;
        // The Levels options are not applied to heights, and the log says so.
        EXPECT_NE(run.out.find("Levels options do not apply to heights"), std::string::npos);
        EXPECT_NE(run.out.find(c[4].empty() ? "(found)" : "(given)"), std::string::npos);
    }
}

TEST_F(HeightFiles, WhatTheFilesSayOfTheirPlaceReachesTheReport) {
    struct Case {
        const char* source;
        const char* geo;  // a piece of the report's "geo" object
    };
    const Case cases[] = {
        {"N45E006.hgt", "\"units\": \"degree\""},
        {"int16_voids.tif", "\"origin_x\": 6,"},
        {"grid.asc", "\"origin_y\": 5000630,"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        const CliRun run = runCli(*dir_, std::string("--report geo.json open ") + c.source + " geo.r16");
        ASSERT_EQ(run.status, 0) << run.err;
        const std::string report = fileText(dir_->file("geo.json"));
        EXPECT_NE(report.find(c.geo), std::string::npos) << report;
        EXPECT_NE(report.find("\"vertical_scale\": \"One step is "), std::string::npos) << report;
    }
}

// Two halves of one DEM that share a row: converted each on its own range their maps disagree
// on it; with the range `range` finds over both, shared by the batch, they agree sample for sample.
TEST_F(HeightFiles, SharedRangeMakesNeighbouringTilesMeet) {
    const CliRun range = runCli(*dir_, "range dem_top.tif dem_bottom.tif");
    ASSERT_EQ(range.status, 0) << range.err;
    EXPECT_EQ(trimmed(range.out), trimmed(fileText(dir_->file("shared.txt"))));

    const std::size_t rowBytes = 2 * 33;
    const auto edges = [&](const std::string& folder) {
        const Bytes top = readBytes(dir_->file(folder + "/dem_top.r16"));
        const Bytes bottom = readBytes(dir_->file(folder + "/dem_bottom.r16"));
        EXPECT_EQ(top.size(), 21 * rowBytes);
        EXPECT_EQ(bottom.size(), 20 * rowBytes);
        return std::make_pair(Bytes(top.end() - static_cast<std::ptrdiff_t>(rowBytes), top.end()),
                              Bytes(bottom.begin(), bottom.begin() + static_cast<std::ptrdiff_t>(rowBytes)));
    };
    ASSERT_EQ(runCli(*dir_, "--format r16 --out-dir own open dem_top.tif dem_bottom.tif").status, 0);
    const auto own = edges("own");
    EXPECT_NE(own.first, own.second);
    const CliRun shared = runCli(*dir_, "--shared-range --format r16 --out-dir shared open dem_top.tif dem_bottom.tif");
    ASSERT_EQ(shared.status, 0) << shared.err;
    EXPECT_NE(shared.err.find("shared height range " + trimmed(range.out)), std::string::npos) << shared.err;
    const auto together = edges("shared");
    EXPECT_EQ(together.first, together.second);
}

TEST_F(HeightFiles, BadRangesAreUsageErrorsAndMakeNoFile) {
    const char* cases[] = {
        "--height-range 5:5 open flat.tif bad.r16",
        "--height-range 9:-3 open flat.tif bad.r16",
        "--height-range 1e400:2 open flat.tif bad.r16",
        "--height-range 0,5:7 open flat.tif bad.r16",
        "--height-range 100 open flat.tif bad.r16",
        "--shared-range open flat.tif bad.r16",
        "--shared-range --height-range 0:1 --out-dir bad open flat.tif",
        "range",
    };
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        const CliRun run = runCli(*dir_, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_FALSE(exists(dir_->file("bad.r16")));
        EXPECT_FALSE(exists(dir_->file("bad")));
    }
}

}  // namespace
}  // namespace kelvarin::test
