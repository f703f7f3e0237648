#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "formats/file.h"
#include "formats/pgm_reader.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "support/height_data_files.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

using test::Bytes;
using test::Harness;
using test::TempDir;

Bytes concat(const std::string& text, const Bytes& data) {
    Bytes bytes(text.begin(), text.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

// Runs the header step alone on a file, as the job does right after detection.
struct HeaderRun {
    Harness harness;
    JobContext job{harness.session};
    bool accepted = false;

    explicit HeaderRun(const std::string& path) {
        harness.session.files.source = diskFileSystem().open(path, File::Mode::Read);
        harness.session.files.sourcePath = path;
        job.image.reset(SourceKind::Pgm);
        EXPECT_TRUE(job.source().seek(2));
        accepted = pgmHeaderStep(job);
    }
};

struct HeaderCase {
    const char* name;
    std::string header;
    std::uint32_t width, length, dataOffset;
    std::vector<std::string> logged;
};

TEST(PgmHeader, FindsDimensionsCommentsAndDataOffset) {
    const std::vector<HeaderCase> cases = {
        {"gimp comment", "P5\n# CREATOR: GIMP PNM Filter Version 1.1\n256 256\n65535\n", 256, 256, 56,
         {"P5", "# CREATOR: GIMP PNM Filter Version 1.1", "Width: 256", "Length: 256", "Max value: 65535",
          "Image size:  65536", "DONE reading and interpreting Header.", ""}},
        {"no comment", "P5\n256 256\n65535\n", 256, 256, 17,
         {"P5", "Width: 256", "Length: 256", "Max value: 65535", "Image size:  65536"}},
        {"crlf", "P5\r\n# CREATOR: GIMP\r\n256 256\r\n65535\r\n", 256, 256, 37,
         {"P5", "# CREATOR: GIMP", "Width: 256", "Length: 256", "Max value: 65535"}},
        {"several comments", "P5\n# one\n# two\r\n#three\n  # four\n3 2\n4095\n", 3, 2, 41,
         {"P5", "# one", "# two", "#three", "  # four", "Width: 3", "Length: 2", "Max value: 4095",
          "Image size:  6"}},
        {"one value a line", "P2\n5\n1\n256\n", 5, 1, 11, {"P2", "Width: 5", "Length: 1", "Max value: 256"}},
        {"tabs and blanks", "P5\n 300\t200   65535 ", 300, 200, 20, {"Width: 300", "Length: 200"}},
        {"cr alone ends the max value", "P5\n2 2\n1000\r", 2, 2, 12, {"Max value: 1000"}},
        {"fraction rounds", "P5\n2.6 2\n65535\n", 3, 2, 15,
         {"Width: 2.6", "Length: 2", "Max value: 65535", "Image size:  6"}},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::uint32_t bytesPerSample = c.header[1] == '5' ? 2 : 1;
        test::writeBytes(dir.file("a.pgm"),
                         concat(c.header, Bytes(std::size_t{c.width} * c.length * bytesPerSample, '7')));
        HeaderRun run(dir.file("a.pgm"));
        ASSERT_TRUE(run.accepted) << ::testing::PrintToString(run.harness.port.boxTexts());
        const SourceImage& image = run.job.image;
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.length, c.length);
        EXPECT_EQ(image.dataOffset, c.dataOffset);
        // Every header here ends right where its data begin.
        EXPECT_EQ(image.dataOffset, c.header.size());
        EXPECT_EQ(image.outputDataBytes, c.width * c.length * 2);
        EXPECT_EQ(image.pgmVariant, c.header.substr(0, 2));
        EXPECT_EQ(image.byteOrder, ByteOrder::II);
        EXPECT_EQ(image.outputByteOrder, ByteOrder::II);
        EXPECT_EQ(image.destinationFields.imageWidth, (Field4{static_cast<std::uint8_t>(c.width & 0xFF),
                                                              static_cast<std::uint8_t>(c.width >> 8), 0, 0}));
        EXPECT_EQ(image.destinationFields.rowsPerStrip, image.destinationFields.imageLength);
        EXPECT_TRUE(test::containsInOrder(run.harness.port.log, c.logged))
            << ::testing::PrintToString(run.harness.port.log);
    }
}

TEST(PgmHeader, MaxValueIsKept) {
    const Bytes file = concat("P5\n1 1\n1023\n", Bytes(2, 0));
    MemoryBytes source(file.data(), file.size());
    const PgmHeader header = readPgmHeader(source);
    ASSERT_FALSE(header.report.refused());
    EXPECT_EQ(header.maxValue, 1023);
}

// A whole conversion through the menu command, as the user runs it.
struct Conversion {
    TempDir dir;
    Harness harness;
    int result = 0;
    Bytes output;

    Conversion(const Bytes& source, int command = ids::PgmToTif) {
        test::writeBytes(dir.file("in.pgm"), source);
        result = harness.run(command, {dir.file("in.pgm"), dir.file("out.tif")});
        if (test::exists(dir.file("out.tif"))) output = test::readBytes(dir.file("out.tif"));
    }
    const std::vector<std::string>& log() const { return harness.port.log; }
};

TEST(PgmConversion, BinarySamplesBecomeLittleEndian) {
    // The first sample bytes are LF and blank, the next two TAB and NUL: none is a separator.
    const Bytes samples = {0x0A, 0x20, 0x09, 0x00, 0x12, 0x34, 0xFF, 0x00, 0x00, 0x0D, 0xAB, 0xCD};
    Conversion run(concat("P5\n3 2\n65535\n", samples));
    ASSERT_EQ(run.result, 1) << ::testing::PrintToString(run.harness.port.boxTexts());
    EXPECT_EQ(test::tiffData(run.output),
              (Bytes{0x20, 0x0A, 0x00, 0x09, 0x34, 0x12, 0x00, 0xFF, 0x0D, 0x00, 0xCD, 0xAB}));
    const test::TiffValues values = test::readTiffValues(run.output);
    EXPECT_EQ(values.width, 3u);
    EXPECT_EQ(values.length, 2u);
    EXPECT_EQ(values.rowsPerStrip, 2u);
    EXPECT_EQ(values.stripByteCounts, 12u);
    EXPECT_TRUE(test::containsInOrder(
        run.log(), {"DONE. Standby for data conversion.", "Conversion from PGM concluded.", "Closed source file:",
                    run.dir.file("in.pgm"), "Closed converted file:", run.dir.file("out.tif"),
                    "DONE. Data conversion completed in 0 seconds", std::string(72, '=')}))
        << ::testing::PrintToString(run.log());
    EXPECT_EQ(run.harness.port.boxTexts().back(), "KELVARIN - Success.: TIF Conversion concluded.");
}

TEST(PgmConversion, TrailingBytesBehindTheSamplesAreIgnored) {
    Conversion run(concat("P5\n1 1\n65535\n", Bytes{1, 2, 3, 4, 5}));
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(test::tiffData(run.output), (Bytes{2, 1}));
}

TEST(PgmConversion, TextSamplesAreReadWithAnySeparator) {
    const std::string text = "P2\n# text\n4 2\n65535\n1 256\t65535\r\n0\f\v 7.5  2.4\n12 9\n\n";
    Conversion run(Bytes(text.begin(), text.end()));
    ASSERT_EQ(run.result, 1) << ::testing::PrintToString(run.harness.port.boxTexts());
    EXPECT_EQ(test::tiffData(run.output), test::littleEndianSamples({1, 256, 65535, 0, 8, 2, 12, 9}));
}

// Large enough that tokens straddle the read blocks and the output is written in several blocks.
TEST(PgmConversion, LargeTextFileMatchesItsValues) {
    const std::uint32_t width = 1500, length = 1500;
    std::mt19937 random(42);
    const char separators[] = {' ', '\n', '\t', '\r', '\v', '\f'};
    std::string text = "P2\n" + std::to_string(width) + " " + std::to_string(length) + "\n65535\n";
    std::vector<std::uint16_t> values(std::size_t{width} * length);
    for (auto& value : values) {
        value = static_cast<std::uint16_t>(random() >> (random() % 16));
        if (random() % 7 == 0) text += "000";  // leading zeros change nothing
        text += std::to_string(value);
        text.append(1 + random() % 3, separators[random() % 6]);
    }
    Conversion run(Bytes(text.begin(), text.end()));
    ASSERT_EQ(run.result, 1) << ::testing::PrintToString(run.harness.port.boxTexts());
    EXPECT_TRUE(test::tiffData(run.output) == test::littleEndianSamples(values));
}

TEST(PgmConversion, LastTextSampleMayEndTheFile) {
    const std::string text = "P2\n2 1\n65535\n1 65535";
    Conversion run(Bytes(text.begin(), text.end()));
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(test::tiffData(run.output), (Bytes{0x01, 0x00, 0xFF, 0xFF}));
}

TEST(PgmConversion, PgmOpenedAsTifTakesThePgmPath) {
    Conversion run(concat("P5\n1 1\n65535\n", Bytes{0x12, 0x34}), ids::OpenTif);
    ASSERT_EQ(run.result, 1);
    EXPECT_EQ(test::tiffData(run.output), (Bytes{0x34, 0x12}));
    EXPECT_TRUE(test::containsInOrder(run.log(), {"P5 16-bit Portable Grey Map.", "P5", "Width: 1"}));
    EXPECT_EQ(run.harness.port.boxTexts().back(), "KELVARIN - Success.: TIF Conversion concluded.");
}

struct Refusal {
    const char* name;
    std::string source;
    std::string box;
    std::vector<std::string> lines;  // logged right before the closing lines of the source
};

TEST(PgmConversion, RefusalsLeaveNoDestination) {
    const std::string longComment = "# " + std::string(120, 'x') + "\n";
    const std::vector<Refusal> cases = {
        {"single-line header", "P5 2 2 65535\n12345678", "Not a Portable Grey Map file.",
         {"Header does not fit PGM standard.", ">>> Cannot interpret this file. STOP!"}},
        {"three-letter magic", "P55\n1 1\n65535\nxx", "Not a Portable Grey Map file.",
         {">>> Cannot interpret this file. STOP!"}},
        {"tiff through the pgm command", std::string("II*\0\x08\0\0\0", 8), "Not a Portable Grey Map file.",
         {">>> Cannot interpret this file. STOP!"}},
        {"8-bit", "P5\n2 1\n255\nab", "Not a 16-bit PGM file.",
         {"Width: 2", "Length: 1", "Max value: 255", "Image size:  2", ">>> 8-bit file ignored. STOP!"}},
        {"max value 0", "P5\n1 1\n0\nab", "Not a 16-bit PGM file.", {">>> 8-bit file ignored. STOP!"}},
        {"max value above 16 bits", "P5\n1 1\n65536\nab", "Not a 16-bit PGM file.",
         {">>> Max value above 65535. STOP!"}},
        {"width 0", "P5\n0 1\n65535\nab", "The PGM header gives no width or length.",
         {">>> Image has no pixels. STOP!"}},
        {"length not a number", "P5\n1 x\n65535\nab", "The PGM header gives no width or length.",
         {">>> Image has no pixels. STOP!"}},
        {"negative width", "P5\n-4 1\n65535\nab", "The PGM header gives no width or length.",
         {">>> Image has no pixels. STOP!"}},
        {"width above 65535", "P5\n65536 1\n65535\nab", "The PGM image is too large for a 16-bit TIFF of one strip.",
         {">>> Image too large. STOP!"}},
        {"data above 4 GiB", "P5\n65535 65535\n65535\nab",
         "The PGM image is too large for a 16-bit TIFF of one strip.", {">>> Image too large. STOP!"}},
        {"header beyond 128 bytes", "P5\n" + longComment + "1 1\n65535\nab",
         "The PGM header is incomplete or longer than 128 bytes.", {">>> Header does not fit PGM standard. STOP!"}},
        {"header cut short", "P5\n2 2\n65535", "The PGM header is incomplete or longer than 128 bytes.",
         {">>> Header does not fit PGM standard. STOP!"}},
        {"comment only", "P5\n# nothing else\n", "The PGM header is incomplete or longer than 128 bytes.",
         {">>> Header does not fit PGM standard. STOP!"}},
        {"binary data short", "P5\n2 2\n65535\n1234567", "The PGM file holds fewer sample values than its header says.",
         {">>> PGM data incomplete. STOP!"}},
        {"text far too short", "P2\n10 10\n65535\n1 2 3",
         "The PGM file holds fewer sample values than its header says.", {">>> PGM data incomplete. STOP!"}},
        {"text with fewer numbers", "P2\n3 3\n65535\n1 2 3 4 5 6 7 8\n\n\n\n",
         "The PGM file holds fewer sample values than its header says.", {">>> PGM data incomplete. STOP!"}},
        {"negative sample", "P2\n2 1\n65535\n5 -1\n", "The PGM text holds a value that is not a whole number from 0 to 65535.",
         {">>> Invalid PGM sample value. STOP!"}},
        {"sample above 65535", "P2\n2 1\n65535\n70000 1\n",
         "The PGM text holds a value that is not a whole number from 0 to 65535.",
         {">>> Invalid PGM sample value. STOP!"}},
        {"rounds above 65535", "P2\n1 1\n65535\n65535.5\n",
         "The PGM text holds a value that is not a whole number from 0 to 65535.",
         {">>> Invalid PGM sample value. STOP!"}},
        {"letters", "P2\n2 1\n65535\n12abc 1\n",
         "The PGM text holds a value that is not a whole number from 0 to 65535.",
         {">>> Invalid PGM sample value. STOP!"}},
        {"comment in the samples", "P2\n2 1\n65535\n# x\n1 2\n",
         "The PGM text holds a value that is not a whole number from 0 to 65535.",
         {">>> Invalid PGM sample value. STOP!"}},
        {"lone point", "P2\n2 1\n65535\n. 2\n",
         "The PGM text holds a value that is not a whole number from 0 to 65535.",
         {">>> Invalid PGM sample value. STOP!"}},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        Conversion run(Bytes(c.source.begin(), c.source.end()));
        EXPECT_EQ(run.result, 0);
        EXPECT_FALSE(test::exists(run.dir.file("out.tif")));
        const auto boxes = run.harness.port.boxTexts();
        ASSERT_GE(boxes.size(), 2u);
        EXPECT_EQ(boxes[boxes.size() - 2], "KELVARIN - PGM.: " + c.box);
        EXPECT_EQ(boxes.back(), "KELVARIN - Error.: There were errors.");
        std::vector<std::string> expected = c.lines;
        expected.insert(expected.end(), {"Closed file:", run.dir.file("in.pgm"), std::string(72, '-')});
        EXPECT_TRUE(test::containsInOrder(run.log(), expected)) << ::testing::PrintToString(run.log());
    }
}

}  // namespace
}  // namespace kelvarin
