// The PNM and PFM readers against files written by netpbm, ImageMagick and numpy, compared sample
// for sample with what netpbm (pamtable) and numpy read; and their refusals: bad headers, bombs,
// damaged plain text, every prefix of real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "support/source_decode.h"

namespace kelvarin::test {
namespace {

const std::string kPython = "/usr/bin/python3";

class NetpbmFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = makeReferenceFolder(kPython + " -c 'import numpy' && command -v pamtable pgmnoise convert",
                                   "pnm_reference.py");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        if (!dir_) GTEST_SKIP() << "python3 with numpy, netpbm and ImageMagick are needed";
    }
    static TempDir* dir_;
};

TempDir* NetpbmFiles::dir_ = nullptr;

TEST_F(NetpbmFiles, EveryWrittenFileGivesTheReferenceSamples) {
    const auto cases = manifestRows(dir_->file("manifest.txt"));
    ASSERT_GT(cases.size(), 100u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        const bool pfm = c[0].ends_with(".pfm");
        const Decoded d = decodeSource(readBytes(dir_->file(c[0])), 5);
        ASSERT_NE(d.format, nullptr);
        EXPECT_STREQ(d.format->id, pfm ? "pfm" : "pnm");
        ASSERT_FALSE(d.opened.report.refused()) << d.opened.report.refusal->text;
        EXPECT_EQ(d.opened.width, std::stoul(c[2]));
        EXPECT_EQ(d.opened.length, std::stoul(c[3]));
        EXPECT_EQ(d.opened.layout.channels, std::stoul(c[4]));
        EXPECT_FALSE(d.opened.layout.alpha);
        EXPECT_EQ(d.opened.layout.type, pfm ? SampleType::Float : SampleType::Unsigned);
        EXPECT_EQ(d.opened.layout.bits, std::stoul(c[5]));
        EXPECT_EQ(d.opened.layout.maxValue, pfm ? 0u : std::stoull(c[6]));
        ASSERT_TRUE(d.decoded) << d.failure;
        EXPECT_TRUE(d.rows == readBytes(dir_->file(c[1]))) << "samples differ from the reference";
        EXPECT_TRUE(d.passesAgree);
    }
}

TEST_F(NetpbmFiles, EveryPrefixOfAFileIsRefusedOrFailsButTheWhole) {
    for (const char* name : {"grey_1023_5x64.pgm", "rgb_255_37x23_plain.ppm", "bits_13x7.pbm", "bits_13x7_plain.pbm",
                             "grey_65535_comments.pgm", "float_3_be_1.0_29x17.pfm", "float_1_le_-1.0_29x17.pfm"}) {
        SCOPED_TRACE(name);
        const Bytes whole = readBytes(dir_->file(name));
        const Bytes reference = readBytes(dir_->file(std::string(name) + ".ref"));
        for (std::size_t cut = 0; cut <= whole.size(); ++cut) {
            const Decoded d = decodeSource(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
            if (!d.format || d.opened.report.refused()) continue;
            // A plain file cut within its last sample still holds a (smaller) number there: the
            // cut must lie in that last word, and every sample before it is the reference's.
            if (d.decoded) {
                std::string tail(whole.begin() + static_cast<std::ptrdiff_t>(cut), whole.end());
                while (!tail.empty() && std::isspace(static_cast<unsigned char>(tail.back()))) tail.pop_back();
                ASSERT_EQ(tail.find_first_of(" \t\r\n"), std::string::npos) << "prefix of " << cut << " bytes decoded";
                const std::size_t last = d.opened.layout.bytesPerSample();
                ASSERT_EQ(d.rows.size(), reference.size());
                EXPECT_TRUE(std::equal(d.rows.begin(), d.rows.end() - static_cast<std::ptrdiff_t>(last), reference.begin()));
            } else {
                EXPECT_TRUE(d.failure.starts_with("The file ends in row")) << d.failure;
            }
        }
    }
}

TEST_F(NetpbmFiles, TheReportNamesKindSizeMaxvalAndForm) {
    const struct {
        const char* file;
        std::vector<std::string> lines;
    } cases[] = {
        {"grey_1023_37x23.pgm", {"PGM image: 37 x 23 pixels", "Grey, maxval 1023, raw (P5)"}},
        {"rgb_7_5x64_plain.ppm", {"PPM image: 5 x 64 pixels", "RGB, maxval 7, plain (P3)"}},
        {"bits_8x3.pbm", {"PBM image: 8 x 3 pixels", "Black and white, raw (P4)"}},
        {"float_3_le_-0.25_29x17.pfm", {"PFM image: 29 x 17 pixels", "32-bit float RGB, little-endian, scale -0.25"}},
        {"float_1_be_1.0_1x1.pfm", {"PFM image: 1 x 1 pixels", "32-bit float grey, big-endian, scale 1.0"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(decodeSource(readBytes(dir_->file(c.file))).opened.report.lines, c.lines);
    }
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct BadCase {
    const char* name;
    std::string bytes;
    const char* refusal;  // at open; nullptr when the file opens and decoding fails
    const char* failure = "";
};

class BadNetpbmFiles : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadNetpbmFiles, AreRefusedOrFailWithTheirReason) {
    const BadCase& c = GetParam();
    const Decoded d = decodeSource(bytesOf(c.bytes));
    ASSERT_NE(d.format, nullptr);
    if (c.refusal) {
        ASSERT_TRUE(d.opened.report.refused());
        EXPECT_EQ(d.opened.report.refusal->text, c.refusal);
        EXPECT_EQ(d.opened.report.refusal->lines.back(), ">>> Cannot handle this file. STOP!");
        EXPECT_EQ(d.opened.rows, nullptr);
    } else {
        ASSERT_FALSE(d.opened.report.refused()) << d.opened.report.refusal->text;
        EXPECT_FALSE(d.decoded);
        EXPECT_EQ(d.failure, c.failure);
    }
}

const char* const kShort = "The file is too short for the image size in its header.";
const char* const kSize = "Image size not supported: width and length must be 1 to 65535 pixels.";
const char* const kDamaged = "The header is damaged.";

INSTANTIATE_TEST_SUITE_P(
    Table, BadNetpbmFiles,
    ::testing::Values(
        BadCase{"bomb_raw_rgb", "P6\n65535 65535\n65535\n" + std::string(100, 'x'), kShort},
        BadCase{"bomb_plain_grey", "P2\n100 100\n255\n" + std::string(10000, '1'), kShort},
        BadCase{"bomb_bitmap", "P4\n65535 65535\n" + std::string(100, '\xff'), kShort},
        BadCase{"bomb_pfm", "PF\n65535 65535\n-1.0\n" + std::string(100, 'x'), kShort},
        BadCase{"width_zero", "P5\n0 5\n255\n", kSize},
        BadCase{"width_too_large", "P5\n65536 1\n255\n" + std::string(70000, 'x'), kSize},
        BadCase{"maxval_zero", "P5\n1 1\n0\nx", "Maxval 0 is not 1 to 65535."},
        BadCase{"maxval_too_large", "P5\n1 1\n65536\nxx", "Maxval 65536 is not 1 to 65535."},
        BadCase{"letters_in_size", "P5\n3x 2\n255\nxxxxxx", kDamaged},
        BadCase{"negative_size", "P2 -3 2 255 1 2 3 4 5 6", kDamaged},
        BadCase{"header_cut", "P3\n3 2", kDamaged},
        BadCase{"pfm_scale_zero", "PF\n1 1\n0\n" + std::string(12, 'x'), "The scale 0 is not a number other than 0."},
        BadCase{"pfm_scale_text", "Pf\n1 1\nabc\n" + std::string(4, 'x'), "The scale abc is not a number other than 0."},
        BadCase{"pfm_size_text", "Pf\n1 x\n1\nxxxx", "The width and height are not whole numbers."},
        BadCase{"pfm_short", "PF\n2 2\n-1\n" + std::string(47, 'x'), kShort},
        BadCase{"plain_letter", "P2 2 2 255 1 2 x 4\n", nullptr, "Row 1 holds something other than a sample."},
        BadCase{"plain_glued", "P2 2 2 255 1 2 3x 4\n", nullptr, "Row 1 holds something other than a sample."},
        BadCase{"plain_over_container", "P2 2 1 255 256 1\n", nullptr, "A sample in row 0 is larger than 255."},
        BadCase{"plain_over_16_bits", "P3 1 1 300 1 2 65536\n", nullptr, "A sample in row 0 is larger than 65535."},
        BadCase{"plain_bit_two", "P1 3 1 0 1 2\n", nullptr, "Row 0 holds something other than a sample."}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

// What netpbm reads the same way: samples above maxval stay as they are, a comment may follow
// maxval's last digit, plain bits need no blanks between them and PBM's 1 is black.
struct GoodCase {
    const char* name;
    std::string bytes;
    Bytes samples;
};

class OddNetpbmFiles : public ::testing::TestWithParam<GoodCase> {};

TEST_P(OddNetpbmFiles, GiveTheSamplesNetpbmGives) {
    const GoodCase& c = GetParam();
    const Decoded d = decodeSource(bytesOf(c.bytes));
    ASSERT_FALSE(d.opened.report.refused()) << d.opened.report.refusal->text;
    ASSERT_TRUE(d.decoded) << d.failure;
    EXPECT_EQ(d.rows, c.samples);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OddNetpbmFiles,
    ::testing::Values(GoodCase{"above_maxval_kept", "P5 2 1 7 \x09\xff", {9, 255}},
                      GoodCase{"comment_right_after_maxval", "P5 2 1 7#note\n\x01\x02", {1, 2}},
                      GoodCase{"comment_in_plain_raster", "P2 2 1 7 3 # four\n 4", {3, 4}},
                      GoodCase{"plain_bits_glued", "P1 4 1\n0110", {1, 0, 0, 1}},
                      GoodCase{"raw_bits_padded", "P4 3 2\n\xa0\x40", {0, 1, 0, 1, 0, 1}},
                      GoodCase{"two_byte_big_endian", "P5 1 1 256\n\x01\x02", {0x02, 0x01}},
                      GoodCase{"crlf_header", "P5\r\n1 1\r\n255\r\x2a", {0x2a}}),
    [](const ::testing::TestParamInfo<GoodCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvarin::test
