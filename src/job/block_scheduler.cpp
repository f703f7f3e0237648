#include "job/block_scheduler.h"

#include <condition_variable>
#include <algorithm>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace kelvarin {

unsigned defaultConversionThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

BlockScheduler::BlockScheduler(unsigned threads) : threads_(threads == 0 ? defaultConversionThreads() : threads) {}

namespace {

// The blocks handed to the workers and the ones they have finished, under one lock.
struct Shared {
    std::mutex lock;
    std::condition_variable workReady;  // a block was queued, or the pass is over
    std::condition_variable workDone;   // a block's work is complete
    std::deque<std::size_t> queue;      // prepared blocks waiting for a worker
    std::vector<bool> done;             // by slot: the block in it has been worked
    bool over = false;
};

void workerLoop(Shared& shared, std::size_t slots, const std::function<void(std::size_t, std::size_t)>& work) {
    std::unique_lock<std::mutex> hold(shared.lock);
    for (;;) {
        shared.workReady.wait(hold, [&] { return shared.over || !shared.queue.empty(); });
        if (shared.queue.empty()) return;
        const std::size_t block = shared.queue.front();
        shared.queue.pop_front();
        hold.unlock();
        work(block, block % slots);
        hold.lock();
        shared.done[block % slots] = true;
        shared.workDone.notify_all();
    }
}

}  // namespace

bool BlockScheduler::run(std::size_t count, const std::function<bool(std::size_t, std::size_t)>& prepare,
                         const std::function<void(std::size_t, std::size_t)>& work,
                         const std::function<bool(std::size_t, std::size_t)>& finish) const {
    const std::size_t slotCount = slots();
    if (threads_ == 1 || count <= 1) {
        for (std::size_t block = 0; block < count; ++block) {
            if (!prepare(block, 0)) return false;
            work(block, 0);
            if (!finish(block, 0)) return false;
        }
        return true;
    }

    Shared shared;
    shared.done.assign(slotCount, false);
    std::vector<std::thread> workers;
    const std::size_t wanted = std::min<std::size_t>(threads_, count);
    for (std::size_t k = 0; k < wanted; ++k) {
        try {
            workers.emplace_back(workerLoop, std::ref(shared), slotCount, std::cref(work));
        } catch (const std::system_error&) {
            break;  // the system gives no more threads: fewer workers
        }
    }

    bool ok = true;
    std::size_t prepared = 0, finished = 0;
    while (finished < prepared || (ok && prepared < count)) {
        // Keep every slot busy: prepare the next blocks while there is room.
        while (ok && prepared < count && prepared - finished < slotCount) {
            if (!prepare(prepared, prepared % slotCount)) {
                ok = false;
                break;
            }
            if (workers.empty()) {
                work(prepared, prepared % slotCount);
                std::lock_guard<std::mutex> hold(shared.lock);
                shared.done[prepared % slotCount] = true;
            } else {
                std::lock_guard<std::mutex> hold(shared.lock);
                shared.done[prepared % slotCount] = false;
                shared.queue.push_back(prepared);
                shared.workReady.notify_one();
            }
            ++prepared;
        }
        if (finished == prepared) break;
        {
            std::unique_lock<std::mutex> hold(shared.lock);
            shared.workDone.wait(hold, [&] { return bool(shared.done[finished % slotCount]); });
            shared.done[finished % slotCount] = false;
        }
        if (ok && !finish(finished, finished % slotCount)) ok = false;
        ++finished;
    }

    {
        std::lock_guard<std::mutex> hold(shared.lock);
        shared.over = true;
    }
    shared.workReady.notify_all();
    for (std::thread& worker : workers) worker.join();
    return ok;
}

}  // namespace kelvarin
