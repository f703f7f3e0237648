#include "job/block_scheduler.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace kelvarin {

unsigned defaultConversionThreads() {
    // Asked once: the standard library reads the online cores from /sys at every call, and every
    // job asks.
    static const unsigned threads = [] {
        const unsigned cores = std::thread::hardware_concurrency();
        return cores == 0 ? 1 : cores;
    }();
    return threads;
}

BlockScheduler::BlockScheduler(unsigned threads) : threads_(threads == 0 ? defaultConversionThreads() : threads) {}

namespace {

// The blocks handed out and the ones finished, under one lock.
struct Shared {
    Shared(const std::function<void(std::size_t, std::size_t)>& work, std::size_t slots)
        : work(work), slots(slots), done(slots, false) {}

    const std::function<void(std::size_t, std::size_t)>& work;
    const std::size_t slots;
    std::mutex lock;
    std::condition_variable workReady;  // a block was queued, or the pass is over
    std::condition_variable workDone;   // a block's work is complete
    std::deque<std::size_t> queue;      // prepared blocks waiting for a thread
    std::vector<bool> done;             // by slot: the block in it has been worked, until it is finished
    std::exception_ptr failure;         // the first exception a work threw
    bool over = false;

    // Works the queue's next block, with `hold` locked on entry and on return.
    void workNext(std::unique_lock<std::mutex>& hold) {
        const std::size_t block = queue.front();
        queue.pop_front();
        hold.unlock();
        std::exception_ptr thrown;
        try {
            work(block, block % slots);
        } catch (...) {
            thrown = std::current_exception();
        }
        hold.lock();
        if (thrown && !failure) failure = thrown;
        done[block % slots] = true;
    }
};

void workerLoop(Shared& shared) {
    std::unique_lock<std::mutex> hold(shared.lock);
    for (;;) {
        shared.workReady.wait(hold, [&] { return shared.over || !shared.queue.empty(); });
        if (shared.queue.empty()) return;
        shared.workNext(hold);
        shared.workDone.notify_all();
    }
}

// The worker threads of one pass; they are told the pass is over and joined however it ends.
class Workers {
public:
    Workers(Shared& shared, std::size_t wanted) : shared_(shared) {
        for (std::size_t k = 0; k < wanted; ++k) {
            try {
                threads_.emplace_back(workerLoop, std::ref(shared));
            } catch (const std::system_error&) {
                break;  // the system gives no more threads: fewer workers
            }
        }
    }
    ~Workers() {
        {
            const std::lock_guard<std::mutex> hold(shared_.lock);
            shared_.over = true;
        }
        shared_.workReady.notify_all();
        for (std::thread& thread : threads_) thread.join();
    }
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

private:
    Shared& shared_;
    std::vector<std::thread> threads_;
};

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

    Shared shared(work, slotCount);
    std::exception_ptr failure;
    bool ok = true;
    {
        // This thread is one of the pass's: it works blocks too while the next one to finish is
        // still at work, so the pass never has more threads running than it was given, and a
        // finish that writes does not wait for a core behind the workers. With no worker to be
        // had, it works every block itself.
        const Workers workers(shared, std::min<std::size_t>(threads_ - 1, count - 1));
        std::size_t prepared = 0, finished = 0;
        while (finished < prepared || (ok && prepared < count)) {
            // Keep every slot busy: prepare the next blocks while there is room.
            while (ok && prepared < count && prepared - finished < slotCount) {
                if (!prepare(prepared, prepared % slotCount)) {
                    ok = false;
                    break;
                }
                {
                    const std::lock_guard<std::mutex> hold(shared.lock);
                    shared.queue.push_back(prepared);
                }
                shared.workReady.notify_one();
                ++prepared;
            }
            if (finished == prepared) break;
            {
                std::unique_lock<std::mutex> hold(shared.lock);
                while (!shared.done[finished % slotCount]) {
                    if (shared.queue.empty())
                        shared.workDone.wait(hold);
                    else
                        shared.workNext(hold);
                }
                shared.done[finished % slotCount] = false;
                if (shared.failure) {
                    // Blocks already handed out are worked to the end, none is finished.
                    failure = shared.failure;
                    shared.queue.clear();
                }
            }
            if (failure) break;
            if (ok && !finish(finished, finished % slotCount)) ok = false;
            ++finished;
        }
    }
    if (failure) std::rethrow_exception(failure);
    return ok;
}

}  // namespace kelvarin
