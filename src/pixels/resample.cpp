// The filtering is stb_image_resize's (Debian's libstb-dev); this file holds its implementation.
#include "pixels/resample.h"

#include <algorithm>
#include <climits>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb_image_resize.h>

namespace kelvarin {

namespace {

// stb's box filter is a trapezoid with one-pixel ramps: each old sample weighs as much as it
// overlaps the new one, which is exactly the area average. It is meant for shrinking only.
stbir_filter filterFor(std::uint32_t from, std::uint32_t to) {
    return to < from ? STBIR_FILTER_BOX : STBIR_FILTER_CATMULLROM;
}

}  // namespace

bool resampleGrey(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target,
                  ImageSize to) {
    if (from.width == 0 || from.height == 0 || to.width == 0 || to.height == 0) return false;
    if (source.size() != std::uint64_t{from.width} * from.height || target.size() != std::uint64_t{to.width} * to.height)
        return false;
    // stb counts pixels and row strides in int.
    constexpr std::uint32_t kLargest = INT_MAX / 2;
    if (std::max({from.width, from.height, to.width, to.height}) > kLargest) return false;
    if (from == to) {
        std::copy(source.begin(), source.end(), target.begin());
        return true;
    }
    const int done = stbir_resize(source.data(), static_cast<int>(from.width), static_cast<int>(from.height), 0,
                                  target.data(), static_cast<int>(to.width), static_cast<int>(to.height), 0,
                                  STBIR_TYPE_UINT16, 1, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP,
                                  filterFor(from.width, to.width), filterFor(from.height, to.height),
                                  STBIR_COLORSPACE_LINEAR, nullptr);
    return done != 0;
}

}  // namespace kelvarin
