#include "job/background_report.h"

#include <algorithm>
#include <system_error>

namespace kelvarin {

BackgroundReportFeed::BackgroundReportFeed(std::uint64_t width, std::uint64_t length, PreviewGathering preview,
                                           std::size_t waitingSamples)
    : feed_(width, length, preview) {
    // Never more room than the image has samples: a small image costs no large buffers.
    const std::uint64_t samples = width * length;
    waitingLimit_ =
        static_cast<std::size_t>(std::clamp<std::uint64_t>(samples, 1, std::max<std::size_t>(waitingSamples, 1)));
    // Starting and joining a thread costs more than counting a small image as it comes.
    if (samples < kCountInPlaceBelow) return;
    waiting_.reserve(waitingLimit_);
    try {
        counter_ = std::thread([this] { count(); });
    } catch (const std::system_error&) {
        // No thread to be had: the samples are counted as they come, which is only slower.
    }
}

BackgroundReportFeed::~BackgroundReportFeed() { stop(); }

void BackgroundReportFeed::add(std::span<const std::uint16_t> samples) {
    if (!counter_.joinable()) {
        feed_.add(samples);
        return;
    }
    while (!samples.empty()) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return waiting_.size() < waitingLimit_ || failure_; });
        if (failure_) return;  // finish() reports it
        const std::size_t take = std::min(samples.size(), waitingLimit_ - waiting_.size());
        waiting_.insert(waiting_.end(), samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(take));
        samples = samples.subspan(take);
        lock.unlock();
        changed_.notify_one();
    }
}

void BackgroundReportFeed::count() {
    LargeVector<std::uint16_t> taken;
    taken.reserve(waitingLimit_);
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !waiting_.empty() || ending_; });
            if (waiting_.empty()) return;  // ending, and everything counted
            taken.swap(waiting_);
            waiting_.clear();
        }
        changed_.notify_one();
        try {
            feed_.add(taken);
        } catch (...) {
            const std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            waiting_.clear();
            changed_.notify_all();
            return;
        }
    }
}

void BackgroundReportFeed::stop() {
    if (!counter_.joinable()) return;
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    counter_.join();
}

FinishedReport BackgroundReportFeed::finish(std::string output, SourceFacts source) {
    stop();
    if (failure_) std::rethrow_exception(failure_);
    return feed_.finish(std::move(output), std::move(source));
}

}  // namespace kelvarin
