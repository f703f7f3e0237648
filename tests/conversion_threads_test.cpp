// The data stages on several threads, from a mapped source or by reads, in small or large chunks,
// give exactly the single-thread result: the same bytes, log and progress steps, and the report
// of the samples written (counted where the blocks are converted).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <random>

#include "pixels/report_json.h"
#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

struct RunSettings {
    const char* name;
    unsigned threads;
    bool map;
    std::uint64_t chunkBytes;
    std::uint64_t heldGreyBytes;  // what the analysis may keep for the conversion
};

constexpr std::uint64_t kAllHeld = std::uint64_t{1} << 30;

// The first is the reference: one thread, reads, the default chunks, every pixel read again.
// Budgets of a few hundred bytes keep the greys of the last chunks only.
const RunSettings kSettings[] = {
    {"1 thread, reads", 1, false, std::uint64_t{2} << 20, 0},
    {"1 thread, mapped, block chunks, all held", 1, true, 1, kAllHeld},
    {"3 threads, mapped, block chunks, some held", 3, true, 1, 300},
    {"4 threads, reads, 50-byte chunks, some held", 4, false, 50, 100},
    {"2 threads, mapped, 7-byte chunks", 2, true, 7, 0},
    {"2 threads, reads, all held", 2, false, std::uint64_t{2} << 20, kAllHeld},
};

struct Outcome {
    int result = 0;
    Bytes output;
    std::vector<std::string> log;
    std::vector<int> positions;
    std::vector<FinishedReport> reports;
};

Outcome convert(int command, const std::string& source, const std::string& destination,
                const ConversionOptions& options, const RunSettings& settings) {
    Harness h;
    h.session.options = options;
    h.session.conversionThreads = settings.threads;
    h.session.sourceAccess = settings.map ? SourceAccess::Map : SourceAccess::Read;
    h.session.conversionChunkBytes = settings.chunkBytes;
    h.session.heldGreyBytes = settings.heldGreyBytes;
    h.session.reportPreview = PreviewGathering::Gather;
    Outcome o;
    o.result = h.run(command, {source, destination});
    o.log = h.port.log;
    o.positions = h.port.positions;
    o.reports = h.session.lastReports;
    if (exists(destination)) o.output = readBytes(destination);
    return o;
}

// The job's report is the one of the samples in the file it wrote, each counted once.
void expectReportOfOutput(const Outcome& o, std::uint32_t width, std::uint32_t length) {
    ASSERT_EQ(o.reports.size(), 1u);
    ASSERT_EQ(o.output.size(), 302u + 2u * width * length);
    const bool intel = o.output[0] == 'I';
    std::vector<std::uint16_t> samples(std::size_t{width} * length);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const std::uint8_t first = o.output[302 + 2 * i], second = o.output[303 + 2 * i];
        samples[i] = static_cast<std::uint16_t>(intel ? first | second << 8 : first << 8 | second);
    }
    ReportFeed feed(width, length);
    feed.add(samples);
    const HeightReport& report = o.reports[0].report;
    const FinishedReport expected = feed.finish(report.output, report.source);
    EXPECT_EQ(reportJson(report), reportJson(expected.report));
    EXPECT_EQ(o.reports[0].preview.levels, expected.preview.levels);
}

std::vector<ConversionOptions> optionTable() {
    ConversionOptions plain, boost, posterised;
    boost.boostContrast = true;
    boost.colourWeighting = ColourWeighting::HDTV;
    posterised.posteriseSteps = 5;
    posterised.invert = true;
    posterised.swapByteOrder = true;
    return {plain, boost, posterised};
}

// Pixel data with its extremes somewhere in the middle: random integers, or random floats with
// negatives, zeros of both signs (the first one found is the one kept) and a NaN.
void fillPixels(Bytes& file, std::size_t at, std::size_t bytes, bool floating, unsigned seed) {
    std::mt19937 random(seed);
    if (!floating) {
        for (std::size_t i = 0; i < bytes; ++i) file[at + i] = static_cast<std::uint8_t>(random());
        return;
    }
    std::uniform_real_distribution<float> value(-2.0f, 5.0f);
    for (std::size_t i = 0; i + 4 <= bytes; i += 4) {
        const unsigned pick = random() % 16;
        const float f = i == 4 * 7  ? std::numeric_limits<float>::quiet_NaN()
                        : pick == 0 ? 0.0f
                        : pick == 1 ? -0.0f
                                    : value(random);
        std::memcpy(&file[at + i], &f, 4);  // built files are little-endian unless asked otherwise
    }
}

TEST(ConversionThreads, TiffOutputsAreTheSingleThreadOnes) {
    TempDir dir;
    struct Kind {
        const char* name;
        std::uint32_t bits;
        bool floating, intel;
    };
    const Kind kinds[] = {{"24-bit", 8, false, true},  {"48-bit II", 16, false, true}, {"48-bit MM", 16, false, false},
                          {"96-bit", 32, false, true}, {"float II", 32, true, true},   {"float MM", 32, true, false}};
    struct Shape {
        std::uint32_t width, length, rowsPerStrip;
    };
    // 1 x 1, one column, one row, an odd block count, strips that blocks straddle, and enough
    // samples for each thread to count in tables.
    const Shape shapes[] = {{1, 1, 0}, {1, 9, 0}, {9, 1, 0}, {13, 11, 0}, {13, 11, 3}, {181, 97, 5}};
    unsigned seed = 1;
    for (const Kind& kind : kinds) {
        for (const Shape& shape : shapes) {
            TiffLayout layout;
            layout.bits = kind.bits;
            layout.floating = kind.floating;
            layout.intel = kind.intel;
            layout.width = shape.width;
            layout.length = shape.length;
            layout.rowsPerStrip = shape.rowsPerStrip;
            TiffPlaces places;
            Bytes file = buildTiff(layout, &places);
            // Floats are filled little-endian; a big-endian file gets them reversed.
            const std::size_t bytes = std::size_t{shape.width} * shape.length * 3 * kind.bits / 8;
            fillPixels(file, places.dataOffset, bytes, kind.floating, seed++);
            if (kind.floating && !kind.intel)
                for (std::size_t i = 0; i < bytes; i += 4) std::reverse(&file[places.dataOffset + i], &file[places.dataOffset + i + 4]);
            writeBytes(dir.file("in.tif"), file);
            for (const ConversionOptions& options : optionTable()) {
                SCOPED_TRACE(std::string(kind.name) + " " + std::to_string(shape.width) + "x" +
                             std::to_string(shape.length) + " strips of " + std::to_string(shape.rowsPerStrip) +
                             " rows, boost " + std::to_string(options.boostContrast) + ", posterise " +
                             std::to_string(options.posteriseSteps));
                const Outcome reference = convert(ids::OpenTif, dir.file("in.tif"), dir.file("out.tif"), options, kSettings[0]);
                ASSERT_EQ(reference.result, 1);
                ASSERT_EQ(reference.output.size(), 302u + 2u * shape.width * shape.length);
                for (const RunSettings& settings : kSettings) {
                    SCOPED_TRACE(settings.name);
                    const Outcome o = convert(ids::OpenTif, dir.file("in.tif"), dir.file("out.tif"), options, settings);
                    EXPECT_EQ(o.result, 1);
                    EXPECT_TRUE(o.output == reference.output);
                    EXPECT_EQ(o.log, reference.log);
                    EXPECT_EQ(o.positions, reference.positions);
                    expectReportOfOutput(o, shape.width, shape.length);
                }
            }
        }
    }
}

// A new-RLE Radiance file of literal packets only.
Bytes radianceFile(std::uint32_t width, std::uint32_t length, unsigned seed) {
    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(length) + " +X " +
                               std::to_string(width) + "\n";
    Bytes file(header.begin(), header.end());
    std::mt19937 random(seed);
    for (std::uint32_t row = 0; row < length; ++row) {
        // A scanline's own width is not checked: a narrow image's rows claim 256 more pixels
        // (with a high byte of 1 such rows stay new RLE even below 8 pixels).
        file.insert(file.end(), {2, 2, static_cast<std::uint8_t>(std::max<std::uint32_t>(1, width >> 8)),
                                 static_cast<std::uint8_t>(width)});
        for (int component = 0; component < 4; ++component) {
            for (std::uint32_t x = 0; x < width; x += 128) {
                const std::uint32_t n = std::min<std::uint32_t>(128, width - x);
                file.push_back(static_cast<std::uint8_t>(n));
                for (std::uint32_t k = 0; k < n; ++k) {
                    // Exponents near 128, and black pixels (E = 0) that take their neighbour's.
                    const auto byte = static_cast<std::uint8_t>(random());
                    file.push_back(component < 3 ? byte : byte % 5 == 0 ? 0 : static_cast<std::uint8_t>(120 + byte % 16));
                }
            }
        }
    }
    return file;
}

TEST(ConversionThreads, RadianceOutputsAreTheSingleThreadOnes) {
    TempDir dir;
    struct Shape {
        std::uint32_t width, length;
    };
    // One pixel; one column (the last sample repeats one from the band before); one row; bands
    // of several rows with an odd count; enough samples for each thread to count in tables.
    const Shape shapes[] = {{1, 1}, {1, 5}, {5, 1}, {300, 7}, {181, 97}};
    unsigned seed = 100;
    for (const Shape& shape : shapes) {
        writeBytes(dir.file("in.hdr"), radianceFile(shape.width, shape.length, seed++));
        for (const ConversionOptions& options : optionTable()) {
            SCOPED_TRACE(std::to_string(shape.width) + "x" + std::to_string(shape.length) + ", boost " +
                         std::to_string(options.boostContrast) + ", posterise " + std::to_string(options.posteriseSteps));
            const Outcome reference = convert(ids::OpenHdr, dir.file("in.hdr"), dir.file("out.tif"), options, kSettings[0]);
            ASSERT_EQ(reference.result, 1);
            ASSERT_EQ(reference.output.size(), 302u + 2u * shape.width * shape.length);
            for (const RunSettings& settings : kSettings) {
                SCOPED_TRACE(settings.name);
                const Outcome o = convert(ids::OpenHdr, dir.file("in.hdr"), dir.file("out.tif"), options, settings);
                EXPECT_EQ(o.result, 1);
                EXPECT_TRUE(o.output == reference.output);
                EXPECT_EQ(o.log, reference.log);
                expectReportOfOutput(o, shape.width, shape.length);
                // Progress moves in bands, but every pass reaches the last row.
                const int last = static_cast<int>(shape.length) - 1;
                EXPECT_EQ(std::count(o.positions.begin(), o.positions.end(), last),
                          std::count(reference.positions.begin(), reference.positions.end(), last));
            }
        }
    }
}

// A bad row met while the bands before it are being decoded on other threads stops the job as it
// stops with one thread: the same box and log, and the bar moved through the good rows only.
TEST(ConversionThreads, RadianceBadRowStopsAsWithOneThread) {
    TempDir dir;
    // 300 wide, so that a high byte of 0 is a header error.
    const std::uint32_t width = 300, length = 40, badRow = 23;
    const Bytes good = radianceFile(width, length, 7);
    const std::size_t rowBytes = 4 + 4 * (3 + 300);  // three literal packets a component
    const std::size_t firstRow = good.size() - length * rowBytes;
    const std::size_t bad = firstRow + badRow * rowBytes;
    struct Damage {
        const char* name;
        Bytes file;
    };
    // A row that no longer starts 2 2 is read pixel by pixel; cut inside its 1200 bytes.
    Bytes flatCut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(bad + 600));
    flatCut[bad] = 1;
    Bytes headerError = good;
    headerError[bad + 2] = 0;
    const Damage damages[] = {{"flat row cut short", flatCut},
                              {"header error", headerError},
                              {"cut inside the row", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(bad + 9))}};
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        writeBytes(dir.file("in.hdr"), damage.file);
        const Outcome reference = convert(ids::OpenHdr, dir.file("in.hdr"), dir.file("out.tif"), {}, kSettings[0]);
        ASSERT_NE(reference.result, 1);
        for (const RunSettings& settings : kSettings) {
            SCOPED_TRACE(settings.name);
            const Outcome o = convert(ids::OpenHdr, dir.file("in.hdr"), dir.file("out.tif"), {}, settings);
            EXPECT_EQ(o.result, reference.result);
            EXPECT_EQ(o.log, reference.log);
            EXPECT_TRUE(o.output.empty());
            ASSERT_FALSE(o.positions.empty());
            EXPECT_EQ(*std::max_element(o.positions.begin(), o.positions.end()), static_cast<int>(badRow) - 1);
            EXPECT_EQ(o.positions.back(), reference.positions.back());
        }
    }
}

}  // namespace
}  // namespace kelvarin::test
