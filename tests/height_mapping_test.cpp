// Heights onto levels: the rule checked against exact integer arithmetic, the clamps and the
// flat file, and which samples of each layout are voids.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "pixels/height_mapping.h"

namespace kelvarin {
namespace {

// 1 + (h - lo) x 65534 / (hi - lo), ties to even, in exact integers.
std::uint16_t exactLevel(std::int64_t h, std::int64_t lo, std::int64_t hi) {
    const std::int64_t n = (h - lo) * 65534, d = hi - lo;
    std::int64_t q = n / d;
    const std::int64_t r2 = 2 * (n % d);
    if (r2 > d || (r2 == d && (q & 1) != 0)) ++q;
    return static_cast<std::uint16_t>(1 + q);
}

template <typename T>
std::vector<std::uint8_t> bytesOf(const std::vector<T>& values) {
    std::vector<std::uint8_t> bytes(values.size() * sizeof(T));
    std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

PixelLayout heightLayout(SampleType type, std::uint32_t bits) {
    PixelLayout l;
    l.channels = 1;
    l.type = type;
    l.bits = bits;
    l.maxValue = 0;
    return l;
}

TEST(HeightMapping, LevelsFollowTheRuleWithClampsAndTies) {
    struct Case {
        double lo, hi, h;
        std::uint16_t level;
        bool clipped;
    };
    const Case cases[] = {
        {0, 65534, 0, 1, false},         {0, 65534, 65534, 65535, false},  {0, 65534, 100, 101, false},
        {-10, 10, 0, 32768, false},      {0, 2, 1, 32768, false},
        // 65534 / 4 = 16383.5: the tie goes to the even 16384; 3 x 65534 / 4 = 49150.5 to 49150.
        {0, 4, 1, 16385, false},         {0, 4, 3, 49151, false},
        {100, 200, 99.9, 1, true},       {100, 200, 200.1, 65535, true},   {100, 200, -1e300, 1, true},
        {5, 5, 5, 1, false},             {-3.4e38, 3.4e38, 0, 32768, false},
        {-1.7e308, 1.7e308, 1.7e308, 65535, false},                          {-1.7e308, 1.7e308, 0, 32768, false},
    };
    for (const Case& c : cases) {
        bool clipped = !c.clipped;
        EXPECT_EQ(HeightMapping({c.lo, c.hi}).level(c.h, clipped), c.level) << c.lo << ".." << c.hi << ": " << c.h;
        EXPECT_EQ(clipped, c.clipped) << c.h;
    }
    // Every 16-bit height over ranges that make ties and near-ties.
    for (const auto& [lo, hi] : {std::pair<std::int64_t, std::int64_t>{-32767, 32767}, {-500, 8848}, {0, 2}, {-3, 65533},
                                 {-32768, 32767}, {1, 131069}}) {
        const HeightMapping mapping({static_cast<double>(lo), static_cast<double>(hi)});
        for (std::int64_t h = std::max<std::int64_t>(lo, -32768); h <= std::min<std::int64_t>(hi, 32767); ++h) {
            bool clipped = true;
            ASSERT_EQ(mapping.level(static_cast<double>(h), clipped), exactLevel(h, lo, hi)) << h << " of " << lo << ".." << hi;
            ASSERT_FALSE(clipped);
        }
    }
}

TEST(HeightMapping, VoidsOfEachLayoutBecomeZeroAndAreCounted) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        PixelLayout layout;
        std::vector<std::uint8_t> bytes;
        std::optional<double> noData;
        std::vector<std::uint16_t> levels;  // with the file's own range
        std::uint64_t voids;
    };
    const Case cases[] = {
        {"int16 SRTM void", heightLayout(SampleType::Signed, 16), bytesOf<std::int16_t>({-32768, 10, 20, -32768}),
         -32768.0, {0, 1, 65535, 0}, 2},
        {"int16 without no-data", heightLayout(SampleType::Signed, 16), bytesOf<std::int16_t>({-32768, 32767}),
         std::nullopt, {1, 65535}, 0},
        // A no-data value no 8-bit integer can hold matches nothing.
        {"int8 no-data out of range", heightLayout(SampleType::Signed, 8), bytesOf<std::int8_t>({-128, 0}), -9999.0,
         {1, 65535}, 0},
        {"int32 fractional no-data", heightLayout(SampleType::Signed, 32), bytesOf<std::int32_t>({-9999, 1}), -9999.5,
         {1, 65535}, 0},
        // The GDAL text "-3.4e+38" is not a float; its nearest float is the samples' void.
        {"float32 -3.4e+38", heightLayout(SampleType::Float, 32),
         bytesOf<float>({-3.4e38f, 1.0f, 3.0f, static_cast<float>(nan), static_cast<float>(inf)}), -3.4e38,
         {0, 1, 65535, 0, 0}, 3},
        {"float64 no-data", heightLayout(SampleType::Float, 64), bytesOf<double>({-9999.0, 0.5, -inf, 2.5}), -9999.0,
         {0, 1, 0, 65535}, 2},
        // Halves: 0x7C00 is +inf, 0x7E00 NaN, 0x3C00 1.0, 0x4000 2.0, 0x3E00 1.5.
        {"half float", heightLayout(SampleType::Float, 16), bytesOf<std::uint16_t>({0x7C00, 0x3C00, 0x4000, 0x7E00, 0x3E00}),
         std::nullopt, {0, 1, 65535, 0, 32768}, 2},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(mapsHeights(c.layout)) << c.name;
        const HeightSampler sampler(c.layout, c.noData);
        const std::size_t pixels = c.levels.size();
        HeightTally found;
        sampler.tally(c.bytes.data(), pixels, found);
        EXPECT_EQ(found.voids, c.voids) << c.name;
        EXPECT_EQ(found.valid, pixels - c.voids) << c.name;
        ASSERT_TRUE(found.range()) << c.name;
        std::vector<std::uint16_t> out(pixels, 7);
        HeightTally mapped;
        sampler.map(HeightMapping(*found.range()), c.bytes.data(), pixels, out.data(), mapped);
        EXPECT_EQ(out, c.levels) << c.name;
        EXPECT_EQ(mapped.voids, c.voids) << c.name;
        EXPECT_EQ(mapped.clipped, 0u) << c.name;
    }
}

TEST(HeightMapping, AllVoidsHaveNoRangeAndOnlyHeightLayoutsMap) {
    const HeightSampler sampler(heightLayout(SampleType::Signed, 16), -32768.0);
    const auto bytes = bytesOf<std::int16_t>({-32768, -32768});
    HeightTally found;
    sampler.tally(bytes.data(), 2, found);
    EXPECT_FALSE(found.range());
    EXPECT_EQ(found.voids, 2u);

    EXPECT_FALSE(mapsHeights(heightLayout(SampleType::Signed, 64)));
    EXPECT_FALSE(mapsHeights(heightLayout(SampleType::Unsigned, 16)));
    PixelLayout rgb = heightLayout(SampleType::Float, 32);
    rgb.channels = 3;
    EXPECT_FALSE(mapsHeights(rgb));
    PixelLayout withAlpha = heightLayout(SampleType::Float, 32);
    withAlpha.channels = 2;
    withAlpha.alpha = true;
    EXPECT_TRUE(mapsHeights(withAlpha));
}

}  // namespace
}  // namespace kelvarin
