// The sample layouts of an RGB TIFF source, and the block format the converters are built for.
#pragma once

#include <cstddef>
#include <type_traits>

#include "base/conversion_options.h"
#include "base/byte_order.h"

namespace kelvarin {

// Three samples per pixel: 8-, 16- or 32-bit integers, or 32-bit IEEE floats.
enum class SampleLayout { Rgb8, Rgb16, Rgb32, RgbFloat };

constexpr std::size_t bytesPerPixel(SampleLayout layout) {
    return layout == SampleLayout::Rgb8 ? 3 : layout == SampleLayout::Rgb16 ? 6 : 12;
}

// What a block converter needs to know about the source. The converters write native 16-bit
// samples; the destination's byte order is the writer's business.
struct BlockFormat {
    SampleLayout layout = SampleLayout::Rgb16;
    ByteOrder sourceOrder = ByteOrder::II;
    ColourWeighting weighting = ColourWeighting::Average;
};

// Calls f with the layout as a compile-time constant (the integer layouts only).
template <typename F>
void withIntegerLayout(SampleLayout layout, F&& f) {
    switch (layout) {
        case SampleLayout::Rgb8: f(std::integral_constant<SampleLayout, SampleLayout::Rgb8>{}); break;
        case SampleLayout::Rgb16: f(std::integral_constant<SampleLayout, SampleLayout::Rgb16>{}); break;
        case SampleLayout::Rgb32: f(std::integral_constant<SampleLayout, SampleLayout::Rgb32>{}); break;
        case SampleLayout::RgbFloat: break;
    }
}

// Calls f with std::true_type for a big-endian ("MM") source, std::false_type for "II".
template <typename F>
void withOrder(ByteOrder order, F&& f) {
    if (order == ByteOrder::MM)
        f(std::true_type{});
    else
        f(std::false_type{});
}

}  // namespace kelvarin
