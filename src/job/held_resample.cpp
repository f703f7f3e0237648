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
        whole_.resize(std::size_t{from.width} * from.height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool HeldResample::add(const std::uint16_t* samples, std::size_t count) {
    if (count > whole_.size() - held_) return false;
    std::copy(samples, samples + count, whole_.begin() + static_cast<std::ptrdiff_t>(held_));
    held_ += count;
    return true;
}

HeldResample::Outcome HeldResample::finish(const FinishProgress& progress, const std::function<bool()>& resampled,
                                           const HandOn& handOn) {
    LargeVector<std::uint16_t> result;
    try {
        result.resize(std::size_t{to_.width} * to_.height);
    } catch (const std::bad_alloc&) {
        return Outcome::OutOfMemory;
    }
    if (progress) {
        // stb tells nothing of its progress: the bar moves by the time a resampling of this many
        // samples takes on the machine we measure on, and waits short of the end.
        const double expectedSeconds = 6e-9 * static_cast<double>(whole_.size() + result.size());
        const auto begun = std::chrono::steady_clock::now();
        const auto resampling = [&] {
            const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - begun;
            return progress(FinishStage::Resampling, std::min(0.95, taken.count() / expectedSeconds));
        };
        ResampleAsideResult aside = resampleAside(std::move(whole_), from_, std::move(result), to_, resampling);
        whole_.clear();
        if (aside.stopped) return Outcome::Stopped;
        if (!aside.samples) return Outcome::OutOfMemory;
        result = std::move(*aside.samples);
    } else {
        const bool done = resampleGrey(whole_, from_, result, to_);
        decltype(whole_)().swap(whole_);
        if (!done) return Outcome::OutOfMemory;
    }
    held_ = 0;
    if (!resampled()) return Outcome::HandOnFailed;
    for (std::size_t at = 0; at < result.size(); at += kPartSamples) {
        if (progress && !progress(FinishStage::Writing, static_cast<double>(at) / static_cast<double>(result.size())))
            return Outcome::Stopped;
        if (!handOn(result.data() + at, std::min(kPartSamples, result.size() - at))) return Outcome::HandOnFailed;
    }
    return Outcome::Done;
}

}  // namespace kelvarin
