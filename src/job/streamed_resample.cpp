#include "job/streamed_resample.h"

#include <algorithm>
#include <new>

namespace kelvarin {

bool StreamedResample::begin(ImageSize from, ImageSize to, unsigned threads, std::function<bool()> start,
                             HandOn handOn) {
    from_ = from;
    to_ = to;
    start_ = std::move(start);
    handOn_ = std::move(handOn);
    started_ = false;
    rowFill_ = 0;
    resampler_.reset();
    try {
        row_.assign(from.width, 0);
        resampler_ = std::make_unique<RowResampler>(from, to, threads);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool StreamedResample::handOn(std::uint16_t* samples, std::size_t count) {
    if (!started_) {
        started_ = true;
        if (!start_()) return false;
    }
    // One part of the source may complete many rows of a result much larger than it: the window
    // answers its events, and a stop is looked for, between their groups.
    if (groups_++ != 0 && *keepGoing_ && !(*keepGoing_)()) return false;
    return handOn_(samples, count);
}

bool StreamedResample::add(const std::uint16_t* samples, std::size_t count, const KeepGoing& keepGoing) {
    if (!resampler_) return false;
    const std::size_t width = from_.width;
    if (count > (std::size_t{from_.height} - resampler_->rowsIn()) * width - rowFill_) return false;
    keepGoing_ = &keepGoing;
    groups_ = 0;
    const RowResampler::Made made = [this](std::uint16_t* rows, std::size_t samples) { return handOn(rows, samples); };
    // A row begun in an earlier call is completed first.
    if (rowFill_ != 0) {
        const std::size_t part = std::min(count, width - rowFill_);
        std::copy(samples, samples + part, row_.begin() + static_cast<std::ptrdiff_t>(rowFill_));
        rowFill_ += part;
        samples += part;
        count -= part;
        if (rowFill_ != width) return true;
        rowFill_ = 0;
        if (!resampler_->addRows(row_.data(), 1, made)) return false;
    }
    const auto rows = static_cast<std::uint32_t>(count / width);
    if (rows != 0 && !resampler_->addRows(samples, rows, made)) return false;
    samples += std::size_t{rows} * width;
    count -= std::size_t{rows} * width;
    std::copy(samples, samples + count, row_.begin());
    rowFill_ = count;
    return true;
}

bool StreamedResample::complete() const { return resampler_ && resampler_->rowsIn() == from_.height; }

StreamedResample::Outcome StreamedResample::finish(const KeepGoing& keepGoing) {
    if (!resampler_) return Outcome::OutOfMemory;  // begin() found no memory
    if (!complete() || resampler_->rowsMade() != to_.height) return Outcome::HandOnFailed;
    resampler_.reset();
    if (keepGoing && !keepGoing()) return Outcome::Stopped;
    return Outcome::Done;
}

}  // namespace kelvarin
