// The TIFF header step on hand-built files: every stop of the tag table and the file checks,
// the logged entries and the destination value fields it prepares.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "support/scripted_port.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

Bytes rampPixels(std::size_t bytes) {
    Bytes b(bytes);
    for (std::size_t i = 0; i < bytes; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
}

TiffBuilder rgb48(bool big, std::uint32_t w = 5, std::uint32_t l = 4) {
    return TiffBuilder::rgb(big, w, l, 16, 0, rampPixels(std::size_t{w} * l * 6));
}

// The lines logged just before the source's closing lines.
std::vector<std::string> linesBeforeClose(const std::vector<std::string>& log, std::size_t count) {
    const auto closed = std::find(log.begin(), log.end(), "Closed file:");
    if (closed == log.end() || static_cast<std::size_t>(closed - log.begin()) < count) return {};
    return std::vector<std::string>(closed - static_cast<std::ptrdiff_t>(count), closed);
}

bool logHas(const std::vector<std::string>& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

struct StopCase {
    const char* name;
    std::function<void(TiffBuilder&)> change;
    bool teRaw;
    const char* box;  // "CAPTION: TEXT"
    std::vector<std::string> lines;
};

class TiffReaderStops : public ::testing::TestWithParam<StopCase> {};

// Shapes this reader refuses that the general TIFF reader takes over (outside TE>Raw): the file
// converts (""), or its pixel data fail to decode with that reader's box, after the Save dialog.
const std::map<std::string, std::string> kReadByTheGeneralReader = {
    {"GreyInNormalMode", ""},
    {"TwelveBits", ""},
    {"TwelveBitsAndLzwStopsAt258", "KELVARIN - TIFF.: Strip 0 holds damaged LZW data."},
    {"Lzw", "KELVARIN - TIFF.: Strip 0 holds damaged LZW data."},
    {"FourSamples", "KELVARIN - TIFF.: Strip 0 holds fewer bytes than its rows need."},
    {"UnknownSampleFormat", ""},  // SampleFormat 4, "undefined": taken as unsigned, as libtiff does
    {"NoBitsPerSample", ""},      // BitsPerSample's default, 1
    {"StripsHoldLessThanTheImage", "KELVARIN - TIFF.: Strip 0 holds fewer bytes than its rows need."},
    {"StripCountsDiffer", ""},
    {"BitsPerSampleAsLong", ""},
    {"HalfFloats", ""},
};

TEST_P(TiffReaderStops, RefusesWithItsBoxAndLinesAndWritesNothing) {
    const StopCase& c = GetParam();
    const auto general = kReadByTheGeneralReader.find(c.name);
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        TempDir dir;
        TiffBuilder builder = rgb48(big);
        c.change(builder);
        Bytes file = builder.build();
        writeBytes(dir.file("in.tif"), file);
        Harness h;
        h.session.options.teRawMode = c.teRaw;
        const int result = h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")});
        if (general != kReadByTheGeneralReader.end() && !c.teRaw) {
            if (general->second.empty()) {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(h.port.boxTexts(), std::vector<std::string>{"KELVARIN - Success.: TIF Conversion concluded."});
                EXPECT_TRUE(exists(dir.file("out.tif")));
            } else {
                EXPECT_EQ(result, 0);
                EXPECT_EQ(h.port.boxTexts(),
                          (std::vector<std::string>{general->second, "KELVARIN - Error.: There were errors."}));
                EXPECT_FALSE(exists(dir.file("out.tif")));
            }
            continue;
        }
        EXPECT_EQ(result, 0);
        ASSERT_EQ(h.port.boxTexts(),
                  (std::vector<std::string>{c.box, "KELVARIN - Error.: There were errors."}));
        EXPECT_EQ(h.port.boxes.front().icon, MessageIcon::Error);
        EXPECT_EQ(linesBeforeClose(h.port.log, c.lines.size()), c.lines);
        ASSERT_GE(h.port.log.size(), 3u);
        EXPECT_EQ(h.port.log[h.port.log.size() - 2], std::string(72, '-'));
        EXPECT_EQ(h.port.log.back(), std::string(72, '='));
        EXPECT_EQ(h.port.dialogs.size(), 1u) << "no Save dialog after a refusal";
        EXPECT_FALSE(exists(dir.file("out.tif")));
    }
}

void setValue(TiffBuilder& b, std::uint16_t tag, std::vector<std::uint32_t> values) { b.find(tag)->values = values; }

const StopCase kStops[] = {
    {"GreyInNormalMode", [](TiffBuilder& b) { *b.find(258) = {258, kShortType, 1, {16}}; }, false,
     "KELVARIN - Tag issue.: Tag 258 issue: not 3 values.",
     {" 258 BitsPerSample = 1", "Interpreting IFD tags, expecting 3.", ">>> Not a Bryce exported TIF file. STOP!"}},
    {"Grey8InTeRaw", [](TiffBuilder& b) { *b.find(258) = {258, kShortType, 1, {8}}; }, true,
     "KELVARIN - Tag issue.: Tag 258 issue: not 1 value or not 16 bit.",
     {"Interpreting IFD tags, expecting 1.", ">>> Not a Bryce Terrain Editor exported TIF file. STOP!"}},
    {"FourSamplesInTeRaw", [](TiffBuilder& b) { *b.find(258) = {258, kShortType, 4, {16, 16, 16, 16}}; }, true,
     "KELVARIN - Tag issue.: Tag 258 issue: not 1 value or not 16 bit.",
     {"Interpreting IFD tags, expecting 1.", ">>> Not a Bryce Terrain Editor exported TIF file. STOP!"}},
    {"TwelveBits", [](TiffBuilder& b) { setValue(b, 258, {12, 12, 12}); }, false,
     "KELVARIN - Tag issue.: Tag 258 issue: not 8, 16 or 32 bit per colour.",
     {"Interpreting IFD tags, expecting 8/16/32 but got 12 bits instead.",
      ">>> Not a Bryce saved or exported TIF file. STOP!"}},
    {"TwelveBitsAndLzwStopsAt258",
     [](TiffBuilder& b) {
         setValue(b, 258, {12, 12, 12});
         setValue(b, 259, {5});
     },
     false, "KELVARIN - Tag issue.: Tag 258 issue: not 8, 16 or 32 bit per colour.",
     {" 258 BitsPerSample = 3", "Interpreting IFD tags, expecting 8/16/32 but got 12 bits instead.",
      ">>> Not a Bryce saved or exported TIF file. STOP!"}},
    {"Lzw", [](TiffBuilder& b) { setValue(b, 259, {5}); }, false,
     "KELVARIN - File issue.: Tag 259 issue: has data compression.",
     {" 259 Compression = 5", "Interpreting tags, expecting 1.", ">>> Not a Bryce exported 48-bit TIF file. STOP!"}},
    {"FourSamples", [](TiffBuilder& b) { setValue(b, 277, {4}); }, false,
     "KELVARIN - Tag issue.: Tag 277 issue: not 3 bytes.",
     {" 277 SamplesPerPixel = 4", "Interpreting tags, expecting 3.",
      ">>> Not a Bryce exported 48 or 96-bit TIF file. STOP!"}},
    {"Planar", [](TiffBuilder& b) { setValue(b, 284, {2}); }, false,
     "KELVARIN - Tag issue.: Tag 284 issue: planes, not triplets.",
     {" 284 PlanarConfiguration = 2", "Interpreting tags, expecting 1.",
      ">>> Not a Bryce exported 48-bit TIF file. STOP!"}},
    {"PlanarInTeRaw", [](TiffBuilder& b) { setValue(b, 284, {2}); }, true,
     "KELVARIN - Tag issue.: Tag 284 issue: planes, not triplets.",
     {"Interpreting tags, expecting 1.", ">>> Not a Bryce exported 48-bit TIF file. STOP!"}},
    {"UnknownSampleFormat", [](TiffBuilder& b) { b.entries.push_back({339, kShortType, 3, {4, 4, 4}}); }, false,
     "KELVARIN - Tag issue.: Tag 339 issue: sample format unknown.",
     {" 339 Sample Format = Undefined or unknown. Cannot interpret data.",
      ">>> Not a Bryce exported 48-bit TIF file. STOP!"}},
    {"NoWidth", [](TiffBuilder& b) { b.remove(256); }, false,
     "KELVARIN - File issue.: TIF file issue: no ImageWidth (256) tag.", {">>> Not a complete TIF file. STOP!"}},
    {"NoLength", [](TiffBuilder& b) { b.remove(257); }, false,
     "KELVARIN - File issue.: TIF file issue: no ImageLength (257) tag.", {">>> Not a complete TIF file. STOP!"}},
    {"NoBitsPerSample", [](TiffBuilder& b) { b.remove(258); }, false,
     "KELVARIN - File issue.: TIF file issue: no BitsPerSample (258) tag.", {">>> Not a complete TIF file. STOP!"}},
    {"NoStripOffsets", [](TiffBuilder& b) { b.remove(273); }, false,
     "KELVARIN - File issue.: TIF file issue: no StripOffsets (273) tag.", {">>> Not a complete TIF file. STOP!"}},
    {"ZeroWidth", [](TiffBuilder& b) { setValue(b, 256, {0}); }, false,
     "KELVARIN - Tag issue.: Tag 256 issue: image size not 1 to 65535 pixels.",
     {" 256 ImageWidth = 0", ">>> Image too large or empty. STOP!"}},
    {"HugeLength", [](TiffBuilder& b) { *b.find(257) = {257, kLongType, 1, {70000}}; }, false,
     "KELVARIN - Tag issue.: Tag 257 issue: image size not 1 to 65535 pixels.",
     {" 257 ImageLength = 70000", ">>> Image too large or empty. STOP!"}},
    {"RationalWidth", [](TiffBuilder& b) { *b.find(256) = {256, kRationalType, 1, {20}}; }, false,
     "KELVARIN - Tag issue.: Tag 256 issue: field type is neither SHORT nor LONG.",
     {"Interpreting tags, expecting SHORT or LONG.", ">>> Not a readable TIF file. STOP!"}},
    {"AsciiStripOffsets", [](TiffBuilder& b) { b.find(273)->type = kAsciiType; }, false,
     "KELVARIN - Tag issue.: Tag 273 issue: field type is neither SHORT nor LONG.",
     {"Interpreting tags, expecting SHORT or LONG.", ">>> Not a readable TIF file. STOP!"}},
    {"PixelsBeyondTheEnd", [](TiffBuilder& b) { b.pixels.resize(b.pixels.size() - 1); }, false,
     "KELVARIN - File issue.: TIF file issue: the image data lies beyond the end of the file.",
     {">>> Source file is truncated. STOP!"}},
    {"StripOffsetBeyondTheEnd", [](TiffBuilder& b) { setValue(b, 273, {900000}); }, false,
     "KELVARIN - File issue.: TIF file issue: the image data lies beyond the end of the file.",
     {">>> Source file is truncated. STOP!"}},
    {"StripsHoldLessThanTheImage", [](TiffBuilder& b) { setValue(b, 279, {119}); }, false,
     "KELVARIN - File issue.: TIF file issue: the strips hold less than the image.",
     {">>> Source file is truncated. STOP!"}},
    {"StripCountsDiffer",
     [](TiffBuilder& b) {
         *b.find(273) = {273, kShortType, 2, {kPixelDataOffset, kPixelDataOffset}};
     },
     false, "KELVARIN - File issue.: TIF file issue: StripOffsets and StripByteCounts do not match.",
     {">>> Not a readable TIF file. STOP!"}},
    {"BitsPerSampleAsLong", [](TiffBuilder& b) { b.find(258)->type = kLongType; }, false,
     "KELVARIN - Tag issue.: Tag 258 issue: field type is neither SHORT nor LONG.",
     {"Interpreting tags, expecting SHORT or LONG.", ">>> Not a readable TIF file. STOP!"}},
    {"HalfFloats", [](TiffBuilder& b) { b.entries.push_back({339, kShortType, 3, {3, 3, 3}}); }, false,
     "KELVARIN - Tag issue.: Tag 339 issue: floating point needs 32 bits per colour.",
     {">>> Not a Bryce exported 96-bit TIF file. STOP!"}},
    {"IfdRunsOffTheEnd", [](TiffBuilder& b) { b.countOverride = 2000; }, false,
     "KELVARIN - File issue.: TIF file issue: the image file directory runs past the end of the file.",
     {"Number of tags (Bryce notes 17 but has 18): 2001", ">>> IFD runs past the end of the file. STOP!"}},
};

INSTANTIATE_TEST_SUITE_P(TagTable, TiffReaderStops, ::testing::ValuesIn(kStops),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TiffReader, IfdStartBeyondTheFileIsRefused) {
    TempDir dir;
    Bytes file = rgb48(false).build();
    file[4] = 0xF0;  // IFD offset 0x...F0 08 -> far beyond the file
    file[5] = 0xFF;
    writeBytes(dir.file("in.tif"), file);
    Harness h;
    EXPECT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}), 0);
    ASSERT_FALSE(h.port.boxTexts().empty());
    EXPECT_EQ(h.port.boxTexts().front(),
              "KELVARIN - File issue.: TIF file issue: the image file directory lies beyond the end of the file.");
    EXPECT_FALSE(exists(dir.file("out.tif")));
}

TEST(TiffReader, LogsEveryEntryAndTwoExtraSlots) {
    TempDir dir;
    TiffBuilder b = rgb48(false, 1024, 1);
    b.entries.push_back({305, kAsciiType, 4, {0x00414141}});
    b.entries.push_back({700, kLongType, 1, {0}});
    writeBytes(dir.file("in.tif"), b.build());
    Harness h;
    ASSERT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}), 1) << h.port.boxTexts().front();
    const auto& log = h.port.log;
    const auto at = std::find(log.begin(), log.end(), "TIF Version (usually 42): 42");
    ASSERT_NE(at, log.end());
    const std::vector<std::string> expected = {
        "TIF Version (usually 42): 42",
        "IFD start address (usually 8 for Bryce): 8",
        "Number of tags (Bryce notes 17 but has 18): 14",
        " 254 NewSubfile (skipped)",
        " 256 ImageWidth = 1024",
        " 257 ImageLength = 1",
        " 258 BitsPerSample = 3",
        " --> 48-bit per pixel source file.",
        " 259 Compression = 1",
        " 262 PhotometricInterpretation (skipped)",
        " 273 StripOffset (DataStart) =" + std::string(" ") + std::to_string(b.pixelOffset()),
        " 277 SamplesPerPixel = 3",
        " 278 RowsPerStrip = 1",
        " 279 StripByteCounts: 6144 bytes (skipped)",
        " 284 PlanarConfiguration = 1",
        " 305 Software (Bryce points into image data)",
        " 700 Not needed (ignored)",
        " 0 Not needed (ignored)",  // the next-IFD offset 0
        " 6161 Not needed (ignored)",  // pixel bytes 11 18 behind the BitsPerSample values
        "DONE reading and interpreting IFD.",
        "",
        "Save file opened:",
    };
    ASSERT_GE(static_cast<std::size_t>(log.end() - at), expected.size());
    EXPECT_EQ(std::vector<std::string>(at, at + static_cast<std::ptrdiff_t>(expected.size())), expected);
}

// The value field of entry k (0-based) of our 17-entry output IFD.
Bytes outputField(const Bytes& out, int k) { return Bytes(out.begin() + 18 + 12 * k, out.begin() + 22 + 12 * k); }

struct FieldCase {
    const char* name;
    bool big;
    bool swap;
    std::uint16_t widthType;
    Bytes widthField;   // ImageWidth 1024
    Bytes lengthField;  // ImageLength 3 (SHORT)
};

class TiffReaderFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(TiffReaderFields, DestinationFieldsFollowTheSourceEntries) {
    const FieldCase& c = GetParam();
    TempDir dir;
    TiffBuilder b = rgb48(c.big, 1024, 3);
    *b.find(256) = {256, c.widthType, 1, {1024}};
    writeBytes(dir.file("in.tif"), b.build());
    Harness h;
    h.session.options.swapByteOrder = c.swap;
    ASSERT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}), 1);
    const Bytes out = readBytes(dir.file("out.tif"));
    ASSERT_EQ(out.size(), 302u + 1024 * 3 * 2);
    EXPECT_EQ(out[0], (c.big != c.swap) ? 'M' : 'I');
    EXPECT_EQ(outputField(out, 1), c.widthField);
    EXPECT_EQ(outputField(out, 2), c.lengthField);
    EXPECT_EQ(outputField(out, 9), c.lengthField) << "RowsPerStrip";
    const std::uint32_t bytes = 1024 * 3 * 2;  // 00 00 18 00
    const Bytes little = {static_cast<std::uint8_t>(bytes), static_cast<std::uint8_t>(bytes >> 8), 0, 0};
    const Bytes bigBytes = {0, 0, static_cast<std::uint8_t>(bytes >> 8), static_cast<std::uint8_t>(bytes)};
    EXPECT_EQ(outputField(out, 10), (c.big != c.swap) ? bigBytes : little) << "StripByteCounts";
}

const FieldCase kFields[] = {
    {"MmLong", true, false, kLongType, {0x04, 0x00, 0, 0}, {0x00, 0x03, 0, 0}},
    {"MmLongSwapped", true, true, kLongType, {0x00, 0x04, 0, 0}, {0x03, 0x00, 0, 0}},
    {"MmShort", true, false, kShortType, {0x04, 0x00, 0, 0}, {0x00, 0x03, 0, 0}},
    {"IiLong", false, false, kLongType, {0x00, 0x04, 0, 0}, {0x03, 0x00, 0, 0}},
    {"IiShortSwapped", false, true, kShortType, {0x04, 0x00, 0, 0}, {0x00, 0x03, 0, 0}},
};

INSTANTIATE_TEST_SUITE_P(ValueFields, TiffReaderFields, ::testing::ValuesIn(kFields),
                         [](const auto& info) { return std::string(info.param.name); });

// Converts and returns the output's samples as little-endian bytes.
Bytes convertToSamples(const Bytes& source, bool* ok = nullptr, Harness* harness = nullptr) {
    TempDir dir;
    writeBytes(dir.file("in.tif"), source);
    Harness local;
    Harness& h = harness ? *harness : local;
    const int result = h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")});
    if (ok) *ok = result == 1;
    Bytes out = readBytes(dir.file("out.tif"));
    if (out.size() < 302) return {};
    Bytes samples(out.begin() + 302, out.end());
    if (out[0] == 'M')
        for (std::size_t i = 0; i + 1 < samples.size(); i += 2) std::swap(samples[i], samples[i + 1]);
    return samples;
}

TEST(TiffReader, UnusualButValidLayoutsConvertLikeTheUsualOne) {
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        bool ok = false;
        const Bytes reference = convertToSamples(rgb48(big).build(), &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(reference.size(), 5u * 4 * 2);

        const std::vector<std::pair<const char*, std::function<void(TiffBuilder&)>>> variants = {
            {"IFD at offset 40", [](TiffBuilder& b) { b.ifdOffset = 40; }},
            {"SHORT StripOffsets", [](TiffBuilder& b) { b.find(273)->type = kShortType; }},
            {"SHORT StripByteCounts", [](TiffBuilder& b) { b.find(279)->type = kShortType; }},
            {"LONG RowsPerStrip", [](TiffBuilder& b) { b.find(278)->type = kLongType; }},
            {"RowsPerStrip 2^32-1", [](TiffBuilder& b) { *b.find(278) = {278, kLongType, 1, {0xFFFFFFFFu}}; }},
            {"no RowsPerStrip", [](TiffBuilder& b) { b.remove(278); }},
            {"no StripByteCounts", [](TiffBuilder& b) { b.remove(279); }},
            {"padded strip", [](TiffBuilder& b) {
                 b.pixels.resize(b.pixels.size() + 10, 0xEE);
                 b.find(279)->values = {static_cast<std::uint32_t>(b.pixels.size())};
             }},
            {"RowsPerStrip 2 in a single strip", [](TiffBuilder& b) { b.find(278)->values = {2}; }},
            {"SampleFormat in its value field", [](TiffBuilder& b) { b.entries.push_back({339, kShortType, 1, {1}}); }},
            {"signed samples", [](TiffBuilder& b) { b.entries.push_back({339, kShortType, 3, {2, 2, 2}}); }},
        };
        for (const auto& [name, change] : variants) {
            SCOPED_TRACE(name);
            TiffBuilder b = rgb48(big);
            change(b);
            Harness h;
            const Bytes samples = convertToSamples(b.build(), &ok, &h);
            EXPECT_TRUE(ok) << (h.port.boxes.empty() ? "" : h.port.boxes.front().text);
            EXPECT_EQ(samples, reference);
        }
    }
}

TEST(TiffReader, OutputRowsPerStripIsTheLengthWhateverTheSourceSays) {
    for (const bool big : {false, true}) {
        for (const std::uint32_t rows : {1u, 2u, 4u, 9u}) {
            SCOPED_TRACE(std::to_string(big) + " rows " + std::to_string(rows));
            TiffBuilder b = rgb48(big, 5, 4);
            b.find(278)->values = {rows};
            TempDir dir;
            writeBytes(dir.file("in.tif"), b.build());
            Harness h;
            ASSERT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}), 1);
            const Bytes out = readBytes(dir.file("out.tif"));
            EXPECT_EQ(outputField(out, 9), big ? Bytes({0, 4, 0, 0}) : Bytes({4, 0, 0, 0}));
        }
    }
}

TEST(TiffReader, StripsAnywhereInTheFileAreReadInOrder) {
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        const Bytes pixels = rampPixels(5 * 4 * 6);
        bool ok = false;
        const Bytes reference = convertToSamples(TiffBuilder::rgb(big, 5, 4, 16, 0, pixels).build(), &ok);
        ASSERT_TRUE(ok);
        // Four one-row strips stored in the order 2, 0, 3, 1, with a gap of junk between them.
        TiffBuilder b = TiffBuilder::rgb(big, 5, 4, 16, 0, {});
        const std::uint32_t row = 5 * 6;
        const int order[] = {2, 0, 3, 1};
        b.find(278)->values = {1};
        *b.find(273) = {273, kLongType, 4, {0, 0, 0, 0}};
        *b.find(279) = {279, kShortType, 4, {row, row, row, row}};
        const std::uint32_t base = b.pixelOffset();
        for (int slot = 0; slot < 4; ++slot) {
            const int strip = order[slot];
            b.find(273)->values[static_cast<std::size_t>(strip)] = base + static_cast<std::uint32_t>(slot) * (row + 3);
            b.pixels.insert(b.pixels.end(), pixels.begin() + strip * row, pixels.begin() + (strip + 1) * row);
            b.pixels.insert(b.pixels.end(), {0xAB, 0xCD, 0xEF});
        }
        Harness h;
        const Bytes samples = convertToSamples(b.build(), &ok, &h);
        ASSERT_TRUE(ok) << (h.port.boxes.empty() ? "" : h.port.boxes.front().text);
        EXPECT_EQ(samples, reference);
        EXPECT_TRUE(logHas(h.port.log, " 273 StripOffset (DataStart) = " + std::to_string(base + 3 + row)));
        EXPECT_TRUE(logHas(h.port.log, " 279 StripByteCounts: 120 bytes (skipped)"));
        // Progress steps as for the single strip: 5 blocks of 4 pixels.
        EXPECT_EQ(h.port.ranges.back(), (std::pair<int, int>{1, 5}));
    }
}

TEST(TiffReader, ExtraSlotsPastTheEndOfASmallFileReadAsZero) {
    // Pixel data first, the IFD last: the two slots behind it lie partly beyond the file.
    const Bytes pixels = rampPixels(2 * 2 * 6);
    TiffBuilder b = TiffBuilder::rgb(false, 2, 2, 16, 0, {});
    b.find(273)->values = {8};
    b.find(279)->values = {static_cast<std::uint32_t>(pixels.size())};
    b.ifdOffset = static_cast<std::uint32_t>(8 + pixels.size());
    Bytes file = b.build();
    std::copy(pixels.begin(), pixels.end(), file.begin() + 8);
    // The only array (BitsPerSample, 6 bytes) follows the next-IFD word; the extra slots need 24.
    ASSERT_LT(file.size(), b.ifdOffset + 2 + 12 * b.entries.size() + 24);
    TempDir dir;
    writeBytes(dir.file("in.tif"), file);
    Harness h;
    ASSERT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")}), 1);
    const auto done = std::find(h.port.log.begin(), h.port.log.end(), "DONE reading and interpreting IFD.");
    ASSERT_NE(done, h.port.log.end());
    EXPECT_EQ(*(done - 1), " 0 Not needed (ignored)");
    EXPECT_EQ(*(done - 2), " 0 Not needed (ignored)");
}

}  // namespace
}  // namespace kelvarin::test
