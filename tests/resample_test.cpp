// The resampler: what its filters do, the samples against the library whose filters it matches
// (stb_image_resize 1.x with clamped edges, a box filter along an axis that shrinks and
// Catmull-Rom along one that grows or keeps its size), and the streaming: result rows come as
// soon as the source rows under them are in, the same whatever the groups and the threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "pixels/resample.h"

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb_image_resize.h>

namespace kelvarin {
namespace {

using Samples = std::vector<std::uint16_t>;

Samples resampled(const Samples& source, ImageSize from, ImageSize to, unsigned threads = 0) {
    Samples target(std::size_t{to.width} * to.height);
    EXPECT_TRUE(resampleGrey(source, from, target, to, threads));
    return target;
}

// Fed `group` source rows at a time; records how many result rows were out after each group.
Samples streamed(const Samples& source, ImageSize from, ImageSize to, std::uint32_t group, unsigned threads,
                 std::vector<std::uint32_t>* madeAfter = nullptr) {
    Samples target;
    RowResampler resampler(from, to, threads);
    const auto made = [&](std::uint16_t* samples, std::size_t count) {
        EXPECT_EQ(count % to.width, 0u);
        target.insert(target.end(), samples, samples + count);
        return true;
    };
    for (std::uint32_t row = 0; row < from.height; row += group) {
        const std::uint32_t rows = std::min(group, from.height - row);
        EXPECT_TRUE(resampler.addRows(source.data() + std::size_t{row} * from.width, rows, made));
        if (madeAfter) madeAfter->push_back(resampler.rowsMade());
    }
    EXPECT_FALSE(resampler.addRows(source.data(), 1, made)) << "a row past the end";
    return target;
}

Samples stbResized(const Samples& source, ImageSize from, ImageSize to) {
    Samples target(std::size_t{to.width} * to.height);
    const auto filter = [](std::uint32_t a, std::uint32_t b) { return b < a ? STBIR_FILTER_BOX : STBIR_FILTER_CATMULLROM; };
    EXPECT_TRUE(stbir_resize(source.data(), static_cast<int>(from.width), static_cast<int>(from.height), 0, target.data(),
                             static_cast<int>(to.width), static_cast<int>(to.height), 0, STBIR_TYPE_UINT16, 1,
                             STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP,
                             filter(from.width, to.width), filter(from.height, to.height), STBIR_COLORSPACE_LINEAR,
                             nullptr) != 0);
    return target;
}

// Sources of three kinds: noise over the whole range, a smooth ramp, and cliffs from 0 to 65535
// (where a cubic overshoots and the clamping shows).
Samples source(ImageSize size, int kind, std::mt19937& random) {
    Samples samples(std::size_t{size.width} * size.height);
    for (std::uint32_t y = 0; y < size.height; ++y)
        for (std::uint32_t x = 0; x < size.width; ++x) {
            std::uint16_t& s = samples[std::size_t{y} * size.width + x];
            if (kind == 0) s = static_cast<std::uint16_t>(random());
            else if (kind == 1) s = static_cast<std::uint16_t>((x * 977u + y * 331u) % 65536u);
            else s = ((x / 3 + y / 2) % 2 != 0) ? 65535 : 0;
        }
    return samples;
}

std::string shape(ImageSize from, ImageSize to) {
    return std::to_string(from.width) + " x " + std::to_string(from.height) + " -> " + std::to_string(to.width) + " x " +
           std::to_string(to.height);
}

// Shrinking averages the area each new sample covers, also at ratios that are no whole number;
// growing interpolates and clamps the cubic's overshoot at 0 and 65535 instead of wrapping.
TEST(Resample, AreaAveragesWhenShrinkingAndClampsWhenGrowing) {
    EXPECT_EQ(resampled({0, 300, 600}, {3, 1}, {2, 1}), (Samples{100, 500}));
    EXPECT_EQ(resampled({0, 300, 600}, {1, 3}, {1, 2}), (Samples{100, 500}));
    EXPECT_EQ(resampled({1, 3, 10, 20, 5, 7, 30, 40, 100, 200, 65535, 65535, 300, 400, 65533, 65535}, {4, 4}, {2, 2}),
              (Samples{4, 25, 250, 65535}));
    // A constant stays exactly constant whichever way each axis goes.
    const Samples flat(7 * 5, 40000);
    for (ImageSize to : {ImageSize{3, 2}, ImageSize{13, 11}, ImageSize{3, 11}, ImageSize{7, 5}})
        for (std::uint16_t s : resampled(flat, {7, 5}, to)) ASSERT_EQ(s, 40000) << to.width << " x " << to.height;

    // A cliff from 0 to 65535, enlarged: a cubic dips below 0 and rises above 65535 beside it.
    const Samples cliff{0, 0, 0, 65535, 65535, 65535};
    const Samples grown = resampled(cliff, {6, 1}, {23, 1});
    EXPECT_EQ(grown.front(), 0);
    EXPECT_EQ(grown.back(), 65535);
    for (std::size_t i = 1; i < grown.size(); ++i) EXPECT_LE(grown[i - 1], grown[i]) << i;
}

// Every sample is the library's, whichever way each axis goes, at ratios near 1 and far from it,
// the source fed whole or a few rows at a time, on one thread or several.
TEST(Resample, EverySampleIsStbs) {
    struct Case {
        ImageSize from, to;
    };
    std::vector<Case> cases = {
        {{8192, 4}, {4097, 5}},  {{4, 4096}, {4, 4097}},   {{2, 3}, {1000, 7}},     {{1000, 900}, {1, 1}},
        {{1, 1}, {5, 9}},        {{7, 1}, {7, 13}},         {{16, 16}, {16, 15}},    {{3, 300}, {300, 3}},
        {{1025, 9}, {1024, 9}},  {{1023, 9}, {1024, 9}},    {{99, 97}, {33, 291}},   {{640, 2}, {257, 2}},
        {{2, 640}, {2, 257}},    {{5, 12345}, {3, 77}},     {{12345, 5}, {4097, 3}}, {{60, 70}, {61, 69}},
        {{1601, 203}, {1025, 513}}, {{300, 150}, {1025, 1025}}, {{2000, 150}, {999, 700}},
    };
    std::mt19937 random(29);
    // And sizes drawn at random, both axes either way.
    for (int i = 0; i < 120; ++i) {
        const auto side = [&] { return 1 + static_cast<std::uint32_t>(random() % 150); };
        cases.push_back({{side(), side()}, {side(), side()}});
    }
    for (const Case& c : cases) {
        if (c.from == c.to) continue;
        for (int kind = 0; kind < 3; ++kind) {
            const Samples samples = source(c.from, kind, random);
            const Samples expected = stbResized(samples, c.from, c.to);
            const auto differing = [&](const Samples& ours) {
                std::size_t differ = ours.size() == expected.size() ? 0 : expected.size();
                for (std::size_t i = 0; i < std::min(ours.size(), expected.size()); ++i) differ += ours[i] != expected[i];
                return differ;
            };
            EXPECT_EQ(differing(resampled(samples, c.from, c.to, 2)), 0u) << shape(c.from, c.to) << ", kind " << kind;
            for (const std::uint32_t group : {1u, 7u})
                for (const unsigned threads : {1u, 3u})
                    EXPECT_EQ(differing(streamed(samples, c.from, c.to, group, threads)), 0u)
                        << shape(c.from, c.to) << ", kind " << kind << ", " << group << " rows at a time on "
                        << threads << " threads";
        }
    }
}

// A result row comes out as soon as the source rows under it are in: what comes out after the
// first rows does not change when the rows after them do, and at half the source about half the
// result is out.
TEST(Resample, ResultRowsComeAsSoonAsTheirSourceRowsAreIn) {
    struct Case {
        ImageSize from, to;
    };
    const Case cases[] = {{{97, 613}, {40, 251}}, {{31, 230}, {100, 701}}, {{97, 230}, {40, 701}},
                          {{64, 1000}, {64, 999}}, {{50, 300}, {50, 7}},    {{40, 9}, {40, 300}},
                          {{1200, 400}, {601, 1201}}};
    std::mt19937 random(13);
    for (const Case& c : cases) {
        const Samples samples = source(c.from, 0, random);
        std::vector<std::uint32_t> madeAfter;
        const Samples whole = streamed(samples, c.from, c.to, 1, 2, &madeAfter);
        ASSERT_EQ(whole.size(), std::size_t{c.to.width} * c.to.height) << shape(c.from, c.to);
        for (const std::uint32_t in : {1u, c.from.height / 2, c.from.height - 1}) {
            Samples changed = samples;
            for (std::size_t i = std::size_t{in} * c.from.width; i < changed.size(); ++i)
                changed[i] = static_cast<std::uint16_t>(~changed[i]);
            const Samples other = streamed(changed, c.from, c.to, 1, 2);
            const std::size_t out = std::size_t{madeAfter[in - 1]} * c.to.width;
            EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(out), other.begin()))
                << shape(c.from, c.to) << ", " << madeAfter[in - 1] << " rows out after " << in;
        }
        // The source rows under a result row reach two rows past its place at most.
        const std::uint32_t in = c.from.height / 2;
        const double scale = static_cast<double>(c.to.height) / c.from.height;
        EXPECT_GE(madeAfter[in - 1], (in - 3) * scale - 2) << shape(c.from, c.to) << " at half the source";
    }
}

// A stop from the receiver ends the resampling at once: nothing more is handed on.
TEST(Resample, StopsWhenTheRowsAreRefused) {
    const ImageSize from{4, 3}, to{2000, 3000};
    std::mt19937 random(5);
    const Samples samples = source(from, 0, random);
    RowResampler resampler(from, to, 2);
    int groups = 0;
    const auto refuse = [&](std::uint16_t*, std::size_t) { return ++groups < 2; };
    EXPECT_FALSE(resampler.addRows(samples.data(), from.height, refuse));
    EXPECT_EQ(groups, 2);
    EXPECT_LT(resampler.rowsMade(), to.height);
    EXPECT_FALSE(resampler.addRows(samples.data(), 1, refuse));
    EXPECT_EQ(groups, 2);
}

TEST(Resample, RefusesSizesThatDoNotMatchTheBuffers) {
    Samples source(12), target(4);
    EXPECT_FALSE(resampleGrey(source, {4, 4}, target, {2, 2}));
    EXPECT_FALSE(resampleGrey(source, {4, 3}, target, {2, 3}));
    EXPECT_FALSE(resampleGrey(source, {0, 3}, target, {2, 2}));
    EXPECT_TRUE(resampleGrey(source, {4, 3}, target, {2, 2}));
}

}  // namespace
}  // namespace kelvarin
