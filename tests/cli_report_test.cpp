// kelvarin-cli --report: the report file of a real job against numpy over the written images
// (tests/tools/report_reference.py), the warnings on stderr, and no report after a failed job.
#include <gtest/gtest.h>

#include <unistd.h>

#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/cli_run.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"

namespace kelvarin::test {
namespace {

const std::string kTools = std::string(__FILE__).substr(0, std::string(__FILE__).find_last_of('/')) + "/tools";

// An RGB TIFF of grey pixels, `bits` 8 or 16, little-endian.
Bytes greyTiff(std::uint32_t width, std::uint32_t length, std::uint16_t bits,
               const std::function<std::uint32_t(std::uint32_t x, std::uint32_t y)>& grey) {
    Bytes pixels;
    for (std::uint32_t y = 0; y < length; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (int channel = 0; channel < 3; ++channel) {
                const std::uint32_t v = grey(x, y);
                pixels.push_back(static_cast<std::uint8_t>(v));
                if (bits == 16) pixels.push_back(static_cast<std::uint8_t>(v >> 8));
            }
    return TiffBuilder::rgb(false, width, length, bits, 1, pixels).build();
}

struct ReportCase {
    const char* name;
    std::string options;
    Bytes source;
    std::uint32_t width, length;
    const char* warning;  // the warning this source is made to call for
};

TEST(CliReport, ReportFileDescribesTheWrittenImage) {
    if (runCommand("/usr/bin/python3 -c 'import numpy, tifffile' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with numpy and tifffile is needed";
    const ReportCase cases[] = {
        {"8-bit render", "", greyTiff(120, 70, 8, [](auto x, auto y) { return (x * 2 + y) % 256; }), 120, 70,
         "terraces"},
        {"narrow render", "", greyTiff(150, 90, 16, [](auto x, auto y) { return 30000 + (x * 37 + y * 101) % 8000; }),
         150, 90, "narrow-range"},
        // Boost stretches the plateau at the highest grey (the right fifth) to 65535.
        {"boosted plateau", "--boost ",
         greyTiff(100, 60, 16, [](auto x, auto y) { return x >= 80 ? 50000 : 10000 + x * 480 + y * 7; }), 100, 60,
         "clipped"},
    };
    for (const ReportCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(dir.file("render.tif"), c.source);
        writeText(dir.file("report.json"), "last week's report");
        const CliRun run = runCli(dir, c.options + "--report " + dir.file("report.json") + " tif " +
                                           dir.file("render.tif") + " " + dir.file("height.tif"));
        ASSERT_EQ(run.status, 0) << run.err;
        writeText(dir.file("output.txt"), dir.file("height.tif"));
        EXPECT_EQ(runCommand("/usr/bin/python3 " + kTools + "/report_reference.py " + dir.file("report.json") + " " +
                             dir.file("output.txt") + " " + dir.file("height.tif") + " " + std::to_string(c.width) +
                             " " + std::to_string(c.length) + " >&2"),
                  0);
        const Bytes json = readBytes(dir.file("report.json"));
        std::string quoted = "\"";
        quoted += c.warning;
        quoted += '"';
        EXPECT_NE(std::string(json.begin(), json.end()).find(quoted), std::string::npos);
        // Each warning a line on stderr after the boxes; the log on stdout knows nothing of them.
        EXPECT_NE(run.err.find("KELVARIN - Report: "), std::string::npos);
        EXPECT_EQ(run.out.find("Report"), std::string::npos);
        EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
    }
}

// A terrain set's report holds its three tiles, each described from its own file.
TEST(CliReport, TerrainSetReportHoldsItsThreeTiles) {
    if (runCommand("/usr/bin/python3 -c 'import numpy, tifffile' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 with numpy and tifffile is needed";
    TempDir dir;
    const std::uint32_t sides[] = {4096, 2048, 1024};
    const char* digits[] = {"4", "2", "1"};
    for (int i = 0; i < 3; ++i) {
        // Mostly a hole in a sparse file; a ramp in the first rows makes the tiles differ.
        Bytes start;
        for (std::uint32_t k = 0; k < 3 * sides[i]; ++k)
            start.push_back(static_cast<std::uint8_t>(k * (i + 3))), start.push_back(static_cast<std::uint8_t>(k >> 4));
        const std::string name = dir.file(std::string(digits[i]) + "alps.raw");
        writeBytes(name, start);
        ASSERT_EQ(truncate(name.c_str(), static_cast<off_t>(2) * sides[i] * sides[i]), 0);
    }
    const CliRun run = runCli(dir, "--report " + dir.file("tiles.json") + " terrain3 " + dir.file("2alps.raw"));
    ASSERT_EQ(run.status, 0) << run.err;
    std::string outputs, arguments;
    for (const char* side : {"4096", "2048", "1024"}) {
        const std::string tile = dir.file(std::string("alps_") + side + ".tif");
        outputs += (outputs.empty() ? "" : "\n") + tile;
        arguments += " " + tile + " " + side + " " + side;
    }
    writeText(dir.file("outputs.txt"), outputs);
    EXPECT_EQ(runCommand("/usr/bin/python3 " + kTools + "/report_reference.py " + dir.file("tiles.json") + " " +
                         dir.file("outputs.txt") + arguments + " >&2"),
              0);
}

// A failed job leaves no report, not even last week's.
TEST(CliReport, FailedJobLeavesNoReport) {
    TempDir dir;
    writeText(dir.file("notes.txt"), "a text file\n");
    writeText(dir.file("report.json"), "{\"output\": \"last week\"}\n");
    const CliRun run = runCli(dir, "--report " + dir.file("report.json") + " tif " + dir.file("notes.txt") + " " +
                                       dir.file("out.tif"));
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(exists(dir.file("report.json")));
    EXPECT_FALSE(exists(dir.file("out.tif")));
    EXPECT_EQ(run.err.find("KELVARIN - Report"), std::string::npos);
}

// The report may take the name of no file the job reads or writes, a terrain set's other exports
// and earlier tiles included, and a TE>Raw export has no image to describe: each is refused before
// the job starts, and every file there keeps its bytes.
TEST(CliReport, ReportRefusedBeforeTheJobTouchesAnything) {
    struct Case {
        const char* name;
        std::string arguments;
    };
    const Case cases[] = {
        {"another export of the set", "--report 2alps.raw terrain3 4alps.raw"},
        {"an earlier tile", "--report alps_2048.tif terrain3 4alps.raw"},
        {"an earlier tile, four exports", "--report alps_1024.tif terrain4-avg 8alps.raw"},
        {"TE>Raw export", "--te-raw --report report.json tif height.tif height.raw"},
    };
    const char* files[] = {"8alps.raw", "4alps.raw", "2alps.raw", "alps_2048.tif", "alps_1024.tif",
                           "height.tif", "report.json"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        for (const char* file : files) writeText(dir.file(file), std::string("kept: ") + file);
        const CliRun run = runCli(dir, c.arguments);
        EXPECT_EQ(run.status, 2) << run.err;
        for (const char* file : files) {
            const Bytes kept = readBytes(dir.file(file));
            EXPECT_EQ(std::string(kept.begin(), kept.end()), std::string("kept: ") + file);
        }
        EXPECT_FALSE(exists(dir.file("height.raw")));
    }
}

// A TIFF of signed integers is converted as unsigned, and its report says what the file holds.
TEST(CliReport, SignedTiffIsReportedAsSigned) {
    TempDir dir;
    TiffBuilder tiff = TiffBuilder::rgb(false, 4, 3, 16, 1, Bytes(4 * 3 * 6, 0x40));
    tiff.entries.push_back({339, kShortType, 3, {2, 2, 2}});
    writeBytes(dir.file("signed.tif"), tiff.build());
    const CliRun run =
        runCli(dir, "--report " + dir.file("r.json") + " tif " + dir.file("signed.tif") + " " + dir.file("out.tif"));
    ASSERT_EQ(run.status, 0) << run.err;
    const Bytes json = readBytes(dir.file("r.json"));
    EXPECT_NE(std::string(json.begin(), json.end()).find("\"sample_format\": \"signed integer\""), std::string::npos);
}

// KELVARIN_REPORT=0, the benches' way to time a job without its report: the same bytes written,
// no warning printed, and --report refused rather than left without its report.
TEST(CliReport, ReportTurnedOffWritesTheSameImage) {
    TempDir dir;
    writeBytes(dir.file("render.tif"), greyTiff(120, 70, 8, [](auto x, auto y) { return (x * 2 + y) % 256; }));
    const CliRun counted = runCli(dir, "tif " + dir.file("render.tif") + " " + dir.file("counted.tif"));
    ASSERT_EQ(counted.status, 0) << counted.err;
    ASSERT_NE(counted.err.find("KELVARIN - Report: "), std::string::npos);
    ASSERT_EQ(setenv("KELVARIN_REPORT", "0", 1), 0);
    const CliRun plain = runCli(dir, "tif " + dir.file("render.tif") + " " + dir.file("plain.tif"));
    const CliRun refused = runCli(dir, "--report " + dir.file("r.json") + " tif " + dir.file("render.tif") + " " +
                                           dir.file("refused.tif"));
    unsetenv("KELVARIN_REPORT");
    EXPECT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(withoutDateTime(readBytes(dir.file("plain.tif"))), withoutDateTime(readBytes(dir.file("counted.tif"))));
    EXPECT_EQ(plain.err.find("KELVARIN - Report"), std::string::npos);
    EXPECT_EQ(refused.status, 2);
    EXPECT_FALSE(exists(dir.file("refused.tif")));
}

}  // namespace
}  // namespace kelvarin::test
