// Runs the blocks of a pass on several threads while the caller's thread reads and writes them
// in order. Each block goes through three steps:
//   prepare(i, slot)  on the caller's thread, blocks in order: fetch the block's input;
//   work(i, slot)     on any thread, the caller's included: the pure conversion or analysis of
//                     the block;
//   finish(i, slot)   on the caller's thread, blocks in order: write, merge, move the progress bar.
// `slot` (0 .. slots()-1) names the buffers a block may use while it is in flight; at most
// slots() blocks are in flight at once, so memory stays bounded whatever the image size. With
// one thread every block runs prepare, work, finish on the caller's thread, one after the other.
// An exception thrown by a work stops the pass (no later block is finished) and is thrown again
// from run() once no thread works any more.
#pragma once

#include <cstddef>
#include <functional>

namespace kelvarin {

// One thread per core (at least one).
unsigned defaultConversionThreads();

class BlockScheduler {
public:
    // `threads` 0 means defaultConversionThreads().
    explicit BlockScheduler(unsigned threads);

    unsigned threads() const { return threads_; }
    // How many blocks can be in flight, so how many sets of buffers a pass needs.
    std::size_t slots() const { return threads_ == 1 ? 1 : 2 * std::size_t{threads_}; }

    // Runs `count` blocks. A prepare or finish that returns false stops the pass: no later block
    // is prepared or finished, blocks already at work are waited for. False when stopped.
    bool run(std::size_t count, const std::function<bool(std::size_t, std::size_t)>& prepare,
             const std::function<void(std::size_t, std::size_t)>& work,
             const std::function<bool(std::size_t, std::size_t)>& finish) const;

private:
    unsigned threads_;
};

}  // namespace kelvarin
