#include "job/held_resample.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "job/resample_aside.h"
#include "pixels/resample.h"

namespace kelvarin {

namespace {

// A resampled image is handed on in parts of this many samples (1 MiB).
constexpr std::size_t kPartSamples = std::size_t{1} << 19;

}  // namespace

bool HeldResample::begin(ImageSize from, ImageSize to) {
    from_ = from;
    to_ = to;
    held_ = 0;
    try {
        // Its pages are made as the samples arrive, while the other threads convert the next ones.
        whole_ = makeLargeArray<std::uint16_t>(std::size_t{from.width} * from.height, FirstTouch::ByUse);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool HeldResample::add(const std::uint16_t* samples, std::size_t count) {
    if (count > std::size_t{from_.width} * from_.height - held_) return false;
    std::copy(samples, samples + count, whole_.get() + held_);
    held_ += count;
    return true;
}

HeldResample::Outcome HeldResample::finish(const FinishProgress& progress, const std::function<bool()>& resampled,
                                           const HandOn& handOn) {
    const std::size_t heldSamples = std::size_t{from_.width} * from_.height;
    const std::size_t samples = std::size_t{to_.width} * to_.height;
    LargeArray<std::uint16_t> result;
    try {
        // Written by the resampling threads side by side, each band making its own pages.
        result = makeLargeArray<std::uint16_t>(samples, FirstTouch::ByUse);
    } catch (const std::bad_alloc&) {
        return Outcome::OutOfMemory;
    }
    if (progress) {
        // stb tells nothing of its progress: the bar moves by the time a resampling of this many
        // samples takes on the machine we measure on, and waits short of the end.
        const double expectedSeconds = 6e-9 * static_cast<double>(heldSamples + samples);
        const auto begun = std::chrono::steady_clock::now();
        const auto resampling = [&] {
            const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - begun;
            return progress(FinishStage::Resampling, std::min(0.95, taken.count() / expectedSeconds));
        };
        ResampleAsideResult aside = resampleAside(std::move(whole_), from_, std::move(result), to_, resampling);
        if (aside.stopped) return Outcome::Stopped;
        if (!aside.samples) return Outcome::OutOfMemory;
        result = std::move(*aside.samples);
    } else {
        const bool done = resampleGrey({whole_.get(), heldSamples}, from_, {result.get(), samples}, to_);
        whole_.reset();
        if (!done) return Outcome::OutOfMemory;
    }
    held_ = 0;
    if (!resampled()) return Outcome::HandOnFailed;
    for (std::size_t at = 0; at < samples; at += kPartSamples) {
        if (progress && !progress(FinishStage::Writing, static_cast<double>(at) / static_cast<double>(samples)))
            return Outcome::Stopped;
        if (!handOn(result.get() + at, std::min(kPartSamples, samples - at))) return Outcome::HandOnFailed;
    }
    return Outcome::Done;
}

}  // namespace kelvarin
