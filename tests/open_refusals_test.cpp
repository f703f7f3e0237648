// What File > Open... refuses, and how: bad heights and files of no known kind at the header step,
// pixel data that cannot be decoded at the data step. Each refusal shows one box naming what is
// wrong, ends the log with a STOP line, and leaves an existing destination exactly as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/job_check.h"
#include "support/png_builder.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// An 8-bit grey PNG of 4 x 3 whose image data have been damaged by `spoil`.
Bytes greyPng(void (*spoil)(Bytes& idat)) {
    Bytes raw;
    for (int row = 0; row < 3; ++row) {
        raw.push_back(0);  // filter None
        for (int x = 0; x < 4; ++x) raw.push_back(static_cast<std::uint8_t>(row * 60 + x * 10));
    }
    Bytes idat = pngChunk("IDAT", zlibStream(raw));
    spoil(idat);
    return pngFile(pngHeaderData(4, 3, 8, 0), {idat});
}

struct Case {
    const char* name;
    Bytes source;
    const char* boxText;     // the start of the box's text
    const char* boxCaption;
    const char* lastStopLine;
    const char* fileName;  // heights of some kinds are known by their name
};

// An ASCII grid of 2 x 2 with its header and values as given.
Bytes grid(const std::string& header, const std::string& values) {
    return text(header + values);
}
const std::string kGridHeader = "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 30\nNODATA_value -9999\n";

std::vector<Case> cases() {
    // Four NaN floats: heights, every one a void.
    Bytes voids = text("Pf\n2 2\n-1.0\n");
    for (int i = 0; i < 4; ++i) voids.insert(voids.end(), {0x00, 0x00, 0xC0, 0x7F});
    TiffBuilder jpeg = TiffBuilder::rgb(false, 2, 2, 8, 0, Bytes(12, 0x40));
    jpeg.find(259)->values = {7};
    return {
        {"JpegCompressedTiff", jpeg.build(), "Compression 7 (JPEG)", "KELVARIN - TIFF.", ">>> Cannot handle this file. STOP!",
         "source"},
        {"HeightsThatAreAllVoids", voids, "This PFM file holds no heights: every sample is a void.", "KELVARIN - PFM.",
         ">>> No heights in this file. STOP!", "source"},
        {"HgtOfAnotherSize", Bytes(2 * 1201 * 1200, 0), "A .hgt file holds 1201 x 1201 or 3601 x 3601 heights",
         "KELVARIN - SRTM.", ">>> Cannot handle this file. STOP!", "N45E006.hgt"},
        {"HgtOneByteShort", Bytes(2 * 3601 * 3601 - 1, 0), "A .hgt file holds 1201 x 1201 or 3601 x 3601 heights",
         "KELVARIN - SRTM.", ">>> Cannot handle this file. STOP!", "S12W077.HGT"},
        {"HgtOneByteLong", Bytes(2 * 1201 * 1201 + 1, 0), "A .hgt file holds 1201 x 1201 or 3601 x 3601 heights",
         "KELVARIN - SRTM.", ">>> Cannot handle this file. STOP!", "tile.hgt"},
        {"EmptyHgt", Bytes(), "A .hgt file holds 1201 x 1201 or 3601 x 3601 heights", "KELVARIN - SRTM.",
         ">>> Cannot handle this file. STOP!", "N00E000.hgt"},
        {"GridWithoutRows", text("ncols 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3 4\n"),
         "The header has no ncols or no nrows.", "KELVARIN - ASCII grid.", ">>> Cannot handle this file. STOP!", "source"},
        {"GridWithCornerAndCentre", grid(kGridHeader + "xllcenter 15\n", "1 2 3 4\n"),
         "The header gives both xllcorner and xllcenter.", "KELVARIN - ASCII grid.", ">>> Cannot handle this file. STOP!",
         "source"},
        {"GridWithAWord", grid(kGridHeader, "1 2\n3 x4\n"), "Value 4 of the grid, \"x4\", is not a number.",
         "KELVARIN - ASCII grid.", ">>> Value 4 of the grid, \"x4\", is not a number. STOP!", "source"},
        {"GridTooShort", grid(kGridHeader, "1 2\n3      \n"), "The grid ends after 3 values", "KELVARIN - ASCII grid.", "",
         "source"},
        {"GridTooLong", grid(kGridHeader, "1 2\n3 4\n5\n"), "The grid holds more values than its header's 2 x 2.",
         "KELVARIN - ASCII grid.", "", "source"},
        {"GridOfVoids", grid(kGridHeader, "-9999 -9999\n-9999 -9999\n"),
         "This ASCII grid file holds no heights: every sample is a void.", "KELVARIN - ASCII grid.",
         ">>> No heights in this file. STOP!", "source"},
        {"UnknownContent", text("GIF89a and something else entirely"), "Not an image file KELVARIN can read (PNG, TIFF",
         "KELVARIN - File|Open", "STOP - No Job!", "source"},
        {"BadCrcInImageData", greyPng([](Bytes& idat) { idat.back() ^= 0x55; }), "Bad CRC in chunk IDAT",
         "KELVARIN - PNG.", ">>> Bad CRC in chunk IDAT. STOP!", "source"},
        {"ImageDataThatDoNotInflate",
         greyPng([](Bytes& idat) {
             // A stream that is no zlib stream, with its CRC made good again.
             std::fill(idat.begin() + 8, idat.end() - 4, 0xFF);
             idat = pngChunk("IDAT", Bytes(idat.begin() + 8, idat.end() - 4));
         }),
         "", "KELVARIN - PNG.", "", "source"},
    };
}

TEST(OpenRefusals, EachShowsOneBoxAndLeavesTheDestinationAsItWas) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(dir.file(c.fileName), c.source);
        const Bytes old = text("last week's height map");
        writeBytes(dir.file("out.tif"), old);
        Harness h;
        EXPECT_EQ(h.run(ids::OpenImage, {dir.file(c.fileName), dir.file("out.tif")}), 0);
        const std::vector<MessageBoxRequest> boxes = refusalBoxes(h.port);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text.rfind(c.boxText, 0), 0u) << boxes[0].text;
        EXPECT_EQ(boxes[0].caption, c.boxCaption);
        if (*c.lastStopLine) {
            std::string stop;
            for (const std::string& line : h.port.log)
                if (line.find("STOP") != std::string::npos) stop = line;
            EXPECT_EQ(stop, c.lastStopLine);
        }
        EXPECT_EQ(readBytes(dir.file("out.tif")), old);
        EXPECT_EQ(readBytes(dir.file(c.fileName)), c.source);
        EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
    }
}

}  // namespace
}  // namespace kelvarin::test
