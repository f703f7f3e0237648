// Resampling a grey image of 16-bit samples to another size, for height maps that an engine
// wants at a size of its own. Along an axis that shrinks each new sample is the average of the
// area it covers; along one that grows, a Catmull-Rom cubic interpolates (it passes through the
// old samples). Results are rounded and clamped to 0..65535.
#pragma once

#include <cstdint>
#include <span>

#include "base/image_size.h"

namespace kelvarin {

// Results (or ranges of rows) of fewer samples are made on the caller's thread alone.
inline constexpr std::uint64_t kResampleSamplesWorthAThread = std::uint64_t{1} << 18;

// `source` holds from.width x from.height samples and `target` to.width x to.height, rows top
// first. False when a size is 0 or does not match its buffer, or memory ran out.
// The result is made in bands of rows, each holding the sums of its rows in the making (at most
// `bandBytes` of them, at least one row), shared out among `threads` threads (0: as many as the
// machine has). Neither changes a sample: every band sums exactly what one pass would. Tests
// choose a small `bandBytes`.
inline constexpr std::uint64_t kResampleBandBytes = std::uint64_t{1} << 20;
bool resampleGrey(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target,
                  ImageSize to, std::uint64_t bandBytes = kResampleBandBytes, unsigned threads = 0);

// Only the result's rows [firstRow, firstRow + rowCount), each exactly as resampleGrey makes it;
// the other rows of `target` are left alone. False also for rows past the result's end.
bool resampleGreyRows(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target,
                      ImageSize to, std::uint32_t firstRow, std::uint32_t rowCount,
                      std::uint64_t bandBytes = kResampleBandBytes, unsigned threads = 0);

// How many of the source's rows, from the top, the result's rows [0, endRow) are made from (at
// most from.height): those rows can be resampled as soon as these have arrived.
std::uint32_t sourceRowsFor(ImageSize from, ImageSize to, std::uint32_t endRow);

}  // namespace kelvarin
