// The general TIFF reader against files from real writers (tests/tools/tiff_variants.py: tifffile
// and libtiff's tiffcp in every compression, predictor, tiling, plane and byte order) whose rows
// come from the numpy arrays they were written from; against the first TIFF reader on every file
// that one accepts; and on damaged and hostile files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/tiff_codecs.h"
#include "formats/tiff_image_reader.h"
#include "formats/tiff_reader.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"

namespace kelvarin::test {
namespace {

std::string testsDir() {
    const std::string here = __FILE__;
    return here.substr(0, here.find_last_of('/'));
}

struct Variant {
    std::string file, expected, args;
    std::uint32_t width = 0, length = 0, channels = 0, bits = 0;
    bool alpha = false;
    std::string type;
    std::uint64_t maxValue = 0;
};

struct Decoded {
    OpenedSource opened;
    Bytes rows;
    bool ok = false;
};

// Opens the bytes and decodes every row, `run` rows a call.
Decoded decode(const Bytes& file, std::uint32_t run) {
    Decoded d;
    MemoryBytes source(file.data(), file.size());
    d.opened = openTiffImage(source);
    if (d.opened.report.refused()) return d;
    const std::size_t rowBytes = std::size_t{d.opened.width} * d.opened.layout.bytesPerPixel();
    d.rows.resize(rowBytes * d.opened.length);
    d.ok = true;
    for (std::uint32_t y = 0; y < d.opened.length && d.ok; y += run)
        d.ok = d.opened.rows->readRows(y, std::min(run, d.opened.length - y), d.rows.data() + y * rowBytes);
    return d;
}

class TiffVariants : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        ASSERT_EQ(runCommand("/usr/bin/python3 " + testsDir() + "/tools/tiff_variants.py " + dir_->path()), 0);
        std::ifstream manifest(dir_->file("manifest.txt"));
        std::string line;
        while (std::getline(manifest, line)) {
            std::istringstream f(line);
            Variant v;
            std::string field;
            std::getline(f, v.file, '|');
            std::getline(f, v.expected, '|');
            f >> v.width, f.ignore(), f >> v.length, f.ignore(), f >> v.channels, f.ignore();
            std::getline(f, field, '|');
            v.alpha = field == "1";
            std::getline(f, v.type, '|');
            f >> v.bits, f.ignore(), f >> v.maxValue, f.ignore();
            std::getline(f, v.args);
            variants_.push_back(v);
        }
    }
    static void TearDownTestSuite() {
        delete dir_;
        variants_.clear();
    }
    static const Variant& find(const std::string& file) {
        for (const Variant& v : variants_)
            if (v.file == file) return v;
        throw std::runtime_error("no variant " + file);
    }
    static TempDir* dir_;
    static std::vector<Variant> variants_;
};
TempDir* TiffVariants::dir_ = nullptr;
std::vector<Variant> TiffVariants::variants_;

TEST_F(TiffVariants, EveryWriterVariantDecodesToTheArrayItWasWrittenFrom) {
    ASSERT_GT(variants_.size(), 200u);
    for (const Variant& v : variants_) {
        SCOPED_TRACE(v.file + " [" + v.args + "]");
        const Bytes file = readBytes(dir_->file(v.file));
        // Runs of 7 rows cross strips and tile rows; then the whole image again in one call.
        const Decoded d = decode(file, 7);
        ASSERT_FALSE(d.opened.report.refused()) << d.opened.report.refusal->text;
        ASSERT_TRUE(d.ok) << d.opened.rows->failure();
        EXPECT_EQ(d.opened.width, v.width);
        EXPECT_EQ(d.opened.length, v.length);
        const PixelLayout& l = d.opened.layout;
        EXPECT_EQ(l.channels, v.channels);
        EXPECT_EQ(l.alpha, v.alpha);
        EXPECT_EQ(l.type, v.type == "float" ? SampleType::Float : v.type == "signed" ? SampleType::Signed
                                                                                     : SampleType::Unsigned);
        EXPECT_EQ(l.bits, v.bits);
        if (v.type != "float") {
            EXPECT_EQ(l.maxValue, v.maxValue);
        }
        ASSERT_TRUE(d.rows == readBytes(dir_->file(v.expected)));
        const Decoded again = decode(file, v.length);
        EXPECT_TRUE(again.ok && again.rows == d.rows);
    }
}

TEST_F(TiffVariants, ASecondPassFromRowZeroGivesTheSameRows) {
    for (const char* name : {"rgb16_6.tif", "floatrgb32_4.tif", "packedgrey12_4.tif", "rgba16_9.tif"}) {
        SCOPED_TRACE(name);
        const Bytes file = readBytes(dir_->file(name));
        MemoryBytes source(file.data(), file.size());
        OpenedSource opened = openTiffImage(source);
        ASSERT_TRUE(opened.rows);
        const std::size_t rowBytes = std::size_t{opened.width} * opened.layout.bytesPerPixel();
        Bytes first(rowBytes * opened.length), second(first.size());
        ASSERT_TRUE(opened.rows->readRows(0, 20, first.data()));
        ASSERT_TRUE(opened.rows->readRows(0, opened.length, second.data()));
        EXPECT_TRUE(std::equal(first.begin(), first.begin() + 20 * rowBytes, second.begin()));
        EXPECT_TRUE(second == readBytes(dir_->file(find(name).expected)));
    }
}

// Every file the first reader takes decodes to its strips' bytes in the machine's order.
TEST_F(TiffVariants, EveryFileTheFirstReaderAcceptsDecodesToItsBytes) {
    std::vector<std::string> files;
    for (const Variant& v : variants_) files.push_back(dir_->file(v.file));
    for (const auto& entry : std::filesystem::directory_iterator(testsDir() + "/fuzz/corpus/tiff"))
        files.push_back(entry.path().string());
    int accepted = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const Bytes file = readBytes(path);
        MemoryBytes source(file.data(), file.size());
        TiffReadSettings settings;
        settings.order = file.size() > 0 && file[0] == 'M' ? ByteOrder::MM : ByteOrder::II;
        settings.teRaw = true;
        const TiffHeader header = readTiffHeader(source, settings);
        // The first reader takes no notice of PhotometricInterpretation: a WhiteIsZero file is
        // the one kind it reads otherwise (unturned).
        if (header.report.refused() || !sniffTiffImage(file) || path.find("miniswhite") != std::string::npos) continue;
        ++accepted;
        const std::size_t bytes = header.bitsPerSample / 8;
        Bytes stream;
        const std::size_t total = std::size_t{header.width} * header.length * header.samplesPerPixel * bytes;
        for (const Strip& strip : header.strips)
            stream.insert(stream.end(), file.begin() + static_cast<std::ptrdiff_t>(strip.offset),
                          file.begin() + static_cast<std::ptrdiff_t>(strip.offset + strip.bytes));
        stream.resize(total);
        if (bytes > 1 && settings.order == ByteOrder::MM) swapSampleBytes(stream.data(), total / bytes, bytes);
        const Decoded d = decode(file, 5);
        ASSERT_TRUE(d.ok);
        EXPECT_TRUE(d.rows == stream);
    }
    EXPECT_GE(accepted, 20);
}

// A cut file is refused at open or fails while decoding, naming what is missing; it never
// decodes to other rows.
TEST_F(TiffVariants, EveryPrefixOfACompressedFileIsRefusedOrDecodedWhole) {
    for (const char* name : {"zlib_first.tif", "rgb16_6.tif", "grey8_5.tif", "palette4_4.tif", "floatgrey32_1.tif"}) {
        SCOPED_TRACE(name);
        const Bytes whole = readBytes(dir_->file(name));
        const Bytes expected = readBytes(dir_->file(find(name).expected));
        int decodedWhole = 0, failedRows = 0;
        for (std::size_t size = 0; size <= whole.size(); ++size) {
            const Decoded d = decode(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)), 9);
            if (d.opened.report.refused()) continue;
            if (d.ok) {
                ++decodedWhole;
                EXPECT_TRUE(d.rows == expected) << size;
            } else {
                ++failedRows;
                EXPECT_NE(d.opened.rows->failure().find(" 0"), std::string::npos) << d.opened.rows->failure();
            }
        }
        EXPECT_GE(decodedWhole, 1);
    }
}

TEST_F(TiffVariants, TheReportNamesSizeDepthCompressionAndLayout) {
    struct Row {
        const char* file;
        const char* depth;
        const char* order;
    };
    const Row rows[] = {
        {"grey16_6.tif", "16-bit grey, LZW with horizontal predictor, tiles of 16 x 16", "Little-endian (II), classic TIFF"},
        {"rgba8_10.tif", "8-bit RGB with an extra sample, LZW, strips of",  "Little-endian (II), BigTIFF"},
        {"floatrgb64_6.tif", "64-bit floating-point RGB, Deflate, strips of", "Big-endian (MM), BigTIFF"},
        {"floatrgb32_9.tif", "32-bit floating-point RGB, LZW with floating-point predictor, strips of", "Little-endian (II), BigTIFF"},
        {"palette4_3.tif", "4-bit palette, PackBits, strips of", "Little-endian (II), classic TIFF"},
        {"miniswhite8.tif", "8-bit grey (white is zero), uncompressed, strips of 5 rows", "Little-endian (II), classic TIFF"},
        {"rgb2extra16.tif", "16-bit RGB with 2 extra samples (only the first is kept), uncompressed", "Little-endian"},
        {"rgb16_9.tif", "16-bit RGB, Deflate, tiles of 16 x 32, separate planes", "Little-endian"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.file);
        const Bytes file = readBytes(dir_->file(r.file));
        MemoryBytes source(file.data(), file.size());
        const OpenedSource opened = openTiffImage(source);
        ASSERT_GE(opened.report.lines.size(), 3u);
        EXPECT_EQ(opened.report.lines[0], "TIFF image: 37 x 23 pixels");
        EXPECT_EQ(opened.report.lines[1].rfind(r.depth, 0), 0u) << opened.report.lines[1];
        EXPECT_EQ(opened.report.lines[2].rfind(r.order, 0), 0u) << opened.report.lines[2];
    }
}

// A grey 16-bit file of one strip holding `pixels` as stored, with `change` applied to its entries.
Bytes greyFile(std::uint32_t width, std::uint32_t length, const Bytes& pixels, std::uint16_t compression,
               const std::function<void(TiffBuilder&)>& change = {}) {
    TiffBuilder b(false);
    b.pixels = pixels;
    b.entries = {{256, kLongType, 1, {width}},  {257, kLongType, 1, {length}},
                 {258, kShortType, 1, {16}},    {259, kShortType, 1, {compression}},
                 {262, kShortType, 1, {1}},     {273, kLongType, 1, {kPixelDataOffset}},
                 {277, kShortType, 1, {1}},     {278, kLongType, 1, {length}},
                 {279, kLongType, 1, {static_cast<std::uint32_t>(pixels.size())}}};
    if (change) change(b);
    return b.build();
}

Bytes deflated(const Bytes& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

struct HostileCase {
    const char* name;
    Bytes file;
    const char* refusal;  // in the box when the file is refused at open
    const char* failure;  // otherwise in the decoder's failure
};

// Predictor 2 undone on rows of every sample size and pixel width, across the eight-pixel steps
// the 16-bit rows take: each sample is the running sum, wrapping, of its channel's differences.
TEST(TiffCodecs, HorizontalPredictorSumsEachChannelAlongTheRow) {
    std::uint32_t state = 99;
    for (const std::size_t bytes : {1, 2, 4}) {
        for (const std::size_t samples : {1, 2, 3, 4, 5}) {
            for (const std::size_t pixels : {0, 1, 2, 7, 8, 9, 15, 16, 17, 33, 100}) {
                Bytes row(pixels * samples * bytes);
                for (auto& b : row) b = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 16);
                Bytes expected = row;
                const std::size_t values = pixels * samples;
                for (std::size_t v = samples; v < values; ++v) {
                    std::uint64_t here = 0, before = 0;
                    std::memcpy(&here, &expected[v * bytes], bytes);
                    std::memcpy(&before, &expected[(v - samples) * bytes], bytes);
                    here += before;
                    std::memcpy(&expected[v * bytes], &here, bytes);
                }
                undoHorizontalPredictor(row.data(), pixels, samples, bytes);
                EXPECT_EQ(row, expected) << bytes << "-byte samples, " << samples << " a pixel, " << pixels << " pixels";
            }
        }
    }
}

TEST(TiffImageHostile, DamagedAndHostileFilesAreRefusedNamingTheFault) {
    const Bytes rows(4 * 3 * 2, 0x41);
    auto entry = [](std::uint16_t tag, std::uint32_t value) {
        return [=](TiffBuilder& b) {
            b.remove(tag);
            b.entries.push_back({tag, kShortType, 1, {value}});
            std::sort(b.entries.begin(), b.entries.end(), [](auto& x, auto& y) { return x.tag < y.tag; });
        };
    };
    const HostileCase cases[] = {
        {"jpeg", greyFile(4, 3, rows, 7), "Compression 7 (JPEG)", nullptr},
        {"zstd", greyFile(4, 3, rows, 50000), "Compression 50000 (Zstandard)", nullptr},
        {"24-bit", greyFile(4, 3, Bytes(36), 1, entry(258, 24)), "24-bit integer", nullptr},
        {"64-bit", greyFile(4, 3, Bytes(96), 1, entry(258, 64)), "64-bit integer", nullptr},
        {"cmyk", greyFile(4, 3, rows, 1, entry(262, 5)), "(separated, CMYK)", nullptr},
        {"fill order", greyFile(4, 3, rows, 1, entry(266, 2)), "FillOrder 2", nullptr},
        {"bomb", greyFile(65535, 65535, deflated(Bytes(1000)), 8), "claims 65535 x 65535 pixels", nullptr},
        {"strip outside", greyFile(4, 3, rows, 1, [](TiffBuilder& b) { b.find(273)->values = {1u << 30}; }),
         "beyond the end of the file", nullptr},
        {"tile outside", greyFile(16, 16, Bytes(512), 1, [](TiffBuilder& b) {
             b.find(273)->tag = 324, b.find(279)->tag = 325;
             b.remove(278);
             b.entries.push_back({322, kShortType, 1, {16}}), b.entries.push_back({323, kShortType, 1, {16}});
             b.find(325)->values = {600};
             std::sort(b.entries.begin(), b.entries.end(), [](auto& x, auto& y) { return x.tag < y.tag; });
         }), "Tile 0's data lies beyond the end", nullptr},
        {"old lzw", greyFile(4, 3, Bytes{0x00, 0x01, 0x50, 0x20}, 5), "old-style LZW", nullptr},
        {"lzw garbage", greyFile(4, 3, Bytes{0x80, 0x00, 0x7F, 0xE0}, 5), nullptr, "Strip 0 holds damaged LZW"},
        {"lzw short", greyFile(4, 3, Bytes{0x80, 0x10, 0x50}, 5), nullptr, "Strip 0 inflates to fewer bytes"},
        {"deflate short", greyFile(4, 3, deflated(Bytes(10)), 8), nullptr, "Strip 0 inflates to fewer bytes"},
        {"deflate garbage", greyFile(4, 3, Bytes(30, 0x55), 8), nullptr, "Strip 0 holds damaged Deflate"},
        {"packbits short", greyFile(4, 3, Bytes{0x05, 1, 2, 3, 4, 5, 6, 0xFD, 9}, 32773), nullptr,
         "Strip 0 inflates to fewer bytes"},
        {"short strip", greyFile(4, 3, Bytes(20), 1), nullptr, "Strip 0 holds fewer bytes than its rows need"},
    };
    for (const HostileCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Decoded d = decode(c.file, 2);
        if (c.refusal) {
            ASSERT_TRUE(d.opened.report.refused());
            EXPECT_NE(d.opened.report.refusal->text.find(c.refusal), std::string::npos) << d.opened.report.refusal->text;
            EXPECT_EQ(d.opened.report.refusal->caption, "KELVARIN - TIFF.");
            EXPECT_FALSE(d.opened.rows);
        } else {
            ASSERT_FALSE(d.opened.report.refused()) << d.opened.report.refusal->text;
            EXPECT_FALSE(d.ok);
            EXPECT_NE(d.opened.rows->failure().find(c.failure), std::string::npos) << d.opened.rows->failure();
        }
    }
}

TEST(TiffImageSniff, TakesClassicAndBigTiffInBothOrdersOnly) {
    const std::pair<Bytes, bool> heads[] = {
        {{'I', 'I', 42, 0}, true}, {{'M', 'M', 0, 42}, true}, {{'I', 'I', 43, 0}, true}, {{'M', 'M', 0, 43}, true},
        {{'I', 'I', 0, 42}, false}, {{'M', 'M', 42, 0}, false}, {{'I', 'M', 42, 0}, false}, {{'I', 'I', 42}, false},
        {{'P', '5', ' ', '1'}, false},
    };
    for (const auto& [head, taken] : heads) EXPECT_EQ(sniffTiffImage(head), taken) << int(head[0]) << int(head.size());
}

// PackBits as Apple's technical note gives it, and a run cut at the room's end.
TEST(TiffCodecs, PackBitsDecodesTheKnownExampleAndStopsAtTheRoom) {
    const Bytes packed{0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA, 0x03, 0x80, 0x00, 0x2A, 0x22, 0xF7, 0xAA};
    const Bytes unpacked{0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x80, 0x00,
                         0x2A, 0x22, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    Bytes out(unpacked.size() + 4, 0);
    std::size_t produced = 0;
    EXPECT_EQ(decodePackBits(packed.data(), packed.size(), out.data(), unpacked.size(), produced), CodecStatus::Ok);
    EXPECT_TRUE(std::equal(unpacked.begin(), unpacked.end(), out.begin()));
    EXPECT_EQ(out[unpacked.size()], 0);
    EXPECT_EQ(decodePackBits(packed.data(), packed.size(), out.data(), 8, produced), CodecStatus::Ok);
    EXPECT_EQ(produced, 8u);
    EXPECT_EQ(decodePackBits(packed.data(), packed.size(), out.data(), 30, produced), CodecStatus::Short);
    EXPECT_EQ(produced, unpacked.size());
}

}  // namespace
}  // namespace kelvarin::test
