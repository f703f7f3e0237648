// The resampler against the filters it matches: stb_image_resize 1.x with clamped edges, a box
// filter along an axis that shrinks and Catmull-Rom along one that grows or keeps its size.
// Every sample must be the same, whichever way each axis goes, at ratios near 1 and far from it.
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

std::vector<std::uint16_t> stbResized(const std::vector<std::uint16_t>& source, ImageSize from, ImageSize to) {
    std::vector<std::uint16_t> target(std::size_t{to.width} * to.height);
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
std::vector<std::uint16_t> source(ImageSize size, int kind, std::mt19937& random) {
    std::vector<std::uint16_t> samples(std::size_t{size.width} * size.height);
    for (std::uint32_t y = 0; y < size.height; ++y)
        for (std::uint32_t x = 0; x < size.width; ++x) {
            std::uint16_t& s = samples[std::size_t{y} * size.width + x];
            if (kind == 0) s = static_cast<std::uint16_t>(random());
            else if (kind == 1) s = static_cast<std::uint16_t>((x * 977u + y * 331u) % 65536u);
            else s = ((x / 3 + y / 2) % 2 != 0) ? 65535 : 0;
        }
    return samples;
}

TEST(ResampleReference, EverySampleIsStbs) {
    struct Case {
        ImageSize from, to;
    };
    std::vector<Case> cases = {
        {{8192, 4}, {4097, 5}},  {{4, 4096}, {4, 4097}},   {{2, 3}, {1000, 7}},     {{1000, 900}, {1, 1}},
        {{1, 1}, {5, 9}},        {{7, 1}, {7, 13}},         {{16, 16}, {16, 15}},    {{3, 300}, {300, 3}},
        {{1025, 9}, {1024, 9}},  {{1023, 9}, {1024, 9}},    {{99, 97}, {33, 291}},   {{640, 2}, {257, 2}},
        {{2, 640}, {2, 257}},    {{5, 12345}, {3, 77}},     {{12345, 5}, {4097, 3}}, {{60, 70}, {61, 69}},
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
            const std::vector<std::uint16_t> samples = source(c.from, kind, random);
            const std::vector<std::uint16_t> expected = stbResized(samples, c.from, c.to);
            for (std::uint64_t bandBytes : {kResampleBandBytes, std::uint64_t{1}}) {
                std::vector<std::uint16_t> ours(expected.size(), 1);
                ASSERT_TRUE(resampleGrey(samples, c.from, ours, c.to, bandBytes, 2));
                std::size_t differ = 0;
                for (std::size_t i = 0; i < ours.size(); ++i) differ += ours[i] != expected[i] ? 1 : 0;
                EXPECT_EQ(differ, 0u) << c.from.width << " x " << c.from.height << " -> " << c.to.width << " x "
                                      << c.to.height << ", source kind " << kind << ", bands of " << bandBytes;
            }
        }
    }
}

}  // namespace
}  // namespace kelvarin
