// Radiance jobs end to end: hand-built and tool-written files through the menu command, checked
// against a reference computed here directly from the formulas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "base/number_text.h"
#include "support/reference.h"
#include "support/rgbe_encoding.h"
#include "support/sample_sources.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "ui/ids.h"

namespace kelvarin {
namespace {

using test::Bytes;
using test::Harness;
using test::TempDir;

using Pixel = test::RgbePixel;
using test::encodeRgbe;

std::string standardHeader(std::uint32_t width, std::uint32_t length, const std::string& extra = "") {
    return "#?RADIANCE\n# test image\nFORMAT=32-bit_rle_rgbe\n" + extra + "\n-Y " + std::to_string(length) +
           " +X " + std::to_string(width) + "\n";
}

// ---- reading them back, independently of the program ------------------------------------------

// Decodes a whole new-RLE file the plain way; empty on anything unexpected.
std::vector<Pixel> referenceDecode(const Bytes& file, std::uint32_t& width, std::uint32_t& length) {
    const std::string text(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(file.size(), 1024)));
    const std::size_t res = text.find("\n-Y ");
    if (res == std::string::npos) return {};
    unsigned h = 0, w = 0;
    if (std::sscanf(text.c_str() + res + 1, "-Y %u +X %u", &h, &w) != 2) return {};
    width = w;
    length = h;
    std::size_t at = text.find('\n', res + 1) + 1;
    std::vector<Pixel> px(static_cast<std::size_t>(w) * h);
    for (unsigned r = 0; r < h; ++r) {
        if (at + 4 > file.size() || file[at] != 2 || file[at + 1] != 2) return {};
        at += 4;
        for (int c = 0; c < 4; ++c) {
            std::vector<std::uint8_t> row;
            while (row.size() < w) {
                if (at >= file.size()) return {};
                const unsigned n = file[at++];
                if (n > 128) {
                    row.insert(row.end(), n - 128, file[at++]);
                } else {
                    for (unsigned k = 0; k < n; ++k) row.push_back(file[at++]);
                }
            }
            for (unsigned x = 0; x < w; ++x) {
                Pixel& p = px[r * w + x];
                (c == 0 ? p.r : c == 1 ? p.g : c == 2 ? p.b : p.e) = row[x];
            }
        }
    }
    return px;
}

struct Reference {
    std::vector<std::uint16_t> samples;
    float lowest, highest, range;
    double boost;
};

Reference referenceSamples(std::vector<Pixel> px, const ConversionOptions& o) {
    for (std::size_t i = 1; i + 1 < px.size(); ++i)
        if (px[i].e == 0) px[i].e = px[i - 1].e;
    Reference ref;
    ref.highest = static_cast<float>(std::pow(static_cast<long double>(8.1f), -37.0L));
    ref.lowest = static_cast<float>(std::pow(static_cast<long double>(3.1f), 38.0L));
    std::vector<float> grey;
    for (const Pixel& p : px) {
        const float v = test::referenceRgbeGrey(o.colourWeighting, p.r, p.g, p.b, p.e);
        ref.highest = std::max(ref.highest, v);
        ref.lowest = std::min(ref.lowest, v);
        grey.push_back(v);
    }
    ref.range = static_cast<float>(static_cast<long double>(ref.highest) - ref.lowest);
    ref.boost = static_cast<double>(65535.0L * (1.0L / ref.range));
    test::ReferenceTone tone;
    tone.gamma = o.boostContrast || o.posteriseSteps > 0;
    tone.fStop = (o.fStopX2 ? 2 : 1) * (o.fStopX4 ? 4 : 1);
    tone.step = o.posteriseSteps ? 65535 / static_cast<std::uint32_t>(o.posteriseSteps) : 0;
    tone.invert = o.invert;
    for (float v : grey) ref.samples.push_back(test::referenceToneSample(v, ref.highest, ref.lowest, tone));
    ref.samples.back() = ref.samples[ref.samples.size() - 2];
    return ref;
}

// ---- the output file ---------------------------------------------------------------------------

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The value of a one-count IFD entry of the little-endian 302-byte header.
std::uint32_t tagValue(const Bytes& tif, std::uint16_t tag) {
    for (std::size_t e = 10; e + 12 <= 10 + 17 * 12; e += 12) {
        if ((tif[e] | tif[e + 1] << 8) != tag) continue;
        const unsigned type = tif[e + 2] | tif[e + 3] << 8;
        return type == 3 ? (tif[e + 8] | tif[e + 9] << 8) : le32(tif, e + 8);
    }
    return 0xFFFFFFFF;
}

std::vector<std::uint16_t> samplesOf(const Bytes& tif) {
    std::vector<std::uint16_t> s;
    for (std::size_t at = 302; at + 1 < tif.size(); at += 2) s.push_back(static_cast<std::uint16_t>(tif[at] | tif[at + 1] << 8));
    return s;
}

void expectValidOutput(const Bytes& tif, std::uint32_t width, std::uint32_t length) {
    ASSERT_GE(tif.size(), 302u);
    EXPECT_EQ(tif[0], 'I');
    EXPECT_EQ(tif[1], 'I');
    EXPECT_EQ(tagValue(tif, 256), width);
    EXPECT_EQ(tagValue(tif, 257), length);
    EXPECT_EQ(tagValue(tif, 278), length);
    EXPECT_EQ(tagValue(tif, 279), 2u * width * length);
    EXPECT_EQ(tif.size(), 302u + 2u * width * length);
}

std::vector<Pixel> testPixels(std::uint32_t width, std::uint32_t length, unsigned seed, int eLow, int eHigh) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte(0, 255), exponent(eLow, eHigh), pick(0, 9);
    std::vector<Pixel> px(static_cast<std::size_t>(width) * length);
    for (std::size_t i = 0; i < px.size(); ++i) {
        const int kind = pick(random);
        if (kind == 0 && i > 0) {
            px[i] = px[i - 1];  // runs
        } else if (kind == 1) {
            px[i] = {0, 0, 0, 0};  // black
        } else {
            px[i] = {static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(byte(random)),
                     static_cast<std::uint8_t>(byte(random)), static_cast<std::uint8_t>(exponent(random))};
        }
    }
    return px;
}

std::string optionsName(const ConversionOptions& o) {
    const char* names[] = {"average", "tv", "hdtv", "red", "green", "blue"};
    return std::string(names[static_cast<int>(o.colourWeighting)]) + (o.boostContrast ? " boost" : "") +
           (o.invert ? " invert" : "") + (o.fStopX2 ? " x2" : "") + (o.fStopX4 ? " x4" : "") +
           (o.posteriseSteps ? " posterise " + std::to_string(o.posteriseSteps) : "") + (o.swapByteOrder ? " swap" : "");
}

std::vector<ConversionOptions> optionTable() {
    std::vector<ConversionOptions> table;
    for (int w = 0; w < 6; ++w) {
        ConversionOptions o;
        o.colourWeighting = static_cast<ColourWeighting>(w);
        table.push_back(o);
        ConversionOptions b = o;
        b.boostContrast = true;
        table.push_back(b);
    }
    const auto with = [&](auto change) {
        ConversionOptions o;
        change(o);
        table.push_back(o);
    };
    with([](ConversionOptions& o) { o.fStopX2 = true; });
    with([](ConversionOptions& o) { o.fStopX4 = true; });
    with([](ConversionOptions& o) { o.fStopX2 = o.fStopX4 = true; o.boostContrast = true; });
    with([](ConversionOptions& o) { o.invert = true; });
    with([](ConversionOptions& o) { o.invert = true; o.boostContrast = true; });
    with([](ConversionOptions& o) { o.swapByteOrder = true; });
    for (int steps : {4, 5, 6, 8, 12, 16}) with([steps](ConversionOptions& o) { o.posteriseSteps = steps; });
    with([](ConversionOptions& o) { o.posteriseSteps = 4; o.invert = true; o.colourWeighting = ColourWeighting::TV; });
    with([](ConversionOptions& o) { o.posteriseSteps = 8; o.fStopX2 = true; o.colourWeighting = ColourWeighting::HDTV; });
    return table;
}

struct Converted {
    int result;
    Bytes output;
    std::vector<std::string> log, boxes;
    bool destinationExists;
    std::size_t dialogs;
};

Converted convert(const std::string& source, const std::string& destination, const ConversionOptions& options,
                  int command = ids::OpenHdr) {
    Harness h;
    h.session.options = options;
    h.port.log.clear();
    Converted c;
    c.result = h.run(command, {source, destination});
    c.log = h.port.log;
    c.boxes = h.port.boxTexts();
    c.destinationExists = test::exists(destination);
    if (c.destinationExists) c.output = test::readBytes(destination);
    c.dialogs = h.port.dialogs.size();
    return c;
}

// ---- the tests ---------------------------------------------------------------------------------

TEST(RadianceConversion, EveryOptionMatchesTheReference) {
    TempDir dir;
    const std::uint32_t width = 300, length = 3;
    const std::vector<Pixel> px = testPixels(width, length, 7, 124, 132);
    const std::string source = dir.file("mixed.hdr");
    test::writeBytes(source, encodeRgbe(standardHeader(width, length), width, length, px));
    int n = 0;
    for (const ConversionOptions& o : optionTable()) {
        SCOPED_TRACE(optionsName(o));
        const Converted c = convert(source, dir.file("out" + std::to_string(n++) + ".tif"), o);
        ASSERT_EQ(c.result, 1);
        expectValidOutput(c.output, width, length);
        const Reference ref = referenceSamples(px, o);
        const std::vector<std::uint16_t> got = samplesOf(c.output);
        ASSERT_EQ(got.size(), ref.samples.size());
        std::size_t differences = 0;
        for (std::size_t i = 0; i < got.size(); ++i)
            if (got[i] != ref.samples[i] && ++differences < 5) ADD_FAILURE() << "pixel " << i << ": " << got[i] << " != " << ref.samples[i];
        EXPECT_EQ(differences, 0u);
        EXPECT_NE(std::find(c.log.begin(), c.log.end(), "Lowest value: " + numberText(ref.lowest)), c.log.end());
        EXPECT_NE(std::find(c.log.begin(), c.log.end(), "Boost factor: " + numberText(ref.boost)), c.log.end());
    }
}

TEST(RadianceConversion, WideExponentsAndExtremeValues) {
    TempDir dir;
    const std::uint32_t width = 256, length = 4;
    std::vector<Pixel> px = testPixels(width, length, 11, 1, 255);
    px[5] = {255, 255, 255, 255};  // the largest value a pixel can hold
    px[6] = {0, 0, 0, 1};
    const std::string source = dir.file("wide.hdr");
    test::writeBytes(source, encodeRgbe(standardHeader(width, length), width, length, px));
    for (ConversionOptions o : {ConversionOptions{}, ConversionOptions{ColourWeighting::TV, true}}) {
        const Converted c = convert(source, dir.file("wide.tif"), o);
        ASSERT_EQ(c.result, 1);
        EXPECT_EQ(samplesOf(c.output), referenceSamples(px, o).samples);
    }
}

TEST(RadianceConversion, LogLinesProgressAndLastSample) {
    TempDir dir;
    const std::uint32_t width = 256, length = 2;
    std::vector<Pixel> px(width * length, Pixel{100, 100, 100, 128});
    px[10] = {200, 200, 200, 129};  // highest
    px[20] = {0, 0, 0, 0};          // black: takes the exponent before it
    const std::string source = dir.file("lines.hdr");
    test::writeBytes(source, encodeRgbe(standardHeader(width, length, "EXPOSURE=2.5\n"), width, length, px));
    Harness h;
    ASSERT_EQ(h.run(ids::OpenHdr, {source, dir.file("lines.tif")}), 1);
    const float lowest = static_cast<float>(0.5L / 256);  // (0 + 0.5) / 256 x 2^0
    const float highest = static_cast<float>(200.5L / 128);
    const float range = static_cast<float>(static_cast<long double>(highest) - lowest);
    const std::vector<std::string> expected = {
        "#?RADIANCE", "# test image", "FORMAT=32-bit_rle_rgbe", "EXPOSURE = 2.5", "", "Image Length = 2",
        "Image Width = 256", "Save file opened:", dir.file("lines.tif"), "Creating IFD for 16-bit file.",
        "Writing IFD to file", dir.file("lines.tif"), "DONE. Standby for data conversion.", "Starting data conversion.",
        "Decompressing RGBE data", "Decompressed RGBE data and RGBE image created in 0 seconds",
        "Converting RGBE to float to find extreme values", "Established min and max values in image in 0 seconds",
        "Lowest value:  " + std::string(numberText(lowest)).substr(1), "Highest value:  1.566406",
        "Dynamic range: " + numberText(range), "Boost factor: " + numberText(static_cast<double>(65535.0L / range)),
        "Decoding RGBE and converting to integer values", "Conversion done in 0 seconds",
        "DONE. Data conversion completed in 0 seconds"};
    const auto first = std::find(h.port.log.begin(), h.port.log.end(), "#?RADIANCE");
    ASSERT_NE(first, h.port.log.end());
    ASSERT_GE(static_cast<std::size_t>(h.port.log.end() - first), expected.size());
    EXPECT_EQ(std::vector<std::string>(first, first + static_cast<std::ptrdiff_t>(expected.size())), expected);
    EXPECT_EQ(h.port.boxTexts().back(), "KELVARIN - Success.: HDR Conversion concluded.");
    // Three passes, each over the rows 0 .. length - 1 of a 1 .. length bar.
    EXPECT_EQ(std::count(h.port.ranges.begin(), h.port.ranges.end(), std::make_pair(1, 2)), 3);
    EXPECT_EQ(std::count(h.port.positions.begin(), h.port.positions.end(), 1), 3);

    const std::vector<std::uint16_t> s = samplesOf(test::readBytes(dir.file("lines.tif")));
    EXPECT_EQ(s[10], 65535);                      // highest
    EXPECT_EQ(s[s.size() - 1], s[s.size() - 2]);  // the last sample copies the one before
    EXPECT_EQ(s[20], 0);  // black with its neighbour's exponent 128: (0 + 0.5) / 256, the lowest value
    EXPECT_GT(s[0], 0);
}

TEST(RadianceConversion, ProgressReachesTheRowBeforeACorruptOne) {
    // Row 5 of 9 has a new-RLE header with a high byte of 0 in an image 256 wide: the bar moves
    // through rows 0 to 4, band by band, before the job stops, as a decode row by row would have
    // moved it.
    TempDir dir;
    const std::uint32_t width = 256, length = 9;
    Bytes file = test::buildRadiance(width, length);
    const std::size_t header = test::radianceHeaderBytes(width, length);
    file[header + 5 * (file.size() - header) / length + 2] = 0;
    test::writeBytes(dir.file("bad.hdr"), file);
    struct Case {
        std::uint64_t chunkBytes;
        std::vector<int> positions;
    };
    const Case cases[] = {{std::uint64_t{2} << 20, {4}}, {8 * width * 2, {1, 3, 4}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chunkBytes);
        Harness h;
        h.session.conversionChunkBytes = c.chunkBytes;
        ASSERT_EQ(h.run(ids::OpenHdr, {dir.file("bad.hdr"), dir.file("bad.tif")}), 0);
        EXPECT_NE(std::find(h.port.log.begin(), h.port.log.end(), "RLE type 2 header error."), h.port.log.end());
        std::vector<int> moved;
        std::copy_if(h.port.positions.begin(), h.port.positions.end(), std::back_inserter(moved), [](int p) { return p > 0; });
        EXPECT_EQ(moved, c.positions);
    }
}

TEST(RadianceConversion, SpecialImages) {
    TempDir dir;
    const std::uint32_t width = 256, length = 1;
    struct Case {
        const char* name;
        std::vector<Pixel> px;
        ConversionOptions options;
        std::vector<std::uint16_t> allowed;
    };
    std::vector<Pixel> ramp;
    for (std::uint32_t x = 0; x < width; ++x) ramp.push_back({static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x), 128});
    ConversionOptions post4;
    post4.posteriseSteps = 4;
    ConversionOptions post4inv = post4;
    post4inv.invert = true;
    ConversionOptions inv;
    inv.invert = true;
    const Case cases[] = {
        {"uniform image", std::vector<Pixel>(width, Pixel{50, 60, 70, 130}), {}, {65535}},
        {"uniform image inverted", std::vector<Pixel>(width, Pixel{50, 60, 70, 130}), inv, {0}},
        {"posterise 4", ramp, post4, {0, 16383, 32766, 49149, 65532}},
        {"posterise 4 inverted", ramp, post4inv, {65535, 49152, 32769, 16386, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeBytes(dir.file("s.hdr"), encodeRgbe(standardHeader(width, length), width, length, c.px));
        const Converted out = convert(dir.file("s.hdr"), dir.file("s.tif"), c.options);
        ASSERT_EQ(out.result, 1);
        for (std::uint16_t v : samplesOf(out.output))
            EXPECT_NE(std::find(c.allowed.begin(), c.allowed.end(), v), c.allowed.end()) << v;
    }
    // The linear ramp: darkest 0, brightest 65535; with x2 the upper half saturates.
    test::writeBytes(dir.file("ramp.hdr"), encodeRgbe(standardHeader(width, length), width, length, ramp));
    std::vector<std::uint16_t> s = samplesOf(convert(dir.file("ramp.hdr"), dir.file("r.tif"), {}).output);
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[254], 65535 * 254 / 255);
    ConversionOptions x2;
    x2.fStopX2 = true;
    s = samplesOf(convert(dir.file("ramp.hdr"), dir.file("r2.tif"), x2).output);
    EXPECT_EQ(std::count(s.begin(), s.end(), 65535), 128);
}

struct AbortCase {
    const char* name;
    Bytes file;
    std::string box;                   // "CAPTION: TEXT"
    std::vector<std::string> lines;    // consecutive log lines
    bool destinationAsked;
};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(RadianceConversion, RefusalsAndAbortsLeaveNoDestination) {
    TempDir dir;
    const std::vector<Pixel> px = testPixels(300, 2, 3, 120, 135);
    const Bytes good = encodeRgbe(standardHeader(300, 2), 300, 2, px);
    const std::size_t dataStart = standardHeader(300, 2).size();
    // The first row whole, then a row pixel by pixel that ends after 100 of its 300 pixels.
    Bytes flatCut = encodeRgbe(standardHeader(300, 2), 300, 1, px);
    for (int i = 0; i < 100; ++i) flatCut = flatCut + Bytes{130, 20, 40, 129};
    Bytes truncated = good;
    truncated.erase(truncated.end() - 3, truncated.end());
    // The last packet is a literal that claims more bytes than the file has.
    const Bytes crossing = encodeRgbe(standardHeader(300, 2), 300, 1, px) + Bytes{2, 2, 1, 44, 128} + Bytes(50, 7);
    // Only one of the two scanlines.
    Bytes oneRow = encodeRgbe(standardHeader(300, 2), 300, 1, px);

    const std::string radianceBox = "KELVARIN - Radiance: Cannot handle data.";
    const std::string src = dir.file("bad.hdr"), dst = dir.file("bad.tif");
    const std::vector<AbortCase> cases = {
        {"wrong signature", text("#?RGBE\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 300\n") + Bytes(100, 2),
         "KELVARIN - RGBE.: Not a Radiance RGBE file.",
         {"Wrapper does not fit RGBE standard.", ">>> Cannot interpret this file. STOP!", "Closed file:", src}, false},
        {"CRLF signature", text("#?RADIANCE\r\nFORMAT=32-bit_rle_rgbe\r\n\r\n-Y 2 +X 300\r\n") + Bytes(100, 2),
         "KELVARIN - RGBE.: Not a Radiance RGBE file.",
         {"Wrapper does not fit RGBE standard.", ">>> Cannot interpret this file. STOP!", "Closed file:", src}, false},
        {"flat scanline cut short", flatCut, radianceBox,
         {">>> Pixel data ends before the last scanline. STOP!", "Closed file:", src, "Closed and deleted file:", dst,
          std::string(72, '-')}, true},
        {"new-RLE header with a high byte of 0 in a wide image", [&] {
             Bytes b = good;
             b[dataStart + 2] = 0;
             return b;
         }(), radianceBox, {"RLE type 2 header error.", "Closed file:", src, "Closed and deleted file:", dst}, true},
        {"truncated data", truncated, radianceBox,
         {">>> Pixel data ends before the last scanline. STOP!", "Closed file:", src, "Closed and deleted file:", dst}, true},
        {"literal crossing the end of the data", crossing, radianceBox,
         {">>> Pixel data ends before the last scanline. STOP!", "Closed file:", src, "Closed and deleted file:", dst}, true},
        {"a scanline missing", oneRow, radianceBox,
         {">>> Pixel data ends before the last scanline. STOP!", "Closed file:", src, "Closed and deleted file:", dst}, true},
        {"plus Y orientation", text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n+Y 2 +X 300\n") + Bytes(100, 2),
         "KELVARIN - RGBE.: The resolution line of this file is missing or not in the standard orientation (-Y length +X width).",
         {"No -Y length +X width resolution line found.", ">>> Cannot interpret this file. STOP!", "Closed file:", src}, false},
        {"width 0", text(standardHeader(0, 2)) + Bytes(100, 2),
         "KELVARIN - RGBE.: Image size not supported: width and length must be 1 to 65535 pixels.",
         {"Image size out of range.", ">>> Cannot convert this file. STOP!", "Closed file:", src}, false},
        {"length above 65535", text(standardHeader(300, 70000)) + Bytes(100, 2),
         "KELVARIN - RGBE.: Image size not supported: width and length must be 1 to 65535 pixels.",
         {"Image size out of range.", ">>> Cannot convert this file. STOP!"}, false},
        {"more than 4 GB of samples", text(standardHeader(60000, 60000)) + good,
         "KELVARIN - RGBE.: Image too large for a 16-bit TIFF file (4 GB limit).",
         {"Image size out of range.", ">>> Cannot convert this file. STOP!", "Closed file:", src}, false},
        {"far too little data for the size", text(standardHeader(20000, 20000)) + good,
         "KELVARIN - RGBE.: The file is too short for the image size in its header.",
         {"Pixel data too short for the image size.", ">>> Cannot convert this file. STOP!", "Closed file:", src}, false},
        // Enough for old run-length rows (a pixel and two runs each), but 4 GB of picture from
        // 192 KiB of data: a bomb.
        {"old run-length rows claiming gigabytes", text(standardHeader(65535, 16384)) + Bytes(16384 * 12, 2),
         "KELVARIN - RGBE.: The file is too short for the image size in its header.",
         {"Pixel data too short for the image size.", ">>> Cannot convert this file. STOP!", "Closed file:", src}, false},
        {"no line feed after the resolution", text("#?RADIANCE\nFORMAT=x\n\n-Y 2 +X 300"),
         "KELVARIN - RGBE.: No pixel data follows the header of this file.",
         {"No end of the header found.", ">>> Cannot interpret this file. STOP!", "Closed file:", src}, false},
        {"header scan going round forever", text("#?RADIANCE\nSOMETHING=1\nno feed"),
         "KELVARIN - RGBE.: The resolution line of this file is missing or not in the standard orientation (-Y length +X width).",
         {">>> Cannot interpret this file. STOP!", "Closed file:", src}, false},
    };
    for (const AbortCase& c : cases) {
        SCOPED_TRACE(c.name);
        test::writeBytes(src, c.file);
        const Converted out = convert(src, dst, {});
        EXPECT_EQ(out.result, 0);
        EXPECT_FALSE(out.destinationExists);
        ASSERT_GE(out.boxes.size(), 2u);
        EXPECT_EQ(out.boxes[0], c.box);
        EXPECT_EQ(out.boxes.back(), "KELVARIN - Error.: There were errors.");
        EXPECT_EQ(out.dialogs, c.destinationAsked ? 2u : 1u);
        const auto at = std::search(out.log.begin(), out.log.end(), c.lines.begin(), c.lines.end());
        EXPECT_NE(at, out.log.end()) << c.lines.front();
        EXPECT_EQ(std::count(out.log.begin(), out.log.end(), "DONE. Data conversion completed in 0 seconds"), 0);
    }
}

// ---- files written by other programs -----------------------------------------------------------

bool haveTool(const char* name) { return test::runCommand(std::string("command -v ") + name + " >/dev/null 2>&1") == 0; }

void expectMatchesReference(const std::string& source, const std::string& destination, const ConversionOptions& o,
                            int command = ids::OpenHdr) {
    const Bytes file = test::readBytes(source);
    std::uint32_t width = 0, length = 0;
    const std::vector<Pixel> px = referenceDecode(file, width, length);
    ASSERT_FALSE(px.empty()) << source;
    const Converted c = convert(source, destination, o, command);
    ASSERT_EQ(c.result, 1) << source;
    expectValidOutput(c.output, width, length);
    EXPECT_EQ(samplesOf(c.output), referenceSamples(px, o).samples) << source;
}

// New-RLE rows narrower than 256 pixels carry a high byte of 0 in their header: they convert.
TEST(RadianceConversion, NarrowImagesConvert) {
    TempDir dir;
    for (const std::uint32_t width : {8u, 200u, 255u}) {
        SCOPED_TRACE(width);
        test::writeBytes(dir.file("narrow.hdr"),
                         encodeRgbe(standardHeader(width, 3), width, 3, testPixels(width, 3, 5, 120, 135)));
        expectMatchesReference(dir.file("narrow.hdr"), dir.file("narrow.tif"), {});
    }
}

TEST(RadianceConversion, ImageMagickAndPfstoolsFiles) {
    if (!haveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
    TempDir dir;
    const std::string plasma = dir.file("plasma.hdr"), black = dir.file("black.hdr");
    ASSERT_EQ(test::runCommand("convert -seed 4 -size 320x90 plasma:fractal -evaluate multiply 3 " + plasma), 0);
    // A frame of black pixels (exponent 0) around a gradient.
    ASSERT_EQ(test::runCommand("convert -size 280x60 gradient:white-navy -bordercolor black -border 10 " + black), 0);
    std::vector<std::string> sources = {plasma, black};

    // The same image with an EXPOSURE line added to the header.
    Bytes withExposure = test::readBytes(plasma);
    const std::string marker = "FORMAT=32-bit_rle_rgbe\n";
    const auto at = std::search(withExposure.begin(), withExposure.end(), marker.begin(), marker.end());
    ASSERT_NE(at, withExposure.end());
    const std::string exposure = "EXPOSURE=2.5\n";
    withExposure.insert(at + static_cast<std::ptrdiff_t>(marker.size()), exposure.begin(), exposure.end());
    test::writeBytes(dir.file("exposure.hdr"), withExposure);
    sources.push_back(dir.file("exposure.hdr"));

    if (haveTool("pfsin") && haveTool("pfsout")) {
        ASSERT_EQ(test::runCommand("pfsin " + plasma + " | pfsout " + dir.file("pfs.hdr")), 0);
        ASSERT_EQ(test::runCommand("pfsin " + black + " | pfsout " + dir.file("pfsblack.hdr")), 0);
        sources.push_back(dir.file("pfs.hdr"));
        sources.push_back(dir.file("pfsblack.hdr"));
    }
    for (const std::string& source : sources) {
        for (const ConversionOptions& o : optionTable()) {
            SCOPED_TRACE(source + ": " + optionsName(o));
            expectMatchesReference(source, dir.file("out.tif"), o);
        }
    }
    // Opened with the TIF command, a Radiance file takes the Radiance path.
    expectMatchesReference(plasma, dir.file("tifcmd.tif"), {}, ids::OpenTif);
}

TEST(RadianceConversion, CommandLineWritesTheSameFile) {
    TempDir dir;
    const std::vector<Pixel> px = testPixels(300, 5, 9, 125, 131);
    test::writeBytes(dir.file("a.hdr"), encodeRgbe(standardHeader(300, 5), 300, 5, px));
    ConversionOptions o;
    o.colourWeighting = ColourWeighting::HDTV;
    o.boostContrast = true;
    o.swapByteOrder = true;
    const std::string cli = KELVARIN_CLI_PATH;
    ASSERT_EQ(test::runCommand(cli + " --weighting hdtv --boost --swap hdr " + dir.file("a.hdr") + " " +
                               dir.file("cli.tif") + " >/dev/null 2>&1"),
              0);
    const Bytes tif = test::readBytes(dir.file("cli.tif"));
    expectValidOutput(tif, 300, 5);  // "II" even with --swap
    EXPECT_EQ(samplesOf(tif), referenceSamples(px, o).samples);
    // A refusal: exit status 1 and no destination.
    test::writeBytes(dir.file("b.hdr"), text("#?RADIANCE\r\n-Y 2 +X 300\n"));
    EXPECT_EQ(test::runCommand(cli + " hdr " + dir.file("b.hdr") + " " + dir.file("b.tif") + " >/dev/null 2>&1"), 1);
    EXPECT_FALSE(test::exists(dir.file("b.tif")));
}

}  // namespace
}  // namespace kelvarin

namespace kelvarin {
namespace {

TEST(RadianceConversion, BundledSkySampleConverts) {
    const std::string here = __FILE__;
    const std::string sample = here.substr(0, here.rfind('/')) + "/../samples/sky.hdr";
    if (!test::exists(sample)) GTEST_SKIP() << "no " << sample;
    TempDir dir;
    for (ConversionOptions o : {ConversionOptions{}, ConversionOptions{ColourWeighting::HDTV, true, true}}) {
        SCOPED_TRACE(optionsName(o));
        expectMatchesReference(sample, dir.file("sky.tif"), o);
    }
}

}  // namespace
}  // namespace kelvarin
