#include "pixels/rgbe_tone_mapper.h"

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>


namespace kelvarin {

// A colour value is (byte + 0.5) / 256 x 2^(E - 128) stored as a single. That is exact for every
// byte and exponent ((byte + 0.5) has 9 significant bits, and even E = 0 stays above the smallest
// single), so a pixel's three colours share the exact factor 2^(E - 136) and the grey value is
// the weighted sum of the (byte + 0.5) terms times that factor, rounded once to single:
// - TV and HDTV: each single coefficient times (byte + 0.5) has at most 33 significant bits and
//   their sum at most 36, so it is exact in double as in extended precision; scaling by a power
//   of two is exact too, leaving only the final rounding to single.
// - Average: the exact sum S (a multiple of 0.5 below 766) divided by 3 is either exact or has
//   an endless alternating tail of binary digits (...0101...), so it never lies on or near a
//   point halfway between two singles: rounded to single through extended precision, as the
//   formula evaluates it, or through double, the result is the same. A power-of-two scale does
//   not change the digits either (singles below 2^-126 just keep fewer of them).
// The tables below hold those exact terms, so the loop needs no division and no power.
namespace {

constexpr float kTvRed = 0.299f, kTvGreen = 0.587f, kTvBlue = 0.114f;
constexpr float kHdtvRed = 0.2126f, kHdtvGreen = 0.7152f, kHdtvBlue = 0.0722f;

struct GreyTables {
    std::array<double, 256> scale{};         // 2^(E - 136)
    std::array<double, 766> averageThird{};  // (R + G + B + 1.5) / 3 by R + G + B
    std::array<double, 256> red{}, green{}, blue{};  // coefficient x (byte + 0.5)

    GreyTables(float cr, float cg, float cb) {
        for (int e = 0; e < 256; ++e) scale[e] = std::ldexp(1.0, e - 136);
        for (int s = 0; s < 766; ++s) averageThird[s] = (s + 1.5) / 3.0;
        for (int v = 0; v < 256; ++v) {
            red[v] = static_cast<double>(cr) * (v + 0.5);
            green[v] = static_cast<double>(cg) * (v + 0.5);
            blue[v] = static_cast<double>(cb) * (v + 0.5);
        }
    }
};

const GreyTables& tablesFor(ColourWeighting weighting) {
    static const GreyTables tv(kTvRed, kTvGreen, kTvBlue);
    static const GreyTables hdtv(kHdtvRed, kHdtvGreen, kHdtvBlue);
    static const GreyTables plain(1.0f, 1.0f, 1.0f);
    if (weighting == ColourWeighting::TV) return tv;
    if (weighting == ColourWeighting::HDTV) return hdtv;
    return plain;
}

template <ColourWeighting W>
inline float greyOf(const GreyTables& t, unsigned r, unsigned g, unsigned b, unsigned e) {
    if constexpr (W == ColourWeighting::Average) {
        return static_cast<float>(t.averageThird[r + g + b] * t.scale[e]);
    } else if constexpr (W == ColourWeighting::Red) {
        return static_cast<float>(t.red[r] * t.scale[e]);
    } else if constexpr (W == ColourWeighting::Green) {
        return static_cast<float>(t.green[g] * t.scale[e]);
    } else if constexpr (W == ColourWeighting::Blue) {
        return static_cast<float>(t.blue[b] * t.scale[e]);
    } else {
        return static_cast<float>((t.red[r] + t.green[g] + t.blue[b]) * t.scale[e]);
    }
}

template <ColourWeighting W>
void greyRows(const GreyTables& t, const RgbeMap& map, float* grey, GreyExtremes& extremes,
              const std::function<void(std::uint32_t)>& rowDone) {
    const std::uint8_t* R = map.plane(0);
    const std::uint8_t* G = map.plane(1);
    const std::uint8_t* B = map.plane(2);
    const std::uint8_t* E = map.plane(3);
    float highest = extremes.highest, lowest = extremes.lowest;
    const std::size_t width = map.width();
    for (std::uint32_t row = 0; row < map.length(); ++row) {
        const std::size_t begin = row * width, end = begin + width;
        for (std::size_t i = begin; i < end; ++i) {
            const float v = greyOf<W>(t, R[i], G[i], B[i], E[i]);
            if (v > highest) highest = v;
            if (v < lowest) lowest = v;
            grey[i] = v;
        }
        if (rowDone) rowDone(row);
    }
    extremes.highest = highest;
    extremes.lowest = lowest;
}

}  // namespace

float startingHighestValue() { return static_cast<float>(std::pow(static_cast<long double>(8.1f), -37.0L)); }
float startingLowestValue() { return static_cast<float>(std::pow(static_cast<long double>(3.1f), 38.0L)); }

float rgbeGrey(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t e, ColourWeighting weighting) {
    const GreyTables& t = tablesFor(weighting);
    switch (weighting) {
        case ColourWeighting::Average: return greyOf<ColourWeighting::Average>(t, r, g, b, e);
        case ColourWeighting::TV:
        case ColourWeighting::HDTV: return greyOf<ColourWeighting::TV>(t, r, g, b, e);
        case ColourWeighting::Red: return greyOf<ColourWeighting::Red>(t, r, g, b, e);
        case ColourWeighting::Green: return greyOf<ColourWeighting::Green>(t, r, g, b, e);
        case ColourWeighting::Blue: return greyOf<ColourWeighting::Blue>(t, r, g, b, e);
    }
    return 0;
}

void rgbeToGrey(const RgbeMap& map, ColourWeighting weighting, float* grey, GreyExtremes& extremes,
                const std::function<void(std::uint32_t)>& rowDone) {
    const GreyTables& t = tablesFor(weighting);
    switch (weighting) {
        case ColourWeighting::Average: return greyRows<ColourWeighting::Average>(t, map, grey, extremes, rowDone);
        case ColourWeighting::TV:  // TV and HDTV differ only in their tables
        case ColourWeighting::HDTV: return greyRows<ColourWeighting::TV>(t, map, grey, extremes, rowDone);
        case ColourWeighting::Red: return greyRows<ColourWeighting::Red>(t, map, grey, extremes, rowDone);
        case ColourWeighting::Green: return greyRows<ColourWeighting::Green>(t, map, grey, extremes, rowDone);
        case ColourWeighting::Blue: return greyRows<ColourWeighting::Blue>(t, map, grey, extremes, rowDone);
    }
}

ToneParameters toneParameters(const GreyExtremes& extremes, const ConversionOptions& options) {
    ToneParameters p;
    p.lowestValue = extremes.lowest;
    p.dynamicRange = static_cast<float>(static_cast<long double>(extremes.highest) - extremes.lowest);
    p.boostFactor = static_cast<double>(65535.0L * (1.0L / static_cast<long double>(p.dynamicRange)));
    p.gammaExponent = static_cast<float>(1.0L / 1.6L);
    p.curve = options.boostContrast || options.posteriseSteps > 0;
    p.fStopMultiplier = 1;
    if (options.fStopX2) p.fStopMultiplier *= 2;
    if (options.fStopX4) p.fStopMultiplier *= 4;
    p.posteriseStep = options.posteriseSteps > 0 ? 65535 / options.posteriseSteps : 0;
    p.invert = options.invert;
    return p;
}

float gammaCurve(float t, float exponent) {
    // The power in double precision, rounded to single, equals the extended-precision power
    // rounded to single unless the double lies within a few units of a point halfway between two
    // singles (both powers are within about one unit of the exact value); those rare values, and
    // anything odd, take the extended-precision road. It is some 30 times faster.
    const double d = std::pow(static_cast<double>(t), static_cast<double>(exponent));
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    const std::uint64_t below = bits & ((std::uint64_t{1} << 29) - 1);  // the bits a single drops
    const std::uint64_t half = std::uint64_t{1} << 28;
    const std::uint64_t distance = below > half ? below - half : half - below;
    if (distance <= 16 || !(d >= 0x1p-120 || d == 0) || !(d <= 1))
        return static_cast<float>(std::pow(static_cast<long double>(t), static_cast<long double>(exponent)));
    return static_cast<float>(d);
}

namespace {

// Round half to even for 0 <= x < 2^23: adding 2^23 leaves no fraction bits, and the addition
// itself rounds to nearest, ties to even.
inline float roundEven(float x) {
    const float magic = 8388608.0f;
    return (x + magic) - magic;
}

// boostFactor x d as the extended-precision product rounded to single. The double product is
// within half a unit of the exact one; unless it lies within a few units of a point halfway
// between two singles, both round to the same single.
inline float scaledToSingle(double factor, float d) {
    const double x = factor * d;
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const std::uint64_t below = bits & ((std::uint64_t{1} << 29) - 1);
    const std::uint64_t half = std::uint64_t{1} << 28;
    const std::uint64_t distance = below > half ? below - half : half - below;
    if (distance <= 16 || !(x >= 0x1p-120 || x == 0) || !(x < 0x1p120))
        return static_cast<float>(static_cast<long double>(factor) * d);
    return static_cast<float>(x);
}

}  // namespace

// The formulas evaluate in extended precision and store singles. A sum, difference or quotient
// of two singles rounded to extended (or double) precision and then to single equals the single
// operation rounded once (the wider format has more than twice the digits plus two), so those
// steps are plain single arithmetic here; 65535 x a single is exact in double.
std::uint16_t toneMapSample(float v, const ToneParameters& p) {
    float out;
    const float shifted = v - p.lowestValue;
    if (p.curve) {
        const float t = shifted / p.dynamicRange;
        const float curved = gammaCurve(t, p.gammaExponent);
        out = static_cast<float>(65535.0 * curved * p.fStopMultiplier);
    } else {
        // The multiplier is a power of two: it scales the rounded product exactly.
        out = scaledToSingle(p.boostFactor, shifted) * static_cast<float>(p.fStopMultiplier);
    }
    if (!(out <= 65535.0f)) out = 65535.0f;  // also a NaN from a zero dynamic range
    if (p.posteriseStep != 0) {
        const auto n = static_cast<std::int32_t>(roundEven(out));
        out = static_cast<float>((n / p.posteriseStep) * p.posteriseStep);
        if (out > 65535.0f) out = 65535.0f;
    }
    if (p.invert) out = 65535.0f - out;
    // Values below 0 cannot arise (v never lies below the lowest value); kept out of the
    // integer conversion all the same.
    if (!(out >= 0.0f)) out = 0.0f;
    return static_cast<std::uint16_t>(static_cast<std::int32_t>(roundEven(out)) & 0xFFFF);
}

void greyToSamples(const float* grey, std::size_t pixels, std::uint32_t width, const ToneParameters& p,
                   std::uint8_t* out, const std::function<void(std::uint32_t)>& rowDone) {
    std::uint32_t row = 0;
    for (std::size_t begin = 0; begin < pixels; begin += width, ++row) {
        const std::size_t end = begin + width < pixels ? begin + width : pixels;
        for (std::size_t i = begin; i < end; ++i) {
            const std::uint16_t sample = toneMapSample(grey[i], p);
            out[2 * i] = static_cast<std::uint8_t>(sample);
            out[2 * i + 1] = static_cast<std::uint8_t>(sample >> 8);
        }
        if (rowDone) rowDone(row);
    }
}

}  // namespace kelvarin
