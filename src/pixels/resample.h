// Resampling a grey image of 16-bit samples to another size, for height maps that an engine
// wants at a size of its own. Along an axis that shrinks each new sample is the average of the
// area it covers; along one that grows, a Catmull-Rom cubic interpolates (it passes through the
// old samples). Results are rounded and clamped to 0..65535.
//
// The image streams through: each source row is resampled across as it comes, and each result
// row is made as soon as the source rows under it are in, so only a few rows are held whatever
// the image's size. The columns are shared out among threads; neither that nor how the rows
// come in groups changes a sample.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "base/image_size.h"

namespace kelvarin {

// Results of fewer samples are made on the caller's thread alone.
inline constexpr std::uint64_t kResampleSamplesWorthAThread = std::uint64_t{1} << 18;

class RowResampler {
public:
    // Result rows are handed on in groups of whole rows, top first, at most about 1 MiB a group;
    // the samples may be changed in place. False stops the resampling.
    using Made = std::function<bool(std::uint16_t* samples, std::size_t count)>;

    // Both sizes at least 1 x 1. `threads` share the columns (0: as many as the machine has).
    // Throws std::bad_alloc when the rows in the making do not fit in memory.
    RowResampler(ImageSize from, ImageSize to, unsigned threads = 0);
    ~RowResampler();
    RowResampler(const RowResampler&) = delete;
    RowResampler& operator=(const RowResampler&) = delete;

    // The source's next `rows` whole rows (from.width samples each). Every result row they
    // complete is handed to `made` before this returns. False when `made` answered false (then
    // nothing more is made) or the rows run past the source's end.
    bool addRows(const std::uint16_t* samples, std::uint32_t rows, const Made& made);

    std::uint32_t rowsIn() const { return rowsIn_; }
    std::uint32_t rowsMade() const { return rowsMade_; }

private:
    struct Plan;
    struct Crew;
    std::unique_ptr<Plan> plan_;
    std::unique_ptr<Crew> crew_;
    std::uint32_t rowsIn_ = 0, rowsMade_ = 0;
    bool failed_ = false;
};

// The whole of `source` (from.width x from.height samples, rows top first) into `target`
// (to.width x to.height). False when a size is 0 or does not match its buffer, or memory ran out.
bool resampleGrey(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target,
                  ImageSize to, unsigned threads = 0);

}  // namespace kelvarin
