// Decoded source pixels of any layout onto the layouts the converters take. One rule ties every
// source of levels or light to a path that exists: a file converts exactly as the uncompressed
// RGB TIFF with the same pixels would.
// - Grey is replicated to R = G = B; alpha (or another extra channel) is dropped as stored.
// - Unsigned levels up to 255 become 8-bit samples v x 255 / max, up to 65535 16-bit samples
//   v x 65535 / max, both rounded half to even; 32-bit samples stay 32-bit.
// - Half floats become floats (exactly), doubles the nearest float.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "base/pixel_layout.h"
#include "pixels/sample_layout.h"

namespace kelvarin {

// One sample of a decoded row, which need not be aligned for its type.
template <typename T>
T loadSample(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The converters' layout for a source's pixels; none for what has no RGB path (signed samples,
// 17- to 31-bit or 64-bit integers).
std::optional<SampleLayout> rgbLayoutFor(const PixelLayout& layout);
// True when the pixels already are the samples of rgbLayoutFor(layout): three full-range
// channels and nothing else, which the converters can take without a copy.
bool rgbAsDecoded(const PixelLayout& layout);

// Converts pixels of one layout (native byte order) into the samples of rgbLayoutFor(layout),
// native byte order; made once a job, it tables the scaled levels once. Nothing for a layout
// with no RGB path.
class RgbPixels {
public:
    explicit RgbPixels(const PixelLayout& from);
    // `out` holds bytesPerPixel(rgbLayoutFor(from)) x pixels bytes. Safe on several threads at once.
    void convert(const std::uint8_t* in, std::size_t pixels, std::uint8_t* out) const;

private:
    PixelLayout from_;
    SampleLayout to_;
    std::vector<std::uint16_t> table_;  // empty: the levels are taken as they are
};

// RgbPixels(layout).convert(in, pixels, out), for a single block.
void toRgbPixels(const PixelLayout& layout, const std::uint8_t* in, std::size_t pixels, std::uint8_t* out);

// An unsigned level v of [0, max] on [0, top], rounded half to even.
constexpr std::uint32_t scaleLevel(std::uint64_t v, std::uint64_t max, std::uint32_t top) {
    const std::uint64_t product = v * top;
    std::uint64_t q = product / max;
    const std::uint64_t r2 = 2 * (product % max);
    if (r2 > max || (r2 == max && (q & 1) != 0)) ++q;
    return static_cast<std::uint32_t>(q);
}

// A half float's value as a float (every half is a float exactly).
float halfToFloat(std::uint16_t half);

}  // namespace kelvarin
