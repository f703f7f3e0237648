// A file of about a hundred bytes that claims 65535 x 65535 pixels is refused before anything
// near that size is allocated: every reader checks what a file claims against its real size.
#include <gtest/gtest.h>


#include "alloc/counting_new.h"
#include "base/large_memory.h"
#include "support/job_check.h"
#include "support/png_builder.h"
#include "support/reference.h"
#include "support/sample_sources.h"
#include "support/tiff_builder.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

constexpr std::size_t kBound = 4u << 20;  // far below any claimed image, far above any header

struct ClaimCase {
    std::string name;
    int command;
    Bytes source;
    std::string binHeader;
    bool teRaw;
};

void PrintTo(const ClaimCase& c, std::ostream* os) { *os << c.name; }

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes hugeTiff(TiffLayout layout) {
    TiffPlaces places;
    Bytes file = buildTiff(layout, &places);
    putTiff16(file, places.entries.at(256) + 8, 65535);
    putTiff16(file, places.entries.at(257) + 8, 65535);
    return file;
}

Bytes hugeRadiance(const std::string& resolution) {
    Bytes file = text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n" + resolution + "\n");
    const Bytes one = buildRadiance(256, 1);
    file.insert(file.end(), one.begin() + static_cast<std::ptrdiff_t>(radianceHeaderBytes(256, 1)), one.end());
    return file;
}

std::vector<ClaimCase> claimCases() {
    return {
        {"TIFF 24-bit", ids::OpenTif, hugeTiff({true, 8, false, 3, 2, 2}), {}, false},
        {"TIFF 48-bit MM", ids::OpenTif, hugeTiff({false, 16, false, 3, 2, 2}), {}, false},
        {"TIFF 96-bit float", ids::OpenTif, hugeTiff({true, 32, true, 3, 1, 2}), {}, false},
        {"TIFF in strips of one row", ids::OpenTif, hugeTiff({true, 16, false, 3, 2, 2, 1}), {}, false},
        {"TIFF greyscale TE>Raw", ids::OpenTif, hugeTiff({true, 16, false, 1, 2, 2}), {}, true},
        {"HDR 65535 x 65535", ids::OpenHdr, hugeRadiance("-Y 65535 +X 65535"), {}, false},
        {"HDR 65535 rows of 256", ids::OpenHdr, hugeRadiance("-Y 65535 +X 256"), {}, false},
        {"PGM P5", ids::PgmToTif, text("P5\n65535 65535\n65535\n") + Bytes(80, 9), {}, false},
        {"PGM P2", ids::PgmToTif, text("P2\n65535 65535\n65535\n") + text(std::string(40, '7') + " 1 2 3\n"), {},
         false},
        {"PGM P5 TE>Raw", ids::PgmToTif, text("P5\n65535 65535\n65535\n") + Bytes(80, 9), {}, true},
        {"BIN", ids::BinToTif, Bytes(100, 5), binHeader("65535", "65535"), false},
        {"BIN TE>Raw", ids::BinToTif, Bytes(100, 5), binHeader("65535", "65535"), true},
    };
}

class ClaimedSize : public ::testing::TestWithParam<ClaimCase> {};

TEST_P(ClaimedSize, IsRefusedBeforeAnyLargeAllocation) {
    const ClaimCase& c = GetParam();
    ASSERT_LT(c.source.size() + c.binHeader.size(), 400u) << "the point is a small file";
    TempDir dir;
    writeBytes(dir.file("source.dat"), c.source);
    std::vector<std::optional<std::string>> answers{dir.file("source.dat")};
    if (c.command == ids::BinToTif) {
        writeText(dir.file("source.hdr"), c.binHeader);
        answers.push_back(dir.file("source.hdr"));
    }
    answers.push_back(dir.file("out"));
    Harness h;
    h.session.options.teRawMode = c.teRaw;

    resetPeak();
    const std::size_t before = liveBytes();
    const int result = h.run(c.command, answers);
    const std::size_t growth = peakBytes() - before;

    EXPECT_LT(growth, kBound) << "peak of " << growth << " bytes while reading a " << c.source.size()
                              << "-byte file";
    EXPECT_EQ(result, 0) << "a file far smaller than its claimed image must be refused";
    EXPECT_FALSE(exists(dir.file("out")));
}

INSTANTIATE_TEST_SUITE_P(Formats, ClaimedSize, ::testing::ValuesIn(claimCases()),
                         [](const ::testing::TestParamInfo<ClaimCase>& info) {
                             return test::testNameFrom(info.param.name);
                         });

// A few kilobytes of Deflate may hold a strip of millions of pixels. Such a strip is held once,
// as the decoder's, whatever the number of threads: a thread converting a whole strip would
// hold it again in every slot, in wider samples.
TEST(HugeStrip, IsHeldOnceOnAnyNumberOfThreads) {
    struct StripCase {
        const char* name;
        std::uint16_t bits;
        std::uint32_t width, length;
    };
    const StripCase cases[] = {{"1-bit, 8 M pixels", 1, 8192, 1024}, {"8-bit, 4 M pixels", 8, 4096, 1024}};
    for (const StripCase& c : cases) {
        const std::size_t stripBytes = (std::size_t{c.width} * c.bits + 7) / 8 * c.length;
        TiffBuilder b = TiffBuilder::rgb(false, c.width, c.length, c.bits, 0, zlibStream(PngBytes(stripBytes, 0)));
        b.find(258)->count = 1;
        b.find(258)->values = {c.bits};
        b.find(259)->values = {8};
        b.find(262)->values = {1};
        b.find(277)->values = {1};
        const Bytes file = b.build();
        ASSERT_LT(file.size(), 20000u) << "the point is a small file";
        for (const unsigned threads : {1u, 3u}) {
            SCOPED_TRACE(std::string(c.name) + ", " + std::to_string(threads) + " threads");
            TempDir dir;
            writeBytes(dir.file("source.tif"), file);
            Harness h;
            h.session.conversionThreads = threads;
            resetPeak();
            const std::size_t before = liveBytes();
            const int result = h.run(ids::OpenImage, {dir.file("source.tif"), dir.file("out.tif")});
            const std::size_t growth = peakBytes() - before;
            EXPECT_EQ(result, 1);
            // The strip as 8-bit samples, plus bands of a fixed size on each thread.
            EXPECT_LT(growth, std::size_t{c.width} * c.length + (16u << 20)) << "peak of " << growth << " bytes";
        }
    }
}

// A resampled map streams: its rows are written as they are made, so a small source resampled
// to a large map, or a large one to a small map, holds a few rows of either, never the whole of
// one: the job takes well under half of what holding both would, beyond what it takes at the
// source's own size (a PNG's bands of deflate among it).
TEST(ResampledMap, HoldsAFewRowsWhateverItsSize) {
    struct SizeCase {
        const char* name;
        std::uint32_t side;
        ImageSize to;
        const char* destination;
    };
    const SizeCase cases[] = {{"64 to 4097, TIFF", 64, {4097, 4097}, "out.tif"},
                              {"64 to 4097, PNG", 64, {4097, 4097}, "out.png"},
                              {"2048 to 257, TIFF", 2048, {257, 257}, "out.tif"}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(dir.file("source.tif"), buildTiff({.width = c.side, .length = c.side, .rowsPerStrip = 16}));
        // The peak of the same job at the source's own size, and at the new size.
        std::size_t peaks[2] = {};
        for (const bool resampled : {false, true}) {
            Harness h;
            h.session.conversionThreads = 2;
            if (resampled) h.session.options.outputSize = c.to;
            resetPeak();
            const std::size_t before = liveBytes();
            EXPECT_EQ(h.run(ids::OpenImage, {dir.file("source.tif"), dir.file(c.destination)}), 1);
            peaks[resampled] = peakBytes() - before;
        }
        // Holding the image would take its grey samples and the result's.
        const std::size_t held = (std::size_t{c.side} * c.side + std::size_t{c.to.width} * c.to.height) * 2;
        EXPECT_LT(peaks[1], peaks[0] + held / 2) << "peaks of " << peaks[0] << " and " << peaks[1] << " bytes";
    }
}

// The counter itself: a large block shows in the peak, and is gone once freed; so does one of
// the core's large buffers, which the core otherwise maps from the system.
TEST(CountingNew, SeesALargeAllocationAndItsRelease) {
    for (const bool coreBuffer : {false, true}) {
        SCOPED_TRACE(coreBuffer ? "the core's large buffer" : "a vector");
        resetPeak();
        const std::size_t before = liveBytes();
        {
            std::vector<std::uint8_t> block;
            LargeArray<std::uint8_t> buffer;
            if (coreBuffer) buffer = makeLargeArray<std::uint8_t>(kBound);
            else block.resize(kBound);
            // Keeps an optimising compiler from eliding the allocation as unused.
            asm volatile("" : : "g"(block.data()), "g"(buffer.get()) : "memory");
            EXPECT_GE(liveBytes() - before, kBound);
        }
        EXPECT_GE(peakBytes() - before, kBound);
        EXPECT_LT(liveBytes() - before, 1024u);
    }
}

}  // namespace
}  // namespace kelvarin::test
