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
    resampler_.reset();
    try {
        rows_.begin(from.width);
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
    if (count > (std::size_t{from_.height} - resampler_->rowsIn()) * width - rows_.filled()) return false;
    keepGoing_ = &keepGoing;
    groups_ = 0;
    const RowResampler::Made made = [this](std::uint16_t* rows, std::size_t samples) { return handOn(rows, samples); };
    return rows_.add(samples, count, [&](const std::uint16_t* rows, std::size_t n) {
        return resampler_->addRows(rows, static_cast<std::uint32_t>(n), made);
    });
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
