#include "job/resample_aside.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "pixels/resample.h"

namespace kelvarin {

namespace {

// How often the caller's thread looks up: often enough that a stop takes effect well within
// half a second, seldom enough to cost nothing.
constexpr std::chrono::milliseconds kLookUp{25};

struct Work {
    LargeArray<std::uint16_t> source, target;
    ImageSize from, to;
    std::mutex lock;
    std::condition_variable doneChanged;
    bool done = false;
    bool succeeded = false;
};

}  // namespace

ResampleAsideResult resampleAside(LargeArray<std::uint16_t> source, ImageSize from,
                                  LargeArray<std::uint16_t> target, ImageSize to,
                                  const std::function<bool()>& keepGoing) {
    auto work = std::make_shared<Work>();
    work->source = std::move(source);
    work->target = std::move(target);
    work->from = from;
    work->to = to;
    std::thread worker([work] {
        const bool succeeded =
            resampleGrey({work->source.get(), std::size_t{work->from.width} * work->from.height}, work->from,
                         {work->target.get(), std::size_t{work->to.width} * work->to.height}, work->to);
        // The source is not needed any more; a given-up work frees it as early as it can.
        work->source.reset();
        const std::lock_guard<std::mutex> hold(work->lock);
        work->succeeded = succeeded;
        work->done = true;
        work->doneChanged.notify_all();
    });
    std::unique_lock<std::mutex> hold(work->lock);
    while (!work->doneChanged.wait_for(hold, kLookUp, [&] { return work->done; })) {
        hold.unlock();
        const bool goOn = keepGoing();
        hold.lock();
        if (!goOn && !work->done) {
            hold.unlock();
            worker.detach();
            return {std::nullopt, true};
        }
    }
    hold.unlock();
    worker.join();
    if (!work->succeeded) return {};
    return {std::move(work->target), false};
}

}  // namespace kelvarin
