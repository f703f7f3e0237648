// PNG files damaged one way each: refused when opened (the box names what is wrong) or failing
// when the rows are decoded; and every cut of a small file, and of its compressed stream.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "formats/png_reader.h"
#include "support/png_builder.h"

namespace kelvarin {
namespace {

using test::PngBytes;
using test::pngChunk;
using test::pngFile;
using test::pngHeaderData;
using test::zlibStream;

// 3 x 3 pixels, 8-bit grey, filter type None: the filtered rows of the valid file.
const PngBytes kRaw{0, 10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90};

PngBytes idat(const PngBytes& raw) { return pngChunk("IDAT", zlibStream(raw)); }

PngBytes grey3x3(const std::vector<PngBytes>& chunks) { return pngFile(pngHeaderData(3, 3, 8, 0), chunks); }

PngBytes withByte(PngBytes file, std::size_t at, std::uint8_t value) {
    file.at(at) = value;
    return file;
}

struct Outcome {
    std::string refusal;  // the box text when refused at open
    std::string failure;  // why the rows could not be decoded
    PngBytes pixels;
};

Outcome run(const PngBytes& file) {
    MemoryBytes source(file.data(), file.size());
    OpenedSource opened = openPng(source);
    Outcome outcome;
    if (opened.report.refused()) {
        outcome.refusal = opened.report.refusal->text;
        EXPECT_EQ(opened.report.refusal->caption, "KELVARIN - PNG.");
        EXPECT_FALSE(opened.rows);
        return outcome;
    }
    EXPECT_TRUE(opened.rows);
    // Two passes: the second has to fail or succeed as the first did.
    for (int pass = 0; pass < 2; ++pass) {
        PngBytes pixels(std::size_t{opened.width} * opened.length * opened.layout.bytesPerPixel());
        const bool ok = opened.rows->readRows(0, opened.length, pixels.data());
        if (pass == 0) {
            outcome.failure = ok ? "" : opened.rows->failure();
            if (ok) outcome.pixels = pixels;
        } else {
            EXPECT_EQ(ok ? "" : opened.rows->failure(), outcome.failure);
        }
    }
    return outcome;
}

struct DamageCase {
    const char* name;
    PngBytes file;
    std::string refusal;  // expected start of the box text, or
    std::string failure;  // of the decoding failure
};

PngBytes grey3x3WithCorruptIdatCrc() {
    PngBytes file = grey3x3({idat(kRaw)});
    file[file.size() - 12 - 1] ^= 1;  // the IDAT CRC's last byte, just before IEND
    return file;
}

std::vector<DamageCase> damageCases() {
    const PngBytes endless = zlibStream(PngBytes(8u << 20, 0));  // 8 MiB of zeros after a 3 x 3 image
    PngBytes shortRaw = kRaw;
    shortRaw.resize(8);
    PngBytes damaged = zlibStream(kRaw);
    damaged[2] = 0xFF;  // a reserved block type
    PngBytes cut = zlibStream(kRaw);
    cut.resize(cut.size() - 5);  // without its checksum and last code
    PngBytes trailing = kRaw;
    trailing.insert(trailing.end(), 16, 0);
    return {
        {"bad IHDR CRC", withByte(grey3x3({idat(kRaw)}), 29, 0), "Bad CRC in chunk IHDR.", ""},
        {"bad ancillary CRC", [] {
             PngBytes text = pngChunk("tEXt", {'a', 0, 'b'});
             text.back() ^= 0x40;
             return grey3x3({idat(kRaw), text});
         }(), "Bad CRC in chunk tEXt.", ""},
        {"bad IDAT CRC", grey3x3WithCorruptIdatCrc(), "", "Bad CRC in chunk IDAT."},
        {"no IHDR", [] {
             PngBytes file = test::kPngSignature;
             for (const PngBytes& c : {idat(kRaw), pngChunk("IEND", {})}) file.insert(file.end(), c.begin(), c.end());
             return file;
         }(), "The file does not begin with an IHDR chunk.", ""},
        {"no IDAT", grey3x3({}), "The file has no image data (no IDAT chunk).", ""},
        {"no IEND", pngFile(pngHeaderData(3, 3, 8, 0), {idat(kRaw)}, false), "The file ends before its IEND chunk.", ""},
        {"IDATs apart", grey3x3({idat(kRaw), pngChunk("tIME", PngBytes(7, 1)), idat({})}),
         "The IDAT chunks do not follow one another.", ""},
        {"unknown critical chunk", grey3x3({pngChunk("ZAPP", {}), idat(kRaw)}), "Unknown critical chunk ZAPP", ""},
        {"width 0", pngFile(pngHeaderData(0, 3, 8, 0), {idat(kRaw)}), "Image size not supported", ""},
        {"height 2^31", pngFile(pngHeaderData(3, 0x80000000u, 8, 0), {idat(kRaw)}), "Image size not supported", ""},
        {"RGB of 4 bits", pngFile(pngHeaderData(3, 3, 4, 2), {idat(kRaw)}), "Bit depth 4 with colour type 2", ""},
        {"palette without PLTE", pngFile(pngHeaderData(3, 3, 8, 3), {idat(kRaw)}), "The palette image has no palette", ""},
        {"grey with PLTE", grey3x3({pngChunk("PLTE", PngBytes(6, 0)), idat(kRaw)}), "A grey image carries a palette", ""},
        {"tiny file claims 65535 x 65535", pngFile(pngHeaderData(65535, 65535, 16, 6), {idat(kRaw)}),
         "The image data (", ""},
        {"stream inflates far past the image", grey3x3({pngChunk("IDAT", endless)}), "",
         "The image data inflates to more bytes than the image needs."},
        {"stream too short", grey3x3({idat(shortRaw)}), "",
         "The image data inflates to fewer bytes than the image needs."},
        {"stream damaged", grey3x3({pngChunk("IDAT", damaged)}), "", "The image data is damaged ("},
        {"stream cut", grey3x3({pngChunk("IDAT", cut)}), "", "The image data ends before"},
        {"filter type 5", grey3x3({idat({0, 1, 2, 3, 5, 1, 2, 3, 0, 1, 2, 3})}), "", "Bad filter type 5 in row 2."},
        {"palette index beyond PLTE", pngFile(pngHeaderData(2, 1, 2, 3), {pngChunk("PLTE", PngBytes(9, 7)),
                                                                         idat({0, 0b0011'0000})}),
         "", "Palette index 3 in row 1 is beyond the palette's 3 colours."},
    };
}

TEST(PngRefusal, EachDamageIsRefusedOrFailsNamingWhatIsWrong) {
    for (const DamageCase& c : damageCases()) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = run(c.file);
        EXPECT_EQ(outcome.refusal.substr(0, c.refusal.size()), c.refusal);
        EXPECT_EQ(c.refusal.empty(), outcome.refusal.empty());
        EXPECT_EQ(outcome.failure.substr(0, c.failure.size()), c.failure);
        EXPECT_EQ(c.failure.empty(), outcome.failure.empty());
    }
}

TEST(PngRefusal, APaddedStreamAndSkippedChunksStillDecode) {
    PngBytes padded = kRaw;
    padded.insert(padded.end(), 100, 0);  // a writer's padding after the last row
    const PngBytes split = zlibStream(kRaw);
    const std::vector<PngBytes> files{
        grey3x3({idat(padded)}),
        grey3x3({pngChunk("IDAT", PngBytes(split.begin(), split.begin() + 3)), pngChunk("IDAT", {}),
                 pngChunk("IDAT", PngBytes(split.begin() + 3, split.end())), pngChunk("zzZz", {1, 2})}),
        grey3x3({pngChunk("sRGB", {0}), pngChunk("iCCP", {'p', 0, 0, 1}), idat(kRaw), pngChunk("tEXt", {'a', 0})}),
    };
    for (const PngBytes& file : files) {
        const Outcome outcome = run(file);
        EXPECT_EQ(outcome.refusal, "");
        EXPECT_EQ(outcome.failure, "");
        EXPECT_EQ(outcome.pixels, (PngBytes{10, 20, 30, 40, 50, 60, 70, 80, 90}));
    }
    MemoryBytes source(files.back().data(), files.back().size());
    const OpenedSource opened = openPng(source);
    ASSERT_EQ(opened.report.lines.size(), 3u);
    EXPECT_EQ(opened.report.lines[2],
              "Carries an sRGB intent (sRGB), an ICC profile (iCCP): not applied, samples are taken as stored.");
}

// 7 x 5 RGB 16-bit, interlaced, its data in IDATs of 4 bytes: every prefix of the file is refused
// (none has its IEND), and every cut of the compressed stream, with the chunks kept whole around
// it, either is refused at open or fails while decoding; never a crash or a read outside.
TEST(PngRefusal, EveryCutOfTheFileOrOfItsStreamIsRefusedOrFails) {
    PngBytes raw;
    std::uint8_t value = 1;
    // Adam7 rows of 7 x 5: passes 1-7 have widths 1,1,2,2,4,3,7 and heights 1,1,1,2,1,3,2.
    const int widths[] = {1, 1, 2, 2, 4, 3, 7}, heights[] = {1, 1, 1, 2, 1, 3, 2};
    for (int p = 0; p < 7; ++p)
        for (int r = 0; r < heights[p]; ++r) {
            raw.push_back(static_cast<std::uint8_t>(r % 5));
            for (int b = 0; b < widths[p] * 6; ++b) raw.push_back(value += 37);
        }
    const PngBytes stream = zlibStream(raw);
    const auto fileWith = [](const PngBytes& data) {
        std::vector<PngBytes> chunks{pngChunk("gAMA", {0, 0, 177, 143})};
        for (std::size_t at = 0; at < data.size(); at += 4)
            chunks.push_back(pngChunk("IDAT", PngBytes(data.begin() + at, data.begin() + std::min(at + 4, data.size()))));
        if (data.empty()) chunks.push_back(pngChunk("IDAT", {}));
        return pngFile(pngHeaderData(7, 5, 16, 2, 1), chunks);
    };
    const PngBytes whole = fileWith(stream);
    const Outcome good = run(whole);
    ASSERT_EQ(good.failure, "");
    ASSERT_EQ(good.pixels.size(), 7u * 5 * 6);
    for (std::size_t size = 0; size < whole.size(); ++size) {
        SCOPED_TRACE("prefix " + std::to_string(size));
        EXPECT_NE(run(PngBytes(whole.begin(), whole.begin() + size)).refusal, "");
    }
    for (std::size_t size = 0; size < stream.size(); ++size) {
        SCOPED_TRACE("stream cut at " + std::to_string(size));
        const Outcome cut = run(fileWith(PngBytes(stream.begin(), stream.begin() + size)));
        EXPECT_TRUE(!cut.refusal.empty() || !cut.failure.empty());
    }
}

}  // namespace
}  // namespace kelvarin
