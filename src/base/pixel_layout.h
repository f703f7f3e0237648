// How a source's decoded pixels are laid out: what a format's reader says of its rows and what the
// pixel maths takes them as.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin {

enum class SampleType : std::uint8_t { Unsigned, Signed, Float };

// How a decoded row holds its pixels: `channels` interleaved samples a pixel, each `bits` wide
// (8, 16, 32 or 64) in the machine's byte order, whatever the file's. Unsigned samples lie in
// [0, maxValue]: 2^n - 1 for n-bit data (a 12-bit TIFF decodes into 16-bit samples with
// maxValue 4095), a PNM's maxval. Floating-point samples are 16-bit halves, floats or doubles.
struct PixelLayout {
    std::uint32_t channels = 3;  // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA (or RGB + one extra)
    bool alpha = false;          // the channel after the colour ones is alpha (or another extra)
    SampleType type = SampleType::Unsigned;
    std::uint32_t bits = 16;
    std::uint64_t maxValue = 65535;

    std::size_t bytesPerSample() const { return bits / 8; }
    std::size_t bytesPerPixel() const { return channels * bytesPerSample(); }
    std::uint32_t colourChannels() const { return channels - (alpha ? 1 : 0); }
};

}  // namespace kelvarin
