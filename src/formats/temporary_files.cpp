// The temporary files of replacing disk files not yet committed, in a table the interrupt
// handler can empty.
#include "formats/temporary_files.h"

#include <atomic>
#include <cstddef>
#include <new>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <pthread.h>
#include <time.h>
#include <unistd.h>
#endif

#include "formats/file.h"

namespace kelvarin {

namespace {

// A table a signal handler can empty without allocating or locking: a list of fixed blocks of
// slots that only ever grows (a block is added, never freed, when every slot is in use), so it
// holds as many temporary files as the jobs running at once can have. A slot is claimed (free ->
// filling), filled, published (live); the handler takes a live slot for good (taken) before it
// deletes the file, and the owner frees only a slot still live, so neither ever reads a path the
// other is writing.
// Other threads go on while the handler runs (a signal stops one thread; a Windows console
// handler has a thread of its own), so a file could be made under a slot the handler has passed,
// and the program end before its maker noticed. The handler therefore first raises `interrupted`
// and waits for the makings under way (TemporaryFileMaking); a maker looks at the flag before it
// claims a slot and again once the file is made: either the handler sees the slot live and
// deletes the file, or the maker sees the flag and makes nothing or deletes it itself.
using NativeChar = std::filesystem::path::value_type;
enum SlotState : int { kFree, kFilling, kLive, kTaken };
constexpr std::size_t kSlotsPerBlock = 8;      // a terrain set has three files open at once
constexpr std::size_t kLivePathUnits = 4096;   // a longer path is not cleaned up on an interrupt

struct LiveSlot {
    std::atomic<int> state{kFree};
    NativeChar path[kLivePathUnits];
};
struct LiveSlotBlock {
    LiveSlot slots[kSlotsPerBlock];
    std::atomic<LiveSlotBlock*> next{nullptr};
};
static_assert(std::atomic<int>::is_always_lock_free, "the interrupt handler needs lock-free slots");
static_assert(std::atomic<LiveSlotBlock*>::is_always_lock_free, "the interrupt handler needs lock-free links");
LiveSlotBlock firstLiveSlots;
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the interrupt handler needs a lock-free flag");
// Makings under way (TemporaryFileMaking). With `interrupted` it works as a pair of flags: each
// side writes its own before it reads the other's (sequentially consistent), so a maker and the
// handler never both miss each other.
std::atomic<int> makings{0};
// How long the handler waits for makings under way: making a file takes a system call, but one on
// a hung network folder must not keep the program from ending.
constexpr int kMakingWaitMilliseconds = 2000;

void napOneMillisecond() noexcept {
#ifdef _WIN32
    Sleep(1);
#else
    const timespec nap{0, 1000000};
    nanosleep(&nap, nullptr);  // safe in a signal handler
#endif
}

// The slot of a number, counted through the blocks; nothing beyond the last block.
LiveSlot* liveSlotAt(int number) {
    if (number < 0) return nullptr;
    LiveSlotBlock* block = &firstLiveSlots;
    for (auto n = static_cast<std::size_t>(number); block; block = block->next.load()) {
        if (n < kSlotsPerBlock) return &block->slots[n];
        n -= kSlotsPerBlock;
    }
    return nullptr;
}

}  // namespace

int claimLiveSlot(const std::filesystem::path& path) {
    const auto& native = path.native();
    if (native.size() >= kLivePathUnits) return -1;
    int number = 0;
    for (LiveSlotBlock* block = &firstLiveSlots; block;) {
        for (LiveSlot& slot : block->slots) {
            int expected = kFree;
            if (slot.state.compare_exchange_strong(expected, kFilling)) {
                native.copy(slot.path, native.size());
                slot.path[native.size()] = 0;
                slot.state.store(kLive);
                return number;
            }
            ++number;
        }
        LiveSlotBlock* next = block->next.load();
        if (!next) {
            auto* added = new (std::nothrow) LiveSlotBlock;
            if (!added) return -1;
            // Another thread may have added one first: then its block is used and this one goes.
            if (block->next.compare_exchange_strong(next, added)) {
                next = added;
            } else {
                delete added;
            }
        }
        block = next;
    }
    return -1;
}

void releaseLiveSlot(int number) {
    LiveSlot* slot = liveSlotAt(number);
    if (!slot) return;
    int expected = kLive;
    // A slot the interrupt handler has taken stays taken: the program is ending.
    slot->state.compare_exchange_strong(expected, kFree);
}

bool temporaryFilesInterrupted() { return interrupted.load(); }

TemporaryFileMaking::TemporaryFileMaking() {
#ifndef _WIN32
    sigset_t held;
    sigemptyset(&held);
    for (int signalNumber : kInterruptSignals) sigaddset(&held, signalNumber);
    pthread_sigmask(SIG_BLOCK, &held, &previousMask_);
#endif
    makings.fetch_add(1);
}

TemporaryFileMaking::~TemporaryFileMaking() {
    makings.fetch_sub(1);
#ifndef _WIN32
    // A signal that came meanwhile is handled here, now that this making is over.
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
#endif
}

void removeTemporaryFilesNow() noexcept {
    interrupted.store(true);
    for (int waited = 0; makings.load() != 0 && waited < kMakingWaitMilliseconds; ++waited) napOneMillisecond();
    for (LiveSlotBlock* block = &firstLiveSlots; block; block = block->next.load()) {
        for (LiveSlot& slot : block->slots) {
            int expected = kLive;
            if (!slot.state.compare_exchange_strong(expected, kTaken)) continue;
#ifdef _WIN32
            DeleteFileW(slot.path);
#else
            ::unlink(slot.path);
#endif
        }
    }
}

}  // namespace kelvarin
