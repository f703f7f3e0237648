// The pixel data of a TIFF source read as one stream, whatever the strips' places in the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "job/source_image.h"

namespace kelvarin {

class JobContext;

class StripStream {
public:
    // Streams the first `totalBytes` bytes of the concatenated strips (the header step has
    // checked that the strips hold them and lie inside the file).
    StripStream(JobContext& job, std::uint64_t totalBytes);

    // Reads the next `count` bytes; false (already reported) on a short read.
    bool read(std::uint8_t* into, std::size_t count);
    // The next `count` bytes: in the source's mapped view when they lie in one strip there,
    // otherwise read into `buffer` (room for `count`). Nothing (already reported) on a short read.
    const std::uint8_t* next(std::size_t count, std::uint8_t* buffer);
    // Reads the `count` bytes from `position` of the stream into `into`, without moving it and
    // without reporting anything: several threads may read their own parts at once. False when
    // the source ends before them (the caller reports that on the job's thread).
    bool readAt(std::uint64_t position, std::size_t count, std::uint8_t* into) const;
    // Whether next() can hand out the source's own bytes without copying.
    bool mapped() const { return view_ != nullptr; }
    // Back to the first pixel byte.
    void rewind();
    std::uint64_t remaining() const { return total_ - done_; }

private:
    JobContext& job_;
    std::vector<Strip> strips_;
    std::vector<std::uint64_t> starts_;  // where each strip begins in the stream
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::size_t strip_ = 0;
    std::uint64_t inStrip_ = 0;
    bool positioned_ = false;
    const std::uint8_t* view_ = nullptr;
};

}  // namespace kelvarin
