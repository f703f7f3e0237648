#include "pixels/resample.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "pixels/resample_taps.h"

namespace kelvarin {

namespace {

struct Filters {
    ResampleTaps across, down;
};

// The sample as the filters weigh it, 0 to 1, and back: the float product is rounded half up.
float unitSample(std::uint16_t sample) { return static_cast<float>(sample) / 65535.0f; }

std::uint16_t fromUnit(float value) {
    const float clamped = value < 0 ? 0.0f : value > 1 ? 1.0f : value;
    return static_cast<std::uint16_t>(static_cast<int>(clamped * 65535.0f + 0.5));
}

// One thread's rows in the making: a row of the source as the filters weigh it, that row
// resampled across, and the sums of the band's result rows.
struct BandBuffers {
    std::vector<float> unit, across, sums;
};

// The result's rows [top, top + rows): every source row their taps name, resampled across once,
// is added into each of those rows in the order of its taps.
void resampleBand(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target, ImageSize to,
                  const Filters& filters, std::uint32_t top, std::uint32_t rows, BandBuffers& buffers) {
    const ResampleTaps& down = filters.down;
    const ResampleTaps& across = filters.across;
    buffers.unit.resize(from.width);
    buffers.across.resize(to.width);
    buffers.sums.assign(std::size_t{rows} * to.width, 0.0f);
    std::vector<std::uint32_t> next(down.first.begin() + top, down.first.begin() + top + rows);
    std::uint32_t lowest = UINT32_MAX, highest = 0;
    for (std::uint32_t r = top; r < top + rows; ++r) {
        if (down.first[r] == down.first[r + 1]) continue;
        lowest = std::min(lowest, down.index[down.first[r]]);
        highest = std::max(highest, down.index[down.first[r + 1] - 1]);
    }
    float* const unit = buffers.unit.data();
    float* const acrossRow = buffers.across.data();
    for (std::uint32_t y = lowest; y <= highest && lowest != UINT32_MAX; ++y) {
        bool made = false;
        for (std::uint32_t r = 0; r < rows; ++r) {
            std::uint32_t& tap = next[r];
            const std::uint32_t end = down.first[top + r + 1];
            if (tap == end || down.index[tap] != y) continue;
            if (!made) {
                const std::uint16_t* row = source.data() + std::size_t{y} * from.width;
                for (std::uint32_t x = 0; x < from.width; ++x) unit[x] = unitSample(row[x]);
                for (std::uint32_t x = 0; x < to.width; ++x) {
                    float sum = 0;
                    for (std::uint32_t t = across.first[x]; t < across.first[x + 1]; ++t)
                        sum += unit[across.index[t]] * across.weight[t];
                    acrossRow[x] = sum;
                }
                made = true;
            }
            float* const sums = buffers.sums.data() + std::size_t{r} * to.width;
            for (; tap < end && down.index[tap] == y; ++tap) {
                const float weight = down.weight[tap];
                for (std::uint32_t x = 0; x < to.width; ++x) sums[x] += acrossRow[x] * weight;
            }
        }
    }
    for (std::uint32_t r = 0; r < rows; ++r) {
        const float* sums = buffers.sums.data() + std::size_t{r} * to.width;
        std::uint16_t* out = target.data() + std::size_t{top + r} * to.width;
        for (std::uint32_t x = 0; x < to.width; ++x) out[x] = fromUnit(sums[x]);
    }
}

}  // namespace

std::uint32_t sourceRowsFor(ImageSize from, ImageSize to, std::uint32_t endRow) {
    if (from.height == 0 || to.height == 0 || endRow == 0) return 0;
    const ResampleTaps down = resampleTaps(from.height, to.height);
    std::uint32_t need = 0;
    for (std::uint32_t r = 0; r < std::min(endRow, to.height); ++r)
        if (down.first[r] != down.first[r + 1]) need = std::max(need, down.index[down.first[r + 1] - 1] + 1);
    return need;
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
    // The filters count taps and sizes in 32 bits.
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
    Filters filters;
    try {
        filters = {resampleTaps(from.width, to.width), resampleTaps(from.height, to.height)};
    } catch (const std::bad_alloc&) {
        return false;
    }
    unsigned workers = threads != 0 ? threads : std::max(1u, std::thread::hardware_concurrency());
    if (std::uint64_t{to.width} * rowCount < kResampleSamplesWorthAThread) workers = 1;
    // Bands small enough for their sums to stay in the cache, and enough of them for every thread.
    const std::uint64_t rowBytes = std::uint64_t{to.width} * sizeof(float);
    std::uint32_t rowsPerBand = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(bandBytes / rowBytes, 1, rowCount));
    rowsPerBand = std::min(rowsPerBand, (rowCount + workers - 1) / workers);
    const std::uint32_t bands = (rowCount + rowsPerBand - 1) / rowsPerBand;
    std::atomic<std::uint32_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        try {
            BandBuffers buffers;
            for (std::uint32_t band = next++; band < bands && !failed; band = next++) {
                const std::uint32_t top = band * rowsPerBand;
                resampleBand(source, from, target, to, filters, firstRow + top, std::min(rowsPerBand, rowCount - top),
                             buffers);
            }
        } catch (const std::bad_alloc&) {
            failed = true;
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < std::min(workers, bands); ++i) {
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
