// The weighting of one pixel as the block loops inline it: integer sums held exactly, and
// floating-point sums in double with the extended-precision fall-back.
#pragma once

#include <cmath>
#include <cstdint>

#include "pixels/rounding.h"
#include "pixels/simd_clones.h"
#include "pixels/weighting.h"

namespace kelvarin::kernels {

// The coefficients are all multiples of 2^-27 (the smallest, 0.0722f and 0.114f, lie in
// [2^-4, 2^-3)), so a weighted sum of integer samples is an exact integer multiple of 2^-27.
// Summing the scaled coefficients in 64 bits gives the same value the extended-precision sum
// gives (that sum needs at most 61 bits of mantissa, and the x87 format has 64).
constexpr unsigned kScaleBits = 27;
constexpr double kScale = 134217728.0;  // 2^27
constexpr std::uint64_t scaled(float c) { return static_cast<std::uint64_t>(static_cast<double>(c) * kScale); }
static_assert(static_cast<double>(scaled(kTvBlue)) == static_cast<double>(kTvBlue) * kScale);
static_assert(static_cast<double>(scaled(kHdBlue)) == static_cast<double>(kHdBlue) * kScale);
static_assert(static_cast<double>(scaled(kHdRed)) == static_cast<double>(kHdRed) * kScale);
static_assert(static_cast<double>(scaled(kTvRed)) == static_cast<double>(kTvRed) * kScale);

inline std::uint32_t clampTo32(std::uint64_t value) {
    return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(value);
}

// The weighted sum before rounding, as an exact integer: the plain sum for Average, the sum in
// units of 2^-27 for TV and HDTV, the sample itself for one colour. The rounded grey is a
// non-decreasing function of it, so the analysis can look for the extremes of these keys and
// round only the two winners.
template <ColourWeighting W>
inline std::uint64_t weighKey(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    if constexpr (W == ColourWeighting::Average) {
        return std::uint64_t{g} + r + b;
    } else if constexpr (W == ColourWeighting::TV) {
        return scaled(kTvGreen) * g + scaled(kTvRed) * r + scaled(kTvBlue) * b;
    } else if constexpr (W == ColourWeighting::HDTV) {
        return scaled(kHdGreen) * g + scaled(kHdRed) * r + scaled(kHdBlue) * b;
    } else if constexpr (W == ColourWeighting::Red) {
        return r;
    } else if constexpr (W == ColourWeighting::Green) {
        return g;
    } else {
        return b;
    }
}

template <ColourWeighting W>
inline std::uint32_t greyFromKey(std::uint64_t key) {
    if constexpr (W == ColourWeighting::Average) {
        // (G + R + B) / 3 is never halfway between integers, so rounding it is (sum + 1) / 3.
        return static_cast<std::uint32_t>((key + 1) / 3);
    } else if constexpr (W == ColourWeighting::TV || W == ColourWeighting::HDTV) {
        return clampTo32(roundShifted<kScaleBits>(key));
    } else {
        return static_cast<std::uint32_t>(key);
    }
}

template <ColourWeighting W>
inline std::uint32_t weighIntegers(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return greyFromKey<W>(weighKey<W>(r, g, b));
}

// The same grey for samples below 2^16 (24- and 48-bit pixels): their plain sum fits 32 bits,
// and 32-bit lanes vectorise twice as wide as 64-bit ones (and divide by 3 far more cheaply).
template <ColourWeighting W>
inline std::uint32_t weighNarrowIntegers(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    if constexpr (W == ColourWeighting::Average)
        return (g + r + b + 1) / 3;
    else
        return weighIntegers<W>(r, g, b);
}

// The weighted grey of three singles as defined: in extended precision, green + red + blue.
template <ColourWeighting W>
[[gnu::noinline]] float weighFloatsExtended(float r, float g, float b) {
    using L = long double;
    if constexpr (W == ColourWeighting::Average) {
        return static_cast<float>((static_cast<L>(g) + static_cast<L>(r) + static_cast<L>(b)) / 3.0L);
    } else if constexpr (W == ColourWeighting::TV) {
        return static_cast<float>(static_cast<L>(kTvGreen) * g + static_cast<L>(kTvRed) * r +
                                  static_cast<L>(kTvBlue) * b);
    } else {
        return static_cast<float>(static_cast<L>(kHdGreen) * g + static_cast<L>(kHdRed) * r +
                                  static_cast<L>(kHdBlue) * b);
    }
}

// The weighted grey of three singles in double, and the sum of its terms' magnitudes, which
// bounds its error. Products of two singles are exact in double; the Average multiplies by the
// double nearest 1/3: one more rounding of at most a unit, well inside the margins used below.
template <ColourWeighting W>
KELVARIN_INLINE void weighInDouble(double r, double g, double b, double& d, double& magnitude) {
    if constexpr (W == ColourWeighting::Average) {
        d = (g + r + b) * (1.0 / 3.0);
        magnitude = std::fabs(g) + std::fabs(r) + std::fabs(b);
    } else {
        constexpr bool tv = W == ColourWeighting::TV;
        const double tg = static_cast<double>(tv ? kTvGreen : kHdGreen) * g;
        const double tr = static_cast<double>(tv ? kTvRed : kHdRed) * r;
        const double tb = static_cast<double>(tv ? kTvBlue : kHdBlue) * b;
        d = tg + tr + tb;
        magnitude = std::fabs(tg) + std::fabs(tr) + std::fabs(tb);
    }
}

template <ColourWeighting W>
inline float weighFloats(float r, float g, float b) {
    if constexpr (W == ColourWeighting::Red) {
        return r;
    } else if constexpr (W == ColourWeighting::Green) {
        return g;
    } else if constexpr (W == ColourWeighting::Blue) {
        return b;
    } else {
        double d, magnitude;
        weighInDouble<W>(r, g, b, d, magnitude);
        // Two additions (and the factor 1/3) err by at most 2^-51 of the magnitude; without
        // heavy cancellation (magnitude up to 4 |d|) that is a few units of d's last place.
        float f;
        if (magnitude == 0.0) return static_cast<float>(d);
        if (magnitude <= 4.0 * std::fabs(d) && settlesFloat(d, f)) return f;
        return weighFloatsExtended<W>(r, g, b);
    }
}

}  // namespace kelvarin::kernels
