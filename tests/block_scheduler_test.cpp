// The order and bounds every pass relies on: blocks prepared and finished in order on the
// caller's thread, each worked once in its slot, never more in flight than there are slots,
// never more threads working than the pass was given; a refusal or a throwing work stops the pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "job/block_scheduler.h"

namespace kelvarin {
namespace {

struct Trace {
    std::thread::id caller = std::this_thread::get_id();
    std::mutex lock;
    std::vector<std::size_t> prepared, finished;
    std::vector<int> worked;           // by block: how many times
    std::set<std::thread::id> workers;  // every thread that worked a block
    std::atomic<int> working{0};
    bool wrongThread = false, wrongSlot = false, tooMany = false, finishedUnworked = false;
    std::size_t inFlight = 0, mostInFlight = 0;
};

enum class Stop { None, Prepare, Finish, Throw };

struct SchedulerCase {
    unsigned threads;
    std::size_t count;
    Stop stop;
    std::size_t at;  // the block that stops the pass
};

class SchedulerRun : public ::testing::TestWithParam<SchedulerCase> {};

TEST_P(SchedulerRun, KeepsOrderSlotsAndThreads) {
    const SchedulerCase c = GetParam();
    const BlockScheduler scheduler(c.threads);
    const std::size_t slots = scheduler.slots();
    Trace t;
    t.worked.assign(c.count, 0);
    const auto onCaller = [&] { return std::this_thread::get_id() == t.caller; };
    const auto prepare = [&](std::size_t block, std::size_t slot) {
        const std::lock_guard<std::mutex> hold(t.lock);
        t.wrongThread |= !onCaller();
        t.wrongSlot |= slot != block % slots;
        t.prepared.push_back(block);
        t.mostInFlight = std::max(t.mostInFlight, ++t.inFlight);
        return !(c.stop == Stop::Prepare && block == c.at);
    };
    const auto work = [&](std::size_t block, std::size_t slot) {
        const bool over = ++t.working > static_cast<int>(c.threads);
        {
            const std::lock_guard<std::mutex> hold(t.lock);
            t.wrongSlot |= slot != block % slots;
            t.tooMany |= over;
            t.workers.insert(std::this_thread::get_id());
        }
        std::this_thread::yield();  // give other threads a chance to overlap
        const bool fail = c.stop == Stop::Throw && block == c.at;
        {
            const std::lock_guard<std::mutex> hold(t.lock);
            ++t.worked[block];
        }
        --t.working;
        if (fail) throw std::runtime_error("block failed");
    };
    const auto finish = [&](std::size_t block, std::size_t slot) {
        const std::lock_guard<std::mutex> hold(t.lock);
        t.wrongThread |= !onCaller();
        t.wrongSlot |= slot != block % slots;
        t.finishedUnworked |= t.worked[block] != 1;
        t.finished.push_back(block);
        --t.inFlight;
        return !(c.stop == Stop::Finish && block == c.at);
    };

    bool ok = false;
    if (c.stop == Stop::Throw) {
        EXPECT_THROW(scheduler.run(c.count, prepare, work, finish), std::runtime_error);
    } else {
        ok = scheduler.run(c.count, prepare, work, finish);
    }

    // Whatever stopped the pass, no work runs once run() has returned.
    EXPECT_EQ(t.working.load(), 0);
    EXPECT_FALSE(t.wrongThread);
    EXPECT_FALSE(t.wrongSlot);
    EXPECT_FALSE(t.tooMany);
    EXPECT_FALSE(t.finishedUnworked);
    EXPECT_LE(t.mostInFlight, slots);
    EXPECT_LE(t.workers.size(), c.threads);
    for (std::size_t k = 0; k < t.prepared.size(); ++k) EXPECT_EQ(t.prepared[k], k);
    for (std::size_t k = 0; k < t.finished.size(); ++k) EXPECT_EQ(t.finished[k], k);
    for (std::size_t block = 0; block < c.count; ++block) {
        const bool wasPrepared = block < t.prepared.size();
        // A refused prepare's block is not worked; every other prepared block is, once.
        const int expected = wasPrepared && !(c.stop == Stop::Prepare && block == c.at) ? 1 : 0;
        if (c.stop == Stop::Throw && block > c.at) {
            EXPECT_LE(t.worked[block], expected) << "block " << block;
        } else {
            EXPECT_EQ(t.worked[block], expected) << "block " << block;
        }
    }
    switch (c.stop) {
    case Stop::None:
        EXPECT_TRUE(ok);
        EXPECT_EQ(t.finished.size(), c.count);
        break;
    case Stop::Prepare:
        EXPECT_FALSE(ok);
        EXPECT_EQ(t.prepared.size(), c.at + 1);  // nothing after the refusal
        EXPECT_LE(t.finished.size(), c.at);
        break;
    case Stop::Finish:
        EXPECT_FALSE(ok);
        EXPECT_EQ(t.finished.size(), c.at + 1);
        EXPECT_LE(t.prepared.size(), c.at + 1 + slots);
        break;
    case Stop::Throw:
        EXPECT_LE(t.finished.size(), c.at);  // the failed block and those after it are not finished
        break;
    }
}

const SchedulerCase kCases[] = {
    {1, 0, Stop::None, 0},      {1, 5, Stop::None, 0},      {2, 1, Stop::None, 0},
    {2, 2, Stop::None, 0},      {2, 37, Stop::None, 0},     {3, 37, Stop::None, 0},
    {8, 200, Stop::None, 0},    {1, 9, Stop::Prepare, 4},   {2, 37, Stop::Prepare, 0},
    {3, 37, Stop::Prepare, 20}, {1, 9, Stop::Finish, 4},    {2, 37, Stop::Finish, 0},
    {4, 37, Stop::Finish, 20},  {1, 9, Stop::Throw, 4},     {2, 37, Stop::Throw, 0},
    {2, 37, Stop::Throw, 36},   {4, 200, Stop::Throw, 50},
};

std::string caseName(const ::testing::TestParamInfo<SchedulerCase>& info) {
    static const char* const stops[] = {"Runs", "Prepare", "Finish", "Throw"};
    const SchedulerCase& c = info.param;
    return std::string(stops[static_cast<int>(c.stop)]) + "At" + std::to_string(c.at) + "Of" + std::to_string(c.count) +
           "On" + std::to_string(c.threads);
}

INSTANTIATE_TEST_SUITE_P(Passes, SchedulerRun, ::testing::ValuesIn(kCases), caseName);

}  // namespace
}  // namespace kelvarin
