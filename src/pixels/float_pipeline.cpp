#include "pixels/float_pipeline.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "pixels/byte_access.h"
#include "pixels/rounding.h"
#include "pixels/simd_clones.h"
#include "pixels/weighting_kernels.h"

namespace kelvarin {

namespace {

using namespace kernels;

// A slice of pixels at a time. The work is split into plain loops over small arrays that the
// compiler turns into SIMD code: each step is computed in double together with a bound t on its
// distance from the extended-precision value, and unsettledSingle (rounding.h) tells whether the
// double's single is the extended one's. A pixel that fails the test is redone in extended
// precision: about one in millions on random data, a few in a thousand on smooth images, whose
// mean of three samples often lies exactly halfway between singles. An infinity makes t infinite
// and the test fail; a NaN grey, whatever its bits, never counts in the analysis and is white in
// the conversion, as in extended precision.
constexpr std::size_t kSlice = 512;

struct FloatSlice {
    float samples[3 * kSlice], grey[kSlice], out[kSlice];
    std::uint32_t doubts[kSlice];  // nonzero: the pixel needs the extended evaluation
};

// The greys of a slice (weighted ones only). The products of the coefficients and the samples
// are exact in double; the two additions (or the sum and the factor 1/3) put d within
// 2^-51 x M of the exact sum, M the sum of the terms' magnitudes, and the extended evaluation
// is closer still; rounding d - t and d + t adds at most 2^-53 (|d| + t). So t = 2^-48 x M
// covers all of it. A sum that cancels heavily gets a wide t and goes to the slow path.
template <ColourWeighting W, typename Samples>
KELVARIN_INLINE std::uint32_t weighSlice(Samples samples, std::size_t n, float* __restrict grey,
                                         std::uint32_t* __restrict doubts) {
    std::uint32_t doubt = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double r = samples[3 * i], g = samples[3 * i + 1], b = samples[3 * i + 2];
        double d, magnitude;
        weighInDouble<W>(r, g, b, d, magnitude);
        grey[i] = static_cast<float>(d);
        doubts[i] = unsettledSingle(d, magnitude * 0x1p-48);
        doubt |= doubts[i];
    }
    return doubt;
}

// Calls f(i) for every nonzero doubts[i]; they are few, so 16 at a time are tested together.
template <typename F>
KELVARIN_INLINE void forEachDoubt(const std::uint32_t* doubts, std::size_t n, F&& f) {
    for (std::size_t at = 0; at < n; at += 16) {
        const std::size_t end = std::min(n, at + 16);
        std::uint32_t any = 0;
        for (std::size_t i = at; i < end; ++i) any |= doubts[i];
        if (any == 0) continue;
        for (std::size_t i = at; i < end; ++i)
            if (doubts[i] != 0) f(i);
    }
}

template <ColourWeighting W, typename Samples>
KELVARIN_INLINE void greysOf(Samples p, std::size_t n, FloatSlice& s, float* __restrict grey) {
    if constexpr (W == ColourWeighting::Red || W == ColourWeighting::Green || W == ColourWeighting::Blue) {
        constexpr std::size_t k = W == ColourWeighting::Red ? 0 : W == ColourWeighting::Green ? 1 : 2;
        for (std::size_t i = 0; i < n; ++i) grey[i] = p[3 * i + k];
    } else if (weighSlice<W>(p, n, grey, s.doubts) != 0) {
        // Mostly exact ties: a mean of three samples that lies exactly halfway between singles.
        forEachDoubt(s.doubts, n, [&](std::size_t i) {
            grey[i] = weighFloatsExtended<W>(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
        });
    }
}

// The greys of a slice into `grey` (the slice's own, or memory that keeps them).
template <bool Big, ColourWeighting W>
KELVARIN_INLINE void greysOf(const std::uint8_t* data, std::size_t n, FloatSlice& s, float* grey) {
    if constexpr (Big != kHostIsBig)
        greysOf<W>(reversedSamples(data, n, s.samples), n, s, grey);
    else
        greysOf<W>(SamplesInPlace{data}, n, s, grey);
}

// The extremes of a slice as a pixel-by-pixel scan finds them ("g > highest", so a NaN never
// counts). Eight running extremes side by side vectorise; they find the same values, but among
// equal values the scan keeps the first, which matters only for the sign of a zero.
KELVARIN_INLINE void extremesOfSlice(const float* grey, std::size_t n, float& highest, float& lowest) {
    float hi[8], lo[8];
    for (int j = 0; j < 8; ++j) {
        hi[j] = highest;
        lo[j] = lowest;
    }
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        for (std::size_t j = 0; j < 8; ++j) {
            const float g = grey[i + j];
            hi[j] = g > hi[j] ? g : hi[j];
            lo[j] = g < lo[j] ? g : lo[j];
        }
    }
    for (; i < n; ++i) {
        hi[0] = grey[i] > hi[0] ? grey[i] : hi[0];
        lo[0] = grey[i] < lo[0] ? grey[i] : lo[0];
    }
    const float oldHighest = highest, oldLowest = lowest;
    for (int j = 0; j < 8; ++j) {
        if (hi[j] > highest) highest = hi[j];
        if (lo[j] < lowest) lowest = lo[j];
    }
    const auto firstZero = [&] {
        for (std::size_t k = 0; k < n; ++k)
            if (grey[k] == 0.0f) return grey[k];
        return 0.0f;
    };
    if (highest == 0.0f && highest != oldHighest) highest = firstZero();
    if (lowest == 0.0f && lowest != oldLowest) lowest = firstZero();
}

// The tone map's numbers as the slice loops use them.
struct ToneConstants {
    double lowest;
    double range;
    double boost;
    double fStop;
    explicit ToneConstants(const FloatToneMap& map)
        : lowest(map.lowestValue),
          range(map.dynamicRange),
          boost(map.boostFactor),
          fStop(map.fStopMultiplier) {}
};

// out = the sample before posterising and inverting, limited to 0..65535 (as floatPipeline).
// Returns nonzero when some pixel needs the extended evaluation.
template <bool Gamma>
KELVARIN_INLINE std::uint32_t toneSlice(const float* __restrict grey, std::size_t n, const ToneConstants& c,
                                        float* __restrict out, std::uint32_t* __restrict doubts) {
    std::uint32_t any = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t doubt = 0;
        // The difference and the quotient are one operation each: their double rounded to
        // single is the extended result's single (rounding.h).
        const double shifted = static_cast<float>(static_cast<double>(grey[i]) - c.lowest);
        float o;
        if constexpr (Gamma) {
            const double q = shifted / c.range;
            // v^0.625 as the eighth root of v^5, as gammaCurve: v^2 is exact, v^4, v^5 and the
            // three roots add one rounding each, 2^-52 relative in all (the extended power is
            // closer than 2^-62). Over all singles, v^0.625 comes no closer to a rounding
            // boundary than 7 units of the double's last place, so the test below almost never
            // fails.
            const double x = static_cast<float>(q);
            const double x2 = x * x;
            const double y = std::sqrt(std::sqrt(std::sqrt(x2 * x2 * x)));
            doubt |= unsettledSingle(y, y * 0x1p-50);
            // 65535 x v x fStop is exact in double: one rounding, as in extended precision.
            o = static_cast<float>(65535.0 * static_cast<double>(static_cast<float>(y)) * c.fStop);
        } else {
            // boostFactor x v: one rounding of 2^-53 (extended: 2^-64); the power of two fStop
            // adds none.
            const double p = c.boost * shifted * c.fStop;
            doubt |= unsettledSingle(p, std::fabs(p) * 0x1p-50);
            o = static_cast<float>(p);
        }
        o = o <= 65535.0f ? o : 65535.0f;
        o = o >= 0.0f ? o : 0.0f;
        out[i] = o;
        doubts[i] = doubt;
        any |= doubt;
    }
    return any;
}

template <bool Invert>
KELVARIN_INLINE void finishSlice(const float* __restrict out, std::size_t n, std::uint16_t* __restrict samples) {
    for (std::size_t i = 0; i < n; ++i) {
        float o = out[i];
        // 65535 - o: exact in double for o >= 2^-14; below that both roundings give 65535.
        if constexpr (Invert) o = static_cast<float>(65535.0 - static_cast<double>(o));
        samples[i] = static_cast<std::uint16_t>(nearestSmall(o));
    }
}

// The samples of n <= kSlice greys: the tone map in double, posterise and invert, and the
// pixels in doubt redone one by one.
KELVARIN_INLINE void toneMapSlice(const float* grey, std::size_t n, const FloatToneMap& map, const ToneConstants& c,
                                  FloatSlice& s, std::uint16_t* samples) {
    const std::uint32_t doubt =
        map.gamma ? toneSlice<true>(grey, n, c, s.out, s.doubts) : toneSlice<false>(grey, n, c, s.out, s.doubts);
    if (map.posteriseStep != 0) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t step = map.posteriseStep;
            const auto nearest = static_cast<std::uint32_t>(nearestSmall(s.out[i]));
            const std::uint32_t level = std::min<std::uint32_t>(nearest / step * step, 65535u);
            samples[i] = static_cast<std::uint16_t>(map.invert ? 65535u - level : level);
        }
    } else if (map.invert) {
        finishSlice<true>(s.out, n, samples);
    } else {
        finishSlice<false>(s.out, n, samples);
    }
    if (doubt != 0) forEachDoubt(s.doubts, n, [&](std::size_t i) { samples[i] = floatPipeline(grey[i], map); });
}

template <bool Big, ColourWeighting W>
KELVARIN_SIMD_CLONES void analyseFloats(const std::uint8_t* data, std::size_t pixels, FloatExtremes& extremes,
                                        float* greys) {
    FloatSlice s;
    for (std::size_t start = 0; start < pixels; start += kSlice) {
        const std::size_t n = std::min(kSlice, pixels - start);
        float* const grey = greys ? greys + start : s.grey;
        greysOf<Big, W>(data + 12 * start, n, s, grey);
        extremesOfSlice(grey, n, extremes.highestValue, extremes.lowestValue);
    }
}

template <bool Big, ColourWeighting W>
KELVARIN_SIMD_CLONES void convertFloats(const std::uint8_t* data, std::size_t pixels, const FloatToneMap& map,
                                        std::uint16_t* out) {
    const ToneConstants c(map);
    FloatSlice s;
    for (std::size_t start = 0; start < pixels; start += kSlice) {
        const std::size_t n = std::min(kSlice, pixels - start);
        greysOf<Big, W>(data + 12 * start, n, s, s.grey);
        toneMapSlice(s.grey, n, map, c, s, out + start);
    }
}

KELVARIN_SIMD_CLONES void toneMapGreySlices(const float* grey, std::size_t n, const FloatToneMap& map,
                                            std::uint16_t* out) {
    const ToneConstants c(map);
    FloatSlice s;
    for (std::size_t start = 0; start < n; start += kSlice)
        toneMapSlice(grey + start, std::min(kSlice, n - start), map, c, s, out + start);
}

}  // namespace

void analyseFloatBlock(const BlockFormat& format, const std::uint8_t* data, std::size_t pixels,
                       FloatExtremes& extremes, float* greys) {
    withOrder(format.sourceOrder, [&](auto big) {
        withWeighting(format.weighting, [&](auto w) {
            analyseFloats<decltype(big)::value, decltype(w)::value>(data, pixels, extremes, greys);
        });
    });
}

void convertFloatBlock(const BlockFormat& format, const FloatToneMap& map, const std::uint8_t* data,
                       std::size_t pixels, std::uint16_t* out) {
    withOrder(format.sourceOrder, [&](auto big) {
        withWeighting(format.weighting, [&](auto w) {
            convertFloats<decltype(big)::value, decltype(w)::value>(data, pixels, map, out);
        });
    });
}

void toneMapGreys(const float* grey, std::size_t n, const FloatToneMap& map, std::uint16_t* out) {
    toneMapGreySlices(grey, n, map, out);
}

}  // namespace kelvarin
