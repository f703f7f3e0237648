// Sizes, counts and offsets that lie: each must be refused with a message box and a ">>> ... STOP!"
// line (or, for undecodable Radiance scanlines, the abort that deletes the destination), and
// leave no destination and an unchanged source behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>

#include "formats/file.h"
#include "support/job_check.h"
#include "support/sample_sources.h"
#include "ui/ids.h"
#include "support/reference.h"

namespace kelvarin::test {
namespace {

enum class Want {
    Stop,              // refused with a box and a ">>> ... STOP!" line
    RadianceAbort,     // "Cannot handle data.", the destination closed and deleted
    RadianceAbortStop, // the same, and the line naming the fault is a ">>> ... STOP!" line
    StopOrComplete,    // the implementer may refuse it or convert it correctly
};

struct HostileCase {
    HostileCase(std::string name, int command, Bytes source, std::string binHeader = {}, bool teRaw = false,
                Want want = Want::Stop)
        : name(std::move(name)), command(command), source(std::move(source)), binHeader(std::move(binHeader)),
          teRaw(teRaw), want(want) {}
    std::string name;
    int command;
    Bytes source;
    std::string binHeader;
    bool teRaw;
    Want want;
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A TIFF with one change made to it.
HostileCase tiffCase(std::string name, TiffLayout layout, const std::function<void(Bytes&, const TiffPlaces&)>& damage,
                     Want want = Want::Stop, bool teRaw = false) {
    TiffPlaces places;
    Bytes file = buildTiff(layout, &places);
    damage(file, places);
    return {std::move(name), ids::OpenTif, std::move(file), {}, teRaw, want};
}

// Sets an entry's type, count and value (a LONG value field).
std::function<void(Bytes&, const TiffPlaces&)> entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                                                     std::uint32_t value) {
    return [=](Bytes& f, const TiffPlaces& p) {
        const std::size_t at = p.entries.at(tag);
        putTiff16(f, at + 2, type);
        putTiff32(f, at + 4, count);
        if (type == 3 && count == 1) {
            putTiff16(f, at + 8, value);
            putTiff16(f, at + 10, 0);
        } else {
            putTiff32(f, at + 8, value);
        }
    };
}

std::function<void(Bytes&, const TiffPlaces&)> value(std::uint16_t tag, std::uint32_t v) {
    return [=](Bytes& f, const TiffPlaces& p) { putTiff32(f, p.entries.at(tag) + 8, v); };
}

std::function<void(Bytes&, const TiffPlaces&)> both(std::function<void(Bytes&, const TiffPlaces&)> a,
                                                    std::function<void(Bytes&, const TiffPlaces&)> b) {
    return [=](Bytes& f, const TiffPlaces& p) {
        a(f, p);
        b(f, p);
    };
}

std::vector<HostileCase> tiffCases() {
    const TiffLayout rgb48{true, 16};
    const TiffLayout mm48{false, 16};
    const TiffLayout float96{true, 32, true};
    const TiffLayout strips{true, 16, false, 3, 4, 3, 1};
    const TiffLayout grey{true, 16, false, 1};
    return {
        tiffCase("IFD offset far beyond the end", rgb48, [](Bytes& f, const TiffPlaces&) { putTiff32(f, 4, 0xFFFFFF00); }),
        tiffCase("IFD offset at the end", mm48,
                 [](Bytes& f, const TiffPlaces&) { putTiff32(f, 4, static_cast<std::uint32_t>(f.size())); }),
        tiffCase("entry count runs past the end", rgb48,
                 [](Bytes& f, const TiffPlaces& p) { putTiff16(f, p.ifd, 0xFFFF); }),
        tiffCase("BitsPerSample values outside the file", mm48, value(258, 0xFFFFFFF0)),
        tiffCase("SampleFormat values outside the file", float96, value(339, 0x7FFFFFFF)),
        tiffCase("StripOffsets beyond the end", rgb48, value(273, 0xFFFFFFF0)),
        tiffCase("StripOffsets just before the end", mm48,
                 [](Bytes& f, const TiffPlaces& p) { putTiff32(f, p.entries.at(273) + 8, static_cast<std::uint32_t>(f.size() - 2)); }),
        tiffCase("StripByteCounts far larger than the file", rgb48, value(279, 0x7FFFFFF0), Want::StopOrComplete),
        tiffCase("strip arrays with a huge count", strips, both(entry(273, 4, 0x40000000, 0), entry(279, 4, 0x40000000, 0))),
        tiffCase("strip offset array outside the file", strips,
                 [](Bytes& f, const TiffPlaces& p) { putTiff32(f, p.entries.at(273) + 8, 0xFFFFFFF0); }),
        tiffCase("strip byte count array outside the file", strips,
                 [](Bytes& f, const TiffPlaces& p) { putTiff32(f, p.entries.at(279) + 8, 0xFFFFFFF0); }),
        tiffCase("a strip pointing beyond the end", strips,
                 [](Bytes& f, const TiffPlaces& p) { putTiff32(f, p.stripOffsetsArray + 4, 0xFFFFFF00); }),
        tiffCase("65535 x 65535 pixels in a few bytes", rgb48, both(entry(256, 3, 1, 65535), entry(257, 3, 1, 65535))),
        tiffCase("width x length x 12 overflows 32 bits", float96,
                 both(both(entry(256, 4, 1, 0x15555556), entry(257, 3, 1, 1)), entry(279, 4, 1, 8))),
        tiffCase("no pixels: length 0", rgb48, entry(257, 3, 1, 0)),
        tiffCase("no ImageWidth", rgb48, [](Bytes& f, const TiffPlaces& p) { putTiff16(f, p.entries.at(256), 32000); }),
        tiffCase("RowsPerStrip 0", rgb48, entry(278, 3, 1, 0), Want::StopOrComplete),
        tiffCase("TE>Raw: 65535 x 65535 greyscale in a few bytes", grey,
                 both(entry(256, 3, 1, 65535), entry(257, 3, 1, 65535)), Want::Stop, true),
        tiffCase("TE>Raw: width x length x 2 overflows 32 bits", grey,
                 both(entry(256, 4, 1, 0x80000001), entry(257, 3, 1, 2)), Want::Stop, true),
        tiffCase("TE>Raw: data offset beyond the end", grey, value(273, 0xFFFFFF00), Want::Stop, true),
    };
}

std::vector<HostileCase> radianceCases() {
    const Bytes good = buildRadiance(256, 1);
    const std::size_t header = radianceHeaderBytes(256, 1);
    // The last packet of the file is a run of 2 (count byte and value); make it a literal of 128.
    Bytes literalPastEnd = good;
    literalPastEnd[literalPastEnd.size() - 2] = 128;
    Bytes runPastEnd = good;
    runPastEnd.pop_back();
    // The row no longer starts 2 2: read pixel by pixel, its 256 pixels need more than is there.
    Bytes pixelRow = good;
    pixelRow[header] = pixelRow[header + 1] = 1;
    const Bytes scanline(good.begin() + static_cast<std::ptrdiff_t>(header), good.end());
    auto hdr = [](const std::string& resolution) {
        return text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.0\n\n" + resolution);
    };
    return {
        {"a literal packet runs past the end of the data", ids::OpenHdr, literalPastEnd, {}, false,
         Want::RadianceAbortStop},
        {"a run loses its value byte at the end of the data", ids::OpenHdr, runPastEnd, {}, false,
         Want::RadianceAbortStop},
        {"65535 rows of 256 pixels with one scanline", ids::OpenHdr, hdr("-Y 65535 +X 256\n") + scanline},
        {"65535 x 65535 pixels with one scanline", ids::OpenHdr, hdr("-Y 65535 +X 65535\n") + scanline},
        {"width beyond 32 bits", ids::OpenHdr, hdr("-Y 1 +X 4294967552\n") + scanline},
        {"no pixels: length 0", ids::OpenHdr, hdr("-Y 0 +X 256\n") + scanline},
        {"no resolution line", ids::OpenHdr, text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n") + scanline},
        {"no line feed after the signature", ids::OpenHdr, text("#?RADIANCE\n" + std::string(2000, 'A'))},
        {"a pixel-by-pixel row runs past the end of the data", ids::OpenHdr, pixelRow, {}, false,
         Want::RadianceAbortStop},
    };
}

std::vector<HostileCase> pgmCases() {
    return {
        {"P5 width x length x 2 is 2^32", ids::PgmToTif, text("P5\n65536 32768\n65535\n") + Bytes(16, 1)},
        {"P5 width x 2 is 2^32", ids::PgmToTif, text("P5\n2147483648 1\n65535\n") + Bytes(16, 1)},
        {"P5 width x length x 2 is 2^32 + 8", ids::PgmToTif, text("P5\n4 536870913\n65535\n") + Bytes(8, 1)},
        {"P2 width x length x 2 is 2^32", ids::PgmToTif, text("P2\n65536 32768\n65535\n1 2 3 4\n")},
        {"P5 65535 x 65535 in a few bytes", ids::PgmToTif, text("P5\n65535 65535\n65535\n") + Bytes(20, 7)},
        {"P2 65535 x 65535 in a few bytes", ids::PgmToTif, text("P2\n65535 65535\n65535\n1 2 3 4 5 6\n")},
        {"P2 with fewer numbers than samples", ids::PgmToTif, text("P2\n3 2\n65535\n1 2 3 4 5\n")},
        {"P5 with fewer bytes than samples", ids::PgmToTif, text("P5\n3 2\n65535\n") + Bytes(11, 1)},
        {"no pixels: width 0", ids::PgmToTif, text("P5\n0 2\n65535\n") + Bytes(4, 1)},
        {"P2 with a negative number", ids::PgmToTif, text("P2\n2 1\n65535\n5 -5\n"), {}, false, Want::StopOrComplete},
        {"header longer than 128 bytes", ids::PgmToTif,
         text("P5\n# " + std::string(200, 'c') + "\n2 1\n65535\n") + Bytes(4, 1), {}, false, Want::StopOrComplete},
        {"header cut after the magic number", ids::PgmToTif, text("P5\n")},
        {"TE>Raw: P5 width x length x 2 is 2^32 + 8", ids::PgmToTif, text("P5\n4 536870913\n65535\n") + Bytes(8, 1),
         {}, true},
    };
}

std::vector<HostileCase> binAndRawCases() {
    // 136 x 15790321 x 2 = 2^32 + 16: in 32 bits the header promises 16 bytes.
    return {
        {"BIN rows x columns x 2 is 2^32 + 16", ids::BinToTif, Bytes(16, 3), binHeader("136", "15790321")},
        {"BIN rows x columns x 2 is 2^33", ids::BinToTif, Bytes(0), binHeader("65536", "65536")},
        {"BIN 65535 x 65535 with 100 bytes", ids::BinToTif, Bytes(100, 3), binHeader("65535", "65535")},
        {"BIN negative rows and columns", ids::BinToTif, Bytes(12, 3), binHeader("-3", "-2")},
        {"BIN rows beyond 32 bits", ids::BinToTif, Bytes(12, 3), binHeader("1e10", "2")},
        {"BIN no pixels: rows 0", ids::BinToTif, Bytes(0), binHeader("0", "2")},
        {"BIN header of nine lines", ids::BinToTif, Bytes(12, 3),
         "3DEM\nBinary\nl\nr\nb\nt\nu\nrows = 3\ncolumns = 2\n"},
        {"BIN empty header", ids::BinToTif, Bytes(12, 3), ""},
        {"BIN data one byte longer", ids::BinToTif, Bytes(13, 3), binHeader("3", "2")},
        {"BIN data one byte shorter", ids::BinToTif, Bytes(11, 3), binHeader("3", "2")},
        {"RAW empty file", ids::RawToTif, Bytes{}},
        {"RAW one byte", ids::RawToTif, Bytes{7}},
    };
}

class HostileInput : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, IsRefusedClearlyAndLeavesNothingBehind) {
    const HostileCase& c = GetParam();
    TempDir dir;
    JobCheck check;
    check.sourcePath = dir.file("source.dat");
    check.sourceBytes = c.source;
    check.destinationPath = dir.file(c.teRaw ? "out.raw" : "out.tif");
    check.output = c.teRaw ? OutputKind::RawExport : OutputKind::GreyTiff;
    writeBytes(check.sourcePath, c.source);
    std::vector<std::optional<std::string>> answers{check.sourcePath};
    if (c.command == ids::BinToTif) {
        check.headerPath = dir.file("source.hdr");
        check.headerBytes = text(c.binHeader);
        writeBytes(check.headerPath, check.headerBytes);
        answers.push_back(check.headerPath);
    }
    answers.push_back(check.destinationPath);
    Harness h;
    h.session.options.teRawMode = c.teRaw;
    const int result = h.run(c.command, answers);

    for (const std::string& broken : checkJobOutcome(h, result, check)) ADD_FAILURE() << broken;
    if (c.want == Want::StopOrComplete && result == 1) return;
    ASSERT_EQ(result, 0) << "not refused";
    const auto refusals = refusalBoxes(h.port);
    ASSERT_EQ(refusals.size(), 1u) << "one message box for the refusal";
    const auto& log = h.port.log;
    if (c.want == Want::RadianceAbort || c.want == Want::RadianceAbortStop) {
        EXPECT_EQ(refusals[0].text, "Cannot handle data.");
        EXPECT_NE(std::find(log.begin(), log.end(), "Closed and deleted file:"), log.end());
        // The scanline header faults keep their own fixed wording.
        if (c.want == Want::RadianceAbort) return;
    }
    const bool stopLine = std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind(">>>", 0) == 0 && line.size() >= 5 && line.compare(line.size() - 5, 5, "STOP!") == 0;
    });
    EXPECT_TRUE(stopLine) << "no \">>> ... STOP!\" line; box: " << refusals[0].caption << ": " << refusals[0].text;
}

std::vector<HostileCase> allCases() {
    std::vector<HostileCase> all;
    const std::pair<const char*, std::vector<HostileCase>> groups[] = {
        {"TIFF ", tiffCases()}, {"HDR ", radianceCases()}, {"PGM ", pgmCases()}, {"", binAndRawCases()}};
    for (const auto& [prefix, cases] : groups) {
        for (HostileCase c : cases) {
            c.name = prefix + c.name;
            all.push_back(std::move(c));
        }
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(Files, HostileInput, ::testing::ValuesIn(allCases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) {
                             return testNameFrom(info.param.name);
                         });

}  // namespace
}  // namespace kelvarin::test

namespace kelvarin::test {
namespace {

// A destination that is not a regular file is refused before anything is written: a FIFO would
// block the job for ever, and a device node is nothing a height map may replace.
TEST(HostileDestination, FifoAndDeviceNodesAreNeverOpenedNorDeleted) {
    TempDir dir;
    const std::string fifo = dir.file("pipe.tif");
    ASSERT_EQ(runCommand("mkfifo '" + fifo + "'"), 0);
    std::vector<std::string> targets{fifo};
    // A node like /dev/null can only be made by root; the FIFO covers the rest.
    const std::string device = dir.file("null.tif");
    if (runCommand("mknod '" + device + "' c 1 3 2>/dev/null") == 0) targets.push_back(device);

    const BinPair bin = buildBin(3, 2);
    Bytes longer = bin.data;
    longer.push_back(0);  // one byte too many: refused in the data step, after the Save dialog
    writeBytes(dir.file("a.bin"), longer);
    writeText(dir.file("a.hdr"), bin.header);
    writeBytes(dir.file("a.raw"), buildRaw(4));
    for (const std::string& target : targets) {
        for (int command : {ids::BinToTif, ids::RawToTif}) {
            SCOPED_TRACE(target + (command == ids::BinToTif ? " BIN" : " RAW"));
            Harness h;
            const int result = command == ids::BinToTif
                                   ? h.run(command, {dir.file("a.bin"), dir.file("a.hdr"), target})
                                   : h.run(command, {dir.file("a.raw"), target});
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(target)));
            EXPECT_EQ(h.port.boxTexts().at(h.port.boxTexts().size() - 2), "KELVARIN - Save As: File not created.");
        }
    }
    EXPECT_EQ(diskFileSystem().open(dir.path(), File::Mode::Replace), nullptr);
    EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
    const auto fresh = diskFileSystem().open(dir.file("new.tif"), File::Mode::Replace);
    ASSERT_NE(fresh, nullptr);
    EXPECT_TRUE(fresh->write("x", 1));
    EXPECT_TRUE(fresh->commit());
    EXPECT_EQ(readBytes(dir.file("new.tif")), Bytes{'x'});
}

}  // namespace
}  // namespace kelvarin::test

namespace kelvarin::test {
namespace {

// A destination reached through a symbolic link: a job that fails in its data step leaves the
// link and the file it leads to as they were; a successful one replaces that file and the link
// stays a link.
TEST(HostileDestination, FailedJobThroughASymbolicLinkLeavesItsTargetAsItWas) {
    TempDir dir;
    const BinPair bin = buildBin(3, 2);
    Bytes longer = bin.data;
    longer.push_back(0);
    writeBytes(dir.file("a.bin"), longer);
    writeText(dir.file("a.hdr"), bin.header);
    writeText(dir.file("target.tif"), "old");
    std::filesystem::create_symlink(dir.file("target.tif"), dir.file("link.tif"));
    Harness h;
    EXPECT_EQ(h.run(ids::BinToTif, {dir.file("a.bin"), dir.file("a.hdr"), dir.file("link.tif")}), 0);
    EXPECT_EQ(readBytes(dir.file("target.tif")), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.tif")));
    EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());

    // A successful job writes through the link as any program would.
    writeBytes(dir.file("a.bin"), bin.data);
    Harness ok;
    EXPECT_EQ(ok.run(ids::BinToTif, {dir.file("a.bin"), dir.file("a.hdr"), dir.file("link.tif")}), 1);
    EXPECT_EQ(readBytes(dir.file("target.tif")).size(), 302u + bin.data.size());
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.tif")));
    EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"a.bin", "a.hdr", "link.tif", "target.tif"}));
}

}  // namespace
}  // namespace kelvarin::test
