// Byte access of the pixel code: source samples read in the file's byte order, and the native
// 16-bit samples put into a destination's byte order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/byte_order.h"
#include "pixels/sample_layout.h"

namespace kelvarin {

// Puts `n` native samples into `order` in place: a swap when it is not the host's order, nothing
// when it is (a little-endian destination on x86).
void samplesToByteOrder(std::uint16_t* samples, std::size_t n, ByteOrder order);
// The way back, also in place: `n` samples as they stand in a file of `order` become native ones.
inline void samplesFromByteOrder(std::uint16_t* samples, std::size_t n, ByteOrder order) {
    samplesToByteOrder(samples, n, order);  // the same exchange of the two bytes, or nothing
}

namespace kernels {

inline constexpr bool kHostIsBig = std::endian::native == std::endian::big;

inline std::uint16_t byteSwap16(std::uint16_t v) { return static_cast<std::uint16_t>((v >> 8) | (v << 8)); }

inline std::uint32_t byteSwap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

// Whole-word loads (and a byte swap when the orders differ) rather than bytes put together:
// the vectorizer turns those into vector loads.
inline std::uint32_t load16(const std::uint8_t* p, bool big) {
    std::uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return big != kHostIsBig ? byteSwap16(v) : v;
}

inline std::uint32_t load32(const std::uint8_t* p, bool big) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return big != kHostIsBig ? byteSwap32(v) : v;
}

// The three samples of an integer pixel in a given layout and byte order.
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

// The float samples of a slice, red, green and blue of each pixel in turn: read in place when the
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
        w = byteSwap32(w);
        std::memcpy(&buffer[k], &w, 4);
    }
    return {buffer};
}

}  // namespace kernels
}  // namespace kelvarin
