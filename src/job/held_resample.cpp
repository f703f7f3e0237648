#include "job/held_resample.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace kelvarin {

namespace {

// A resampled image is handed on in parts of this many samples (1 MiB).
constexpr std::size_t kPartSamples = std::size_t{1} << 19;

}  // namespace

bool HeldResample::begin(ImageSize from, ImageSize to) {
    from_ = from;
    to_ = to;
    held_ = 0;
    aside_.reset();
    try {
        // Unfilled: the image's pages are made as its samples arrive, while the other threads
        // convert the next ones, and the result's by the threads that resample into it.
        aside_ = std::make_unique<ResampleAside>(
            makeLargeArray<std::uint16_t>(std::size_t{from.width} * from.height, FirstTouch::ByUse), from,
            makeLargeArray<std::uint16_t>(std::size_t{to.width} * to.height, FirstTouch::ByUse), to);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool HeldResample::add(const std::uint16_t* samples, std::size_t count) {
    if (!aside_ || count > std::size_t{from_.width} * from_.height - held_) return false;
    std::copy(samples, samples + count, aside_->source() + held_);
    held_ += count;
    aside_->sourceRowsIn(static_cast<std::uint32_t>(held_ / from_.width));
    return true;
}

HeldResample::Outcome HeldResample::finish(const FinishProgress& progress, const std::function<bool()>& resampled,
                                           const HandOn& handOn) {
    if (!aside_) return Outcome::OutOfMemory;  // begin() found no memory
    if (!complete()) return Outcome::HandOnFailed;
    const std::size_t samples = std::size_t{to_.width} * to_.height;
    // The resampler tells nothing of its progress: the bar moves by the time a resampling of this many
    // samples takes on the machine we measure on, and waits short of the end.
    const double expectedSeconds = 6e-9 * static_cast<double>(std::size_t{from_.width} * from_.height + samples);
    const auto begun = std::chrono::steady_clock::now();
    const auto resampling = [&] {
        if (!progress) return true;
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - begun;
        return progress(FinishStage::Resampling, std::min(0.95, taken.count() / expectedSeconds));
    };
    ResampleAsideResult aside = aside_->finish(resampling);
    aside_.reset();
    held_ = 0;
    if (aside.stopped) return Outcome::Stopped;
    if (!aside.samples) return Outcome::OutOfMemory;
    const LargeArray<std::uint16_t> result = std::move(*aside.samples);
    if (!resampled()) return Outcome::HandOnFailed;
    for (std::size_t at = 0; at < samples; at += kPartSamples) {
        if (progress && !progress(FinishStage::Writing, static_cast<double>(at) / static_cast<double>(samples)))
            return Outcome::Stopped;
        if (!handOn(result.get() + at, std::min(kPartSamples, samples - at))) return Outcome::HandOnFailed;
    }
    return Outcome::Done;
}

}  // namespace kelvarin
