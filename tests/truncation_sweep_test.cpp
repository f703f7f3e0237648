// Every prefix of a small valid source, from nothing to the whole file, goes through the job:
// the result is a clear refusal or the complete and correct output, the source is never changed
// and no half-written destination is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>

#include "support/job_check.h"
#include "support/rgbe_encoding.h"
#include "support/sample_sources.h"
#include "ui/ids.h"
#include "support/reference.h"

namespace kelvarin::test {
namespace {

// What a prefix of `cut` bytes may give.
enum class Expect {
    Refusal,     // a cut file must be refused
    Same,        // all that matters is still there: the output equals the whole file's
    Either,      // a refusal, or a complete output of another valid file
};

struct SweepCase {
    std::string name;
    int command;
    Bytes source;
    std::string binHeader;      // BIN: the header file
    bool cutHeader = false;     // BIN: cut the header instead of the data
    OutputKind output = OutputKind::GreyTiff;
    bool teRaw = false;
    std::function<Expect(std::size_t cut, const Bytes& prefix)> expect;
};

void PrintTo(const SweepCase& c, std::ostream* os) { *os << c.name; }

struct Outcome {
    int result = 0;
    Bytes destination;
    std::vector<std::string> broken;
};

Outcome runOnce(const TempDir& dir, const SweepCase& c, const Bytes& source, const std::string& header) {
    JobCheck check;
    check.sourcePath = dir.file("source.dat");
    check.sourceBytes = source;
    check.destinationPath = dir.file(c.teRaw ? "out.raw" : "out.tif");
    check.output = c.teRaw ? OutputKind::RawExport : c.output;
    std::filesystem::remove(check.destinationPath);
    writeBytes(check.sourcePath, source);
    std::vector<std::optional<std::string>> answers{check.sourcePath};
    if (c.command == ids::BinToTif) {
        check.headerPath = dir.file("source.hdr");
        check.headerBytes.assign(header.begin(), header.end());
        writeBytes(check.headerPath, check.headerBytes);
        answers.push_back(check.headerPath);
    }
    answers.push_back(check.destinationPath);
    Harness h;
    h.session.options.teRawMode = c.teRaw;
    Outcome outcome;
    outcome.result = h.run(c.command, answers);
    outcome.broken = checkJobOutcome(h, outcome.result, check);
    if (outcome.result == 1 && exists(check.destinationPath)) outcome.destination = readBytes(check.destinationPath);
    if (!outcome.broken.empty()) {
        for (const std::string& text : h.port.boxTexts()) outcome.broken.push_back("box " + text);
    }
    return outcome;
}

Expect binaryFile(std::size_t, const Bytes&) { return Expect::Refusal; }

// A RAW prefix is itself a RAW file; only an empty one has nothing to convert.
Expect rawPrefix(std::size_t cut, const Bytes&) { return cut == 0 ? Expect::Refusal : Expect::Either; }

// A BIN header needs its 13 lines; a cut inside the 13th may leave another valid void marker.
Expect binHeaderPrefix(std::size_t, const Bytes& prefix) {
    const auto lines = std::count(prefix.begin(), prefix.end(), '\n');
    if (lines >= 13) return Expect::Same;
    return lines == 12 && prefix.back() != '\n' ? Expect::Either : Expect::Refusal;
}

// A Radiance file of rows pixel by pixel, flat or with runs of the pixel before (some of them
// longer than 255, counted by two run pixels).
Bytes radianceRows(std::uint32_t width, std::uint32_t length, bool runs) {
    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y " + std::to_string(length) + " +X " +
                               std::to_string(width) + "\n";
    Bytes file(header.begin(), header.end());
    for (std::uint32_t r = 0; r < length; ++r) {
        std::vector<RgbePixel> row;
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t k = runs ? (x < 280 ? 0 : x) : x;
            row.push_back({static_cast<std::uint8_t>(130 + r + k % 50), 40, static_cast<std::uint8_t>(k), 128});
        }
        runs ? appendOldRleRow(file, row) : appendFlatRow(file, row);
    }
    return file;
}

// An ASCII grid ends with its last value: a cut inside it leaves another number, a cut after it
// only the line end; any earlier cut leaves too few values or no header.
Bytes asciiGrid() {
    const std::string text =
        "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 30\nNODATA_value -9999\n1.5 2 -9999\n4 5e1 615\n";
    return Bytes(text.begin(), text.end());
}
Expect gridPrefix(std::size_t cut, const Bytes& prefix) {
    const std::size_t whole = asciiGrid().size();
    if (cut + 1 == whole) return Expect::Same;
    return cut + 4 >= whole && prefix.back() != ' ' ? Expect::Either : Expect::Refusal;
}

// One-channel PFM floats: heights, with a NaN void.
Bytes pfmHeights() {
    const std::string header = "Pf\n2 2\n-1.0\n";
    Bytes file(header.begin(), header.end());
    for (const std::uint32_t bits : {0x3F800000u, 0x7FC00000u, 0x40600000u, 0xC0000000u})
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    return file;
}

std::vector<SweepCase> sweepCases() {
    std::vector<SweepCase> cases;
    auto tiff = [&](std::string name, TiffLayout layout, bool teRaw = false) {
        cases.push_back({std::move(name), ids::OpenTif, buildTiff(layout), {}, false, OutputKind::GreyTiff, teRaw,
                         binaryFile});
    };
    tiff("tiff 24-bit II", {true, 8});
    tiff("tiff 48-bit MM", {false, 16});
    tiff("tiff 96-bit float II", {true, 32, true});
    tiff("tiff 96-bit integer MM", {false, 32, false});
    tiff("tiff 48-bit II in strips of one row", {true, 16, false, 3, 4, 3, 1});
    tiff("greyscale tiff TE>Raw", {true, 16, false, 1}, true);
    cases.push_back({"radiance 256 x 2", ids::OpenHdr, buildRadiance(256, 2), {}, false, OutputKind::GreyTiff, false,
                     binaryFile});
    // Rows pixel by pixel: every cut leaves a row short of pixels (or of a run's count).
    cases.push_back({"radiance flat 5 x 2", ids::OpenHdr, radianceRows(5, 2, false), {}, false, OutputKind::GreyTiff,
                     false, binaryFile});
    cases.push_back({"radiance old run-length 300 x 3", ids::OpenHdr, radianceRows(300, 3, true), {}, false,
                     OutputKind::GreyTiff, false, binaryFile});
    cases.push_back({"pgm P5", ids::PgmToTif, buildPgm(false, 3, 2), {}, false, OutputKind::GreyTiff, false,
                     binaryFile});
    cases.push_back({"pgm P2", ids::PgmToTif, buildPgm(true, 3, 2), {}, false, OutputKind::GreyTiff, false,
                     binaryFile});
    cases.push_back({"raw 4 x 4", ids::RawToTif, buildRaw(4), {}, false, OutputKind::RawTiff, false, rawPrefix});
    const BinPair bin = buildBin(3, 2);
    cases.push_back({"bin data", ids::BinToTif, bin.data, bin.header, false, OutputKind::GreyTiff, false, binaryFile});
    cases.push_back({"bin header", ids::BinToTif, bin.data, bin.header, true, OutputKind::GreyTiff, false,
                     binHeaderPrefix});
    cases.push_back({"ascii grid heights", ids::OpenImage, asciiGrid(), {}, false, OutputKind::GreyTiff, false,
                     gridPrefix});
    cases.push_back({"pfm heights", ids::OpenImage, pfmHeights(), {}, false, OutputKind::GreyTiff, false, binaryFile});
    return cases;
}

class TruncationSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(TruncationSweep, EveryPrefixIsRefusedOrConvertedCompletely) {
    const SweepCase& c = GetParam();
    TempDir dir;
    const Outcome whole = runOnce(dir, c, c.source, c.binHeader);
    ASSERT_EQ(whole.result, 1) << "the whole file must convert";
    ASSERT_TRUE(whole.broken.empty()) << whole.broken.front();

    const Bytes full = c.cutHeader ? Bytes(c.binHeader.begin(), c.binHeader.end()) : c.source;
    int reported = 0;
    for (std::size_t cut = 0; cut < full.size() && reported < 5; ++cut) {
        const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut));
        const Outcome o = c.cutHeader ? runOnce(dir, c, c.source, std::string(prefix.begin(), prefix.end()))
                                      : runOnce(dir, c, prefix, c.binHeader);
        const Expect expect = c.expect(cut, prefix);
        std::string fault;
        if (!o.broken.empty()) {
            fault = o.broken.front();
        } else if (o.result == 1 && expect == Expect::Refusal) {
            fault = "a cut file was converted";
        } else if (o.result == 0 && expect == Expect::Same) {
            fault = "a file with everything needed was refused";
        } else if (o.result == 1 && expect == Expect::Same && o.destination != whole.destination) {
            fault = "the output differs from the whole file's";
        }
        if (!fault.empty()) {
            ADD_FAILURE() << "prefix of " << cut << " of " << full.size() << " bytes: " << fault;
            ++reported;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, TruncationSweep, ::testing::ValuesIn(sweepCases()),
                         [](const ::testing::TestParamInfo<SweepCase>& info) {
                             return testNameFrom(info.param.name);
                         });

}  // namespace
}  // namespace kelvarin::test
