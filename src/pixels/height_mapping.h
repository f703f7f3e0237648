// Heights onto the levels of a height map: the one rule every elevation source goes through.
// - A void (the file's no-data value, and NaN or an infinity in floating-point samples) becomes 0.
// - A valid height h of [lo, hi] becomes 1 + (h - lo) x 65534 / (hi - lo), computed in double
//   precision and rounded half to even; heights outside clamp to 1 or 65535 and count as clipped.
// - When hi == lo every valid height becomes 1.
// The no-data value is taken in the samples' own type before they are compared with it, as the
// file's writer meant it: a text "-3.4e+38" is the float the float samples hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "base/height_range.h"
#include "base/pixel_layout.h"

namespace kelvarin {

// Whether samples of this layout are heights the mapping takes: the first (or only) colour
// channel of signed 8-, 16- or 32-bit integers, or of 16-, 32- or 64-bit floating point.
bool mapsHeights(const PixelLayout& layout);

// What a pass over heights found: the lowest and highest valid height, the voids, and (while
// mapping) the heights outside the range.
struct HeightTally {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    std::uint64_t valid = 0;
    std::uint64_t voids = 0;
    std::uint64_t clipped = 0;

    void merge(const HeightTally& other);
    // The range found; nothing when every sample was a void.
    std::optional<HeightRange> range() const;
};

class HeightMapping {
public:
    explicit HeightMapping(HeightRange range);
    // The level of a valid height; `clipped` is set when it lay outside the range.
    std::uint16_t level(double h, bool& clipped) const;

private:
    double low_, high_;
    double span_;   // high - low, or half of it where the product would overflow
    double scale_;  // 1, or 1/2 with the halved span
};

// Reads the heights of one layout: tells voids from heights and hands them on as doubles.
class HeightSampler {
public:
    HeightSampler(const PixelLayout& layout, std::optional<double> noData);

    // Counts the voids and finds the extremes of `pixels` pixels.
    void tally(const std::uint8_t* in, std::size_t pixels, HeightTally& found) const;
    // Writes the level of each pixel into `out`; `found` takes the voids, clipped heights and
    // extremes, as tally() finds them.
    void map(const HeightMapping& mapping, const std::uint8_t* in, std::size_t pixels, std::uint16_t* out,
             HeightTally& found) const;

private:
    template <typename Visit>
    void each(const std::uint8_t* in, std::size_t pixels, Visit&& visit) const;

    PixelLayout layout_;
    bool integerVoid_ = false;  // whether an integer sample can equal the no-data value
    std::int64_t integerNoData_ = 0;
    double floatNoData_ = 0;     // the no-data value in the samples' float type; NaN: none
};

}  // namespace kelvarin
