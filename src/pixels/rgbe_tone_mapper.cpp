#include "pixels/rgbe_tone_mapper.h"

#include <array>
#include <cmath>

#include "pixels/float_pipeline.h"
#include "pixels/weighting.h"

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
    static const GreyTables hdtv(kHdRed, kHdGreen, kHdBlue);
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

template <ColourWeighting W, bool Store>
void greyRows(const GreyTables& t, const RgbeMap& map, std::uint32_t firstRow, std::uint32_t endRow, float* grey,
              FloatExtremes& extremes) {
    const std::size_t width = map.width();
    const std::size_t begin = firstRow * width, end = endRow * width;
    const std::uint8_t* R = map.plane(0) + begin;
    const std::uint8_t* G = map.plane(1) + begin;
    const std::uint8_t* B = map.plane(2) + begin;
    const std::uint8_t* E = map.plane(3) + begin;
    float highest = extremes.highestValue, lowest = extremes.lowestValue;
    for (std::size_t i = 0; i < end - begin; ++i) {
        const float v = greyOf<W>(t, R[i], G[i], B[i], E[i]);
        if (v > highest) highest = v;
        if (v < lowest) lowest = v;
        if constexpr (Store) grey[i] = v;
    }
    extremes.highestValue = highest;
    extremes.lowestValue = lowest;
}

template <ColourWeighting W>
void greyRows(const GreyTables& t, const RgbeMap& map, std::uint32_t firstRow, std::uint32_t endRow, float* grey,
              FloatExtremes& extremes) {
    if (grey)
        greyRows<W, true>(t, map, firstRow, endRow, grey, extremes);
    else
        greyRows<W, false>(t, map, firstRow, endRow, grey, extremes);
}

}  // namespace

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

void rgbeToGrey(const RgbeMap& map, ColourWeighting weighting, std::uint32_t firstRow, std::uint32_t endRow,
                float* grey, FloatExtremes& extremes) {
    const GreyTables& t = tablesFor(weighting);
    switch (weighting) {
        case ColourWeighting::Average:
            return greyRows<ColourWeighting::Average>(t, map, firstRow, endRow, grey, extremes);
        case ColourWeighting::TV:  // TV and HDTV differ only in their tables
        case ColourWeighting::HDTV: return greyRows<ColourWeighting::TV>(t, map, firstRow, endRow, grey, extremes);
        case ColourWeighting::Red: return greyRows<ColourWeighting::Red>(t, map, firstRow, endRow, grey, extremes);
        case ColourWeighting::Green: return greyRows<ColourWeighting::Green>(t, map, firstRow, endRow, grey, extremes);
        case ColourWeighting::Blue: return greyRows<ColourWeighting::Blue>(t, map, firstRow, endRow, grey, extremes);
    }
}

// The Radiance tone map is the floating-point TIFF one, slices and all: the same steps in the
// same order. Where the two formulas differ, the samples do not: the Radiance one rounds the
// linear stretch to single before the f-stop multiplier, and scaling a single by a power of two
// is exact, so that is the same single except for a product below the normal range, a sample of
// 0 (65535 inverted) either way.
void greyToSamples(const float* grey, std::size_t pixels, std::uint32_t width, const FloatToneMap& map,
                   std::uint16_t* out, const std::function<void(std::uint32_t)>& rowDone) {
    std::uint32_t row = 0;
    for (std::size_t begin = 0; begin < pixels; begin += width, ++row) {
        const std::size_t end = begin + width < pixels ? begin + width : pixels;
        toneMapGreys(grey + begin, end - begin, map, out + begin);
        if (rowDone) rowDone(row);
    }
}

}  // namespace kelvarin
