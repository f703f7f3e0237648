#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "pixels/float_pipeline.h"
#include "pixels/rgbe_tone_mapper.h"
#include "pixels/tone_parameters.h"
#include "support/reference.h"

namespace kelvarin {
namespace {

float floatFromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

TEST(RgbeTone, GammaCurveEqualsTheExtendedPower) {
    // A spread of single values over the whole range 0 .. 1, denormals included.
    std::size_t checked = 0;
    for (std::uint32_t bits = 0; bits <= 0x3F800000u; bits += 1009) {
        const float t = floatFromBits(bits);
        const float expected = static_cast<float>(std::pow(static_cast<long double>(t), 0.625L));
        ASSERT_EQ(gammaCurve(t), expected) << t;
        ++checked;
    }
    EXPECT_EQ(gammaCurve(1.0f), 1.0f);
    EXPECT_EQ(gammaCurve(0.0f), 0.0f);
    EXPECT_TRUE(std::isnan(gammaCurve(std::nanf(""))));
    EXPECT_GT(checked, 1000000u);
}

TEST(RgbeTone, GreyValuesFollowTheFormulasForEveryExponent) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int w = 0; w < 6; ++w) {
        const auto weighting = static_cast<ColourWeighting>(w);
        for (int e = 0; e < 256; ++e) {
            for (int k = 0; k < 40; ++k) {
                const int r = k == 0 ? 255 : byte(random), g = k == 0 ? 255 : byte(random), b = k == 0 ? 255 : byte(random);
                ASSERT_EQ(rgbeGrey(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                                   static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(e), weighting),
                          test::referenceRgbeGrey(weighting, r, g, b, e))
                    << "weighting " << w << " rgbe " << r << " " << g << " " << b << " " << e;
            }
        }
    }
}

TEST(RgbeTone, StartingValuesAndParameters) {
    // About 8.1^-37 and 3.1^38, from the single-precision 8.1 (8.1000003...) and 3.1 (3.0999999...).
    const FloatExtremes start = FloatExtremes::initial();
    EXPECT_NEAR(start.highestValue / 2.43250e-34, 1.0, 2e-5);
    EXPECT_NEAR(start.lowestValue / 4.69617e18, 1.0, 2e-5);
    EXPECT_LT(start.highestValue, static_cast<float>(std::pow(8.1L, -37.0L)));
    EXPECT_LT(start.lowestValue, static_cast<float>(std::pow(3.1L, 38.0L)));
    ConversionOptions o;
    o.fStopX2 = o.fStopX4 = true;
    o.posteriseSteps = 12;
    const FloatToneMap p = floatToneMap(FloatExtremes{3.0f, 1.0f}, o);
    EXPECT_EQ(kGammaExponent, 0.625f);
    EXPECT_EQ(p.fStopMultiplier, 8u);
    EXPECT_EQ(p.posteriseStep, 5461u);
    EXPECT_TRUE(p.gamma);
    EXPECT_EQ(p.dynamicRange, 2.0f);
    EXPECT_EQ(p.boostFactor, 32767.5);
    const int steps[] = {4, 5, 6, 8, 12, 16};
    const std::uint32_t expectedSteps[] = {16383, 13107, 10922, 8191, 5461, 4095};
    for (int i = 0; i < 6; ++i) {
        ConversionOptions s;
        s.posteriseSteps = steps[i];
        EXPECT_EQ(floatToneMap(FloatExtremes::initial(), s).posteriseStep, expectedSteps[i]);
    }
}

struct SampleCase {
    const char* name;
    float v;
    FloatToneMap p;
    std::uint16_t sample;
};

TEST(RgbeTone, SampleSteps) {
    FloatToneMap linear;
    linear.lowestValue = 1.0f;
    linear.dynamicRange = 2.0f;
    linear.boostFactor = 32767.5;
    FloatToneMap curve = linear;
    curve.gamma = true;
    FloatToneMap zero;
    zero.dynamicRange = 0.0f;
    zero.boostFactor = INFINITY;
    zero.lowestValue = 5.0f;
    const auto with = [](FloatToneMap p, auto change) {
        change(p);
        return p;
    };
    const SampleCase cases[] = {
        {"lowest", 1.0f, linear, 0},
        {"highest", 3.0f, linear, 65535},
        {"middle rounds half to even", 2.0f, linear, 32768},  // 32767.5
        {"x2 saturates above the middle", 2.5f, with(linear, [](FloatToneMap& p) { p.fStopMultiplier = 2; }), 65535},
        {"curve at a quarter", 1.5f, curve, static_cast<std::uint16_t>(std::nearbyint(65535 * std::pow(0.25f, 0.625f)))},
        {"zero range linear", 5.0f, zero, 65535},
        {"zero range curve", 5.0f, with(zero, [](FloatToneMap& p) { p.gamma = true; }), 65535},
        {"zero range inverted", 5.0f, with(zero, [](FloatToneMap& p) { p.invert = true; }), 0},
        {"posterise 4 after the curve", 3.0f, with(curve, [](FloatToneMap& p) { p.posteriseStep = 16383; }), 65532},
        {"posterise then invert", 3.0f,
         with(curve, [](FloatToneMap& p) { p.posteriseStep = 16383; p.invert = true; }), 3},
        {"invert the lowest", 1.0f, with(linear, [](FloatToneMap& p) { p.invert = true; }), 65535},
    };
    for (const SampleCase& c : cases) {
        EXPECT_EQ(floatPipeline(c.v, c.p), c.sample) << c.name;
        std::uint16_t row[1];
        greyToSamples(&c.v, 1, 1, c.p, row, nullptr);
        EXPECT_EQ(row[0], c.sample) << c.name << " (slices)";
    }
}

}  // namespace
}  // namespace kelvarin

namespace kelvarin {
namespace {

TEST(RgbeTone, AverageGreyForEverySumAndExponent) {
    // The Average grey depends only on R + G + B and E: all of them against the plain formula.
    for (int e = 0; e < 256; ++e) {
        for (int sum = 0; sum <= 765; ++sum) {
            const int r = sum < 255 ? sum : 255, g = sum - r < 255 ? sum - r : 255, b = sum - r - g;
            ASSERT_EQ(rgbeGrey(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b),
                               static_cast<std::uint8_t>(e), ColourWeighting::Average),
                      test::referenceRgbeGrey(ColourWeighting::Average, r, g, b, e))
                << sum << " " << e;
        }
    }
}

TEST(RgbeTone, SamplesEqualTheExtendedPrecisionFormulas) {
    // Random grey values and extremes through every option path, against the formulas evaluated
    // in extended precision step by step.
    std::mt19937 random(17);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-40, 40);
    for (int round = 0; round < 200; ++round) {
        const float lowest = std::ldexp(unit(random) + 0.01f, exponent(random));
        const float highest = lowest + std::ldexp(unit(random) + 0.01f, exponent(random));
        ConversionOptions o;
        o.boostContrast = round % 3 == 1;
        o.invert = round % 5 == 2;
        o.fStopX2 = round % 7 == 3;
        o.posteriseSteps = round % 11 == 4 ? 6 : 0;
        const FloatToneMap p = floatToneMap(FloatExtremes{highest, lowest}, o);
        std::vector<float> values(2000);
        for (float& v : values) v = lowest + (highest - lowest) * unit(random);
        std::vector<std::uint16_t> samples(values.size());
        greyToSamples(values.data(), values.size(), 700, p, samples.data(), nullptr);
        for (std::size_t k = 0; k < values.size(); ++k) {
            const float v = values[k];
            const std::uint16_t expected = test::referenceToneSample(
                v, highest, lowest, {p.gamma, p.fStopMultiplier, p.posteriseStep, p.invert});
            ASSERT_EQ(floatPipeline(v, p), expected) << v << " round " << round;
            ASSERT_EQ(samples[k], expected) << v << " round " << round << " (slices)";
        }
    }
}

}  // namespace
}  // namespace kelvarin
