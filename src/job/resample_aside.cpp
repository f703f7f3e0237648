#include "job/resample_aside.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "pixels/resample.h"

namespace kelvarin {

namespace {

// How often the caller's thread looks up: often enough that a stop takes effect well within
// half a second, seldom enough to cost nothing.
constexpr std::chrono::milliseconds kLookUp{25};

}  // namespace

// Shared by the threads that resample, so that a given-up resampling keeps its buffers until its
// last thread ends.
struct ResampleAside::Work {
    LargeArray<std::uint16_t> source, target;
    ImageSize from, to;
    // The result's rows [0, topRows) may start once the source's first topNeed rows are in; no
    // early start when topRows is 0 (a result too small for a thread of its own).
    std::uint32_t topRows = 0, topNeed = 0;
    std::mutex lock;
    std::condition_variable partDone;
    unsigned running = 0;
    bool failed = false;

    // Resamples the result's rows [first, first + count) and says so.
    void part(std::uint32_t first, std::uint32_t count, unsigned threads) {
        const bool made = resampleGreyRows({source.get(), std::size_t{from.width} * from.height}, from,
                                           {target.get(), std::size_t{to.width} * to.height}, to, first, count,
                                           kResampleBandBytes, threads);
        const std::lock_guard<std::mutex> hold(lock);
        failed = failed || !made;
        --running;
        partDone.notify_all();
    }
};

ResampleAside::ResampleAside(LargeArray<std::uint16_t> source, ImageSize from, LargeArray<std::uint16_t> target,
                             ImageSize to)
    : work_(std::make_shared<Work>()) {
    work_->source = std::move(source);
    work_->target = std::move(target);
    work_->from = from;
    work_->to = to;
    if (std::uint64_t{to.width} * to.height >= kResampleSamplesWorthAThread && to.height >= 2) {
        work_->topRows = to.height / 2;
        work_->topNeed = sourceRowsFor(from, to, work_->topRows);
    }
}

ResampleAside::~ResampleAside() {
    if (top_.joinable()) top_.detach();
}

std::uint16_t* ResampleAside::source() const { return work_->source.get(); }

void ResampleAside::sourceRowsIn(std::uint32_t rows) {
    if (work_->topRows == 0 || top_.joinable() || rows < work_->topNeed) return;
    {
        const std::lock_guard<std::mutex> hold(work_->lock);
        ++work_->running;
    }
    try {
        top_ = std::thread([work = work_] { work->part(0, work->topRows, 1); });
    } catch (const std::system_error&) {
        // No thread to be had: finish() makes these rows with the rest.
        const std::lock_guard<std::mutex> hold(work_->lock);
        --work_->running;
        work_->topRows = 0;
    }
}

ResampleAsideResult ResampleAside::finish(const std::function<bool()>& keepGoing) {
    Work& work = *work_;
    const std::uint32_t first = top_.joinable() ? work.topRows : 0;
    // Beside a top half being made, the rest takes the other cores (one where their number is not
    // known); else all of them.
    const unsigned threads = first != 0 ? std::max(2u, std::thread::hardware_concurrency()) - 1 : 0;
    {
        const std::lock_guard<std::mutex> hold(work.lock);
        ++work.running;
    }
    std::thread rest;
    try {
        rest = std::thread([work = work_, first, threads] { work->part(first, work->to.height - first, threads); });
    } catch (const std::system_error&) {
        work.part(first, work.to.height - first, threads);  // here, then
    }
    std::unique_lock<std::mutex> hold(work.lock);
    while (!work.partDone.wait_for(hold, kLookUp, [&] { return work.running == 0; })) {
        hold.unlock();
        const bool goOn = keepGoing();
        hold.lock();
        if (!goOn && work.running != 0) {
            hold.unlock();
            if (rest.joinable()) rest.detach();
            if (top_.joinable()) top_.detach();
            return {std::nullopt, true};
        }
    }
    hold.unlock();
    if (rest.joinable()) rest.join();
    if (top_.joinable()) top_.join();
    work.source.reset();
    if (work.failed) return {};
    return {std::move(work.target), false};
}

ResampleAsideResult resampleAside(LargeArray<std::uint16_t> source, ImageSize from, LargeArray<std::uint16_t> target,
                                  ImageSize to, const std::function<bool()>& keepGoing) {
    ResampleAside aside(std::move(source), from, std::move(target), to);
    aside.sourceRowsIn(from.height);
    return aside.finish(keepGoing);
}

}  // namespace kelvarin
