// Decoded pixels of every layout onto the converters' RGB layouts: the levels rule (round half to
// even, in exact integers), half floats, grey replicated and alpha dropped.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "pixels/pixel_layouts.h"

namespace kelvarin {
namespace {

// v x top / max to the nearest integer, ties to even, in long double (exact for these sizes).
std::uint32_t nearestEven(std::uint64_t v, std::uint64_t max, std::uint32_t top) {
    const long double exact = static_cast<long double>(v) * top / max;
    const long double below = std::floor(exact);
    const long double fraction = exact - below;
    auto q = static_cast<std::uint64_t>(below);
    if (fraction > 0.5L || (fraction == 0.5L && (q & 1) != 0)) ++q;
    return static_cast<std::uint32_t>(q);
}

TEST(PixelLayouts, LevelsScaleToTheNearestWithTiesToEven) {
    struct Case {
        std::uint64_t max;
        std::uint32_t top;
    };
    // 1-7 bits and PNM maxvals onto 8 bits; 9-15 bits and odd maxvals onto 16.
    for (const Case c : {Case{1, 255}, Case{3, 255}, Case{7, 255}, Case{15, 255}, Case{100, 255}, Case{127, 255},
                         Case{511, 65535}, Case{1023, 65535}, Case{4095, 65535}, Case{16383, 65535},
                         Case{256, 65535}, Case{1000, 65535}, Case{65534, 65535}, Case{510, 65535}}) {
        for (std::uint64_t v = 0; v <= c.max; ++v)
            ASSERT_EQ(scaleLevel(v, c.max, c.top), nearestEven(v, c.max, c.top)) << v << " of " << c.max;
        EXPECT_EQ(scaleLevel(0, c.max, c.top), 0u);
        EXPECT_EQ(scaleLevel(c.max, c.max, c.top), c.top);
    }
    // A tie: 1 x 65535 / 2 = 32767.5 goes to the even 32768; 3 x 255 / 2 = 382.5 to 382.
    EXPECT_EQ(scaleLevel(1, 2, 65535), 32768u);
    EXPECT_EQ(scaleLevel(3, 2, 255), 382u);
}

TEST(PixelLayouts, EveryHalfFloatIsItsValueAsAFloat) {
    for (std::uint32_t h = 0; h < 65536; ++h) {
        const std::uint32_t exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
        const float sign = (h & 0x8000) ? -1.0f : 1.0f;
        const float got = halfToFloat(static_cast<std::uint16_t>(h));
        if (exponent == 0x1F) {
            EXPECT_TRUE(mantissa ? std::isnan(got) : std::isinf(got) && std::signbit(got) == (sign < 0)) << h;
            continue;
        }
        const double value = exponent == 0 ? std::ldexp(mantissa, -24) : std::ldexp(1024 + mantissa, static_cast<int>(exponent) - 25);
        ASSERT_EQ(got, static_cast<float>(sign * value)) << h;
        ASSERT_EQ(std::signbit(got), sign < 0) << h;
    }
}

template <typename T>
std::vector<std::uint8_t> bytesOf(const std::vector<T>& values) {
    std::vector<std::uint8_t> b(values.size() * sizeof(T));
    std::memcpy(b.data(), values.data(), b.size());
    return b;
}

template <typename T>
std::vector<T> valuesOf(const std::vector<std::uint8_t>& bytes) {
    std::vector<T> v(bytes.size() / sizeof(T));
    std::memcpy(v.data(), bytes.data(), bytes.size());
    return v;
}

std::vector<std::uint8_t> converted(const PixelLayout& layout, const std::vector<std::uint8_t>& in) {
    const std::size_t pixels = in.size() / layout.bytesPerPixel();
    std::vector<std::uint8_t> out(pixels * bytesPerPixel(*rgbLayoutFor(layout)));
    toRgbPixels(layout, in.data(), pixels, out.data());
    return out;
}

TEST(PixelLayouts, GreyIsReplicatedAndAlphaDropped) {
    // Grey + alpha, 8 bits: the alpha never reaches the samples, whatever its value.
    EXPECT_EQ(converted({2, true, SampleType::Unsigned, 8, 255}, {10, 0, 200, 255}),
              (std::vector<std::uint8_t>{10, 10, 10, 200, 200, 200}));
    // RGBA, 16 bits.
    EXPECT_EQ(valuesOf<std::uint16_t>(converted({4, true, SampleType::Unsigned, 16, 65535},
                                                bytesOf<std::uint16_t>({1, 2, 3, 0, 65535, 0, 7, 9}))),
              (std::vector<std::uint16_t>{1, 2, 3, 65535, 0, 7}));
    // 12-bit grey in 16-bit samples: scaled onto 16 bits and replicated.
    EXPECT_EQ(valuesOf<std::uint16_t>(
                  converted({1, false, SampleType::Unsigned, 16, 4095}, bytesOf<std::uint16_t>({0, 4095, 2048}))),
              (std::vector<std::uint16_t>{0, 0, 0, 65535, 65535, 65535, 32776, 32776, 32776}));
    // A level above its maximum (a PNM may hold one) is the maximum.
    EXPECT_EQ(converted({1, false, SampleType::Unsigned, 8, 100}, {101, 255}),
              (std::vector<std::uint8_t>{255, 255, 255, 255, 255, 255}));
    // 32-bit levels pass unchanged.
    EXPECT_EQ(valuesOf<std::uint32_t>(converted({3, false, SampleType::Unsigned, 32, 0xFFFFFFFFu},
                                                bytesOf<std::uint32_t>({0, 1, 0xFFFFFFFFu}))),
              (std::vector<std::uint32_t>{0, 1, 0xFFFFFFFFu}));
    // Half RGB + alpha, and doubles to the nearest float.
    EXPECT_EQ(valuesOf<float>(converted({4, true, SampleType::Float, 16, 0},
                                        bytesOf<std::uint16_t>({0x3C00, 0x4000, 0xC000, 0x3C00}))),
              (std::vector<float>{1.0f, 2.0f, -2.0f}));
    EXPECT_EQ(valuesOf<float>(converted({1, false, SampleType::Float, 64, 0}, bytesOf<double>({0.1}))),
              (std::vector<float>{0.1f, 0.1f, 0.1f}));
}

TEST(PixelLayouts, OnlyLevelsAndLightHaveAnRgbLayout) {
    struct Case {
        PixelLayout layout;
        std::optional<SampleLayout> expected;
    };
    const Case cases[] = {
        {{1, false, SampleType::Unsigned, 8, 1}, SampleLayout::Rgb8},
        {{3, false, SampleType::Unsigned, 8, 255}, SampleLayout::Rgb8},
        {{3, false, SampleType::Unsigned, 16, 256}, SampleLayout::Rgb16},
        {{4, true, SampleType::Unsigned, 16, 65535}, SampleLayout::Rgb16},
        {{3, false, SampleType::Unsigned, 32, 0xFFFFFFFFu}, SampleLayout::Rgb32},
        {{3, false, SampleType::Float, 16, 0}, SampleLayout::RgbFloat},
        {{1, false, SampleType::Float, 32, 0}, SampleLayout::RgbFloat},
        {{3, false, SampleType::Unsigned, 32, 0xFFFFFFu}, std::nullopt},  // 24-bit levels
        {{3, false, SampleType::Unsigned, 8, 256}, std::nullopt},        // a maximum its samples cannot hold
        {{1, false, SampleType::Signed, 16, 0}, std::nullopt},            // heights
        {{2, false, SampleType::Unsigned, 8, 255}, std::nullopt},         // two colour channels
        {{3, false, SampleType::Float, 8, 0}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(rgbLayoutFor(c.layout), c.expected) << c.layout.channels << " " << c.layout.bits;
}

// The layouts the job hands to the converters as decoded are exactly those whose conversion is
// a copy: any other would be converted wrongly without it.
TEST(PixelLayouts, OnlyPixelsTheConversionWouldCopyGoAsDecoded) {
    const PixelLayout layouts[] = {
        {3, false, SampleType::Unsigned, 8, 255},         {3, false, SampleType::Unsigned, 16, 65535},
        {3, false, SampleType::Unsigned, 32, 0xFFFFFFFFu}, {3, false, SampleType::Float, 32, 0},
        {3, false, SampleType::Unsigned, 16, 4095},       {3, false, SampleType::Unsigned, 8, 100},
        {4, true, SampleType::Unsigned, 16, 65535},       {4, true, SampleType::Unsigned, 8, 255},
        {1, false, SampleType::Unsigned, 16, 65535},      {3, false, SampleType::Float, 16, 0},
        {3, false, SampleType::Float, 64, 0},
    };
    for (const PixelLayout& layout : layouts) {
        SCOPED_TRACE(std::to_string(layout.channels) + " channels, " + std::to_string(layout.bits) + " bits, max " +
                     std::to_string(layout.maxValue));
        // Every byte value in every position, several times over.
        std::vector<std::uint8_t> in(layout.bytesPerPixel() * 300);
        for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        if (layout.type == SampleType::Float)  // finite values only: NaN payloads need not survive
            for (std::size_t i = layout.bytesPerSample() - 1; i < in.size(); i += layout.bytesPerSample()) in[i] &= 0x3F;
        const std::vector<std::uint8_t> out = converted(layout, in);
        const bool copy = out == in;
        EXPECT_EQ(rgbAsDecoded(layout), copy);
    }
}

}  // namespace
}  // namespace kelvarin
