// Radiance scanlines of every kind: flat rows, the older run-length rows (1 1 1 n repeats the pixel
// before), new-RLE rows of any width, and files that mix them. The pixels each row decodes to, and
// the same pixels in every kind converting to the same height map as a real writer's file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formats/radiance_reader.h"
#include "support/rgbe_encoding.h"
#include "support/test_files.h"

namespace kelvarin {
namespace {

using test::Bytes;
using test::RgbePixel;
using Pixels = std::vector<RgbePixel>;

const RgbePixel A{200, 10, 20, 130}, B{30, 160, 40, 128}, C{1, 2, 250, 140};

Pixels repeat(RgbePixel p, std::size_t n) { return Pixels(n, p); }

Pixels join(std::initializer_list<Pixels> parts) {
    Pixels all;
    for (const Pixels& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes bytes(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes px(RgbePixel p) { return {p.r, p.g, p.b, p.e}; }
Bytes run(std::uint8_t n) { return {1, 1, 1, n}; }

Bytes newRle(const Pixels& row, std::uint32_t headerWidth) {
    Bytes out;
    test::appendScanlineHeader(out, headerWidth);
    for (int c = 0; c < 4; ++c) {
        std::vector<std::uint8_t> values;
        for (const RgbePixel& p : row) values.push_back(c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.e);
        test::encodeComponent(values, out);
    }
    return out;
}

Bytes flat(const Pixels& row) {
    Bytes out;
    test::appendFlatRow(out, row);
    return out;
}

struct RowCase {
    const char* name;
    std::uint32_t width;
    Bytes data;
    RgbeDecodeStatus status;
    Pixels pixels;  // every row's, in order (for Ok)
};

std::vector<RowCase> rowCases() {
    const Pixels wide = join({repeat(A, 40000)});
    return {
        {"flat row", 3, bytes({px(A), px(B), px(C)}), RgbeDecodeStatus::Ok, {A, B, C}},
        {"one pixel, flat", 1, px(B), RgbeDecodeStatus::Ok, {B}},
        {"a run repeats the pixel before", 5, bytes({px(A), run(3), px(B)}), RgbeDecodeStatus::Ok,
         join({repeat(A, 4), {B}})},
        {"a run right after a run counts in 256s", 261, bytes({px(A), run(2), run(1), px(B), px(C)}),
         RgbeDecodeStatus::Ok, join({repeat(A, 1 + 2 + 256), {B, C}})},
        {"a second run of 255 fills 65535 pixels", 65535, bytes({px(C), run(255), run(255)}), RgbeDecodeStatus::Ok,
         repeat(C, 65535)},
        {"a pixel between runs starts the count again", 5, bytes({px(A), run(1), px(B), run(2)}),
         RgbeDecodeStatus::Ok, {A, A, B, B, B}},
        {"a run at the row's start is taken as a pixel", 3, bytes({run(5), run(2)}), RgbeDecodeStatus::Ok,
         repeat({1, 1, 1, 5}, 3)},
        {"a run past the row's end ends the row", 3, bytes({px(A), run(200), px(B), px(C), px(A)}),
         RgbeDecodeStatus::Ok, {A, A, A, B, C, A}},
        {"a flat pixel starting 2 2 with a blue of 128 or more", 9,
         bytes({px({2, 2, 200, 131}), run(7), px(B)}), RgbeDecodeStatus::Ok,
         join({repeat({2, 2, 200, 131}, 8), {B}})},
        {"new RLE narrower than 8 pixels (high byte 0)", 5, newRle({A, B, C, C, C}, 5), RgbeDecodeStatus::Ok,
         {A, B, C, C, C}},
        {"new RLE of 255 pixels", 255, newRle(join({repeat(B, 200), repeat(C, 55)}), 255), RgbeDecodeStatus::Ok,
         join({repeat(B, 200), repeat(C, 55)})},
        {"kinds mixed row by row", 4,
         bytes({newRle({A, B, C, A}, 4), flat({C, B, A, A}), bytes({px(B), run(3)}), newRle({C, C, C, C}, 4)}),
         RgbeDecodeStatus::Ok, join({{A, B, C, A}, {C, B, A, A}, repeat(B, 4), repeat(C, 4)})},
        {"above 32767 pixels, new RLE with the width in the row's header", 40000, newRle(wide, 40000),
         RgbeDecodeStatus::Ok, wide},
        {"above 32767 pixels, 2 2 and another width is a flat pixel", 32768,
         bytes({px({2, 2, 128, 1}), run(255), run(127)}), RgbeDecodeStatus::Ok, repeat({2, 2, 128, 1}, 32768)},
        {"a high byte of 0 from 256 pixels on", 256, newRle(repeat(A, 256), 0), RgbeDecodeStatus::HeaderError, {}},
        {"flat row one byte short", 3, bytes({px(A), px(B), {1, 2, 3}}), RgbeDecodeStatus::Truncated, {}},
        {"runs that do not reach the row's end", 300, bytes({px(A), run(255), px(B)}), RgbeDecodeStatus::Truncated,
         {}},
        {"a run pixel cut short", 3, bytes({px(A), {1, 1, 1}}), RgbeDecodeStatus::Truncated, {}},
    };
}

TEST(RadianceScanlines, RowsDecodeToTheirPixels) {
    for (const RowCase& c : rowCases()) {
        SCOPED_TRACE(c.name);
        const std::uint32_t length =
            c.status == RgbeDecodeStatus::Ok ? static_cast<std::uint32_t>(c.pixels.size() / c.width) : 1;
        RgbeMap map(c.width, length);
        ASSERT_EQ(decodeRgbeScanlines(c.data.data(), c.data.size(), map, nullptr), c.status);
        // The walk that finds the rows' starts agrees, and the rows decoded from there, last
        // row first, give the same planes.
        std::vector<std::size_t> starts;
        ASSERT_EQ(findRgbeScanlines(c.data.data(), c.data.size(), c.width, length, starts), c.status);
        if (c.status != RgbeDecodeStatus::Ok) continue;
        for (std::size_t i = 0; i < c.pixels.size(); ++i) {
            const RgbePixel& p = c.pixels[i];
            const RgbePixel got{map.plane(0)[i], map.plane(1)[i], map.plane(2)[i], map.plane(3)[i]};
            ASSERT_TRUE(got.r == p.r && got.g == p.g && got.b == p.b && got.e == p.e) << "pixel " << i;
        }
        RgbeMap rows(c.width, length);
        for (std::uint32_t r = length; r-- > 0;)
            ASSERT_TRUE(decodeRgbeRows(c.data.data(), c.data.size(), starts, r, r + 1, rows));
        EXPECT_TRUE(std::equal(map.plane(0), map.plane(0) + 4 * map.pixels(), rows.plane(0)));
    }
}

// ---- the same pixels in every kind of scanline, through the command line ------------------------

struct SourceCase {
    const char* name;
    // Makes src.hdr in the directory given as $D: a real writer's file (ImageMagick writes rows
    // narrower than 8 flat, pfstools new RLE at every width), or random pixels in literal new-RLE
    // packets where ImageMagick here refuses the size.
    std::string make;
    bool repeats;  // whether rows repeat pixels, so that the older runs are shorter than flat rows
};

void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

const std::string kReencode = [] {
    const std::string here = __FILE__;
    return "/usr/bin/python3 " + here.substr(0, here.rfind('/')) + "/support/rgbe_reencode.py";
}();

std::string imageMagick(const char* size) {
    return "convert -seed 5 -size " + std::string(size) + " plasma:fractal -evaluate multiply 2 $D/src.hdr";
}
std::string pfstools(const char* size) {
    return "convert -seed 6 -size " + std::string(size) + " gradient:white-navy $D/im.hdr && pfsin $D/im.hdr | pfsout $D/src.hdr";
}
std::string generated(int width, int length) {
    return kReencode + " make " + std::to_string(width) + " " + std::to_string(length) + " 3 $D && mv $D/newrle.hdr $D/src.hdr";
}

const SourceCase kSources[] = {
    {"ImageMagick_1x4_flat", imageMagick("1x4"), false},
    {"ImageMagick_7x3_flat", imageMagick("7x3"), false},
    {"ImageMagick_8x3", imageMagick("8x3"), false},
    {"ImageMagick_255x3", imageMagick("255x3"), false},
    {"ImageMagick_256x3", imageMagick("256x3"), false},
    {"ImageMagick_300x20", imageMagick("300x20"), false},
    {"pfstools_1x3_new_RLE", pfstools("1x3"), false},
    {"pfstools_7x4_new_RLE", pfstools("7x4"), true},
    {"pfstools_200x5", pfstools("200x5"), true},
    {"generated_300x6", generated(300, 6), true},
    {"generated_32767x2", generated(32767, 2), true},
    {"generated_32768x2", generated(32768, 2), true},
    {"generated_40000x2", generated(40000, 2), true},
};

class RadianceScanlineKinds : public ::testing::TestWithParam<SourceCase> {};

TEST_P(RadianceScanlineKinds, ConvertAsTheWriterFile) {
    const test::TempDir dir;
    const std::string d = "D='" + dir.path() + "'; ";
    ASSERT_EQ(test::runCommand(d + GetParam().make + " >/dev/null 2>&1"), 0) << GetParam().make;
    ASSERT_EQ(test::runCommand(d + kReencode + " decode $D/src.hdr $D"), 0);
    const std::string cli = KELVARIN_CLI_PATH;
    const auto convert = [&](const std::string& name) {
        const std::string out = dir.file(name + ".tif");
        EXPECT_EQ(test::runCommand(cli + " hdr " + dir.file(name + ".hdr") + " " + out + " >/dev/null 2>&1"), 0)
            << name;
        // The samples after the 302 header bytes (which hold the time of writing).
        const Bytes tif = test::exists(out) ? test::readBytes(out) : Bytes{};
        return tif.size() > 302 ? Bytes(tif.begin() + 302, tif.end()) : Bytes{};
    };
    const Bytes reference = convert("src");
    ASSERT_FALSE(reference.empty());
    for (const char* kind : {"flat", "old", "mixed"}) {
        SCOPED_TRACE(kind);
        EXPECT_TRUE(convert(kind) == reference);
    }
    // The runs really are runs: the old form of pixels with repeats is shorter than the flat.
    const std::size_t old = test::readBytes(dir.file("old.hdr")).size(), flat = test::readBytes(dir.file("flat.hdr")).size();
    if (GetParam().repeats) {
        EXPECT_LT(old, flat);
    } else {
        EXPECT_LE(old, flat);
    }
}

INSTANTIATE_TEST_SUITE_P(Writers, RadianceScanlineKinds, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvarin
