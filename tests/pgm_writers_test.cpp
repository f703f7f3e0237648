// PGM files written by netpbm and ImageMagick, converted through the command-line program.
#include <gtest/gtest.h>

#include <string>

#include "support/height_data_files.h"

namespace kelvarin {
namespace {

using test::Bytes;
using test::TempDir;

// The samples of a P5 file written by a real writer: its last width x length x 2 bytes,
// big-endian, turned into the little-endian bytes the TIFF must hold.
Bytes littleEndianTail(const Bytes& p5, std::size_t samples) {
    if (p5.size() < samples * 2) return {};
    Bytes tail(p5.end() - static_cast<std::ptrdiff_t>(samples * 2), p5.end());
    for (std::size_t i = 0; i < tail.size(); i += 2) std::swap(tail[i], tail[i + 1]);
    return tail;
}

int convert(const std::string& command, const std::string& source, const std::string& dest) {
    return test::runCommand(std::string(KELVARIN_CLI_PATH) + " " + command + " '" + source + "' '" + dest +
                            "' >/dev/null 2>&1");
}

struct WriterCase {
    const char* name;
    const char* tool;
    const char* p5;  // writes the binary variant to "a.pgm"
    const char* p2;  // writes the plain variant of the same image to "b.pgm"
    std::size_t width, length;
};

TEST(PgmWriters, SamplesArriveUnchangedInLittleEndianOrder) {
    const WriterCase cases[] = {
        {"netpbm ramp", "pgmramp", "pgmramp -lr 300 200 | pamdepth 65535 > a.pgm",
         "pamtopnm -plain a.pgm > b.pgm", 300, 200},
        {"netpbm pnmtopnm", "pnmtopnm", "pgmramp -ellipse 61 47 | pamdepth 4095 | pnmtopnm > a.pgm",
         "pnmtopnm -plain a.pgm > b.pgm", 61, 47},
        {"imagemagick", "convert", "convert -size 64x48 gradient:black-white -depth 16 pgm:a.pgm",
         "convert a.pgm -depth 16 -compress none pgm:b.pgm", 64, 48},
        {"imagemagick noise", "convert", "convert -size 33x17 xc: +noise Random -colorspace gray -depth 16 pgm:a.pgm",
         "convert a.pgm -depth 16 -compress none pgm:b.pgm", 33, 17},
    };
    for (const WriterCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!test::haveTool(c.tool) || !test::haveTool("pgmramp")) GTEST_SKIP() << c.tool << " is missing";
        TempDir dir;
        const std::string cd = "cd '" + dir.path() + "' && ";
        ASSERT_EQ(test::runCommand(cd + c.p5), 0);
        ASSERT_EQ(test::runCommand(cd + c.p2), 0);
        const Bytes p5 = test::readBytes(dir.file("a.pgm"));
        const Bytes expected = littleEndianTail(p5, c.width * c.length);
        ASSERT_FALSE(expected.empty());
        ASSERT_EQ(test::readBytes(dir.file("b.pgm"))[1], '2');

        for (const char* name : {"a.pgm", "b.pgm"}) {
            SCOPED_TRACE(name);
            ASSERT_EQ(convert("pgm", dir.file(name), dir.file("out.tif")), 0);
            const Bytes tiff = test::readBytes(dir.file("out.tif"));
            EXPECT_EQ(tiff.size(), 302 + expected.size());
            EXPECT_TRUE(test::tiffData(tiff) == expected);
            const test::TiffValues values = test::readTiffValues(tiff);
            EXPECT_EQ(values.width, c.width);
            EXPECT_EQ(values.length, c.length);
            EXPECT_EQ(values.stripByteCounts, expected.size());
        }
    }
}

// Comment lines after the magic number, hand-inserted into a netpbm file, in both line-end styles.
TEST(PgmWriters, HandBuiltCommentsAreSkipped) {
    if (!test::haveTool("pgmramp")) GTEST_SKIP() << "netpbm is missing";
    TempDir dir;
    ASSERT_EQ(test::runCommand("cd '" + dir.path() + "' && pgmramp -diagonal 40 30 | pamdepth 65535 > a.pgm"), 0);
    const Bytes p5 = test::readBytes(dir.file("a.pgm"));
    const Bytes samples(p5.end() - 40 * 30 * 2, p5.end());
    const Bytes expected = littleEndianTail(p5, 40 * 30);
    for (const std::string header : {"P5\n# made by hand\n#second\n40 30\n65535\n",
                                     "P5\r\n# made by hand\r\n  # indented\r\n40 30\r\n65535\r\n"}) {
        Bytes file(header.begin(), header.end());
        file.insert(file.end(), samples.begin(), samples.end());
        test::writeBytes(dir.file("c.pgm"), file);
        ASSERT_EQ(convert("pgm", dir.file("c.pgm"), dir.file("c.tif")), 0);
        EXPECT_TRUE(test::tiffData(test::readBytes(dir.file("c.tif"))) == expected);
    }
}

TEST(PgmWriters, PgmOpenedWithTifCommandConvertsTheSame) {
    if (!test::haveTool("pgmramp")) GTEST_SKIP() << "netpbm is missing";
    TempDir dir;
    ASSERT_EQ(test::runCommand("cd '" + dir.path() + "' && pgmramp -tb 20 10 | pamdepth 65535 > a.pgm"), 0);
    const std::string log = dir.file("log.txt");
    ASSERT_EQ(test::runCommand(std::string(KELVARIN_CLI_PATH) + " tif '" + dir.file("a.pgm") + "' '" +
                               dir.file("a.tif") + "' >'" + log + "' 2>&1"),
              0);
    const Bytes out = test::readBytes(log);
    const std::string text(out.begin(), out.end());
    EXPECT_NE(text.find("KELVARIN - Success.: TIF Conversion concluded."), std::string::npos) << text;
    EXPECT_TRUE(test::tiffData(test::readBytes(dir.file("a.tif"))) ==
                littleEndianTail(test::readBytes(dir.file("a.pgm")), 200));
}

}  // namespace
}  // namespace kelvarin
