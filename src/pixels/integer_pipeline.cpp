#include "pixels/integer_pipeline.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "pixels/byte_access.h"
#include "pixels/simd_clones.h"
#include "pixels/weighting_kernels.h"

namespace kelvarin {

namespace {

using namespace kernels;

template <SampleLayout L, bool Big, ColourWeighting W>
KELVARIN_SIMD_CLONES void analyseIntegers(const std::uint8_t* data, std::size_t pixels, IntegerExtremes& extremes) {
    if (pixels == 0) return;
    constexpr std::size_t size = bytesPerPixel(L);
    // 24- and 48-bit keys fit 32 bits except for TV and HDTV; narrower lanes vectorise better.
    using Key = std::conditional_t<L != SampleLayout::Rgb32 && W != ColourWeighting::TV && W != ColourWeighting::HDTV,
                                   std::uint32_t, std::uint64_t>;
    Key highest = 0, lowest = ~Key{0};
    for (std::size_t i = 0; i < pixels; ++i, data += size) {
        std::uint32_t r, g, b;
        loadIntegerPixel<L, Big>(data, r, g, b);
        const Key key = static_cast<Key>(weighKey<W>(r, g, b));
        highest = key > highest ? key : highest;
        lowest = key < lowest ? key : lowest;
    }
    extremes.highestGrey = std::max(extremes.highestGrey, greyFromKey<W>(highest));
    extremes.lowestGrey = std::min(extremes.lowestGrey, greyFromKey<W>(lowest));
}

// The same extremes, from the greys themselves, which are kept (24- and 48-bit samples, whose
// greys fit 16 bits).
template <SampleLayout L, bool Big, ColourWeighting W>
KELVARIN_SIMD_CLONES void analyseKeepingGreys(const std::uint8_t* data, std::size_t pixels, IntegerExtremes& extremes,
                                              std::uint16_t* __restrict greys) {
    if (pixels == 0) return;
    constexpr std::size_t size = bytesPerPixel(L);
    std::uint32_t highest = 0, lowest = ~0u;
    for (std::size_t i = 0; i < pixels; ++i) {
        std::uint32_t r, g, b;
        loadIntegerPixel<L, Big>(data + i * size, r, g, b);
        const std::uint32_t grey = weighNarrowIntegers<W>(r, g, b);
        greys[i] = static_cast<std::uint16_t>(grey);
        highest = grey > highest ? grey : highest;
        lowest = grey < lowest ? grey : lowest;
    }
    extremes.highestGrey = std::max(extremes.highestGrey, highest);
    extremes.lowestGrey = std::min(extremes.lowestGrey, lowest);
}

// The samples of greys below 65536: through the table, or each through the pipeline (a small
// image's, for which the table would cost more than it saves).
template <typename Grey>
void lookUpGreys(const Grey* greys, std::size_t n, const std::uint16_t* table, const IntegerStretch& stretch,
                 std::uint16_t* out) {
    if (table) {
        for (std::size_t i = 0; i < n; ++i) out[i] = table[greys[i]];
    } else {
        for (std::size_t i = 0; i < n; ++i) out[i] = integerPipeline(greys[i], stretch);
    }
}

template <SampleLayout L, bool Big, ColourWeighting W>
KELVARIN_SIMD_CLONES void convertIntegers(const std::uint8_t* data, std::size_t pixels, const std::uint16_t* table,
                                          const IntegerStretch& stretch, std::uint16_t* out) {
    constexpr std::size_t size = bytesPerPixel(L);
    if (!stretch.stretch) {
        // Without a stretch the pipeline is the clamp to 16 bits and the inversion (65535 - g is
        // g with its 16 bits flipped): in the weighting's own loop, vectorised, with no look-up.
        const std::uint32_t flip = stretch.invert ? 65535u : 0u;
        for (std::size_t i = 0; i < pixels; ++i) {
            std::uint32_t r, g, b;
            loadIntegerPixel<L, Big>(data + i * size, r, g, b);
            const std::uint32_t grey =
                L == SampleLayout::Rgb32 ? weighIntegers<W>(r, g, b) : weighNarrowIntegers<W>(r, g, b);
            out[i] = static_cast<std::uint16_t>(std::min(grey, 65535u) ^ flip);
        }
        return;
    }
    if constexpr (L == SampleLayout::Rgb32) {
        for (std::size_t i = 0; i < pixels; ++i, data += size) {
            std::uint32_t r, g, b;
            loadIntegerPixel<L, Big>(data, r, g, b);
            const std::uint32_t grey = weighIntegers<W>(r, g, b);
            out[i] = table && grey < 65536 ? table[grey] : integerPipeline(grey, stretch);
        }
    } else {
        // The weighting of a slice in one loop (vectorised), the look-ups in another.
        constexpr std::size_t slice = 1024;
        std::uint32_t greys[slice];
        for (std::size_t start = 0; start < pixels; start += slice) {
            const std::size_t n = std::min(slice, pixels - start);
            const std::uint8_t* p = data + start * size;
            for (std::size_t i = 0; i < n; ++i) {
                std::uint32_t r, g, b;
                loadIntegerPixel<L, Big>(p + i * size, r, g, b);
                greys[i] = weighNarrowIntegers<W>(r, g, b);
            }
            lookUpGreys(greys, n, table, stretch, out + start);
        }
    }
}

}  // namespace

void analyseIntegerBlock(const BlockFormat& format, const std::uint8_t* data, std::size_t pixels,
                         IntegerExtremes& extremes, std::uint16_t* greys) {
    withIntegerLayout(format.layout, [&](auto layout) {
        withOrder(format.sourceOrder, [&](auto big) {
            withWeighting(format.weighting, [&](auto w) {
                constexpr SampleLayout L = decltype(layout)::value;
                constexpr bool kBig = decltype(big)::value;
                constexpr ColourWeighting W = decltype(w)::value;
                if constexpr (L != SampleLayout::Rgb32) {
                    if (greys) return analyseKeepingGreys<L, kBig, W>(data, pixels, extremes, greys);
                }
                analyseIntegers<L, kBig, W>(data, pixels, extremes);
            });
        });
    });
}

bool greysFit16Bits(const BlockFormat& format) { return format.layout != SampleLayout::Rgb32; }

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
            const long double nearest = std::rint(value);  // ties to even in the default rounding mode
            g = nearest > 65535.0L ? 65535u : static_cast<std::uint32_t>(nearest);
        }
        if (s.posteriseStep != 0) g = std::min<std::uint32_t>(g / s.posteriseStep * s.posteriseStep, 65535u);
    } else if (g > 65535u) {
        g = 65535u;  // a 96-bit integer grey beyond 16 bits is held at white
    }
    if (s.invert) g = 65535u - g;
    return static_cast<std::uint16_t>(g);
}

IntegerConverter::IntegerConverter(const BlockFormat& format, const IntegerStretch& stretch,
                                   std::uint64_t imagePixels)
    : format_(format), stretch_(stretch) {
    constexpr std::uint32_t kEntries = 65536;
    if (imagePixels < kEntries) return;
    table_.resize(kEntries);
    for (std::uint32_t grey = 0; grey < kEntries; ++grey) table_[grey] = integerPipeline(grey, stretch_);
}

void IntegerConverter::convertGreys(const std::uint16_t* greys, std::size_t pixels, std::uint16_t* out) const {
    lookUpGreys(greys, pixels, table_.empty() ? nullptr : table_.data(), stretch_, out);
}

void IntegerConverter::convertBlock(const std::uint8_t* data, std::size_t pixels, std::uint16_t* out) const {
    withIntegerLayout(format_.layout, [&](auto layout) {
        withOrder(format_.sourceOrder, [&](auto big) {
            withWeighting(format_.weighting, [&](auto w) {
                convertIntegers<decltype(layout)::value, decltype(big)::value, decltype(w)::value>(
                    data, pixels, table_.empty() ? nullptr : table_.data(), stretch_, out);
            });
        });
    });
}

}  // namespace kelvarin
