// A source that another program shortens while a job has it mapped: the job fails as the same
// shortening fails a job that reads, and the program goes on.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace kelvarin::test {
namespace {

#ifndef _WIN32

struct Outcome {
    int result = 0;
    std::vector<std::string> log;
    std::vector<std::string> boxes;
    std::set<std::string> namesLeft;  // once the source is removed
};

struct ShortenCase {
    const char* name;
    int command;
    Bytes file;
    std::size_t dataOffset;
    ConversionOptions options;
    // The source is cut to `cutPercent` of its pixel data when this line is logged.
    const char* cutAt;
    std::size_t cutPercent;
    // Whether a job that reads the source (not mapped) is to see it cut before it starts: one
    // that reads all the pixel data before `cutAt` would not see the cut at all.
    bool readerSeesCutBefore;
};

Outcome convertCut(const TempDir& dir, const ShortenCase& c, bool map, unsigned threads) {
    const std::string source = dir.file("in" + std::string(c.command == ids::OpenHdr ? ".hdr" : ".tif"));
    writeBytes(source, c.file);
    const auto cutSize = c.dataOffset + (c.file.size() - c.dataOffset) * c.cutPercent / 100;
    if (!map && c.readerSeesCutBefore) std::filesystem::resize_file(source, cutSize);
    Harness h;
    h.session.options = c.options;
    h.session.sourceAccess = map ? SourceAccess::Map : SourceAccess::Read;
    h.session.conversionThreads = threads;
    // The conversion reads every pixel again, so that a cut after the analysis is met.
    h.session.heldGreyBytes = 0;
    h.port.onLogLine = [&](const std::string& line) {
        if (line == c.cutAt) std::filesystem::resize_file(source, cutSize);
    };
    Outcome o;
    o.result = h.run(c.command, {source, dir.file("out.tif")});
    o.log = h.port.log;
    o.boxes = h.port.boxTexts();
    std::filesystem::remove(source);
    o.namesLeft = namesIn(dir.path());
    return o;
}

TEST(ShortenedSource, MappedJobFailsAsAReadingJobDoes) {
    ConversionOptions boost;
    boost.boostContrast = true;
    TiffLayout integer;
    integer.width = 512;
    integer.length = 512;
    TiffLayout floating = integer;
    floating.bits = 32;
    floating.floating = true;
    floating.rowsPerStrip = 7;
    TiffPlaces integerPlaces, floatPlaces;
    TempDir dir;
    const Bytes integerFile = buildTiff(integer, &integerPlaces);
    const Bytes floatFile = buildTiff(floating, &floatPlaces);
    const ShortenCase cases[] = {
        // Cut after the analysis read every page: the conversion meets the end.
        {"48-bit, Boost, cut before the conversion", ids::OpenTif, integerFile, integerPlaces.dataOffset, boost,
         "Starting data conversion.", 33, false},
        // Cut before the analysis, strips that chunks straddle (copied out of the view).
        {"96-bit float in strips, cut before the analysis", ids::OpenTif, floatFile, floatPlaces.dataOffset, {},
         "Analysing image for tone-mapping", 33, false},
        // Cut before the walk over the scanlines, leaving what the header step asks of the size.
        {"Radiance, cut before decoding", ids::OpenHdr, buildRadiance(2048, 2048), radianceHeaderBytes(2048, 2048), {},
         "Decompressing RGBE data", 85, true},
    };
    for (const ShortenCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Enough pixel data past the cut for whole pages to go.
        ASSERT_GT((c.file.size() - c.dataOffset) * (100 - c.cutPercent) / 100, std::size_t{32} << 10);
        const Outcome reading = convertCut(dir, c, false, 1);
        ASSERT_EQ(reading.result, 0);
        ASSERT_FALSE(reading.boxes.empty());
        for (const unsigned threads : {1u, 3u}) {
            SCOPED_TRACE(std::to_string(threads) + " threads");
            const Outcome mapped = convertCut(dir, c, true, threads);
            EXPECT_EQ(mapped.result, 0);
            EXPECT_EQ(mapped.boxes, reading.boxes);
            EXPECT_EQ(mapped.log, reading.log);
            // No destination, no temporary file.
            EXPECT_TRUE(mapped.namesLeft.empty());
        }
    }
}

// The handler answers only faults inside the job's own views: any other SIGBUS still ends the
// program.
TEST(ShortenedSourceDeathTest, OtherBusErrorsStillEndTheProgram) {
    TempDir dir;
    TiffLayout layout;
    writeBytes(dir.file("in.tif"), buildTiff(layout));
    const std::string foreign = dir.file("foreign");
    writeBytes(foreign, Bytes(std::size_t{4} << 12, 1));
    EXPECT_DEATH(
        {
            // A mapped job first, so that the handler is in place.
            Harness h;
            h.session.sourceAccess = SourceAccess::Map;
            if (h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}) != 1) std::_Exit(0);
            const int descriptor = ::open(foreign.c_str(), O_RDONLY);
            auto* view = static_cast<volatile const std::uint8_t*>(
                ::mmap(nullptr, std::size_t{4} << 12, PROT_READ, MAP_PRIVATE, descriptor, 0));
            if (view == MAP_FAILED) std::_Exit(0);
            if (::ftruncate(::open(foreign.c_str(), O_RDWR), 0) != 0) std::_Exit(0);
            std::fprintf(stderr, "%d\n", view[std::size_t{3} << 12]);
            std::_Exit(0);
        },
        "");
}

#endif

}  // namespace
}  // namespace kelvarin::test
