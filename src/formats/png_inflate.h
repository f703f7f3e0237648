// The image data of a PNG as one byte stream: the IDAT chunks' data, each chunk's CRC checked,
// through one inflate. A large image is inflated ahead on a thread of its own, a few blocks
// before the rows that take them, so that inflating (one stream: one core) and unfiltering
// overlap; the bytes, and the first fault met in them, are the same either way.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/byte_source.h"

namespace kelvarin {

class PngInflate {
public:
    // `firstIdat`: where the first IDAT chunk's length field is; `expected`: the bytes the image
    // data has to inflate to. `ahead`: inflate on a thread of its own.
    PngInflate(ByteSource& source, std::uint64_t firstIdat, std::uint64_t expected, bool ahead);
    ~PngInflate();
    PngInflate(const PngInflate&) = delete;
    PngInflate& operator=(const PngInflate&) = delete;

    // Back to the first byte of the stream.
    bool restart();
    // The next `bytes` bytes of the stream; false with failure() when they cannot be had.
    bool read(std::uint8_t* to, std::size_t bytes);
    // After the last byte the image needs: the stream ends (within a little padding) and the
    // CRCs of the rest of the IDAT chunks match.
    bool finish();
    const std::string& failure() const { return failure_; }

private:
    // The stream itself, as one thread reads it.
    struct Stream;
    struct Block {
        std::vector<std::uint8_t> bytes;
        std::size_t taken = 0;
    };

    void stopAhead();
    void inflateAhead();
    bool takeBlock();

    const std::uint64_t expected_;
    const bool ahead_;
    std::unique_ptr<Stream> stream_;
    std::string failure_;

    // Inflating ahead: full blocks wait in `ready_`; when the thread is done, `done_` is set
    // and `aheadFailure_` says why it stopped short, if it did.
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Block> ready_;
    std::vector<std::vector<std::uint8_t>> spare_;
    Block current_;
    bool done_ = false;
    bool cancel_ = false;
    std::string aheadFailure_;
};

}  // namespace kelvarin
