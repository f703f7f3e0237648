// The greys an analysis pass keeps are the ones the conversion uses: the chunks they come from
// are not read again. Shown by changing the source's pixels between the passes: the kept chunks
// convert as the source was, the rest as it is now.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

// With 1-byte chunks a TIFF's chunk is a run of 64 pixels (a row), and a decoded source's band a
// row (its strips are of one row, so that bands on threads are too).
constexpr std::uint32_t kSide = 64;

struct HeldCase {
    const char* name;
    int command;
    TiffLayout layout;
    ConversionOptions options;
    std::size_t greyBytes;  // what one kept grey takes
};

struct HeldRun {
    const char* name;
    unsigned threads;
    bool map;
    std::uint64_t heldGreyBytes;
    std::uint32_t rowsKept;  // the last rows that convert as the source was
};

// The destination's samples (native order) after a job whose source is overwritten with
// `changed` as the conversion starts.
std::vector<std::uint16_t> convert(const TempDir& dir, const HeldCase& c, const Bytes& file, const Bytes& changed,
                                   const HeldRun& run) {
    const std::string source = dir.file("in.tif");
    writeBytes(source, file);
    Harness h;
    h.session.options = c.options;
    h.session.conversionThreads = run.threads;
    h.session.sourceAccess = run.map ? SourceAccess::Map : SourceAccess::Read;
    h.session.conversionChunkBytes = 1;
    h.session.heldGreyBytes = run.heldGreyBytes;
    h.port.onLogLine = [&](const std::string& line) {
        if (line != "Starting data conversion.") return;
        // In place, as another program would: the job keeps the file open.
        std::fstream out(source, std::ios::in | std::ios::out | std::ios::binary);
        out.write(reinterpret_cast<const char*>(changed.data()), static_cast<std::streamsize>(changed.size()));
    };
    EXPECT_EQ(h.run(c.command, {source, dir.file("out.tif")}), 1);
    const Bytes written = readBytes(dir.file("out.tif"));
    std::vector<std::uint16_t> samples(std::size_t{kSide} * kSide);
    EXPECT_EQ(written.size(), 302 + 2 * samples.size());
    if (written.size() == 302 + 2 * samples.size())
        std::memcpy(samples.data(), written.data() + 302, 2 * samples.size());
    return samples;
}

TEST(HeldGreys, KeptChunksAreNotReadAgain) {
    ConversionOptions boost;
    boost.boostContrast = true;
    ConversionOptions posterise;
    posterise.posteriseSteps = 6;
    posterise.invert = true;
    const auto layout = [](std::uint32_t bits, bool floating, std::uint32_t rowsPerStrip) {
        TiffLayout l;
        l.bits = bits;
        l.floating = floating;
        l.width = kSide;
        l.length = kSide;
        l.rowsPerStrip = rowsPerStrip;
        return l;
    };
    const HeldCase cases[] = {
        {"48-bit TIFF, Boost", ids::OpenTif, layout(16, false, 0), boost, 2},
        {"24-bit TIFF in strips, Posterise", ids::OpenTif, layout(8, false, 5), posterise, 2},
        {"96-bit float TIFF", ids::OpenTif, layout(32, true, 0), {}, 4},
        {"48-bit TIFF opened as any image, Boost", ids::OpenImage, layout(16, false, 1), boost, 2},
        {"96-bit float TIFF opened as any image", ids::OpenImage, layout(32, true, 1), {}, 4},
    };
    TempDir dir;
    std::mt19937 random(5);
    for (const HeldCase& c : cases) {
        SCOPED_TRACE(c.name);
        TiffPlaces places;
        Bytes file = buildTiff(c.layout, &places);
        Bytes changed = file;
        const std::size_t bytes = std::size_t{kSide} * kSide * 3 * c.layout.bits / 8;
        for (std::size_t i = 0; i < bytes; ++i) {
            // Floats between 1 and 2 (a high byte of 0x3F and a next one from 0x80), one with a
            // lower exponent now and then; integers anything.
            const bool floating = c.layout.floating;
            const std::size_t k = i % 4;
            const auto pick = [&] {
                if (!floating || k < 2) return static_cast<std::uint8_t>(random());
                if (k == 3) return std::uint8_t{0x3F};
                return static_cast<std::uint8_t>(random() % 7 == 0 ? random() & 0x7F : 0x80 | random());
            };
            file[places.dataOffset + i] = pick();
            changed[places.dataOffset + i] = pick();
        }
        const std::uint64_t row = std::uint64_t{kSide} * c.greyBytes;
        const HeldRun runs[] = {
            {"nothing kept", 1, false, 0, 0},
            {"ten rows' greys", 1, false, 10 * row, 10},
            {"a byte short of ten rows' greys, mapped, 3 threads", 3, true, 10 * row - 1, 9},
            {"all kept, 2 threads", 2, false, kSide * row, kSide},
            {"all kept, mapped", 1, true, std::uint64_t{1} << 30, kSide},
        };
        // The job on the source as it was and on the source as it is after the change, both
        // with the extremes of the first: the rows kept are the first one's, the others the second's.
        const std::vector<std::uint16_t> before = convert(dir, c, file, file, runs[0]);
        const std::vector<std::uint16_t> after = convert(dir, c, file, changed, runs[0]);
        ASSERT_NE(before, after) << "the change must show when the pixels are read again";
        for (const HeldRun& run : runs) {
            SCOPED_TRACE(run.name);
            const std::vector<std::uint16_t> got = convert(dir, c, file, changed, run);
            const std::size_t split = std::size_t{kSide - run.rowsKept} * kSide;
            EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(split), after.begin()));
            EXPECT_TRUE(std::equal(got.begin() + static_cast<std::ptrdiff_t>(split), got.end(),
                                   before.begin() + static_cast<std::ptrdiff_t>(split)));
        }
    }
}

}  // namespace
}  // namespace kelvarin::test
