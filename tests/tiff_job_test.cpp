// A whole File > Open TIF job in process: the log sequence, the progress bar, the analysis
// lines and the closing report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "base/number_text.h"
#include "pixels/weighting.h"
#include "support/scripted_port.h"
#include "support/test_files.h"
#include "support/tiff_builder.h"
#include "ui/ids.h"

namespace kelvarin::test {
namespace {

// 5 x 4 pixels of 48 bits, little-endian: pixel i is (100 i, 200 i + 7, 300 i + 11).
Bytes pixels48(std::size_t count = 20, std::uint32_t flat = 0) {
    Bytes b;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t s[3] = {flat ? flat : static_cast<std::uint32_t>(100 * i),
                                    flat ? flat : static_cast<std::uint32_t>(200 * i + 7),
                                    flat ? flat : static_cast<std::uint32_t>(300 * i + 11)};
        for (std::uint32_t v : s) {
            b.push_back(static_cast<std::uint8_t>(v));
            b.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    return b;
}

Bytes floats96(const std::vector<float>& values) {
    Bytes b(values.size() * 4);
    std::memcpy(b.data(), values.data(), b.size());
    return b;
}

std::vector<std::string> after(const std::vector<std::string>& log, const std::string& line) {
    const auto at = std::find(log.begin(), log.end(), line);
    return at == log.end() ? std::vector<std::string>{} : std::vector<std::string>(at + 1, log.end());
}

std::vector<unsigned> samples(const std::string& path) {
    const Bytes out = readBytes(path);
    std::vector<unsigned> s;
    for (std::size_t i = 302; i + 1 < out.size(); i += 2)
        s.push_back(out[0] == 'M' ? (out[i] << 8) | out[i + 1] : out[i] | (out[i + 1] << 8));
    return s;
}

struct Job {
    TempDir dir;
    Harness h;
    int run(const Bytes& file) {
        writeBytes(dir.file("in.tif"), file);
        h.port.positions.clear();
        return h.run(ids::OpenTif, {dir.file("in.tif"), dir.file("out.tif")});
    }
    std::vector<std::string> closing(const std::string& last) {
        return {"Closed source file:",
                dir.file("in.tif"),
                "",
                "Closed converted file:",
                dir.file("out.tif"),
                "Time used for job: 0 seconds",
                std::string(72, '-'),
                "Looking forward to another job.",
                std::string(72, '='),
                last};
    }
};

TEST(TiffJob, DefaultConversionLogsTheDocumentedSequence) {
    Job job;
    ASSERT_EQ(job.run(TiffBuilder::rgb(false, 5, 4, 16, 0, pixels48()).build()), 1);
    std::vector<std::string> expected = {"Starting data conversion.", "DONE. Data conversion completed in 0 seconds"};
    for (const auto& line : job.closing(std::string(72, '='))) expected.push_back(line);
    EXPECT_EQ(after(job.h.port.log, "DONE. Standby for data conversion."), expected);
    EXPECT_EQ(std::count(job.h.port.log.begin(), job.h.port.log.end(), std::string(72, '=')), 2);
    EXPECT_EQ(job.h.port.boxTexts(), std::vector<std::string>{"KELVARIN - Success.: TIF Conversion concluded."});
    // A single strip of 4 rows: 5 blocks of 4 pixels.
    EXPECT_EQ(job.h.port.ranges.back(), (std::pair<int, int>{1, 5}));
    EXPECT_EQ(job.h.port.positions, (std::vector<int>{1, 2, 3, 4, 5, 0, 0}));
    const auto s = samples(job.dir.file("out.tif"));
    ASSERT_EQ(s.size(), 20u);
    for (std::uint32_t i = 0; i < 20; ++i) EXPECT_EQ(s[i], (600 * i + 18 + 1) / 3) << i;
}

TEST(TiffJob, BoostRunsTheContrastAnalysisFirst) {
    Job job;
    job.h.session.options.boostContrast = true;
    job.h.session.options.posteriseSteps = 8;
    ASSERT_EQ(job.run(TiffBuilder::rgb(false, 5, 4, 16, 0, pixels48()).build()), 1);
    const std::uint32_t lowest = integerGrey(ColourWeighting::Average, 0, 7, 11);
    const std::uint32_t highest = integerGrey(ColourWeighting::Average, 1900, 3807, 5711);
    const double boost = 65535.0 / (highest - lowest);
    std::vector<std::string> expected = {"Analysing image for contrast optimisation",
                                         "DONE. Data analysis completed in 0 seconds",
                                         "Highest value in image:" + numberText(highest),
                                         "Lowest value in image:" + numberText(lowest),
                                         "Boost factor:" + numberText(boost),
                                         "Starting data conversion.",
                                         "Posterised to 8 steps",
                                         "DONE. Data conversion completed in 0 seconds"};
    for (const auto& line : job.closing(std::string(72, '='))) expected.push_back(line);
    EXPECT_EQ(after(job.h.port.log, "DONE. Standby for data conversion."), expected);
    EXPECT_EQ(job.h.port.positions, (std::vector<int>{1, 2, 3, 4, 5, 6, 1, 2, 3, 4, 5, 0, 0}));
    const auto s = samples(job.dir.file("out.tif"));
    EXPECT_EQ(s.front(), 0u);
    EXPECT_EQ(s.back(), 65535u / 8 * 8);
}

TEST(TiffJob, UniformImageWithBoostIsBlackOrWhiteInverted) {
    for (const bool invert : {false, true}) {
        Job job;
        job.h.session.options.boostContrast = true;
        job.h.session.options.invert = invert;
        ASSERT_EQ(job.run(TiffBuilder::rgb(false, 5, 4, 16, 0, pixels48(20, 4321)).build()), 1);
        EXPECT_NE(std::find(job.h.port.log.begin(), job.h.port.log.end(), "Boost factor: Inf"), job.h.port.log.end());
        for (unsigned v : samples(job.dir.file("out.tif"))) EXPECT_EQ(v, invert ? 65535u : 0u);
    }
}

TEST(TiffJob, FloatSourceAlwaysRunsTheToneMappingAnalysisOnly) {
    const std::vector<float> values = {0.5f, 1.0f, 1.5f, 2.0f, 3.0f, 4.0f};  // two pixels
    for (const int posterise : {0, 4}) {
        Job job;
        job.h.session.options.posteriseSteps = posterise;
        ASSERT_EQ(job.run(TiffBuilder::rgb(false, 2, 1, 32, 3, floats96(values)).build()), 1);
        const auto log = after(job.h.port.log, "DONE. Standby for data conversion.");
        ASSERT_GE(log.size(), 6u);
        EXPECT_EQ(log[0], "Analysing image for tone-mapping");
        EXPECT_EQ(log[2], "Highest value in image: 3");
        EXPECT_EQ(log[3], "Lowest value in image: 1");
        EXPECT_EQ(log[4], "Boost factor: 32767.5");
        EXPECT_EQ(log[5], "Starting data conversion.");
        EXPECT_EQ(std::find(log.begin(), log.end(), "Analysing image for contrast optimisation"), log.end());
        const auto s = samples(job.dir.file("out.tif"));
        EXPECT_EQ(s, posterise ? (std::vector<unsigned>{0, 65532}) : (std::vector<unsigned>{0, 65535}));
    }
}

TEST(TiffJob, IntegerJobAfterFloatJobUsesTheIntegerConversion) {
    Job job;
    ASSERT_EQ(job.run(TiffBuilder::rgb(false, 2, 1, 32, 3, floats96({1, 1, 1, 2, 2, 2})).build()), 1);
    writeBytes(job.dir.file("in2.tif"), TiffBuilder::rgb(false, 5, 4, 16, 0, pixels48()).build());
    ASSERT_EQ(job.h.run(ids::OpenTif, {job.dir.file("in2.tif"), job.dir.file("out2.tif")}), 1);
    const auto s = samples(job.dir.file("out2.tif"));
    ASSERT_EQ(s.size(), 20u);
    EXPECT_EQ(s[1], (600u + 18 + 1) / 3);
}

TEST(TiffJob, SwapWritesTheOtherOrder) {
    Job job;
    job.h.session.options.swapByteOrder = true;
    ASSERT_EQ(job.run(TiffBuilder::rgb(false, 5, 4, 16, 0, pixels48()).build()), 1);
    const Bytes out = readBytes(job.dir.file("out.tif"));
    ASSERT_EQ(out.size(), 302u + 40);
    EXPECT_EQ(out[0], 'M');
    const unsigned second = (600 + 18 + 1) / 3;
    EXPECT_EQ(out[304], second >> 8);
    EXPECT_EQ(out[305], second & 0xFF);
}

// Every sample width, in either source order, with and without Swap: the samples leave in the
// destination's byte order, so each file reads back to the samples of the plain "II" job.
TEST(TiffJob, SamplesFollowTheDestinationByteOrder) {
    struct Case {
        const char* name;
        bool bigSource, swap;
        std::uint8_t order;
    };
    const Case cases[] = {{"II", false, false, 'I'}, {"II swapped", false, true, 'M'},
                          {"MM", true, false, 'M'}, {"MM swapped", true, true, 'I'}};
    std::vector<float> floats(60);
    for (std::size_t i = 0; i < floats.size(); ++i) floats[i] = 0.37f * static_cast<float>(i * i % 17);
    Bytes bytes8(60);
    for (std::size_t i = 0; i < bytes8.size(); ++i) bytes8[i] = static_cast<std::uint8_t>(i * 37);
    const std::tuple<std::uint16_t, std::uint16_t, Bytes> sources[] = {
        {8, 0, bytes8}, {16, 0, pixels48()}, {32, 3, floats96(floats)}};
    for (const auto& [bits, format, pixels] : sources) {
        std::vector<unsigned> expected;
        for (const Case& c : cases) {
            Bytes data = pixels;
            for (std::size_t i = 0; c.bigSource && i < data.size(); i += bits / 8u)
                std::reverse(data.begin() + static_cast<std::ptrdiff_t>(i), data.begin() + static_cast<std::ptrdiff_t>(i + bits / 8u));
            Job job;
            job.h.session.options.swapByteOrder = c.swap;
            ASSERT_EQ(job.run(TiffBuilder::rgb(c.bigSource, 5, 4, bits, format, data).build()), 1) << c.name;
            EXPECT_EQ(readBytes(job.dir.file("out.tif"))[0], c.order) << bits << " bits " << c.name;
            const auto s = samples(job.dir.file("out.tif"));
            ASSERT_EQ(s.size(), 20u);
            if (expected.empty())
                expected = s;
            else
                EXPECT_EQ(s, expected) << bits << " bits " << c.name;
        }
    }
}

TEST(TiffJob, CancelledSaveLeavesNoFile) {
    TempDir dir;
    writeBytes(dir.file("in.tif"), TiffBuilder::rgb(false, 5, 4, 16, 0, pixels48()).build());
    Harness h;
    EXPECT_EQ(h.run(ids::OpenTif, {dir.file("in.tif"), std::nullopt}), 0);
    const auto texts = h.port.boxTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "KELVARIN - Save As: File not created."), texts.end());
    EXPECT_EQ(std::count(h.port.log.begin(), h.port.log.end(), "Closed file:"), 1);
}

}  // namespace
}  // namespace kelvarin::test
