// Where every 16-bit grey image a job makes goes: the TIFF and Radiance conversions, the PGM, RAW
// and BIN data steps and the terrain tiles hand their samples here, native and in row order, and
// this puts them into the destination's byte order and writes them. Whatever is done with all the
// written samples (a summary, another encoding, another size) belongs here too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "base/byte_order.h"

namespace kelvarin {

class GreyOutput {
public:
    // Takes encoded bytes; false when not all of them were written.
    using Sink = std::function<bool(const void* bytes, std::size_t count)>;

    GreyOutput(ByteOrder order, Sink sink) : order_(order), sink_(std::move(sink)) {}

    // An image of width x length samples follows.
    void begin(std::uint32_t width, std::uint32_t length);
    // The next `count` samples in row order; a call need not hold whole rows. The samples are put
    // into the destination's byte order where they are: the caller does not use them afterwards.
    // False when the sink failed, or when the samples run past the end of the image (nothing is
    // written then).
    [[nodiscard]] bool write(std::uint16_t* samples, std::size_t count);
    // The image is complete: true when every sample of it has been written and nothing failed.
    [[nodiscard]] bool finish();

    std::uint64_t samplesWritten() const { return written_; }

private:
    ByteOrder order_;
    Sink sink_;
    std::uint64_t expected_ = 0;
    std::uint64_t written_ = 0;
    bool failed_ = false;
};

}  // namespace kelvarin
