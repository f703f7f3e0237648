// The engine outputs: the PNG encoder, the format chosen by a name, the resampler, the size a
// user types, and whole jobs writing PNG and R16 at their own size or another.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>

#include "base/image_size.h"
#include "formats/output_format.h"
#include "formats/png_writer.h"
#include "pixels/resample.h"
#include "ui/ids.h"
#include "support/height_data_files.h"
#include "support/job_check.h"
#include "support/scripted_port.h"
#include "support/tiff_builder.h"
#include "support/test_files.h"
#include "ui/file_filter.h"

namespace kelvarin {
namespace {

using test::Bytes;

struct MemorySink final : ByteSink {
    Bytes bytes;
    std::size_t room = SIZE_MAX;  // writes beyond this many bytes fail, as on a full disk
    bool write(const void* data, std::size_t count) override {
        if (count > room - bytes.size()) return false;
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + count);
        return true;
    }
};

std::vector<std::uint16_t> noise(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint16_t> samples(count);
    for (auto& s : samples) s = static_cast<std::uint16_t>(random());
    return samples;
}

// PNG files are decoded back by tools that share no code with ours: pngcheck checks every chunk
// and CRC, ImageMagick (libpng) gives the samples (asked for big-endian).
TEST(PngWriter, IndependentDecodersReadBackEverySample) {
    if (!test::haveTool("convert") || !test::haveTool("pngcheck")) GTEST_SKIP() << "ImageMagick or pngcheck missing";
    struct Case {
        PngHeader header;
        std::vector<std::uint16_t> samples;  // 8-bit images: one byte each
        unsigned threads = 1;
        std::size_t band = PngWriter::kLargestBand;
    };
    std::vector<std::uint16_t> ramp(2000 * 700);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint16_t>((i % 2000) * 17 + (i / 2000) * 3);
    const Case cases[] = {
        {{1, 1, 16, PngColour::Grey}, {0xBEEF}},
        {{5, 3, 16, PngColour::Grey}, {0, 65535, 1, 256, 255, 65534, 0x8000, 0x7FFF, 0x0100, 0x00FF, 7, 70, 700, 7000, 9}},
        // Over 64 KiB compressed: several IDAT chunks.
        {{301, 233, 16, PngColour::Grey}, noise(301 * 233, 1)},
        {{4, 2, 8, PngColour::Rgb}, {0, 1, 2, 3, 4, 5, 250, 251, 252, 253, 254, 255, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 128, 127}},
        // Several bands of 1 MiB, deflated on threads, rows straddling the bands.
        {{1500, 800, 16, PngColour::Grey}, noise(1500 * 800, 2), 3},
        // The smallest bands, as tiles side by side take them.
        {{1025, 900, 16, PngColour::Grey}, noise(1025 * 900, 3), 2, PngWriter::kSmallestBand},
        {{2000, 700, 16, PngColour::Grey}, ramp, 2},
        {{2000, 700, 16, PngColour::Grey}, ramp, 5},
        {{2000, 700, 16, PngColour::Grey}, ramp, 7},
        {{2000, 700, 16, PngColour::Grey}, ramp, 1},
    };
    test::TempDir dir;
    std::vector<Bytes> ramps;  // the same image gives the same bytes on any number of threads
    for (const Case& c : cases) {
        const bool deep = c.header.bitDepth == 16;
        MemorySink sink;
        PngWriter writer(sink, c.header, c.threads, c.band);
        const std::size_t rowLength = c.samples.size() / c.header.height;
        for (std::uint32_t y = 0; y < c.header.height; ++y) {
            const auto* row = c.samples.data() + y * rowLength;
            if (deep) {
                ASSERT_TRUE(writer.writeRow(std::span(row, rowLength)));
            } else {
                const std::vector<std::uint8_t> bytes(row, row + rowLength);
                ASSERT_TRUE(writer.writeRow(std::span<const std::uint8_t>(bytes)));
            }
        }
        ASSERT_TRUE(writer.finish());
        const std::string png = dir.file("a.png"), raw = dir.file("a.raw");
        test::writeBytes(png, sink.bytes);
        EXPECT_EQ(test::runCommand("pngcheck -q '" + png + "'"), 0) << c.header.width;
        const std::string format = c.header.colour == PngColour::Grey ? "gray" : "rgb";
        ASSERT_EQ(test::runCommand("convert '" + png + "' -depth " + std::to_string(c.header.bitDepth) +
                                   " -endian MSB " + format + ":'" + raw + "'"),
                  0);
        Bytes expected;
        for (std::uint16_t s : c.samples) {
            if (deep) expected.push_back(static_cast<std::uint8_t>(s >> 8));
            expected.push_back(static_cast<std::uint8_t>(s));
        }
        EXPECT_EQ(test::readBytes(raw), expected) << c.header.width << " x " << c.header.height;
        if (c.samples == ramp) ramps.push_back(sink.bytes);
    }
    ASSERT_EQ(ramps.size(), 4u);
    for (std::size_t i = 1; i < ramps.size(); ++i) EXPECT_EQ(ramps[0], ramps[i]) << i;
}

// Writers open side by side, as for a row of tiles, take their bands and deflate states from
// those earlier writers left, stale bytes and all, and share the cores: each still writes the
// bytes a lone writer on one thread writes for its image.
TEST(PngWriter, WritersOpenTogetherWriteWhatALoneWriterWrites) {
    const auto lone = [](const PngHeader& header, const std::vector<std::uint16_t>& samples, std::size_t band) {
        MemorySink sink;
        PngWriter writer(sink, header, 1, band);
        for (std::uint32_t y = 0; y < header.height; ++y)
            EXPECT_TRUE(writer.writeRow(std::span(samples).subspan(std::size_t{y} * header.width, header.width)));
        EXPECT_TRUE(writer.finish());
        return sink.bytes;
    };
    struct Case {
        std::uint32_t width, height;
        unsigned threads;
        std::size_t band = PngWriter::kLargestBand;
    };
    // Of several bands, of one band, of one short band, of bands of every size a writer takes;
    // the first one leaves many bands behind.
    constexpr std::size_t kSmall = PngWriter::kSmallestBand;
    const Case rows[][3] = {
        {{1500, 900, 3}, {700, 500, 2}, {9, 4, 2}},
        {{1025, 1025, 2, 128 << 10}, {1025, 1025, 2, 128 << 10}, {1025, 1025, 2, 128 << 10}},
        {{2000, 300, 7, kSmall}, {33, 1100, 1, 3 * kSmall + 5}, {1, 1, 4, kSmall}},
        {{700, 700, 2, kSmall / 2}, {300, 200, 3, 64u << 20}, {5, 3000, 2, 0}},
    };
    unsigned seed = 10;
    for (const auto& row : rows) {
        std::vector<std::vector<std::uint16_t>> images;
        std::vector<MemorySink> sinks(std::size(row));
        std::vector<std::unique_ptr<PngWriter>> writers;
        for (std::size_t i = 0; i < std::size(row); ++i) {
            images.push_back(noise(std::size_t{row[i].width} * row[i].height, ++seed));
            // Smooth halves deflate to less than their bound, noisy ones to more than their input.
            std::sort(images.back().begin(), images.back().begin() + static_cast<std::ptrdiff_t>(images.back().size() / 2));
            writers.push_back(std::make_unique<PngWriter>(sinks[i], PngHeader{row[i].width, row[i].height, 16, PngColour::Grey},
                                                          row[i].threads, row[i].band));
        }
        for (std::uint32_t y = 0;; ++y) {
            bool any = false;
            for (std::size_t i = 0; i < std::size(row); ++i) {
                if (y >= row[i].height) continue;
                any = true;
                ASSERT_TRUE(writers[i]->writeRow(std::span(images[i]).subspan(std::size_t{y} * row[i].width, row[i].width)));
            }
            if (!any) break;
        }
        for (std::size_t i = 0; i < std::size(row); ++i) {
            ASSERT_TRUE(writers[i]->finish());
            writers[i].reset();
            EXPECT_EQ(sinks[i].bytes, lone({row[i].width, row[i].height, 16, PngColour::Grey}, images[i], row[i].band))
                << row[i].width << " x " << row[i].height << " on " << row[i].threads << " threads, bands of "
                << row[i].band;
        }
    }
}

// Every way a PNG can go wrong fails the call, and every call after it: a full disk, a row too
// short or too many, too few rows at the end, a header PNG cannot carry.
TEST(PngWriter, FailuresStick) {
    const std::vector<std::uint16_t> row(300, 1234);
    const std::span<const std::uint16_t> whole(row), shortRow = whole.first(299);
    struct Case {
        const char* what;
        PngHeader header;
        std::size_t room;
        std::vector<std::span<const std::uint16_t>> rows;
    };
    const Case cases[] = {
        {"disk full in the header", {300, 2, 16, PngColour::Grey}, 20, {whole, whole}},
        {"disk full at the end", {300, 2, 16, PngColour::Grey}, 60, {whole, whole}},
        {"a short row", {300, 2, 16, PngColour::Grey}, SIZE_MAX, {whole, shortRow}},
        {"a row too many", {300, 2, 16, PngColour::Grey}, SIZE_MAX, {whole, whole, whole}},
        {"a row missing", {300, 2, 16, PngColour::Grey}, SIZE_MAX, {whole}},
        {"width 0", {0, 2, 16, PngColour::Grey}, SIZE_MAX, {whole, whole}},
        {"bit depth 12", {300, 2, 12, PngColour::Grey}, SIZE_MAX, {whole, whole}},
        {"8-bit header, 16-bit rows", {300, 2, 8, PngColour::Grey}, SIZE_MAX, {whole, whole}},
        {"a width PNG cannot carry", {0x80000000u, 1, 16, PngColour::Grey}, SIZE_MAX, {whole}},
    };
    for (const Case& c : cases) {
        MemorySink sink;
        sink.room = c.room;
        PngWriter writer(sink, c.header);
        bool allRows = true;
        for (auto rowSamples : c.rows) allRows = writer.writeRow(rowSamples) && allRows;
        EXPECT_FALSE(allRows && writer.finish()) << c.what;
        EXPECT_FALSE(writer.finish()) << c.what;
    }
}

TEST(OutputFormat, ChosenByTheExtensionInAnyCase) {
    const std::pair<const char*, OutputFormat> cases[] = {
        {"/maps/alps.png", OutputFormat::Png},     {"C:\\maps\\ALPS.PNG", OutputFormat::Png},
        {"alps.R16", OutputFormat::R16},           {"alps.r16", OutputFormat::R16},
        {"alps.tif", OutputFormat::Tiff},          {"alps.tiff", OutputFormat::Tiff},
        {"alps", OutputFormat::Tiff},              {"alps.raw", OutputFormat::Tiff},
        {"maps.png/alps", OutputFormat::Tiff},     {"maps.png\\alps", OutputFormat::Tiff},
        {"alps.png.tif", OutputFormat::Tiff},      {"alps.tif.png", OutputFormat::Png},
        {"alps.pngx", OutputFormat::Tiff},         {"alps.", OutputFormat::Tiff},
    };
    for (const auto& [path, format] : cases) EXPECT_EQ(outputFormatFor(path), format) << path;
}

// A bare name typed into the Save dialog takes the extension of the filter chosen, so the file's
// format follows the filter; a name with an extension, or "All Files", keeps the name.
TEST(SaveFilter, BareNamesTakeTheFiltersExtension) {
    struct Case {
        const char* path;
        FileFilter filter;
        const char* result;
    };
    const Case cases[] = {
        {"/maps/alps", {"PNG", "*.png"}, "/maps/alps.png"},
        {"C:\\maps.v2\\alps", {"R16", "*.r16"}, "C:\\maps.v2\\alps.r16"},
        {"/maps/alps.tif", {"PNG", "*.png"}, "/maps/alps.tif"},
        {"/maps/alps", {"All Files", "*.*"}, "/maps/alps"},
        {"/maps/alps", {"Images", "*.png;*.tif"}, "/maps/alps"},
    };
    for (const Case& c : cases) EXPECT_EQ(withFilterExtension(c.path, c.filter), c.result) << c.path;
}

TEST(ParseImageSize, SizesAndRefusals) {
    const char* const notASize = "The size must be a number, or a width and a height such as 1025 x 1025.";
    const char* const zero = "A width or height of 0 is not possible.";
    const char* const tooLarge = "The largest possible width or height is 65535.";
    struct Case {
        const char* text;
        ImageSize size;  // 0 x 0: refused with `refusal`
        const char* refusal;
    };
    const Case cases[] = {
        {"1025", {1025, 1025}, ""},          {"2017x2017", {2017, 2017}, ""},  {" 4097 X 2049 ", {4097, 2049}, ""},
        {"1 x 65535", {1, 65535}, ""},       {"00513", {513, 513}, ""},        {"0", {}, zero},
        {"513 x 0", {}, zero},               {"65536", {}, tooLarge},          {"99999999999999999999", {}, tooLarge},
        {"", {}, notASize},                  {"x", {}, notASize},              {"513 x", {}, notASize},
        {"-513", {}, notASize},              {"+513", {}, notASize},           {"513.0", {}, notASize},
        {"1e3", {}, notASize},               {"513x513x513", {}, notASize},    {"0 x abc", {}, notASize},
        {"5 13", {}, notASize},
    };
    for (const Case& c : cases) {
        const ImageSizeParse parsed = parseImageSize(c.text);
        if (c.size.width != 0) {
            ASSERT_TRUE(parsed.size.has_value()) << c.text << ": " << parsed.refusal;
            EXPECT_EQ(*parsed.size, c.size) << c.text;
        } else {
            EXPECT_FALSE(parsed.size.has_value()) << c.text;
            EXPECT_EQ(parsed.refusal, c.refusal) << c.text;
        }
    }
}

// ---- Whole jobs ----

using Samples = std::vector<std::uint16_t>;

Samples tiffSamples(const Bytes& file) {
    Samples samples;
    for (std::size_t i = 302; i + 1 < file.size(); i += 2)
        samples.push_back(static_cast<std::uint16_t>(file[0] == 'M' ? file[i] << 8 | file[i + 1]
                                                                   : file[i] | file[i + 1] << 8));
    return samples;
}

Samples r16Samples(const Bytes& file, bool bigEndian) {
    Samples samples;
    for (std::size_t i = 0; i + 1 < file.size(); i += 2)
        samples.push_back(static_cast<std::uint16_t>(bigEndian ? file[i] << 8 | file[i + 1] : file[i] | file[i + 1] << 8));
    return samples;
}

// A PNG's size and samples as ImageMagick (libpng) reads them.
Samples pngSamples(const std::string& png, ImageSize& size) {
    const std::string raw = png + ".gray", dims = png + ".size";
    EXPECT_EQ(test::runCommand("identify -format '%wx%h' '" + png + "' > '" + dims + "'"), 0);
    const Bytes text = test::readBytes(dims);
    const std::string line(text.begin(), text.end());
    size = parseImageSize(line).size.value_or(ImageSize{});
    EXPECT_EQ(test::runCommand("convert '" + png + "' -depth 16 -endian MSB gray:'" + raw + "'"), 0);
    return r16Samples(test::readBytes(raw), true);
}

bool logged(const std::vector<std::string>& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

// Every source kind's samples reach PNG and R16 as they reach the TIFF, with and without Swap, at
// the image's own size or resampled to a smaller or a larger one: the TIFF written from the same
// source and options is the reference, resampled by the resampler for the sized outputs. A PNG
// says once that Swap does not apply to it; a sized output names its size in a line of its own.
TEST(EngineOutputJobs, FormatSwapAndSizeTable) {
    if (!test::haveTool("convert") || !test::haveTool("identify")) GTEST_SKIP() << "ImageMagick missing";
    struct Source {
        const char* name;
        int command;
        Bytes bytes;
    };
    const ImageSize own{6, 5};
    Bytes rgb48, pgm = {'P', '5', '\n', '6', ' ', '5', '\n', '6', '5', '5', '3', '5', '\n'};
    const Samples values = noise(own.width * own.height * 3, 7);
    for (std::uint16_t v : values) rgb48.insert(rgb48.end(), {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    for (std::size_t i = 0; i < own.width * own.height; ++i)
        pgm.insert(pgm.end(), {static_cast<std::uint8_t>(values[i] >> 8), static_cast<std::uint8_t>(values[i])});
    const Source sources[] = {
        {"MM TIFF", ids::OpenTif, test::TiffBuilder::rgb(true, own.width, own.height, 16, 0, rgb48).build()},
        {"P5 PGM", ids::PgmToTif, pgm},
    };
    const std::optional<ImageSize> sizes[] = {std::nullopt, ImageSize{4, 3}, ImageSize{11, 9}};
    const char* const swapLine = "Swap does not apply to PNG: its samples are always big-endian.";

    test::TempDir dir;
    for (const Source& source : sources) {
        test::writeBytes(dir.file("in"), source.bytes);
        for (bool swap : {false, true}) {
            auto run = [&](const std::string& destination, std::optional<ImageSize> size) {
                test::Harness harness;
                harness.session.options.swapByteOrder = swap;
                harness.session.options.outputSize = size;
                const int result = harness.run(source.command, {dir.file("in"), dir.file(destination)});
                EXPECT_EQ(result, 1) << source.name << " " << destination << ": "
                                     << ::testing::PrintToString(harness.port.boxTexts());
                return harness.port.log;
            };
            run("reference.tif", std::nullopt);
            const Samples reference = tiffSamples(test::readBytes(dir.file("reference.tif")));
            ASSERT_EQ(reference.size(), std::size_t{own.width} * own.height) << source.name;

            for (const auto& size : sizes) {
                const ImageSize to = size.value_or(own);
                Samples expected(std::size_t{to.width} * to.height);
                ASSERT_TRUE(resampleGrey(reference, own, expected, to));
                for (const char* extension : {"tif", "png", "r16"}) {
                    const std::string name = std::string("out.") + extension;
                    std::ostringstream what;
                    what << source.name << (swap ? " swapped " : " ") << name << " at " << imageSizeText(to);
                    const std::vector<std::string> log = run(name, size);
                    const Bytes file = test::readBytes(dir.file(name));
                    ImageSize written = to;
                    Samples samples;
                    if (name == "out.tif") {
                        const auto info = test::readGreyTiffInfo(file);
                        ASSERT_TRUE(info.has_value()) << what.str();
                        written = {info->width, info->length};
                        EXPECT_EQ(info->stripByteCounts, expected.size() * 2) << what.str();
                        samples = tiffSamples(file);
                    } else if (name == "out.png") {
                        samples = pngSamples(dir.file(name), written);
                    } else {
                        samples = r16Samples(file, swap);
                    }
                    EXPECT_EQ(written, to) << what.str();
                    EXPECT_EQ(samples, expected) << what.str();
                    EXPECT_EQ(logged(log, swapLine), swap && name == "out.png") << what.str();
                    EXPECT_EQ(logged(log, "Resampled to " + imageSizeText(to) + " pixels before writing."),
                              size.has_value())
                        << what.str();
                }
            }
        }
    }
}

// Refused before any file is made: a PNG or R16 name for a TE>Raw export, and a size whose
// samples no TIFF can hold. Neither leaves a file (nor a temporary one) behind.
TEST(EngineOutputJobs, RefusalsLeaveNoFile) {
    struct Case {
        const char* destination;
        bool teRaw;
        std::optional<ImageSize> size;
        const char* line;
    };
    const Case cases[] = {
        {"out.png", true, std::nullopt, ">>> PNG or R16 destination in TE>Raw mode. STOP!"},
        {"out.R16", true, ImageSize{9, 9}, ">>> PNG or R16 destination in TE>Raw mode. STOP!"},
        {"out.tif", false, ImageSize{65535, 65535}, ">>> Too large for a TIFF. STOP!"},
    };
    Bytes raw = test::littleEndianSamples(Samples(16, 1234));
    for (const Case& c : cases) {
        test::TempDir dir;
        test::writeBytes(dir.file("in.raw"), raw);
        test::Harness harness;
        harness.session.options.teRawMode = c.teRaw;
        harness.session.options.outputSize = c.size;
        EXPECT_EQ(harness.run(ids::RawToTif, {dir.file("in.raw"), dir.file(c.destination)}), 0) << c.destination;
        EXPECT_TRUE(logged(harness.port.log, c.line)) << c.destination;
        EXPECT_EQ(test::namesIn(dir.path()), std::set<std::string>{"in.raw"}) << c.destination;
    }
}

// The samples' PNG and R16 outputs read back by ImageMagick and compared with the TIFF, and the
// resampled ones with ImageMagick's own resamples (tests/tools/engine_outputs.py).
TEST(EngineOutputInterop, SamplesAgainstIndependentTools) {
    const std::string python = "/usr/bin/python3";
    if (test::runCommand(python + " -c 'import numpy, tifffile' >/dev/null 2>&1") != 0 || !test::haveTool("convert"))
        GTEST_SKIP() << "python3 with numpy and tifffile, and ImageMagick, are needed";
    const std::string here = __FILE__;
    const std::string tests = here.substr(0, here.find_last_of('/'));
    test::TempDir dir;
    const int status = test::runCommand(python + " " + tests + "/tools/engine_outputs.py " + KELVARIN_CLI_PATH + " " +
                                        tests + "/../samples " + dir.path() + " >" + dir.file("report.txt") + " 2>&1");
    const Bytes report = test::readBytes(dir.file("report.txt"));
    EXPECT_EQ(status, 0) << std::string(report.begin(), report.end());
}

}  // namespace
}  // namespace kelvarin
