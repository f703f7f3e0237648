#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/radiance_reader.h"

namespace kelvarin {
namespace {

using Lines = std::vector<std::string>;

struct HeaderCase {
    const char* name;
    std::string block;
    Lines log;
    double length, width;
    std::uint64_t dataOffset;
};

const std::string kIm =
    "#?RADIANCE\nGAMMA=0.454545\nPRIMARIES=0.64 0.33 0.3 0.6 0.15 0.06 0.3127 0.329\n"
    "FORMAT=32-bit_rle_rgbe\n\n-Y 20 +X 300\n";
const std::string kPfs = "#?RADIANCE\n# PFStools writer to Radiance RGBE format\nFORMAT=32-bit_rle_rgbe\n\n-Y 512 +X 768\n";
const std::string kExposure = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=2.5\n\n-Y 160 +X 320\n";
const std::string kBare = "#?RADIANCE\n# made by hand\n\n-Y 4 +X 256\n";

TEST(RadianceHeader, ScansLikeTheLogShows) {
    const std::string pixels = std::string("\x02\x02\x01\x2c", 4) + "rest";
    const HeaderCase cases[] = {
        {"ImageMagick: no EXPOSURE, second pass up to FORMAT", kIm + pixels,
         {"#?RADIANCE", "GAMMA=0.454545", "PRIMARIES=0.64 0.33 0.3 0.6 0.15 0.06 0.3127 0.329",
          "FORMAT=32-bit_rle_rgbe", "", "Image Length = 20", "Image Width = 300", "#?RADIANCE", "GAMMA=0.454545",
          "PRIMARIES=0.64 0.33 0.3 0.6 0.15 0.06 0.3127 0.329", "FORMAT=32-bit_rle_rgbe"},
         20, 300, kIm.size()},
        {"pfstools", kPfs + pixels,
         {"#?RADIANCE", "# PFStools writer to Radiance RGBE format", "FORMAT=32-bit_rle_rgbe", "",
          "Image Length = 512", "Image Width = 768", "#?RADIANCE", "# PFStools writer to Radiance RGBE format",
          "FORMAT=32-bit_rle_rgbe"},
         512, 768, kPfs.size()},
        {"FORMAT and EXPOSURE: one pass", kExposure + pixels,
         {"#?RADIANCE", "FORMAT=32-bit_rle_rgbe", "EXPOSURE = 2.5", "", "Image Length = 160", "Image Width = 320"},
         160, 320, kExposure.size()},
        {"neither: everything twice, ends at the width", kBare + pixels,
         {"#?RADIANCE", "# made by hand", "", "Image Length = 4", "Image Width = 256", "#?RADIANCE",
          "# made by hand", "", "Image Length = 4", "Image Width = 256"},
         4, 256, kBare.size()},
        {"carriage returns stay in the lines", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\r\nEXPOSURE=1\r\n\r\n-Y 3 +X 300\r\n",
         {"#?RADIANCE", "FORMAT=32-bit_rle_rgbe\r", "EXPOSURE = 1", "\r", "Image Length = 3", "Image Width = 300"},
         3, 300, 62},
        {"a fractional length is rounded half to even", "#?RADIANCE\nFORMAT=x\nEXPOSURE=.5\n-Y 2.5 +X 300\n",
         {"#?RADIANCE", "FORMAT=x", "EXPOSURE = .5", "Image Length = 2", "Image Width = 300"}, 2, 300, 46},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RadianceHeaderScan scan = scanRadianceHeader(c.block);
        ASSERT_TRUE(scan.signatureOk);
        EXPECT_EQ(scan.logLines, c.log);
        EXPECT_TRUE(scan.lengthFound);
        EXPECT_TRUE(scan.widthFound);
        EXPECT_EQ(scan.length, c.length);
        EXPECT_EQ(scan.width, c.width);
        EXPECT_TRUE(scan.dataOffsetFound);
        EXPECT_EQ(scan.dataOffset, c.dataOffset);
        EXPECT_FALSE(scan.scanStalled);
    }
}

TEST(RadianceHeader, RefusesEverySignatureButTheExactOne) {
    for (const char* block : {"#?RGBE\nFORMAT=32-bit_rle_rgbe\n\n-Y 4 +X 256\n", "#?radiance\n-Y 4 +X 256\n",
                              "#?RADIANCE\r\n-Y 4 +X 256\n", "#?RADIANCE \n-Y 4 +X 256\n", "#?RADIANCE",
                              "#?RADIANC\n", ""}) {
        const RadianceHeaderScan scan = scanRadianceHeader(block);
        EXPECT_FALSE(scan.signatureOk) << block;
        EXPECT_TRUE(scan.logLines.empty()) << block;
    }
}

struct MissingCase {
    const char* name;
    std::string block;
    bool lengthFound, widthFound;
};

TEST(RadianceHeader, OtherOrientationsLeaveASizeMissing) {
    const MissingCase cases[] = {
        {"+Y", "#?RADIANCE\nFORMAT=x\n\n+Y 4 +X 256\n", false, false},
        {"-X after -Y", "#?RADIANCE\nFORMAT=x\n\n-Y 4 -X 256\n", true, false},
        {"+X first", "#?RADIANCE\nFORMAT=x\n\n+X 256 -Y 4\n", false, true},
        {"no resolution line", "#?RADIANCE\nFORMAT=x\n\n", false, false},
    };
    for (const MissingCase& c : cases) {
        SCOPED_TRACE(c.name);
        const RadianceHeaderScan scan = scanRadianceHeader(c.block);
        EXPECT_TRUE(scan.signatureOk);
        EXPECT_EQ(scan.lengthFound, c.lengthFound);
        EXPECT_EQ(scan.widthFound, c.widthFound);
    }
}

TEST(RadianceHeader, ScanEndsWhenItGoesRoundWithoutProgress) {
    // The last line has no line feed, so the scan goes back to the start again and again.
    const RadianceHeaderScan scan = scanRadianceHeader("#?RADIANCE\nSOMETHING=1\nno feed here");
    EXPECT_TRUE(scan.signatureOk);
    EXPECT_TRUE(scan.scanStalled);
    EXPECT_FALSE(scan.widthFound);
    EXPECT_LT(scan.logLines.size(), 20u);
}

TEST(RadianceHeader, RepeatedFormatLinesEndTheScanAtFour) {
    // FORMAT only, last line open: each round adds one until four are counted.
    const RadianceHeaderScan scan = scanRadianceHeader("#?RADIANCE\nFORMAT=x\nend");
    EXPECT_FALSE(scan.scanStalled);
    const Lines expected = {"#?RADIANCE", "FORMAT=x", "end", "#?RADIANCE", "FORMAT=x", "end",
                            "#?RADIANCE", "FORMAT=x", "end", "#?RADIANCE", "FORMAT=x"};
    EXPECT_EQ(scan.logLines, expected);
}

TEST(RadianceHeader, LooksOnlyAtTheFirst1024Bytes) {
    std::string block = "#?RADIANCE\n";
    while (block.size() < 1100) block += "# padding comment line\n";
    block += "FORMAT=x\n\n-Y 4 +X 256\n";
    const RadianceHeaderScan scan = scanRadianceHeader(block);
    EXPECT_FALSE(scan.widthFound);
    EXPECT_FALSE(scan.lengthFound);
}

TEST(RadianceHeader, DataOffsetWithoutAnXUsesTheFirstLineFeed) {
    const RadianceHeaderScan scan = scanRadianceHeader("#?RADIANCE\nFORMAT=x\n");
    EXPECT_TRUE(scan.dataOffsetFound);
    EXPECT_EQ(scan.dataOffset, 11u);
    const RadianceHeaderScan open = scanRadianceHeader("#?RADIANCE\n-Y 4 +X 256");
    EXPECT_FALSE(open.dataOffsetFound);
}

TEST(RadianceHeader, MinimumEncodingSize) {
    struct {
        std::uint64_t width, length, bytes;
    } const cases[] = {
        // One pixel: its 4 bytes. Up to 256: a pixel and one run of up to 255 (1 1 1 n). Beyond: a
        // second run counting in 256s.
        {1, 7, 7 * 4}, {2, 1, 8}, {256, 1, 8}, {128, 3, 3 * 8}, {257, 1, 12}, {65535, 65535, 65535ull * 12},
    };
    for (const auto& c : cases) EXPECT_EQ(minimumScanlineBytes(c.width, c.length), c.bytes) << c.width << "x" << c.length;
}

}  // namespace
}  // namespace kelvarin
