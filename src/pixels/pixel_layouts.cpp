#include "pixels/pixel_layouts.h"

#include <bit>
#include <cstring>
#include <limits>
#include <vector>

namespace kelvarin {

namespace {

template <typename T>
void store(std::uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// Unsigned samples of storage type In onto Out, through `table` (the scaled level of every
// level up to the maximum) unless it is empty: the samples already span Out's range. The loop
// is made once for each shape, so that nothing but the samples is looked at a pixel.
template <typename In, typename Out, std::uint32_t Colours, bool Tabled, bool Clamped>
void levelsOf(const PixelLayout& layout, const std::uint16_t* table, const std::uint8_t* in, std::size_t pixels,
              std::uint8_t* out) {
    const std::size_t step = layout.bytesPerPixel();
    const In top = static_cast<In>(layout.maxValue);
    for (std::size_t i = 0; i < pixels; ++i, in += step) {
        for (std::uint32_t c = 0; c < 3; ++c) {
            In v = loadSample<In>(in + (Colours == 1 ? 0 : c) * sizeof(In));
            // A value above the stated maximum (a PNM may hold one) is taken as the maximum.
            if constexpr (Clamped) v = v > top ? top : v;
            if constexpr (Tabled) {
                store<Out>(out, static_cast<Out>(table[v]));
            } else {
                store<Out>(out, static_cast<Out>(v));
            }
            out += sizeof(Out);
        }
    }
}

template <typename In, typename Out, std::uint32_t Colours>
void levelsOf(const PixelLayout& layout, const std::vector<std::uint16_t>& table, const std::uint8_t* in,
              std::size_t pixels, std::uint8_t* out) {
    // Only a maximum below what the storage holds needs the clamp; a table always has one.
    const bool clamped = layout.maxValue < std::numeric_limits<In>::max();
    if (!table.empty()) {
        levelsOf<In, Out, Colours, true, true>(layout, table.data(), in, pixels, out);
    } else if (clamped) {
        levelsOf<In, Out, Colours, false, true>(layout, nullptr, in, pixels, out);
    } else if (Colours == 3 && sizeof(In) == sizeof(Out) && layout.bytesPerPixel() == 3 * sizeof(In)) {
        std::memcpy(out, in, pixels * 3 * sizeof(In));  // already the samples the converters take
    } else {
        levelsOf<In, Out, Colours, false, false>(layout, nullptr, in, pixels, out);
    }
}

template <typename In, typename Out>
void levels(const PixelLayout& layout, const std::vector<std::uint16_t>& table, const std::uint8_t* in,
            std::size_t pixels, std::uint8_t* out) {
    if (layout.colourChannels() == 1) {
        levelsOf<In, Out, 1>(layout, table, in, pixels, out);
    } else {
        levelsOf<In, Out, 3>(layout, table, in, pixels, out);
    }
}

template <typename In>
void light(const PixelLayout& layout, const std::uint8_t* in, std::size_t pixels, std::uint8_t* out) {
    const std::uint32_t colours = layout.colourChannels();
    const std::size_t step = layout.bytesPerPixel();
    for (std::size_t i = 0; i < pixels; ++i, in += step) {
        for (std::uint32_t c = 0; c < 3; ++c) {
            const In v = loadSample<In>(in + (colours == 1 ? 0 : c) * sizeof(In));
            float f;
            if constexpr (sizeof(In) == 2)
                f = halfToFloat(v);
            else
                f = static_cast<float>(v);
            store<float>(out, f);
            out += sizeof(float);
        }
    }
}

}  // namespace

std::optional<SampleLayout> rgbLayoutFor(const PixelLayout& layout) {
    const std::uint32_t colours = layout.colourChannels();
    if (colours != 1 && colours != 3) return std::nullopt;
    switch (layout.type) {
        case SampleType::Unsigned:
            if (layout.maxValue == 0 || layout.bits > 32 || layout.maxValue >= (std::uint64_t{1} << layout.bits))
                return std::nullopt;
            if (layout.maxValue <= 255) return SampleLayout::Rgb8;
            if (layout.maxValue <= 65535) return SampleLayout::Rgb16;
            if (layout.maxValue == 0xFFFFFFFFu) return SampleLayout::Rgb32;
            return std::nullopt;
        case SampleType::Float:
            if (layout.bits == 16 || layout.bits == 32 || layout.bits == 64) return SampleLayout::RgbFloat;
            return std::nullopt;
        case SampleType::Signed: break;
    }
    return std::nullopt;
}

bool rgbAsDecoded(const PixelLayout& layout) {
    const std::optional<SampleLayout> to = rgbLayoutFor(layout);
    if (!to || layout.channels != 3 || layout.alpha) return false;
    if (*to == SampleLayout::RgbFloat) return layout.type == SampleType::Float && layout.bits == 32;
    return layout.bits < 64 && layout.maxValue == (std::uint64_t{1} << layout.bits) - 1;
}

RgbPixels::RgbPixels(const PixelLayout& from) : from_(from), to_(rgbLayoutFor(from).value_or(SampleLayout::Rgb16)) {
    if (from.type != SampleType::Unsigned || !rgbLayoutFor(from)) return;
    // Levels below 8 or 16 bits are tabled once: at most 65536 of them, as rgbLayoutFor allows
    // no other maximum below 2^32 - 1.
    const std::uint32_t top = to_ == SampleLayout::Rgb8 ? 255 : 65535;
    if (to_ == SampleLayout::Rgb32 || from.maxValue == top) return;
    table_.resize(static_cast<std::size_t>(from.maxValue) + 1);
    for (std::uint64_t v = 0; v <= from.maxValue; ++v)
        table_[static_cast<std::size_t>(v)] = static_cast<std::uint16_t>(scaleLevel(v, from.maxValue, top));
}

void RgbPixels::convert(const std::uint8_t* in, std::size_t pixels, std::uint8_t* out) const {
    if (!rgbLayoutFor(from_)) return;
    if (to_ == SampleLayout::RgbFloat) {
        if (from_.bits == 16) light<std::uint16_t>(from_, in, pixels, out);
        if (from_.bits == 32) light<float>(from_, in, pixels, out);
        if (from_.bits == 64) light<double>(from_, in, pixels, out);
        return;
    }
    const auto from = [&]<typename Out>(Out) {
        if (from_.bits == 8) levels<std::uint8_t, Out>(from_, table_, in, pixels, out);
        if (from_.bits == 16) levels<std::uint16_t, Out>(from_, table_, in, pixels, out);
        if (from_.bits == 32) levels<std::uint32_t, Out>(from_, table_, in, pixels, out);
    };
    if (to_ == SampleLayout::Rgb8) from(std::uint8_t{});
    if (to_ == SampleLayout::Rgb16) from(std::uint16_t{});
    if (to_ == SampleLayout::Rgb32) from(std::uint32_t{});
}

void toRgbPixels(const PixelLayout& layout, const std::uint8_t* in, std::size_t pixels, std::uint8_t* out) {
    RgbPixels(layout).convert(in, pixels, out);
}

float halfToFloat(std::uint16_t half) {
    const std::uint32_t sign = static_cast<std::uint32_t>(half & 0x8000u) << 16;
    const std::uint32_t exponent = (half >> 10) & 0x1Fu;
    std::uint32_t mantissa = half & 0x3FFu;
    std::uint32_t bits;
    if (exponent == 0x1F) {
        bits = sign | 0x7F800000u | (mantissa << 13);  // infinity or NaN, the payload kept
    } else if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        bits = sign;
    } else {
        // A subnormal half is a normal float: shift the mantissa up to its leading one.
        std::uint32_t e = 113;
        while ((mantissa & 0x400u) == 0) {
            mantissa <<= 1;
            --e;
        }
        bits = sign | (e << 23) | ((mantissa & 0x3FFu) << 13);
    }
    return std::bit_cast<float>(bits);
}

}  // namespace kelvarin
