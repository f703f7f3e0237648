// The floating-point block functions (vectorised slices with a fast path through double)
// against a plain extended-precision implementation written here from the formulas, over
// random and adversarial pixels: denormals, huge and negative values, NaN and infinities,
// exact ties of the mean, heavy cancellation, differences and products that land halfway
// between singles, every weighting, option mix and byte order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "pixels/float_pipeline.h"
#include "pixels/integer_pipeline.h"
#include "pixels/tone_parameters.h"
#include "support/reference.h"

#if defined(__SANITIZE_ADDRESS__)
#define KELVARIN_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KELVARIN_TEST_SANITIZED 1
#endif
#endif

namespace kelvarin {
namespace {

using L = long double;

float referenceGrey(ColourWeighting w, float r, float g, float b) {
    return static_cast<float>(test::referenceWeightedSum(w, r, g, b));
}

using Options = test::ReferenceTone;

float fromBits(std::uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

std::uint32_t toBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

class PixelMaker {
public:
    explicit PixelMaker(std::uint32_t seed) : random_(seed) {}

    // One pixel of a randomly chosen kind.
    void make(float* rgb) {
        const int kind = pick(0, 9);
        switch (kind) {
            case 0: {  // image-like
                std::uniform_real_distribution<float> v(-2.0f, 7.0f);
                for (int k = 0; k < 3; ++k) rgb[k] = v(random_);
                break;
            }
            case 1:  // any bit pattern: NaNs, infinities, denormals, huge values
                for (int k = 0; k < 3; ++k) rgb[k] = fromBits(static_cast<std::uint32_t>(random_()));
                break;
            case 2:  // any sign and exponent, denormals included
                for (int k = 0; k < 3; ++k) rgb[k] = wide();
                break;
            case 3: {  // three channels of one smooth value: the mean often lies exactly halfway
                std::uniform_real_distribution<double> base(0.25, 0.95);
                const double b = base(random_);
                rgb[0] = static_cast<float>(b * 3.5 - 0.7);
                rgb[1] = static_cast<float>((b * 0.9 + 0.05) * 3.5 - 0.7);
                rgb[2] = static_cast<float>((b * 0.8 + 0.1) * 3.5 - 0.7);
                break;
            }
            case 4:  // a mean exactly halfway between two singles
                exactTie(rgb);
                break;
            case 5: {  // heavy cancellation, where a double loses what extended precision keeps
                const float x = wide();
                const float y = std::nextafter(x, pick(0, 1) ? 1e38f : -1e38f);
                const float tiny = std::ldexp(x, -pick(25, 62)) * (pick(0, 1) ? 1.0f : -1.0f);
                switch (pick(0, 3)) {
                    case 0: rgb[0] = -x; rgb[1] = y; rgb[2] = std::ldexp(wide(), -pick(0, 30)); break;
                    case 1: rgb[0] = tiny; rgb[1] = x; rgb[2] = -x; break;  // Average: tiny / 3
                    case 2: rgb[0] = -x * (0.587f / 0.299f); rgb[1] = x; rgb[2] = tiny; break;
                    default: rgb[0] = tiny; rgb[1] = x; rgb[2] = -x * (0.7152f / 0.0722f); break;
                }
                break;
            }
            case 6: {  // zeros of both signs, denormals, extremes of the float range
                const float specials[] = {0.0f, -0.0f, 1e-45f, -1e-45f, 1.1754942e-38f, 3.4028235e38f,
                                          -3.4028235e38f, std::numeric_limits<float>::infinity(),
                                          -std::numeric_limits<float>::infinity(), std::nanf("")};
                for (int k = 0; k < 3; ++k) rgb[k] = specials[pick(0, 9)];
                break;
            }
            default: {  // near a few values the tone maps below use, in several binades, and
                        // the single whose power 0.625 lies closest to halfway between two singles
                        // (an exhaustive search over all floats; the same mantissa at every 2^8k)
                const float anchors[] = {1.0f + 0x1p-23f, 0.5f, 4.5f, 3.0f, 0.0f, 0x1.e31cfep-2f, 0x1.e31cfep-10f};
                const int which = pick(0, 6);
                const float a = which >= 5 ? anchors[which] : std::ldexp(anchors[which], pick(-3, 3));
                const float v = fromBits(toBits(a) + static_cast<std::uint32_t>(pick(0, 8)) - 4u);
                rgb[0] = rgb[1] = rgb[2] = pick(0, 3) == 0 ? -v : v;
                if (pick(0, 1)) rgb[pick(0, 2)] = std::ldexp(v, 1);
                break;
            }
        }
    }

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }

    // g + r + b = 3q with q halfway between singles in [1, 2): g in [2, 4), r and b the rest.
    void exactTie(float* rgb) {
        for (;;) {
            const double q = (2.0 * pick(1 << 23, (1 << 24) - 1) + 1) * 0x1p-24;
            const double g =
                std::ldexp(std::floor(std::uniform_real_distribution<double>(2.0, 4.0)(random_) * 0x1p22), -22);
            const double r = static_cast<float>(3 * q - g - 0.75);
            const double b = 3 * q - g - r;
            if (static_cast<double>(static_cast<float>(b)) != b) continue;
            rgb[0] = static_cast<float>(r);
            rgb[1] = static_cast<float>(g);
            rgb[2] = static_cast<float>(b);
            return;
        }
    }

private:
    float wide() {
        std::uniform_real_distribution<float> mantissa(1.0f, 2.0f);
        const float v = std::ldexp(mantissa(random_), pick(-149, 127));
        return pick(0, 2) == 0 ? -v : v;
    }

    std::mt19937 random_;
};

std::vector<std::uint8_t> encode(const std::vector<float>& values, ByteOrder order) {
    std::vector<std::uint8_t> bytes(values.size() * 4);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint32_t bits = toBits(values[i]);
        for (int j = 0; j < 4; ++j)
            bytes[4 * i + static_cast<std::size_t>(j)] =
                static_cast<std::uint8_t>(order == ByteOrder::II ? bits >> (8 * j) : bits >> (24 - 8 * j));
    }
    return bytes;
}

// Runs `f(offset, count)` over [0, pixels) in pieces of random length, so slices end anywhere.
template <typename F>
void inPieces(std::size_t pixels, PixelMaker& maker, F&& f) {
    for (std::size_t at = 0; at < pixels;) {
        const std::size_t n = std::min<std::size_t>(pixels - at, static_cast<std::size_t>(maker.pick(1, 1500)));
        f(at, n);
        at += n;
    }
}

std::size_t pixelsPerRound() {
#ifdef KELVARIN_TEST_SANITIZED
    return 2000;
#else
    return 8000;
#endif
}

TEST(FloatBlockDifferential, AnalysisAndConversionMatchExtendedPrecision) {
    const ColourWeighting weightings[] = {ColourWeighting::Average, ColourWeighting::TV,    ColourWeighting::HDTV,
                                          ColourWeighting::Red,     ColourWeighting::Green, ColourWeighting::Blue};
    PixelMaker maker(20261207);
    const std::size_t pixels = pixelsPerRound();
    std::size_t checked = 0, inside = 0;
    for (int round = 0; round < 4; ++round) {
        std::vector<float> values(pixels * 3);
        for (std::size_t i = 0; i < pixels; ++i) maker.make(&values[3 * i]);
        for (const ColourWeighting w : weightings) {
            std::vector<float> greys(pixels);
            float highest = FloatExtremes::initial().highestValue, lowest = FloatExtremes::initial().lowestValue;
            for (std::size_t i = 0; i < pixels; ++i) {
                greys[i] = referenceGrey(w, values[3 * i], values[3 * i + 1], values[3 * i + 2]);
                if (greys[i] > highest) highest = greys[i];
                if (greys[i] < lowest) lowest = greys[i];
            }
            // Tone maps: the image's own, and ones made to land differences and products on ties.
            const float maps[][2] = {{highest, lowest},        {4.0f, 1.0f + 0x1p-23f}, {4.5f, 0.5f}, {1.0f, 0.0f},
                                     {1.0f + 0x1p-23f, 1.0f}, {3.0f, 3.0f},           {1e30f, -1e30f}};
            for (const ByteOrder order : {ByteOrder::II, ByteOrder::MM}) {
                const std::vector<std::uint8_t> bytes = encode(values, order);
                const BlockFormat format{SampleLayout::RgbFloat, order, w};
                // The analysis that keeps its greys finds the same extremes and keeps the greys.
                FloatExtremes found = FloatExtremes::initial(), keeping = FloatExtremes::initial();
                std::vector<float> kept(pixels);
                inPieces(pixels, maker, [&](std::size_t at, std::size_t n) {
                    analyseFloatBlock(format, bytes.data() + 12 * at, n, found);
                    analyseFloatBlock(format, bytes.data() + 12 * at, n, keeping, kept.data() + at);
                });
                ASSERT_EQ(toBits(found.highestValue), toBits(highest)) << "weighting " << static_cast<int>(w);
                ASSERT_EQ(toBits(found.lowestValue), toBits(lowest)) << "weighting " << static_cast<int>(w);
                ASSERT_EQ(toBits(keeping.highestValue), toBits(highest));
                ASSERT_EQ(toBits(keeping.lowestValue), toBits(lowest));
                for (std::size_t i = 0; i < pixels; ++i) {
                    // A NaN is any NaN: every one converts as white.
                    if (std::isnan(greys[i]))
                        ASSERT_TRUE(std::isnan(kept[i]));
                    else
                        ASSERT_EQ(toBits(kept[i]), toBits(greys[i])) << "weighting " << static_cast<int>(w) << " pixel " << i;
                }
                for (const auto& m : maps) {
                    const FloatExtremes e{m[0], m[1]};
                    FloatToneMap map = floatToneMap(e);
                    for (int mixes = 0; mixes < 3; ++mixes) {
                        const int mix = maker.pick(0, 63);
                        const Options o{(mix & 1) != 0, std::uint32_t{1} << ((mix >> 1) & 3),
                                        (mix & 8) ? posteriseStepFor(5) : 0u, (mix & 16) != 0};
                        map.gamma = o.gamma || o.step != 0 || (mix & 32) != 0;
                        map.fStopMultiplier = o.fStop;
                        map.posteriseStep = o.step;
                        map.invert = o.invert;
                        const Options want{map.gamma, o.fStop, o.step, o.invert};
                        std::vector<std::uint16_t> out(pixels);
                        inPieces(pixels, maker, [&](std::size_t at, std::size_t n) {
                            convertFloatBlock(format, map, bytes.data() + 12 * at, n, out.data() + at);
                        });
                        // The kept greys give the samples the pixels give.
                        std::vector<std::uint16_t> fromKept(pixels);
                        toneMapGreys(kept.data(), pixels, map, fromKept.data());
                        ASSERT_TRUE(fromKept == out) << "weighting " << static_cast<int>(w) << " mix " << mix;
                        for (std::size_t i = 0; i < pixels; ++i) {
                            const unsigned got = out[i];
                            const std::uint16_t expected =
                                test::referenceToneSample(greys[i], e.highestValue, e.lowestValue, want);
                            ASSERT_EQ(got, expected)
                                << "weighting " << static_cast<int>(w) << " map " << m[0] << "/" << m[1] << " mix "
                                << mix << " grey " << greys[i] << " pixel " << values[3 * i] << " "
                                << values[3 * i + 1] << " " << values[3 * i + 2];
                            inside += expected != 0 && expected != 65535;
                        }
                        checked += pixels;
                    }
                }
            }
        }
    }
    // Enough samples must land inside the range (not at a clamp), or the comparison proves little.
    EXPECT_GT(inside, checked / 20);
}

// Exact ties of the mean are common in smooth images; they must round to even, not to the
// double's side.
TEST(FloatBlockDifferential, MeanHalfwayBetweenSinglesRoundsToEven) {
    PixelMaker maker(5);
    std::vector<float> values(3 * 4000);
    for (std::size_t i = 0; i < 4000; ++i) maker.exactTie(&values[3 * i]);
    const std::vector<std::uint8_t> bytes = encode(values, ByteOrder::II);
    FloatExtremes e = FloatExtremes::initial();
    analyseFloatBlock({SampleLayout::RgbFloat, ByteOrder::II, ColourWeighting::Average}, bytes.data(),
                      4000, e);
    float highest = 0, lowest = 4;
    for (std::size_t i = 0; i < 4000; ++i) {
        const float grey = referenceGrey(ColourWeighting::Average, values[3 * i], values[3 * i + 1], values[3 * i + 2]);
        // The mean is a tie, so its single has an even last bit.
        ASSERT_EQ(toBits(grey) & 1u, 0u);
        highest = std::max(highest, grey);
        lowest = std::min(lowest, grey);
    }
    EXPECT_EQ(e.highestValue, highest);
    EXPECT_EQ(e.lowestValue, lowest);
}

}  // namespace
}  // namespace kelvarin

namespace kelvarin {
namespace {

// The integer block converters (weighting in a vectorised loop, then the table) against the
// rounded extended-precision grey and the pipeline written out here, for every layout, byte
// order and weighting, with full-range and narrow samples.
std::uint16_t referenceIntegerSample(std::uint32_t grey, std::uint32_t lowest, double boost, std::uint32_t fStop,
                                     std::uint32_t step, bool invert, bool stretch) {
    std::uint32_t g = grey;
    if (stretch) {
        const L value = static_cast<L>(boost) * static_cast<L>(g - lowest) * fStop;
        g = std::isnan(value) ? 0u : static_cast<std::uint32_t>(std::min(std::nearbyint(value), 65535.0L));
        if (step != 0) g = std::min<std::uint32_t>(g / step * step, 65535u);
    } else if (g > 65535u) {
        g = 65535u;
    }
    if (invert) g = 65535u - g;
    return static_cast<std::uint16_t>(g);
}

TEST(IntegerBlockDifferential, ConversionMatchesTheFormulas) {
    const ColourWeighting weightings[] = {ColourWeighting::Average, ColourWeighting::TV,    ColourWeighting::HDTV,
                                          ColourWeighting::Red,     ColourWeighting::Green, ColourWeighting::Blue};
    std::mt19937_64 random(77);
    const std::size_t pixels = pixelsPerRound() / 3;
    for (const SampleLayout layout : {SampleLayout::Rgb8, SampleLayout::Rgb16, SampleLayout::Rgb32}) {
        const std::size_t size = bytesPerPixel(layout) / 3;
        for (const ByteOrder order : {ByteOrder::II, ByteOrder::MM}) {
            for (const ColourWeighting w : weightings) {
                for (int mix = 0; mix < 4; ++mix) {
                    // Full-range samples, or a narrow band so the stretch has room to work.
                    const std::uint64_t mask = mix % 2 ? ~std::uint64_t{0} : 0x3F;
                    std::vector<std::uint8_t> bytes(pixels * 3 * size);
                    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() & mask);
                    std::vector<std::uint32_t> greys(pixels);
                    IntegerExtremes want;
                    for (std::size_t i = 0; i < pixels; ++i) {
                        std::uint32_t s[3];
                        for (std::size_t k = 0; k < 3; ++k) {
                            const std::uint8_t* p = &bytes[(3 * i + k) * size];
                            std::uint32_t v = 0;
                            for (std::size_t j = 0; j < size; ++j)
                                v |= std::uint32_t{p[j]} << (8 * (order == ByteOrder::II ? j : size - 1 - j));
                            s[k] = size == 1 ? v * 256 : v;
                        }
                        greys[i] = test::referenceIntegerGrey(w, s[0], s[1], s[2]);
                        want.highestGrey = std::max(want.highestGrey, greys[i]);
                        want.lowestGrey = std::min(want.lowestGrey, greys[i]);
                    }
                    const BlockFormat format{layout, order, w};
                    IntegerExtremes found;
                    analyseIntegerBlock(format, bytes.data(), pixels, found);
                    ASSERT_EQ(found.highestGrey, want.highestGrey);
                    ASSERT_EQ(found.lowestGrey, want.lowestGrey);
                    // 24- and 48-bit greys fit 16 bits: the analysis can keep them.
                    ASSERT_EQ(greysFit16Bits(format), layout != SampleLayout::Rgb32);
                    std::vector<std::uint16_t> kept(pixels);
                    if (greysFit16Bits(format)) {
                        IntegerExtremes keeping;
                        analyseIntegerBlock(format, bytes.data(), pixels, keeping, kept.data());
                        ASSERT_EQ(keeping.highestGrey, want.highestGrey);
                        ASSERT_EQ(keeping.lowestGrey, want.lowestGrey);
                        for (std::size_t i = 0; i < pixels; ++i) ASSERT_EQ(kept[i], greys[i]) << "pixel " << i;
                    }
                    IntegerStretch stretch;
                    stretch.stretch = mix != 1;
                    stretch.lowestGrey = found.lowestGrey;
                    stretch.boostFactor = integerBoostFactor(found);
                    stretch.fStopMultiplier = std::uint32_t{1} << (random() % 4);
                    stretch.posteriseStep = random() % 2 ? posteriseStepFor(6) : 0;
                    stretch.invert = random() % 2;
                    // Mixes 0 and 1 convert as a large image does (through the table), 2 and 3
                    // as a small one (each grey through the pipeline).
                    const IntegerConverter converter(format, stretch, mix < 2 ? std::uint64_t{1} << 24 : pixels);
                    std::vector<std::uint16_t> out(pixels);
                    for (std::size_t at = 0; at < pixels;) {
                        const std::size_t n = std::min<std::size_t>(pixels - at, 1 + random() % 3000);
                        converter.convertBlock(bytes.data() + at * 3 * size, n, out.data() + at);
                        at += n;
                    }
                    if (greysFit16Bits(format)) {
                        std::vector<std::uint16_t> fromKept(pixels);
                        converter.convertGreys(kept.data(), pixels, fromKept.data());
                        ASSERT_TRUE(fromKept == out) << "layout " << static_cast<int>(layout) << " mix " << mix;
                    }
                    for (std::size_t i = 0; i < pixels; ++i) {
                        ASSERT_EQ(out[i], referenceIntegerSample(greys[i], stretch.lowestGrey, stretch.boostFactor,
                                                              stretch.fStopMultiplier, stretch.posteriseStep,
                                                              stretch.invert, stretch.stretch))
                            << "layout " << static_cast<int>(layout) << " weighting " << static_cast<int>(w)
                            << " mix " << mix << " pixel " << i;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace kelvarin
