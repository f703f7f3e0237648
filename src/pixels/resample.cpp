// The filtering is stb_image_resize's (Debian's libstb-dev); this file holds its implementation.
#include "pixels/resample.h"

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

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
                  ImageSize to, std::uint64_t bandBytes) {
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
    const stbir_filter across = filterFor(from.width, to.width), down = filterFor(from.height, to.height);
    // The scales as stb works them out for a whole pass, so that every band maps its columns alike.
    const float xScale = static_cast<float>(to.width) / static_cast<float>(from.width);
    const float yScale = static_cast<float>(to.height) / static_cast<float>(from.height);
    // What a column of the result costs stb: its samples, and its entries in the ring of rows being
    // made (one more than the filter's height, in floats).
    const std::uint64_t ringRows = static_cast<std::uint64_t>(stbir__get_filter_pixel_width(down, yScale)) + 1;
    const std::uint64_t columnBytes = std::max<std::uint64_t>(std::uint64_t{to.height} * sizeof(std::uint16_t),
                                                              ringRows * sizeof(float));
    const std::uint64_t bandColumns = std::clamp<std::uint64_t>(bandBytes / columnBytes, 1, to.width);
    const auto resize = [&](std::uint16_t* into, std::uint32_t columns, std::uint32_t firstColumn) {
        return stbir_resize_subpixel(source.data(), static_cast<int>(from.width), static_cast<int>(from.height), 0,
                                     into, static_cast<int>(columns), static_cast<int>(to.height), 0,
                                     STBIR_TYPE_UINT16, 1, STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                                     STBIR_EDGE_CLAMP, across, down, STBIR_COLORSPACE_LINEAR, nullptr, xScale, yScale,
                                     static_cast<float>(firstColumn), 0.0f) != 0;
    };
    if (bandColumns == to.width) return resize(target.data(), to.width, 0);
    std::vector<std::uint16_t> band;
    try {
        band.resize(static_cast<std::size_t>(bandColumns) * to.height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::uint32_t first = 0; first < to.width;) {
        const auto columns = static_cast<std::uint32_t>(std::min<std::uint64_t>(bandColumns, to.width - first));
        if (!resize(band.data(), columns, first)) return false;
        for (std::uint32_t row = 0; row < to.height; ++row)
            std::copy_n(band.data() + std::size_t{row} * columns, columns,
                        target.data() + std::size_t{row} * to.width + first);
        first += columns;
    }
    return true;
}

}  // namespace kelvarin
