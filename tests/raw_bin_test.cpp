#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "formats/file.h"
#include "formats/bin_reader.h"
#include "formats/raw_reader.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "support/height_data_files.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

using test::Bytes;
using test::Harness;
using test::TempDir;

Bytes randomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

TEST(RawSize, OnlySquareSixteenBitImagesHaveASide) {
    const std::pair<std::uint64_t, std::uint64_t> cases[] = {
        {0, 0}, {1, 0}, {2, 1}, {8, 2}, {6, 0}, {8388608, 2048}, {2ull * 2048 * 1024, 0},
        {2ull * 65535 * 65535, 65535}, {2ull * 65536 * 65536, 65536}, {2ull * 3037000499 * 3037000499, 3037000499},
        {2ull * 46341 * 46341 + 2, 0},
    };
    for (const auto& [size, side] : cases) EXPECT_EQ(squareSideForRawSize(size), side) << size;
}

struct RawRun {
    TempDir dir;
    Harness harness;
    int result = 0;
    Bytes output;
    explicit RawRun(const Bytes& source) {
        test::writeBytes(dir.file("in.raw"), source);
        result = harness.run(ids::RawToTif, {dir.file("in.raw"), dir.file("out.tif")});
        if (test::exists(dir.file("out.tif"))) output = test::readBytes(dir.file("out.tif"));
    }
};

TEST(RawConversion, TerrainExportsAreCopiedByteForByte) {
    for (std::uint32_t side : {1024u, 2048u, 4096u}) {
        SCOPED_TRACE(side);
        const Bytes source = randomBytes(std::size_t{2} * side * side, side);
        RawRun run(source);
        ASSERT_EQ(run.result, 1) << ::testing::PrintToString(run.harness.port.boxTexts());
        ASSERT_EQ(run.output.size(), 302 + source.size());
        EXPECT_TRUE(std::equal(source.begin(), source.end(), run.output.begin() + 302));
        const test::TiffValues values = test::readTiffValues(run.output);
        EXPECT_EQ(values.width, side);
        EXPECT_EQ(values.length, side);
        EXPECT_EQ(values.rowsPerStrip, side);
        EXPECT_EQ(values.stripByteCounts, source.size());
        EXPECT_TRUE(test::containsInOrder(
            run.harness.port.log,
            {"Deriving size from RAW file", "Width:  " + std::to_string(side),
             "Length:  " + std::to_string(side), "ImgSize:  " + std::to_string(source.size())}));
        EXPECT_TRUE(test::containsInOrder(
            run.harness.port.log,
            {"Conversion from RAW concluded.", "Closed source file:", run.dir.file("in.raw"), "Closed converted file:",
             run.dir.file("out.tif"), "DONE. Data conversion completed in 0 seconds"}))
            << ::testing::PrintToString(run.harness.port.log);
        EXPECT_EQ(run.harness.port.positions.back(), 0);  // end of job resets the bar
        EXPECT_NE(std::find(run.harness.port.positions.begin(), run.harness.port.positions.end(), 100),
                  run.harness.port.positions.end());
    }
}

// What the TE>Raw export copies: the whole file from offset 0.
TEST(RawConversion, HeaderStepDescribesTheWholeFile) {
    TempDir dir;
    test::writeBytes(dir.file("in.raw"), Bytes(2 * 64 * 64, 3));
    Harness harness;
    harness.session.files.source = diskFileSystem().open(dir.file("in.raw"), File::Mode::Read);
    harness.session.files.sourcePath = dir.file("in.raw");
    JobContext job(harness.session);
    job.image.reset(SourceKind::Raw);
    ASSERT_TRUE(rawHeaderStep(job));
    EXPECT_EQ(job.image.dataOffset, 0u);
    EXPECT_EQ(job.image.outputDataBytes, 2u * 64 * 64);
    EXPECT_EQ(job.image.width, 64u);
    EXPECT_EQ(job.image.byteOrder, ByteOrder::II);
    EXPECT_EQ(job.image.destinationFields.stripByteCounts, (Field4{0x00, 0x20, 0x00, 0x00}));
    EXPECT_EQ(harness.port.ranges.back(), std::make_pair(1, 100));
    EXPECT_EQ(harness.port.positions.back(), 50);
}

TEST(RawConversion, ARawFileBeginningWithIIIsStillRaw) {
    Bytes source = {'I', 'I', 0x2A, 0x00, 1, 2, 3, 4};
    RawRun run(source);
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(test::tiffData(run.output), source);
    EXPECT_EQ(test::readTiffValues(run.output).width, 2u);
}

TEST(RawConversion, SizesThatAreNotSquareAreRefused) {
    const std::pair<std::size_t, const char*> cases[] = {
        {0, "The RAW file is empty."},
        {1, "The RAW file size is not that of a square 16-bit image."},
        {2ull * 2048 * 1024, "The RAW file size is not that of a square 16-bit image."},
        {2ull * 16 * 16 + 1, "The RAW file size is not that of a square 16-bit image."},
        {2ull * 16 * 16 - 2, "The RAW file size is not that of a square 16-bit image."},
    };
    for (const auto& [size, box] : cases) {
        SCOPED_TRACE(size);
        RawRun run(Bytes(size, 7));
        EXPECT_EQ(run.result, 0);
        EXPECT_FALSE(test::exists(run.dir.file("out.tif")));
        const auto boxes = run.harness.port.boxTexts();
        ASSERT_GE(boxes.size(), 2u);
        EXPECT_EQ(boxes[boxes.size() - 2], std::string("KELVARIN - RAW.: ") + box);
        EXPECT_TRUE(test::containsInOrder(run.harness.port.log,
                                          {"Deriving size from RAW file", "ImgSize: " + std::string(" ") + std::to_string(size),
                                           ">>> Cannot handle this file. STOP!", "Closed file:", run.dir.file("in.raw"),
                                           std::string(72, '-')}))
            << ::testing::PrintToString(run.harness.port.log);
        // No Save dialog was shown: the refusal came before any destination.
        EXPECT_EQ(run.harness.port.dialogs.size(), 1u);
    }
}

// ---- BIN ----

std::string binHeader(const std::string& rows, const std::string& columns, const std::string& base,
                      const std::string& voidMarker, const char* lineEnd = "\n") {
    const std::string lines[] = {"file_title = test", "data_format = int16", "map_projection = Lat/Lon",
                                 "ellipsoid = WGS84", "left_map_x = 14.25", "lower_map_y = 46.1",
                                 "right_map_x = 14.35", rows, columns, "elev_m_unit = meters", base,
                                 "elev_m_maximum = 1834", voidMarker, "trailing = ignored"};
    std::string text;
    for (const std::string& line : lines) text += line + lineEnd;
    return text;
}

// The expected output computed straight from the definition: row r of the TIFF is row
// length-1-r of the file; the void marker becomes 0, every other sample moves up by |b|+1.
Bytes expectedBin(const std::vector<std::int16_t>& samples, std::size_t width, std::size_t length, int base,
                  int voidMarker) {
    std::vector<std::uint16_t> out;
    for (std::size_t r = 0; r < length; ++r) {
        for (std::size_t c = 0; c < width; ++c) {
            const int s = samples[(length - 1 - r) * width + c];
            out.push_back(s == voidMarker ? 0 : static_cast<std::uint16_t>((s + std::abs(base) + 1) & 0xFFFF));
        }
    }
    return test::littleEndianSamples(out);
}

Bytes signedBytes(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint16_t> patterns(samples.begin(), samples.end());
    return test::littleEndianSamples(patterns);
}

struct BinRun {
    TempDir dir;
    Harness harness;
    int result = 0;
    Bytes output;
    BinRun(const Bytes& data, const std::string& header) {
        test::writeBytes(dir.file("in.bin"), data);
        test::writeText(dir.file("in.hdr"), header);
        result = harness.run(ids::BinToTif, {dir.file("in.bin"), dir.file("in.hdr"), dir.file("out.tif")});
        if (test::exists(dir.file("out.tif"))) output = test::readBytes(dir.file("out.tif"));
    }
};

TEST(BinConversion, OffsetAndFlipMatchAnIndependentComputation) {
    struct Case {
        std::size_t width, length;
        int base, voidMarker;
        const char* lineEnd;
    };
    const Case cases[] = {
        {7, 5, -120, -32767, "\n"},   {3, 4, 250, -9999, "\r\n"}, {1, 1, 0, 0, "\n"},
        {1000, 3, -32768, 32767, "\n"}, {2, 3001, 5, -5, "\r\n"},  {3000, 1500, -1, -32768, "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.length));
        std::mt19937 random(static_cast<unsigned>(c.width * 31 + c.length));
        std::vector<std::int16_t> samples(c.width * c.length);
        for (auto& s : samples) s = static_cast<std::int16_t>(random());
        samples[0] = static_cast<std::int16_t>(c.voidMarker);
        samples.back() = static_cast<std::int16_t>(c.base);
        const std::string header =
            binHeader("number_of_rows = " + std::to_string(c.length), "number_of_columns = " + std::to_string(c.width),
                      "elev_m_minimum = " + std::to_string(c.base), "elev_m_missing_flag = " + std::to_string(c.voidMarker),
                      c.lineEnd);
        BinRun run(signedBytes(samples), header);
        ASSERT_EQ(run.result, 1) << ::testing::PrintToString(run.harness.port.boxTexts());
        EXPECT_TRUE(test::tiffData(run.output) == expectedBin(samples, c.width, c.length, c.base, c.voidMarker));
        const test::TiffValues values = test::readTiffValues(run.output);
        EXPECT_EQ(values.width, c.width);
        EXPECT_EQ(values.length, c.length);
        EXPECT_EQ(values.stripByteCounts, 2 * c.width * c.length);
    }
}

TEST(BinConversion, LogsTheHeaderAndTheSteps) {
    // b = -120: -120 becomes 1, 5000 becomes 5121; the void marker becomes 0 although it equals b.
    const std::vector<std::int16_t> samples = {-120, 5000, -9999, 0, 1, 2};
    BinRun run(signedBytes(samples),
               binHeader("number_of_rows = 3", "number_of_columns = 2", "elev_m_minimum = -120",
                         "elev_m_missing_flag = -9999", "\r\n"));
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(test::tiffData(run.output), test::littleEndianSamples({122, 123, 0, 121, 1, 5121}));
    EXPECT_TRUE(test::containsInOrder(
        run.harness.port.log,
        {"Reading header data for BIN file", run.dir.file("in.hdr"), "file_title = test", "data_format = int16",
         "map_projection = Lat/Lon", "ellipsoid = WGS84", "left_map_x = 14.25", "lower_map_y = 46.1",
         "right_map_x = 14.35", "number_of_rows = 3", "number_of_columns = 2", "elev_m_unit = meters",
         "elev_m_minimum = -120", "elev_m_maximum = 1834", "elev_m_missing_flag = -9999",
         "DONE reading and interpreting Header.", "Closed " + run.dir.file("in.hdr"), ""}))
        << ::testing::PrintToString(run.harness.port.log);
    EXPECT_TRUE(test::containsInOrder(
        run.harness.port.log,
        {"DONE. Standby for data conversion.", "Finished reading data.", "Closed source file:", run.dir.file("in.bin"),
         "Signed integer converted to unsigned ones.", "Image flipped vertical.", "Conversion from BIN concluded.",
         "Closed converted file:", run.dir.file("out.tif"), "DONE. Data conversion completed in 0 seconds"}))
        << ::testing::PrintToString(run.harness.port.log);
    EXPECT_EQ(run.harness.port.boxTexts().back(), "KELVARIN - Success.: TIF Conversion concluded.");
}

TEST(BinConversion, SignedSamplesBecomeHeightsInPlace) {
    std::vector<std::uint16_t> samples = {0xFFFF, 0x8000, 0x7FFF, 0x0000};
    signedToUnsigned(samples.data(), samples.size(), -32768, -1);
    EXPECT_EQ(samples, (std::vector<std::uint16_t>{1, 0, 0x8001, 2}));
}

struct BinRefusal {
    const char* name;
    std::size_t dataBytes;
    std::string header;
    std::string box;
    bool destinationWasOffered;  // the size refusal comes after the Save dialog
};

TEST(BinConversion, RefusalsLeaveNoDestination) {
    const std::string rows2 = "number_of_rows = 2", cols3 = "number_of_columns = 3";
    const std::string base = "elev_m_minimum = -5", voidLine = "elev_m_missing_flag = -9999";
    const std::string twelve = [] {
        std::string text;
        for (int i = 1; i <= 12; ++i) text += "line " + std::to_string(i) + " = 2\n";
        return text;
    }();
    const std::vector<BinRefusal> cases = {
        {"one byte too many", 13, binHeader(rows2, cols3, base, voidLine), "File size does not match image size", true},
        {"one byte too few", 11, binHeader(rows2, cols3, base, voidLine), "File size does not match image size", true},
        {"twelve lines", 12, twelve, "The BIN header file holds fewer than 13 lines.", false},
        {"empty header", 12, "", "The BIN header file holds fewer than 13 lines.", false},
        {"rows as text", 12, binHeader("rows", cols3, base, voidLine),
         "The BIN header gives a width or length outside 1 to 65535.", false},
        {"zero columns", 12, binHeader(rows2, "ncols = 0", base, voidLine),
         "The BIN header gives a width or length outside 1 to 65535.", false},
        {"negative rows", 12, binHeader("nrows = -2", cols3, base, voidLine),
         "The BIN header gives a width or length outside 1 to 65535.", false},
        {"too wide", 12, binHeader(rows2, "ncols = 65536", base, voidLine),
         "The BIN header gives a width or length outside 1 to 65535.", false},
        {"above 4 GiB", 12, binHeader("nrows = 65535", "ncols = 65535", base, voidLine),
         "The BIN image is too large for a 16-bit TIFF of one strip.", false},
        {"base beyond 16 bits", 12, binHeader(rows2, cols3, "min = -40000", voidLine),
         "The BIN header's base value or void marker is not a 16-bit number.", false},
        {"void beyond 16 bits", 12, binHeader(rows2, cols3, base, "void = 32768"),
         "The BIN header's base value or void marker is not a 16-bit number.", false},
    };
    for (const BinRefusal& c : cases) {
        SCOPED_TRACE(c.name);
        BinRun run(Bytes(c.dataBytes, 1), c.header);
        EXPECT_EQ(run.result, 0);
        EXPECT_FALSE(test::exists(run.dir.file("out.tif")));
        const auto boxes = run.harness.port.boxTexts();
        ASSERT_GE(boxes.size(), 2u);
        EXPECT_EQ(boxes[boxes.size() - 2], "KELVARIN - BIN.: " + c.box);
        EXPECT_EQ(run.harness.port.dialogs.size(), c.destinationWasOffered ? 3u : 2u);
        const std::string stop = c.box.find("13 lines") != std::string::npos ? ">>> Cannot interpret this header. STOP!"
                                                                              : ">>> Cannot handle this file. STOP!";
        EXPECT_TRUE(test::containsInOrder(run.harness.port.log,
                                          {stop, "Closed file:", run.dir.file("in.bin"), std::string(72, '-')}))
            << ::testing::PrintToString(run.harness.port.log);
    }
}

}  // namespace
}  // namespace kelvarin
