// What File > Open... refuses, and how: heights and files of no known kind at the header step,
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
};

std::vector<Case> cases() {
    Bytes heights = text("Pf\n2 2\n-1.0\n");
    heights.resize(heights.size() + 16, 0);
    TiffBuilder jpeg = TiffBuilder::rgb(false, 2, 2, 8, 0, Bytes(12, 0x40));
    jpeg.find(259)->values = {7};
    return {
        {"OneChannelFloatsAreHeights", heights, "This PFM file holds heights: one channel of 32-bit floating-point",
         "KELVARIN - PFM.", ">>> Height data not converted. STOP!"},
        {"JpegCompressedTiff", jpeg.build(), "Compression 7 (JPEG)", "KELVARIN - TIFF.", ">>> Cannot handle this file. STOP!"},
        {"UnknownContent", text("GIF89a and something else entirely"), "Not an image file KELVARIN can read (PNG, TIFF",
         "KELVARIN - File|Open", "STOP - No Job!"},
        {"BadCrcInImageData", greyPng([](Bytes& idat) { idat.back() ^= 0x55; }), "Bad CRC in chunk IDAT",
         "KELVARIN - PNG.", ">>> Bad CRC in chunk IDAT. STOP!"},
        {"ImageDataThatDoNotInflate",
         greyPng([](Bytes& idat) {
             // A stream that is no zlib stream, with its CRC made good again.
             std::fill(idat.begin() + 8, idat.end() - 4, 0xFF);
             idat = pngChunk("IDAT", Bytes(idat.begin() + 8, idat.end() - 4));
         }),
         "", "KELVARIN - PNG.", ""},
    };
}

TEST(OpenRefusals, EachShowsOneBoxAndLeavesTheDestinationAsItWas) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeBytes(dir.file("source"), c.source);
        const Bytes old = text("last week's height map");
        writeBytes(dir.file("out.tif"), old);
        Harness h;
        EXPECT_EQ(h.run(ids::OpenImage, {dir.file("source"), dir.file("out.tif")}), 0);
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
        EXPECT_EQ(readBytes(dir.file("source")), c.source);
        EXPECT_TRUE(temporaryFilesIn(dir.path()).empty());
    }
}

}  // namespace
}  // namespace kelvarin::test
