// The filtering is stb_image_resize's (Debian's libstb-dev); this file holds its implementation.
#include "pixels/resample.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <system_error>
#include <thread>
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

std::uint32_t sourceRowsFor(ImageSize from, ImageSize to, std::uint32_t endRow) {
    if (from.height == 0 || to.height == 0) return 0;
    // stb makes row r from the source rows whose reach (the filter's support about their centres,
    // scaled) touches it: when shrinking, rows up to (r + 1) / scale and half a row more; when
    // growing, the two rows past r / scale. The filter's whole width in source rows and two more
    // rows on top of that leave room to spare.
    const float yScale = static_cast<float>(to.height) / static_cast<float>(from.height);
    const stbir_filter down = filterFor(from.height, to.height);
    const double reach = std::ceil((static_cast<double>(endRow) + 1) / static_cast<double>(yScale)) +
                         stbir__get_filter_pixel_width(down, yScale) + 2;
    return static_cast<std::uint32_t>(std::min(reach, static_cast<double>(from.height)));
}

bool resampleGrey(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target,
                  ImageSize to, std::uint64_t bandBytes, unsigned threads) {
    return resampleGreyRows(source, from, target, to, 0, to.height, bandBytes, threads);
}

bool resampleGreyRows(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target,
                      ImageSize to, std::uint32_t firstRow, std::uint32_t rowCount, std::uint64_t bandBytes,
                      unsigned threads) {
    if (from.width == 0 || from.height == 0 || to.width == 0 || to.height == 0) return false;
    if (source.size() != std::uint64_t{from.width} * from.height || target.size() != std::uint64_t{to.width} * to.height)
        return false;
    // stb counts pixels and row strides in int.
    constexpr std::uint32_t kLargest = INT_MAX / 2;
    if (std::max({from.width, from.height, to.width, to.height}) > kLargest) return false;
    if (firstRow > to.height || rowCount > to.height - firstRow) return false;
    if (rowCount == 0) return true;
    if (from == to) {
        const std::size_t first = std::size_t{firstRow} * to.width, count = std::size_t{rowCount} * to.width;
        std::copy(source.begin() + static_cast<std::ptrdiff_t>(first),
                  source.begin() + static_cast<std::ptrdiff_t>(first + count),
                  target.begin() + static_cast<std::ptrdiff_t>(first));
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
    // A block of the result: `rows` rows from `top`, `columns` columns from `firstColumn`,
    // written straight into its place.
    const auto resize = [&](std::uint32_t top, std::uint32_t rows, std::uint32_t firstColumn, std::uint32_t columns) {
        return stbir_resize_subpixel(source.data(), static_cast<int>(from.width), static_cast<int>(from.height), 0,
                                     target.data() + std::size_t{top} * to.width + firstColumn,
                                     static_cast<int>(columns), static_cast<int>(rows),
                                     static_cast<int>(to.width * sizeof(std::uint16_t)), STBIR_TYPE_UINT16, 1,
                                     STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP, across, down,
                                     STBIR_COLORSPACE_LINEAR, nullptr, xScale, yScale, static_cast<float>(firstColumn),
                                     static_cast<float>(top)) != 0;
    };
    // The threads share bands of rows: a band of columns would turn every source row it reads
    // into floats whole, once for each band, where a band of rows reads only the source rows
    // under it. Bands of columns remain for a result too wide for the filter's arithmetic.
    const std::uint64_t samples = std::uint64_t{to.width} * rowCount;
    unsigned workers = threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
    if (samples < kResampleSamplesWorthAThread) workers = 1;
    const std::uint32_t rowsPerBand = (rowCount + workers - 1) / workers;
    const std::uint32_t downBands = (rowCount + rowsPerBand - 1) / rowsPerBand;
    const auto columns = static_cast<std::uint32_t>(bandColumns);
    const std::uint32_t acrossBands = (to.width + columns - 1) / columns;
    const std::uint32_t blocks = downBands * acrossBands;
    std::atomic<std::uint32_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        for (std::uint32_t block = next++; block < blocks && !failed; block = next++) {
            const std::uint32_t top = block / acrossBands * rowsPerBand;
            const std::uint32_t firstColumn = block % acrossBands * columns;
            if (!resize(firstRow + top, std::min(rowsPerBand, rowCount - top), firstColumn,
                        std::min(columns, to.width - firstColumn)))
                failed = true;
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < std::min<std::uint32_t>(workers, blocks); ++i) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: fewer do the work
        }
    }
    work();
    for (std::thread& helper : helpers) helper.join();
    return !failed;
}

}  // namespace kelvarin
