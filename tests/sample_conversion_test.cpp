// The block converters against a reference written straight from the formulas in extended
// precision, and the edge cases of the conversion rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <set>

#include "pixels/float_pipeline.h"
#include "pixels/integer_pipeline.h"
#include "pixels/weighting.h"
#include "support/reference.h"

namespace kelvarin {
namespace {

using L = long double;

const ColourWeighting kWeightings[] = {ColourWeighting::Average, ColourWeighting::TV,    ColourWeighting::HDTV,
                                       ColourWeighting::Red,     ColourWeighting::Green, ColourWeighting::Blue};

TEST(IntegerGrey, MatchesTheExtendedPrecisionFormulaFor16And32BitSamples) {
    std::mt19937_64 random(7);
    for (const ColourWeighting w : kWeightings) {
        for (int i = 0; i < 200000; ++i) {
            const bool wide = i % 2 == 1;
            const auto pick = [&] {
                return wide ? static_cast<std::uint32_t>(random()) : static_cast<std::uint32_t>(random() & 0xFFFF);
            };
            const std::uint32_t r = pick(), g = pick(), b = pick();
            const std::uint32_t want = test::referenceIntegerGrey(w, r, g, b);
            ASSERT_EQ(integerGrey(w, r, g, b), want) << static_cast<int>(w) << ": " << r << " " << g << " " << b;
        }
    }
}

TEST(IntegerGrey, DocumentedValues) {
    EXPECT_EQ(integerGrey(ColourWeighting::Average, 255 * 256, 255 * 256, 255 * 256), 65280u);
    EXPECT_EQ(integerGrey(ColourWeighting::Average, 1000, 2000, 3001), 2000u);
    EXPECT_EQ(integerGrey(ColourWeighting::Average, 1000, 2000, 3002), 2001u);
    // A grey pixel stays itself under TV and HDTV for every 16-bit value.
    for (std::uint32_t x = 0; x < 65536; ++x) {
        ASSERT_EQ(integerGrey(ColourWeighting::TV, x, x, x), x);
        ASSERT_EQ(integerGrey(ColourWeighting::HDTV, x, x, x), x);
    }
    // The TV coefficients sum to slightly more than 1: a white 32-bit pixel is held at 2^32-1.
    EXPECT_EQ(integerGrey(ColourWeighting::TV, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), 0xFFFFFFFFu);
}

TEST(IntegerPipeline, StretchPosteriseInvertAndLimits) {
    IntegerStretch none;
    EXPECT_EQ(integerPipeline(1234, none), 1234);
    EXPECT_EQ(integerPipeline(65537, none), 65535) << "a 96-bit grey beyond 16 bits is held at white";
    none.invert = true;
    EXPECT_EQ(integerPipeline(1234, none), 65535 - 1234);

    IntegerStretch s;
    s.stretch = true;
    s.lowestGrey = 1000;
    s.boostFactor = integerBoostFactor({3000, 1000});
    EXPECT_EQ(s.boostFactor, 65535.0 / 2000.0);
    EXPECT_EQ(integerPipeline(1000, s), 0);
    EXPECT_EQ(integerPipeline(3000, s), 65535);
    // 32.7675 x 1001 = 32800.2675 -> 32800
    EXPECT_EQ(integerPipeline(2001, s), static_cast<std::uint16_t>(std::nearbyint(static_cast<L>(s.boostFactor) * 1001)));
    s.fStopMultiplier = 8;
    EXPECT_EQ(integerPipeline(1300, s), 65535) << "x 8 passes 65535";
    EXPECT_EQ(integerPipeline(1100, s), static_cast<std::uint16_t>(std::nearbyint(static_cast<L>(s.boostFactor) * 800)));
    s.fStopMultiplier = 1;
    s.invert = true;
    EXPECT_EQ(integerPipeline(1000, s), 65535);
    EXPECT_EQ(integerPipeline(3000, s), 0);
    s.invert = false;

    s.posteriseStep = posteriseStepFor(4);
    std::set<std::uint16_t> values;
    for (std::uint32_t g = 1000; g <= 3000; ++g) values.insert(integerPipeline(g, s));
    EXPECT_EQ(values, (std::set<std::uint16_t>{0, 16383, 32766, 49149, 65532}));
}

TEST(IntegerPipeline, UniformImageWithBoostGivesBlackOrWhiteWithoutUndefinedBehaviour) {
    IntegerStretch s;
    s.stretch = true;
    s.lowestGrey = 500;
    s.boostFactor = integerBoostFactor({500, 500});
    EXPECT_TRUE(std::isinf(s.boostFactor));
    EXPECT_EQ(integerPipeline(500, s), 0);
    s.posteriseStep = posteriseStepFor(6);
    EXPECT_EQ(integerPipeline(500, s), 0);
    s.invert = true;
    EXPECT_EQ(integerPipeline(500, s), 65535);
}

TEST(Posterise, StepsAreTheRemainderFreeQuotients) {
    const std::pair<int, std::uint32_t> table[] = {{0, 0},     {4, 16383}, {5, 13107}, {6, 10922},
                                                   {8, 8191},  {12, 5461}, {16, 4095}};
    for (const auto& [steps, step] : table) EXPECT_EQ(posteriseStepFor(steps), step) << steps;
}

TEST(FloatGrey, StartingExtremesAndGammaExponent) {
    const FloatExtremes start = FloatExtremes::initial();
    EXPECT_NEAR(start.highestValue, 2.4325e-34f, 1e-37f);
    EXPECT_NEAR(start.lowestValue, 4.69617e18f, 1e13f);
    EXPECT_EQ(static_cast<float>(1.0L / 1.6L), 0.625f);
}

TEST(FloatPipeline, MatchesTheFormulasForEveryOptionMix) {
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-2.0f, 7.0f);
    std::vector<float> greys(5000);
    for (float& g : greys) g = value(random);
    FloatExtremes e = FloatExtremes::initial();
    for (float g : greys) {
        if (g > e.highestValue) e.highestValue = g;
        if (g < e.lowestValue) e.lowestValue = g;
    }
    for (int mix = 0; mix < 32; ++mix) {
        FloatToneMap map = floatToneMap(e);
        map.gamma = mix & 1;
        map.fStopMultiplier = (mix & 2 ? 2 : 1) * (mix & 4 ? 4 : 1);
        map.posteriseStep = mix & 8 ? posteriseStepFor(5) : 0;
        map.invert = mix & 16;
        for (float g : greys)
            ASSERT_EQ(floatPipeline(g, map),
                      test::referenceToneSample(g, e.highestValue, e.lowestValue,
                                                {map.gamma, map.fStopMultiplier, map.posteriseStep, map.invert}))
                << "mix " << mix << " grey " << g;
    }
}

TEST(FloatPipeline, UniformImageIsWhiteOrBlackWhenInverted) {
    FloatExtremes e = FloatExtremes::initial();
    e.highestValue = e.lowestValue = 0.75f;
    FloatToneMap map = floatToneMap(e);
    for (const bool gamma : {false, true}) {
        map.gamma = gamma;
        map.invert = false;
        EXPECT_EQ(floatPipeline(0.75f, map), 65535);
        map.invert = true;
        EXPECT_EQ(floatPipeline(0.75f, map), 0);
    }
}

TEST(FloatPipeline, NotANumberIsWhite) {
    FloatExtremes e{2.0f, 1.0f};
    FloatToneMap map = floatToneMap(e);
    EXPECT_EQ(floatPipeline(std::nanf(""), map), 65535);
    EXPECT_EQ(floatPipeline(2.0f, map), 65535);
    EXPECT_EQ(floatPipeline(1.0f, map), 0);
    EXPECT_EQ(floatPipeline(1.5f, map), 32768) << "32767.5 rounds to even";
}


// Blocks: source byte orders, every layout, against the single-pixel functions.
TEST(BlockConverters, ByteOrdersAndLayouts) {
    const std::uint8_t pixel16ii[] = {0xE8, 0x03, 0xD0, 0x07, 0xB9, 0x0B};  // 1000, 2000, 3001
    const std::uint8_t pixel16mm[] = {0x03, 0xE8, 0x07, 0xD0, 0x0B, 0xB9};
    IntegerStretch plain;
    for (const bool inBig : {false, true}) {
        const IntegerConverter c({SampleLayout::Rgb16, inBig ? ByteOrder::MM : ByteOrder::II, ColourWeighting::Average},
                                 plain);
        std::uint16_t out[1];
        c.convertBlock(inBig ? pixel16mm : pixel16ii, 1, out);
        EXPECT_EQ(out[0], 2000u) << inBig;
    }
    const std::uint8_t rgb8[] = {255, 255, 255, 0, 128, 255};
    const IntegerConverter c8({SampleLayout::Rgb8, ByteOrder::II, ColourWeighting::Green}, plain);
    std::uint16_t out8[2];
    c8.convertBlock(rgb8, 2, out8);
    EXPECT_EQ(out8[0], 65280);
    EXPECT_EQ(out8[1], 128 * 256);

    // 96-bit integer: 65537 grey held at 65535; the low bytes alone would give 1.
    const std::uint8_t rgb32[] = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    const IntegerConverter c32({SampleLayout::Rgb32, ByteOrder::II, ColourWeighting::Red}, plain);
    std::uint16_t out32[1];
    c32.convertBlock(rgb32, 1, out32);
    EXPECT_EQ(out32[0], 65535);

    // Big-endian floats are read in the file's order.
    const float values[3] = {1.0f, 2.0f, 4.0f};
    std::uint8_t floatsMm[12];
    for (int k = 0; k < 3; ++k) {
        std::uint32_t bits;
        std::memcpy(&bits, &values[k], 4);
        for (int j = 0; j < 4; ++j) floatsMm[4 * k + j] = static_cast<std::uint8_t>(bits >> (24 - 8 * j));
    }
    FloatExtremes e = FloatExtremes::initial();
    analyseFloatBlock({SampleLayout::RgbFloat, ByteOrder::MM, ColourWeighting::Blue}, floatsMm, 1, e);
    EXPECT_EQ(e.highestValue, 4.0f);
    EXPECT_EQ(e.lowestValue, 4.0f);
    analyseFloatBlock({SampleLayout::RgbFloat, ByteOrder::MM, ColourWeighting::Average}, floatsMm, 1, e);
    EXPECT_EQ(e.lowestValue, static_cast<float>(7.0L / 3));
}

}  // namespace
}  // namespace kelvarin

namespace kelvarin {
namespace {

float randomFloat(std::mt19937& random) {
    // Any sign, exponents from 2^-40 to 2^40, and some exact small integers.
    std::uniform_int_distribution<int> exponent(-40, 40), kind(0, 9);
    std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
    if (kind(random) == 0) return static_cast<float>(std::uniform_int_distribution<int>(-4, 4)(random));
    const float v = std::ldexp(mantissa(random), exponent(random));
    return kind(random) < 3 ? -v : v;
}

TEST(FloatGrey, MatchesExtendedPrecisionForWildInputs) {
    std::mt19937 random(11);
    for (const ColourWeighting w : {ColourWeighting::Average, ColourWeighting::TV, ColourWeighting::HDTV}) {
        for (int i = 0; i < 300000; ++i) {
            const float r = randomFloat(random), g = randomFloat(random), b = randomFloat(random);
            L want = 0;
            if (w == ColourWeighting::Average) want = (static_cast<L>(g) + r + b) / 3;
            if (w == ColourWeighting::TV) want = static_cast<L>(0.587f) * g + static_cast<L>(0.299f) * r + static_cast<L>(0.114f) * b;
            if (w == ColourWeighting::HDTV)
                want = static_cast<L>(0.7152f) * g + static_cast<L>(0.2126f) * r + static_cast<L>(0.0722f) * b;
            const float expected = static_cast<float>(want);
            const float got = floatGrey(w, r, g, b);
            ASSERT_EQ(std::memcmp(&got, &expected, 4), 0) << r << " " << g << " " << b;
        }
    }
    // Nearly cancelling terms and exact thirds.
    EXPECT_EQ(floatGrey(ColourWeighting::Average, 1.0f, -1.0f, 1e-30f), static_cast<float>(1e-30L / 3));
    EXPECT_EQ(floatGrey(ColourWeighting::Average, 3.0f, 3.0f, 3.0f), 3.0f);
}

TEST(GammaCurve, MatchesExtendedPrecisionPower) {
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const auto reference = [](float v) { return static_cast<float>(std::pow(static_cast<L>(v), static_cast<L>(0.625f))); };
    for (int i = 0; i < 2000000; ++i) {
        const float v = i < 1000000 ? unit(random) : std::ldexp(unit(random), -(i % 120));
        ASSERT_EQ(gammaCurve(v), reference(v)) << v;
    }
    for (const float v : {0.0f, 1.0f, 0.5f, 1e-45f, 3e38f, 2.0f})
        EXPECT_EQ(gammaCurve(v), reference(v)) << v;
    EXPECT_TRUE(std::isnan(gammaCurve(-0.5f)));
    EXPECT_TRUE(std::isnan(gammaCurve(std::nanf(""))));
}

}  // namespace
}  // namespace kelvarin

namespace kelvarin {
namespace {

// The block functions (batched, through double) against the per-pixel definitions.
TEST(FloatBlocks, AgreeWithThePerPixelFunctionsOnWildData) {
    std::mt19937 random(23);
    const std::size_t pixels = 20000;
    std::vector<float> values(pixels * 3);
    for (float& v : values) v = randomFloat(random);
    // Some ordinary image-like stretches and repeated minima too.
    std::uniform_real_distribution<float> unit(0.0f, 4.0f);
    for (std::size_t i = 0; i < pixels * 3 / 2; ++i) values[i] = unit(random);
    for (std::size_t i = 0; i < 300; ++i) values[i] = 0.0f;
    for (const ByteOrder order : {ByteOrder::II, ByteOrder::MM}) {
        std::vector<std::uint8_t> bytes(values.size() * 4);
        for (std::size_t i = 0; i < values.size(); ++i) {
            std::uint32_t bits;
            std::memcpy(&bits, &values[i], 4);
            for (int j = 0; j < 4; ++j)
                bytes[4 * i + static_cast<std::size_t>(j)] =
                    static_cast<std::uint8_t>(order == ByteOrder::II ? bits >> (8 * j) : bits >> (24 - 8 * j));
        }
        for (const ColourWeighting w : kWeightings) {
            const BlockFormat format{SampleLayout::RgbFloat, order, w};
            FloatExtremes block = FloatExtremes::initial(), single = FloatExtremes::initial();
            analyseFloatBlock(format, bytes.data(), pixels, block);
            std::vector<float> greys(pixels);
            for (std::size_t i = 0; i < pixels; ++i) {
                greys[i] = floatGrey(w, values[3 * i], values[3 * i + 1], values[3 * i + 2]);
                if (greys[i] > single.highestValue) single.highestValue = greys[i];
                if (greys[i] < single.lowestValue) single.lowestValue = greys[i];
            }
            ASSERT_EQ(block.highestValue, single.highestValue);
            ASSERT_EQ(block.lowestValue, single.lowestValue);
            // A narrower range too, so most samples land inside 0..65535 instead of at the clamp.
            for (const float top : {single.highestValue, 4.0f}) {
                FloatExtremes e = single;
                e.highestValue = top;
                e.lowestValue = std::max(single.lowestValue, 0.0f);
                for (int mix = 0; mix < 8; ++mix) {
                    FloatToneMap map = floatToneMap(e);
                    map.gamma = mix & 1;
                    map.fStopMultiplier = mix & 2 ? 4 : 1;
                    map.invert = mix & 4;
                    std::vector<std::uint16_t> out(pixels);
                    convertFloatBlock(format, map, bytes.data(), pixels, out.data());
                    for (std::size_t i = 0; i < pixels; ++i)
                        ASSERT_EQ(out[i], floatPipeline(greys[i], map))
                            << "weighting " << static_cast<int>(w) << " mix " << mix << " pixel " << i;
                }
            }
        }
    }
}

}  // namespace
}  // namespace kelvarin

namespace kelvarin {
namespace {

TEST(IntegerBlocks, AnalysisFindsThePerPixelExtremes) {
    std::mt19937_64 random(31);
    for (const SampleLayout layout : {SampleLayout::Rgb8, SampleLayout::Rgb16, SampleLayout::Rgb32}) {
        const std::size_t size = bytesPerPixel(layout) / 3;
        for (const ByteOrder order : {ByteOrder::II, ByteOrder::MM}) {
            for (const ColourWeighting w : kWeightings) {
                for (int round = 0; round < 20; ++round) {
                    const std::size_t pixels = 1 + random() % 50;
                    std::vector<std::uint8_t> bytes(pixels * 3 * size);
                    // Narrow or full ranges, so the starting 0 / 65535 matter sometimes.
                    const std::uint64_t mask = round % 2 ? ~std::uint64_t{0} : 0x0F;
                    for (auto& b : bytes) b = static_cast<std::uint8_t>(random() & mask);
                    IntegerExtremes block;
                    analyseIntegerBlock({layout, order, w}, bytes.data(), pixels, block);
                    IntegerExtremes single;
                    for (std::size_t i = 0; i < pixels; ++i) {
                        std::uint32_t s[3];
                        for (int k = 0; k < 3; ++k) {
                            const std::uint8_t* p = &bytes[(3 * i + static_cast<std::size_t>(k)) * size];
                            std::uint32_t v = 0;
                            for (std::size_t j = 0; j < size; ++j)
                                v |= std::uint32_t{p[j]} << (8 * (order == ByteOrder::II ? j : size - 1 - j));
                            s[k] = size == 1 ? v * 256 : v;
                        }
                        const std::uint32_t g = integerGrey(w, s[0], s[1], s[2]);
                        single.highestGrey = std::max(single.highestGrey, g);
                        single.lowestGrey = std::min(single.lowestGrey, g);
                    }
                    ASSERT_EQ(block.highestGrey, single.highestGrey);
                    ASSERT_EQ(block.lowestGrey, single.lowestGrey);
                }
            }
        }
    }
}

}  // namespace
}  // namespace kelvarin
