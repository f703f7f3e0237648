// The OpenEXR reader against files written by OpenImageIO and OpenEXR's exrmaketiled, compared
// sample for sample with what OpenImageIO reads back; and its refusals: compressions it does not
// decode, damaged and hostile headers, every prefix of real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/source_decode.h"

namespace kelvarin::test {
namespace {

const std::string kPython = "/usr/bin/python3";

class ExrFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = makeReferenceFolder(kPython + " -c 'import numpy, OpenImageIO'", "exr_reference.py");
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        if (!dir_) GTEST_SKIP() << "python3 with numpy and OpenImageIO (python3-openimageio) is needed";
    }
    static TempDir* dir_;
};

TempDir* ExrFiles::dir_ = nullptr;

TEST_F(ExrFiles, EveryWrittenFileGivesTheSamplesOpenExrReads) {
    const auto cases = manifestRows(dir_->file("manifest.txt"));
    ASSERT_GT(cases.size(), 90u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        const Decoded d = decodeSource(readBytes(dir_->file(c[0])));
        ASSERT_NE(d.format, nullptr);
        EXPECT_STREQ(d.format->id, "exr");
        ASSERT_FALSE(d.opened.report.refused()) << d.opened.report.refusal->text;
        EXPECT_EQ(d.opened.width, std::stoul(c[2]));
        EXPECT_EQ(d.opened.length, std::stoul(c[3]));
        EXPECT_EQ(d.opened.layout.channels, std::stoul(c[4]));
        EXPECT_EQ(d.opened.layout.alpha, c[5] == "1");
        EXPECT_EQ(d.opened.layout.type, c[6] == "u" ? SampleType::Unsigned : SampleType::Float);
        EXPECT_EQ(d.opened.layout.bits, std::stoul(c[7]));
        ASSERT_TRUE(d.decoded) << d.failure;
        EXPECT_TRUE(d.rows == readBytes(dir_->file(c[1]))) << "samples differ from the reference";
        EXPECT_TRUE(d.passesAgree);
    }
}

TEST_F(ExrFiles, CompressionsTinyexrCannotDecodeAreRefusedByName) {
    const auto cases = manifestRows(dir_->file("refused.txt"));
    ASSERT_GT(cases.size(), 40u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        const Decoded d = decodeSource(readBytes(dir_->file(c[0])));
        ASSERT_TRUE(d.opened.report.refused());
        EXPECT_EQ(d.opened.report.refusal->text, "Compression " + c[1] + " is not supported.");
        EXPECT_EQ(d.opened.rows, nullptr);
    }
}

TEST_F(ExrFiles, TheReportNamesSizeSamplesCompressionTilesAndUnusedChannels) {
    const struct {
        const char* file;
        std::vector<std::string> lines;
    } cases[] = {
        {"piz_half_RGB_tiled.exr", {"OpenEXR image: 41 x 27 pixels", "half-float R, G, B, PIZ, tiled 16 x 8"}},
        {"none_uint_Y.exr", {"OpenEXR image: 41 x 27 pixels", "32-bit unsigned Y, none, scanlines"}},
        {"rle_float_RGBA.exr", {"OpenEXR image: 41 x 27 pixels", "32-bit float R, G, B, A, RLE, scanlines"}},
        {"mipmap_piz.exr", {"OpenEXR image: 77 x 50 pixels", "half-float R, G, B, PIZ, tiled 32 x 32, mipmap (level 0 used)"}},
        {"extra_channels.exr",
         {"OpenEXR image: 41 x 27 pixels", "half-float R, G, B, A, ZIPS, scanlines", "Channels Z not used."}},
        {"mixed_half_float.exr", {"OpenEXR image: 41 x 27 pixels", "32-bit float R, G, B, ZIP, scanlines"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const Decoded d = decodeSource(readBytes(dir_->file(c.file)));
        EXPECT_EQ(d.opened.report.lines, c.lines);
    }
}

// Every prefix is refused at open or fails to decode with a reason; none crashes, and none but the
// whole file decodes.
TEST_F(ExrFiles, EveryPrefixOfAFileIsRefusedOrFailsButTheWhole) {
    for (const char* name : {"zip_half_RGB.exr", "piz_float_RGBA_tiled.exr", "none_half_Y.exr", "rle_uint_RGB_tiled.exr"}) {
        SCOPED_TRACE(name);
        const Bytes whole = readBytes(dir_->file(name));
        for (std::size_t cut = 0; cut < whole.size(); ++cut) {
            const Decoded d = decodeSource(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut)));
            if (!d.format) continue;
            const bool refused = d.opened.report.refused();
            ASSERT_TRUE(refused || !d.decoded) << "prefix of " << cut << " bytes decoded";
            if (refused) {
                EXPECT_EQ(d.opened.report.refusal->lines.back(), ">>> Cannot handle this file. STOP!");
            } else {
                EXPECT_FALSE(d.failure.empty());
            }
        }
    }
}

// Where the offset table begins: after the header's last zero.
std::size_t offsetTableOf(const Bytes& whole) {
    std::size_t table = 8;
    while (whole.at(table) != 0) {
        table = std::find(whole.begin() + static_cast<std::ptrdiff_t>(table), whole.end(), 0) - whole.begin() + 1;
        table = std::find(whole.begin() + static_cast<std::ptrdiff_t>(table), whole.end(), 0) - whole.begin() + 1;
        std::uint32_t size = 0;
        std::memcpy(&size, &whole.at(table), 4);
        table += 4 + size;
    }
    return table + 1;
}

struct Spoil {
    const char* name;
    std::size_t at;
    std::uint32_t value;
};

// Each spoil of a good file fails its decode, after it opened, with `failure`.
void expectSpoilsFail(const Bytes& whole, const std::vector<Spoil>& spoils, const std::string& failure) {
    const Decoded good = decodeSource(whole);
    ASSERT_TRUE(good.decoded) << good.failure;
    for (const Spoil& spoil : spoils) {
        SCOPED_TRACE(spoil.name);
        Bytes bad = whole;
        std::memcpy(&bad.at(spoil.at), &spoil.value, 4);
        const Decoded d = decodeSource(bad);
        ASSERT_FALSE(d.opened.report.refused());
        EXPECT_FALSE(d.decoded);
        EXPECT_EQ(d.failure, failure);
    }
}

// tinyexr places a tile where its chunk says: a chunk naming a tile outside the image, or a
// place outside the file, fails the decode before tinyexr sees it.
TEST_F(ExrFiles, TileChunksNamingNoTileOfTheImageFailTheDecode) {
    const Bytes whole = readBytes(dir_->file("none_half_RGB_tiled.exr"));
    const std::size_t table = offsetTableOf(whole);
    std::uint64_t chunk = 0;
    std::memcpy(&chunk, &whole.at(table), 8);
    expectSpoilsFail(whole,
                     {{"tile x beyond the image", chunk, 3},
                      {"tile y negative", chunk + 4, 0xFFFFFFFF},
                      {"level beyond the single one", chunk + 8, 1},
                      {"huge tile x", chunk + 0, 0x7FFFFFFF},
                      {"chunk outside the file", table, static_cast<std::uint32_t>(whole.size())}},
                     "A tile of the image lies outside the file or names a tile the image does not have.");
}

// tinyexr places a block of scanlines by the row its chunk names, too: a block that names rows
// another block holds, or rows that begin no block, would leave rows of the image unwritten.
TEST_F(ExrFiles, ScanlineChunksNamingRowsOfAnotherBlockFailTheDecode) {
    const Bytes whole = readBytes(dir_->file("zip_half_RGB.exr"));  // 27 rows, 16 a block
    const std::size_t table = offsetTableOf(whole);
    std::uint64_t first = 0, second = 0;
    std::memcpy(&first, &whole.at(table), 8);
    std::memcpy(&second, &whole.at(table + 8), 8);
    expectSpoilsFail(whole,
                     {{"the second block names the first's rows", second, 0},
                      {"a block beginning inside another", first, 1},
                      {"a block before the image", first, 0xFFFFFFF0},
                      {"a block after the image", second, 32},
                      {"chunk outside the file", table, static_cast<std::uint32_t>(whole.size())}},
                     "A block of scanlines lies outside the file, or names rows another block holds.");
}

// A header built attribute by attribute: a valid one that tests then spoil.
struct ExrBuilder {
    std::uint32_t flags = 0;
    std::vector<std::pair<std::string, int>> channels = {{"B", 1}, {"G", 1}, {"R", 1}};
    int xSampling = 1;
    std::uint8_t compression = 3;
    std::int32_t window[4] = {0, 0, 3, 2};
    bool tiles = false;
    std::uint32_t tileSize = 2;
    std::uint8_t tileMode = 0;
    std::string type;
    int chunkCount = -1;
    struct Extra {
        std::string name, type;
        Bytes value;
    };
    std::vector<Extra> extras;  // after the usual attributes
    std::size_t extraBytes = 64;
    bool terminated = true;

    static void put32(Bytes& b, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    static void attribute(Bytes& b, const std::string& name, const std::string& type, const Bytes& value) {
        b.insert(b.end(), name.begin(), name.end());
        b.push_back(0);
        b.insert(b.end(), type.begin(), type.end());
        b.push_back(0);
        put32(b, static_cast<std::uint32_t>(value.size()));
        b.insert(b.end(), value.begin(), value.end());
    }
    Bytes build() const {
        Bytes b = {0x76, 0x2F, 0x31, 0x01};
        put32(b, 2 | flags | (tiles ? 0x200 : 0));
        Bytes list;
        for (const auto& [name, pixelType] : channels) {
            list.insert(list.end(), name.begin(), name.end());
            list.push_back(0);
            put32(list, static_cast<std::uint32_t>(pixelType));
            put32(list, 0);
            put32(list, static_cast<std::uint32_t>(xSampling));
            put32(list, 1);
        }
        list.push_back(0);
        attribute(b, "channels", "chlist", list);
        attribute(b, "compression", "compression", {compression});
        Bytes box;
        for (std::int32_t v : window) put32(box, static_cast<std::uint32_t>(v));
        attribute(b, "dataWindow", "box2i", box);
        attribute(b, "displayWindow", "box2i", box);
        attribute(b, "lineOrder", "lineOrder", {0});
        if (tiles) {
            Bytes desc;
            put32(desc, tileSize);
            put32(desc, tileSize);
            desc.push_back(tileMode);
            attribute(b, "tiles", "tiledesc", desc);
        }
        if (!type.empty()) attribute(b, "type", "string", Bytes(type.begin(), type.end()));
        if (chunkCount >= 0) {
            Bytes count;
            put32(count, static_cast<std::uint32_t>(chunkCount));
            attribute(b, "chunkCount", "int", count);
        }
        for (const Extra& extra : extras) attribute(b, extra.name, extra.type, extra.value);
        if (terminated) b.push_back(0);
        b.resize(b.size() + extraBytes, 0);
        return b;
    }
};

struct HostileCase {
    const char* name;
    ExrBuilder header;
    const char* refusal;
};

ExrBuilder with(void (*change)(ExrBuilder&)) {
    ExrBuilder b;
    change(b);
    return b;
}

class ExrHostileHeaders : public ::testing::TestWithParam<HostileCase> {};

TEST_P(ExrHostileHeaders, AreRefusedAtOpenWithTheirReason) {
    const HostileCase& c = GetParam();
    const Decoded d = decodeSource(c.header.build());
    ASSERT_NE(d.format, nullptr);
    ASSERT_TRUE(d.opened.report.refused());
    EXPECT_EQ(d.opened.report.refusal->text, c.refusal);
    EXPECT_EQ(d.opened.report.refusal->caption, "KELVARIN - OpenEXR.");
    EXPECT_EQ(d.opened.rows, nullptr);
}

const char* const kTooShort = "The file is too short for the image size in its header.";

INSTANTIATE_TEST_SUITE_P(
    Table, ExrHostileHeaders,
    ::testing::Values(
        HostileCase{"bomb_zip_65535_square", with([](ExrBuilder& b) { b.window[2] = b.window[3] = 65534; }), kTooShort},
        HostileCase{"bomb_none_raw", with([](ExrBuilder& b) { b.compression = 0; b.window[2] = b.window[3] = 40; }),
                    kTooShort},
        HostileCase{"bomb_rle", with([](ExrBuilder& b) { b.compression = 1; b.window[2] = b.window[3] = 200; }),
                    kTooShort},
        HostileCase{"bomb_tiles_of_one_pixel",
                    with([](ExrBuilder& b) { b.tiles = true; b.tileSize = 1; b.window[2] = b.window[3] = 999; }),
                    kTooShort},
        HostileCase{"bomb_mipmap_levels",
                    with([](ExrBuilder& b) { b.tiles = true; b.tileMode = 1; b.window[2] = b.window[3] = 3000; }),
                    kTooShort},
        HostileCase{"too_wide", with([](ExrBuilder& b) { b.window[2] = 65535; }),
                    "Image size not supported: width and length must be 1 to 65535 pixels."},
        HostileCase{"empty_window", with([](ExrBuilder& b) { b.window[0] = 5; }),
                    "Image size not supported: width and length must be 1 to 65535 pixels."},
        HostileCase{"window_overflowing", with([](ExrBuilder& b) { b.window[0] = -2147483647 - 1; b.window[2] = 2147483647; }),
                    "Image size not supported: width and length must be 1 to 65535 pixels."},
        HostileCase{"multipart", with([](ExrBuilder& b) { b.flags = 0x1000; }),
                    "Multi-part OpenEXR files are not supported."},
        HostileCase{"deep_flag", with([](ExrBuilder& b) { b.flags = 0x800; }), "Deep OpenEXR images are not supported."},
        HostileCase{"deep_type", with([](ExrBuilder& b) { b.type = "deepscanline"; }),
                    "Deep OpenEXR images are not supported."},
        HostileCase{"unknown_compression", with([](ExrBuilder& b) { b.compression = 12; }), "Unknown compression 12."},
        HostileCase{"dwab", with([](ExrBuilder& b) { b.compression = 9; }), "Compression DWAB is not supported."},
        HostileCase{"subsampled", with([](ExrBuilder& b) { b.xSampling = 2; }),
                    "Channel B is subsampled (2 x 1): not supported."},
        HostileCase{"unknown_sample_type", with([](ExrBuilder& b) { b.channels[1].second = 3; }),
                    "Channel G has the unknown sample type 3."},
        HostileCase{"no_channels", with([](ExrBuilder& b) { b.channels.clear(); }), "The file has no channels."},
        HostileCase{"two_unnamed_channels", with([](ExrBuilder& b) { b.channels = {{"U", 1}, {"V", 1}}; }),
                    "No R, G, B or Y channel and more than one other: U, V."},
        HostileCase{"unsigned_with_float", with([](ExrBuilder& b) { b.channels[0].second = 0; }),
                    "Channels R, G, B mix unsigned and floating-point samples."},
        HostileCase{"tiled_without_tiles", with([](ExrBuilder& b) { b.flags = 0x200; }),
                    "The tiled file has no tile description."},
        HostileCase{"tile_of_zero", with([](ExrBuilder& b) { b.tiles = true; b.tileSize = 0; }),
                    "Tile size not supported: tiles must be 1 to 65535 pixels a side."},
        // A 4 x 3 image in tiles that would each decode to 96 MB; a file of a few hundred bytes
        // can claim them, as only the image's own pixels are stored.
        HostileCase{"tiles_far_larger_than_the_image", with([](ExrBuilder& b) { b.tiles = true; b.tileSize = 4000; }),
                    "The tiles (4000 x 4000) are far larger than the image (4 x 3)."},
        HostileCase{"chunk_count_too_large", with([](ExrBuilder& b) { b.chunkCount = 100663304; }),
                    "The chunk count 100663304 does not match the image's 1 chunks."},
        // tinyexr reads these by their name alone: a second, short tile description once ended
        // the program there.
        HostileCase{"second_short_tile_description",
                    with([](ExrBuilder& b) { b.tiles = true; b.extras = {{"tiles", "tiledesc", {2, 0, 0, 0}}}; }),
                    "Attribute tiles is damaged."},
        HostileCase{"tile_description_of_another_type",
                    with([](ExrBuilder& b) { b.extras = {{"tiles", "box2i", Bytes(9, 1)}}; }),
                    "Attribute tiles is damaged."},
        HostileCase{"second_channel_list", with([](ExrBuilder& b) { b.extras = {{"channels", "chlist", {0}}}; }),
                    "Attribute channels is damaged."},
        HostileCase{"data_window_of_another_type",
                    with([](ExrBuilder& b) { b.extras = {{"dataWindow", "v4i", Bytes(16, 0)}}; }),
                    "Attribute dataWindow is damaged."},
        HostileCase{"long_compression", with([](ExrBuilder& b) { b.extras = {{"compression", "compression", {3, 0}}}; }),
                    "Attribute compression is damaged."},
        HostileCase{"chunk_count_of_another_type",
                    with([](ExrBuilder& b) { b.extras = {{"chunkCount", "float", Bytes(4, 0)}}; }),
                    "The chunk count is damaged."},
        HostileCase{"header_without_end", with([](ExrBuilder& b) { b.extraBytes = 0; b.terminated = false; }),
                    "The file ends inside its header."}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvarin::test
