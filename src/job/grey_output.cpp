#include "job/grey_output.h"

#include "pixels/byte_access.h"

namespace kelvarin {

void GreyOutput::begin(std::uint32_t width, std::uint32_t length) {
    expected_ = std::uint64_t{width} * length;
    written_ = 0;
    failed_ = false;
}

bool GreyOutput::write(std::uint16_t* samples, std::size_t count) {
    if (failed_ || count > expected_ - written_) {
        failed_ = true;
        return false;
    }
    // Nothing to do for a destination in the host's order (II on x86).
    samplesToByteOrder(samples, count, order_);
    if (!sink_(samples, count * sizeof(std::uint16_t))) {
        failed_ = true;
        return false;
    }
    written_ += count;
    return true;
}

bool GreyOutput::finish() { return !failed_ && written_ == expected_; }

}  // namespace kelvarin
