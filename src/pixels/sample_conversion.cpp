#include "pixels/sample_conversion.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>


namespace kelvarin {

namespace {

// GCC on Linux also builds the pixel loops for AVX-512 and AVX2 (four and two times the lanes)
// and picks one at load time. Every lane operation is the same IEEE operation in each build
// (no fused multiply-adds: see CMakeLists.txt), so the results are too.
// (KELVARIN_NO_SIMD_CLONES builds one version for the compiler's target, to test each alone.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__linux__) && !defined(KELVARIN_NO_SIMD_CLONES)
#define KELVARIN_SIMD_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KELVARIN_SIMD_CLONES
#endif
// The loops' helpers are inlined into those clones, so each gets them built for its own target.
#if defined(__GNUC__)
#define KELVARIN_INLINE [[gnu::always_inline]] inline
#else
#define KELVARIN_INLINE inline
#endif

// The coefficients are all multiples of 2^-27 (the smallest, 0.0722f and 0.114f, lie in
// [2^-4, 2^-3)), so a weighted sum of integer samples is an exact integer multiple of 2^-27.
// Summing the scaled coefficients in 64 bits gives the same value the extended-precision sum
// gives (that sum needs at most 61 bits of mantissa, and the x87 format has 64).
constexpr double kScale = 134217728.0;  // 2^27
constexpr std::uint64_t scaled(float c) { return static_cast<std::uint64_t>(static_cast<double>(c) * kScale); }
static_assert(static_cast<double>(scaled(kTvBlue)) == static_cast<double>(kTvBlue) * kScale);
static_assert(static_cast<double>(scaled(kHdBlue)) == static_cast<double>(kHdBlue) * kScale);
static_assert(static_cast<double>(scaled(kHdRed)) == static_cast<double>(kHdRed) * kScale);
static_assert(static_cast<double>(scaled(kTvRed)) == static_cast<double>(kTvRed) * kScale);

// Rounds sum / 2^27 to the nearest integer, ties to even.
inline std::uint64_t roundScaled(std::uint64_t sum) {
    const std::uint64_t whole = sum >> 27;
    const std::uint64_t rest = sum & ((std::uint64_t{1} << 27) - 1);
    constexpr std::uint64_t half = std::uint64_t{1} << 26;
    return whole + ((rest > half || (rest == half && (whole & 1))) ? 1 : 0);
}

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
        return clampTo32(roundScaled(key));
    } else {
        return static_cast<std::uint32_t>(key);
    }
}

template <ColourWeighting W>
inline std::uint32_t weighIntegers(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return greyFromKey<W>(weighKey<W>(r, g, b));
}

// Rounding to single precision through double instead of the x87 format. A float keeps the top
// 24 of a double's 53 mantissa bits; the low 29 bits decide the rounding, and only a value whose
// low bits lie near one half (the rounding boundary) can round differently from the exact value.
// When the double is within a few units of its last place of the exact value (one or a few
// roundings), a distance of more than 64 units from the boundary settles the float: the exact
// value and its extended-precision evaluation round to the same single. Zeros that are exact,
// values outside the normal float range and values near a boundary are left to the caller,
// which redoes them in extended precision.
inline bool settlesFloat(double d, float& out) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    const auto exponent = static_cast<std::uint32_t>(bits >> 52) & 0x7FFu;
    const auto low = static_cast<std::uint32_t>(bits) & 0x1FFFFFFFu;
    // 2^-126 <= |d| < 2^127, and low bits more than 64 away from 0x10000000.
    out = static_cast<float>(d);
    return exponent - 897u < 253u && low - (0x10000000u - 64u) >= 128u;
}

// A single rounding (a difference, product or quotient of exact inputs): an exact zero is zero.
inline bool settlesSingleRounding(double d, float& out) {
    if (d == 0.0) {
        out = static_cast<float>(d);
        return true;
    }
    return settlesFloat(d, out);
}

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

// Whole-word loads (and a byte swap when the orders differ) rather than bytes put together:
// the vectorizer turns those into vector loads.
inline std::uint32_t load16(const std::uint8_t* p, bool big) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    if (big != (std::endian::native == std::endian::big)) v = static_cast<std::uint16_t>((v >> 8) | (v << 8));
    return v;
}

inline std::uint32_t load32(const std::uint8_t* p, bool big) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if (big != (std::endian::native == std::endian::big))
        v = (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
    return v;
}

inline void store16(std::uint8_t* p, std::uint16_t value, bool big) {
    if (big != (std::endian::native == std::endian::big))
        value = static_cast<std::uint16_t>((value >> 8) | (value << 8));
    std::memcpy(p, &value, sizeof value);
}

// The three samples of pixel i in a given integer layout and byte order.
template <SampleLayout L, bool Big>
inline void loadIntegerPixel(const std::uint8_t* p, std::uint32_t& r, std::uint32_t& g, std::uint32_t& b) {
    if constexpr (L == SampleLayout::Rgb8) {
        r = std::uint32_t{p[0]} << 8;
        g = std::uint32_t{p[1]} << 8;
        b = std::uint32_t{p[2]} << 8;
    } else if constexpr (L == SampleLayout::Rgb16) {
        r = load16(p, Big);
        g = load16(p + 2, Big);
        b = load16(p + 4, Big);
    } else {
        r = load32(p, Big);
        g = load32(p + 4, Big);
        b = load32(p + 8, Big);
    }
}

template <SampleLayout L>
constexpr std::size_t pixelSize() {
    return L == SampleLayout::Rgb8 ? 3 : L == SampleLayout::Rgb16 ? 6 : 12;
}

template <SampleLayout L, bool Big, ColourWeighting W>
KELVARIN_SIMD_CLONES void analyseIntegers(const std::uint8_t* data, std::size_t pixels, IntegerExtremes& extremes) {
    if (pixels == 0) return;
    // 24- and 48-bit keys fit 32 bits except for TV and HDTV; narrower lanes vectorise better.
    using Key = std::conditional_t<L != SampleLayout::Rgb32 && W != ColourWeighting::TV && W != ColourWeighting::HDTV,
                                   std::uint32_t, std::uint64_t>;
    Key highest = 0, lowest = ~Key{0};
    for (std::size_t i = 0; i < pixels; ++i, data += pixelSize<L>()) {
        std::uint32_t r, g, b;
        loadIntegerPixel<L, Big>(data, r, g, b);
        const Key key = static_cast<Key>(weighKey<W>(r, g, b));
        highest = key > highest ? key : highest;
        lowest = key < lowest ? key : lowest;
    }
    extremes.highestGrey = std::max(extremes.highestGrey, greyFromKey<W>(highest));
    extremes.lowestGrey = std::min(extremes.lowestGrey, greyFromKey<W>(lowest));
}

template <SampleLayout L, bool Big, ColourWeighting W, bool OutBig>
KELVARIN_SIMD_CLONES void convertIntegers(const std::uint8_t* data, std::size_t pixels, const std::uint16_t* table,
                                          const IntegerStretch& stretch, std::uint8_t* out) {
    if constexpr (L == SampleLayout::Rgb32) {
        for (std::size_t i = 0; i < pixels; ++i, data += pixelSize<L>(), out += 2) {
            std::uint32_t r, g, b;
            loadIntegerPixel<L, Big>(data, r, g, b);
            const std::uint32_t grey = weighIntegers<W>(r, g, b);
            store16(out, grey < 65536 ? table[grey] : integerPipeline(grey, stretch), OutBig);
        }
    } else {
        // The weighting of a slice in one loop (vectorised), the look-ups in another.
        constexpr std::size_t slice = 1024;
        std::uint32_t greys[slice];
        for (std::size_t start = 0; start < pixels; start += slice) {
            const std::size_t n = std::min(slice, pixels - start);
            const std::uint8_t* p = data + start * pixelSize<L>();
            for (std::size_t i = 0; i < n; ++i) {
                std::uint32_t r, g, b;
                loadIntegerPixel<L, Big>(p + i * pixelSize<L>(), r, g, b);
                greys[i] = weighIntegers<W>(r, g, b);
            }
            std::uint8_t* o = out + 2 * start;
            for (std::size_t i = 0; i < n; ++i) store16(o + 2 * i, table[greys[i]], OutBig);
        }
    }
}

template <typename F>
void withWeighting(ColourWeighting weighting, F&& f) {
    switch (weighting) {
        case ColourWeighting::Average: f(std::integral_constant<ColourWeighting, ColourWeighting::Average>{}); break;
        case ColourWeighting::TV: f(std::integral_constant<ColourWeighting, ColourWeighting::TV>{}); break;
        case ColourWeighting::HDTV: f(std::integral_constant<ColourWeighting, ColourWeighting::HDTV>{}); break;
        case ColourWeighting::Red: f(std::integral_constant<ColourWeighting, ColourWeighting::Red>{}); break;
        case ColourWeighting::Green: f(std::integral_constant<ColourWeighting, ColourWeighting::Green>{}); break;
        case ColourWeighting::Blue: f(std::integral_constant<ColourWeighting, ColourWeighting::Blue>{}); break;
    }
}

template <typename F>
void withOrder(ByteOrder order, F&& f) {
    if (order == ByteOrder::MM)
        f(std::true_type{});
    else
        f(std::false_type{});
}

template <typename F>
void withIntegerLayout(SampleLayout layout, F&& f) {
    switch (layout) {
        case SampleLayout::Rgb8: f(std::integral_constant<SampleLayout, SampleLayout::Rgb8>{}); break;
        case SampleLayout::Rgb16: f(std::integral_constant<SampleLayout, SampleLayout::Rgb16>{}); break;
        case SampleLayout::Rgb32: f(std::integral_constant<SampleLayout, SampleLayout::Rgb32>{}); break;
        case SampleLayout::RgbFloat: break;
    }
}

// The nearest integer of a value already known to lie in [0, 65535], ties to even
// (1.5 x 2^23 pushes the fraction out of a float's mantissa in the default rounding mode).
inline std::uint32_t nearestSmall(float value) {
    const float shifted = value + 12582912.0f;
    return static_cast<std::uint32_t>(shifted - 12582912.0f);
}


// Floating-point sources, a slice of pixels at a time. The work is split into plain loops over
// small arrays that the compiler turns into SIMD code: each step is computed in double together
// with a bound t on its distance from the extended-precision value. When d - t and d + t round to
// the same single (compared bit for bit, so +0 and -0 differ), every value between them does too,
// the extended one included, and the double result is the stored single. A pixel that fails
// the test is redone in extended precision: about one in millions on random data, a few in a
// thousand on smooth images, whose mean of three samples often lies exactly halfway between
// singles. An infinity makes t infinite and the test fail; a NaN grey, whatever its bits, never
// counts in the analysis and is white in the conversion, as in extended precision.
constexpr std::size_t kSlice = 512;

inline std::uint32_t floatBits(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Nonzero when some value within t of d could round to another single than d does.
inline std::uint32_t unsettledSingle(double d, double t) {
    return floatBits(static_cast<float>(d - t)) ^ floatBits(static_cast<float>(d + t));
}

inline std::uint32_t swapBytes(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// The samples of a slice, red, green and blue of each pixel in turn: read in place when the
// source's byte order is the host's, otherwise reversed into a buffer first.
struct SamplesInPlace {
    const std::uint8_t* bytes;
    float operator[](std::size_t k) const {
        float v;
        std::memcpy(&v, bytes + 4 * k, sizeof v);
        return v;
    }
};

struct SamplesInBuffer {
    const float* values;
    float operator[](std::size_t k) const { return values[k]; }
};

inline SamplesInBuffer reversedSamples(const std::uint8_t* data, std::size_t n, float* buffer) {
    for (std::size_t k = 0; k < 3 * n; ++k) {
        std::uint32_t w;
        std::memcpy(&w, data + 4 * k, 4);
        w = swapBytes(w);
        std::memcpy(&buffer[k], &w, 4);
    }
    return {buffer};
}

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

struct FloatSlice {
    float samples[3 * kSlice], grey[kSlice], out[kSlice];
    std::uint32_t doubts[kSlice];  // nonzero: the pixel needs the extended evaluation
    std::uint16_t samples16[kSlice];
};

template <ColourWeighting W, typename Samples>
KELVARIN_INLINE void greysOf(Samples p, std::size_t n, FloatSlice& s) {
    if constexpr (W == ColourWeighting::Red || W == ColourWeighting::Green || W == ColourWeighting::Blue) {
        constexpr std::size_t k = W == ColourWeighting::Red ? 0 : W == ColourWeighting::Green ? 1 : 2;
        for (std::size_t i = 0; i < n; ++i) s.grey[i] = p[3 * i + k];
    } else if (weighSlice<W>(p, n, s.grey, s.doubts) != 0) {
        // Mostly exact ties: a mean of three samples that lies exactly halfway between singles.
        forEachDoubt(s.doubts, n, [&](std::size_t i) {
            s.grey[i] = weighFloatsExtended<W>(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
        });
    }
}

template <bool Big, ColourWeighting W>
KELVARIN_INLINE void greysOf(const std::uint8_t* data, std::size_t n, FloatSlice& s) {
    if constexpr (Big != (std::endian::native == std::endian::big))
        greysOf<W>(reversedSamples(data, n, s.samples), n, s);
    else
        greysOf<W>(SamplesInPlace{data}, n, s);
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
        // A difference or quotient of two singles, rounded to double and then to single, is
        // the single nearest to the exact result, as in extended precision: double rounding
        // is innocuous for one operation when the wider format has at least 2 x 24 + 2 bits
        // (S. A. Figueroa, "When is double rounding innocuous?", 1995).
        const double shifted = static_cast<float>(static_cast<double>(grey[i]) - c.lowest);
        float o;
        if constexpr (Gamma) {
            const double q = shifted / c.range;
            // v^0.625 as the eighth root of v^5: v^2 is exact, v^4, v^5 and the three roots
            // add one rounding each, 2^-52 relative in all (the extended power is closer than
            // 2^-62). Over all singles, v^0.625 comes no closer to a rounding boundary than 7
            // units of the double's last place, so the test below almost never fails.
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
        samples[i] = static_cast<std::uint16_t>(static_cast<std::int32_t>((o + 12582912.0f) - 12582912.0f));
    }
}

template <bool OutBig>
KELVARIN_INLINE void storeSamples(const std::uint16_t* samples, std::size_t n, std::uint8_t* out) {
    for (std::size_t i = 0; i < n; ++i) store16(out + 2 * i, samples[i], OutBig);
}

template <bool Big, ColourWeighting W>
KELVARIN_SIMD_CLONES void analyseFloats(const std::uint8_t* data, std::size_t pixels, FloatExtremes& extremes) {
    FloatSlice s;
    for (std::size_t start = 0; start < pixels; start += kSlice) {
        const std::size_t n = std::min(kSlice, pixels - start);
        greysOf<Big, W>(data + 12 * start, n, s);
        extremesOfSlice(s.grey, n, extremes.highestValue, extremes.lowestValue);
    }
}

template <bool Big, ColourWeighting W>
KELVARIN_SIMD_CLONES void convertFloats(const std::uint8_t* data, std::size_t pixels, const FloatToneMap& map,
                                        bool outBig, std::uint8_t* out) {
    const ToneConstants c(map);
    FloatSlice s;
    for (std::size_t start = 0; start < pixels; start += kSlice) {
        const std::size_t n = std::min(kSlice, pixels - start);
        greysOf<Big, W>(data + 12 * start, n, s);
        const std::uint32_t doubt = map.gamma ? toneSlice<true>(s.grey, n, c, s.out, s.doubts)
                                              : toneSlice<false>(s.grey, n, c, s.out, s.doubts);
        if (map.posteriseStep != 0) {
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t step = map.posteriseStep;
                const std::uint32_t level = std::min<std::uint32_t>(nearestSmall(s.out[i]) / step * step, 65535u);
                s.samples16[i] = static_cast<std::uint16_t>(map.invert ? 65535u - level : level);
            }
        } else if (map.invert) {
            finishSlice<true>(s.out, n, s.samples16);
        } else {
            finishSlice<false>(s.out, n, s.samples16);
        }
        if (doubt != 0) {
            forEachDoubt(s.doubts, n, [&](std::size_t i) { s.samples16[i] = floatPipeline(s.grey[i], map); });
        }
        if (outBig)
            storeSamples<true>(s.samples16, n, out + 2 * start);
        else
            storeSamples<false>(s.samples16, n, out + 2 * start);
    }
}

}  // namespace

std::size_t bytesPerPixel(SampleLayout layout) {
    switch (layout) {
        case SampleLayout::Rgb8: return 3;
        case SampleLayout::Rgb16: return 6;
        case SampleLayout::Rgb32:
        case SampleLayout::RgbFloat: return 12;
    }
    return 12;
}

std::uint32_t integerGrey(ColourWeighting weighting, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    std::uint32_t grey = 0;
    withWeighting(weighting, [&](auto w) { grey = weighIntegers<decltype(w)::value>(red, green, blue); });
    return grey;
}

float floatGrey(ColourWeighting weighting, float red, float green, float blue) {
    float grey = 0;
    withWeighting(weighting, [&](auto w) { grey = weighFloats<decltype(w)::value>(red, green, blue); });
    return grey;
}

FloatExtremes FloatExtremes::initial() {
    return {static_cast<float>(std::pow(static_cast<long double>(8.1f), -37.0L)),
            static_cast<float>(std::pow(static_cast<long double>(3.1f), 38.0L))};
}

void analyseIntegerBlock(const BlockFormat& format, const std::uint8_t* data, std::size_t pixels,
                         IntegerExtremes& extremes) {
    withIntegerLayout(format.layout, [&](auto layout) {
        withOrder(format.sourceOrder, [&](auto big) {
            withWeighting(format.weighting, [&](auto w) {
                analyseIntegers<decltype(layout)::value, decltype(big)::value, decltype(w)::value>(data, pixels,
                                                                                                 extremes);
            });
        });
    });
}

void analyseFloatBlock(const BlockFormat& format, const std::uint8_t* data, std::size_t pixels,
                       FloatExtremes& extremes) {
    withOrder(format.sourceOrder, [&](auto big) {
        withWeighting(format.weighting, [&](auto w) {
            analyseFloats<decltype(big)::value, decltype(w)::value>(data, pixels, extremes);
        });
    });
}

double integerBoostFactor(const IntegerExtremes& extremes) {
    // A uniform image divides by zero: +inf, which integerPipeline never converts as such.
    return 65535.0 / (static_cast<double>(extremes.highestGrey) - static_cast<double>(extremes.lowestGrey));
}

std::uint16_t integerPipeline(std::uint32_t grey, const IntegerStretch& s) {
    std::uint32_t g = grey;
    if (s.stretch) {
        const long double value = static_cast<long double>(s.boostFactor) *
                                  static_cast<long double>(g - s.lowestGrey) *
                                  static_cast<long double>(s.fStopMultiplier);
        if (std::isnan(value)) {
            g = 0;  // a uniform image: 0 x infinity
        } else {
            const long double nearest = std::rint(value);
            g = nearest > 65535.0L ? 65535u : static_cast<std::uint32_t>(nearest);
        }
        if (s.posteriseStep != 0) g = std::min<std::uint32_t>(g / s.posteriseStep * s.posteriseStep, 65535u);
    } else if (g > 65535u) {
        g = 65535u;  // a 96-bit integer grey beyond 16 bits is held at white
    }
    if (s.invert) g = 65535u - g;
    return static_cast<std::uint16_t>(g);
}

IntegerConverter::IntegerConverter(const BlockFormat& format, const IntegerStretch& stretch)
    : format_(format), stretch_(stretch), table_(65536) {
    for (std::uint32_t grey = 0; grey < 65536; ++grey) table_[grey] = integerPipeline(grey, stretch_);
}

void IntegerConverter::convertBlock(const std::uint8_t* data, std::size_t pixels, std::uint8_t* out) const {
    withIntegerLayout(format_.layout, [&](auto layout) {
        withOrder(format_.sourceOrder, [&](auto big) {
            withWeighting(format_.weighting, [&](auto w) {
                withOrder(format_.outputOrder, [&](auto outBig) {
                    convertIntegers<decltype(layout)::value, decltype(big)::value, decltype(w)::value,
                                    decltype(outBig)::value>(data, pixels, table_.data(), stretch_, out);
                });
            });
        });
    });
}

FloatToneMap floatToneMap(const FloatExtremes& extremes) {
    FloatToneMap map;
    map.lowestValue = extremes.lowestValue;
    map.dynamicRange = static_cast<float>(static_cast<long double>(extremes.highestValue) - extremes.lowestValue);
    map.boostFactor = static_cast<double>(65535.0L * (1.0L / static_cast<long double>(map.dynamicRange)));
    return map;
}

namespace {

constexpr long double kGammaExponent = static_cast<long double>(static_cast<float>(1.0L / 1.6L));

[[gnu::noinline]] float gammaExtended(float v) {
    return static_cast<float>(std::pow(static_cast<long double>(v), kGammaExponent));
}

}  // namespace

// v^0.625 stored single. v^0.625 is the eighth root of v^5: v^2 is exact in double, v^4 and v^5
// cost two roundings, the three square roots one each, so the double result is within 2^-52 of
// the exact power (4 units of its last place at most); settlesFloat decides the float.
float gammaCurve(float v) {
    if (v >= 0.0f && v <= 1.0e30f) {
        const double x = v;
        const double x2 = x * x;
        const double r = std::sqrt(std::sqrt(std::sqrt(x2 * x2 * x)));
        float f;
        if (settlesSingleRounding(r, f)) return f;
    }
    return gammaExtended(v);
}

namespace {

// a - b stored single.
inline float differenceSingle(float a, float b) {
    const double d = static_cast<double>(a) - static_cast<double>(b);
    float f;
    if (settlesSingleRounding(d, f)) return f;
    return static_cast<float>(static_cast<long double>(a) - static_cast<long double>(b));
}

// a x b x m stored single (b single, m a small power of two).
inline float productSingle(double a, float b, std::uint32_t m) {
    const double d = a * static_cast<double>(b) * m;
    float f;
    if (settlesSingleRounding(d, f)) return f;
    return static_cast<float>(static_cast<long double>(a) * b * m);
}

// a / b stored single.
inline float quotientSingle(float a, float b) {
    const double d = static_cast<double>(a) / static_cast<double>(b);
    float f;
    if (settlesSingleRounding(d, f)) return f;
    return static_cast<float>(static_cast<long double>(a) / static_cast<long double>(b));
}

}  // namespace

std::uint16_t floatPipeline(float grey, const FloatToneMap& map) {
    float out;
    const float shifted = differenceSingle(grey, map.lowestValue);
    if (map.gamma) {
        const float v = gammaCurve(quotientSingle(shifted, map.dynamicRange));
        // 65535 x v x (1, 2, 4 or 8) is exact in double: one rounding, as in extended precision.
        out = static_cast<float>(65535.0 * static_cast<double>(v) * map.fStopMultiplier);
    } else {
        out = productSingle(map.boostFactor, shifted, map.fStopMultiplier);
    }
    if (!(out <= 65535.0f)) out = 65535.0f;
    // Below 0 only when the analysis saw no ordinary value (an image of NaNs): held at black
    // so no conversion leaves the sample range.
    if (!(out >= 0.0f)) out = 0.0f;
    if (map.posteriseStep != 0) {
        const std::uint32_t n = nearestSmall(out);
        out = static_cast<float>(std::min<std::uint32_t>(n / map.posteriseStep * map.posteriseStep, 65535u));
    }
    // 65535 - out: exact in double for out >= 2^-14; below that both roundings give 65535.
    if (map.invert) out = static_cast<float>(65535.0 - static_cast<double>(out));
    return static_cast<std::uint16_t>(nearestSmall(out));
}

void convertFloatBlock(const BlockFormat& format, const FloatToneMap& map, const std::uint8_t* data,
                       std::size_t pixels, std::uint8_t* out) {
    withOrder(format.sourceOrder, [&](auto big) {
        withWeighting(format.weighting, [&](auto w) {
            convertFloats<decltype(big)::value, decltype(w)::value>(data, pixels, map,
                                                                    format.outputOrder == ByteOrder::MM, out);
        });
    });
}

std::uint32_t posteriseStepFor(std::int32_t posteriseSteps) {
    return posteriseSteps > 0 ? 65535u / static_cast<std::uint32_t>(posteriseSteps) : 0u;
}

std::uint32_t fStopMultiplierFor(const ConversionOptions& options) {
    std::uint32_t m = 1;
    if (options.fStopX2) m *= 2;
    if (options.fStopX4) m *= 4;
    return m;
}

}  // namespace kelvarin
