#include "formats/r16_writer.h"

namespace kelvarin {

bool R16Writer::writeRow(std::span<const std::uint16_t> samples) {
    if (failed_) return false;
    bytes_.resize(samples.size() * 2);
    const int high = bigEndian_ ? 0 : 1;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        bytes_[2 * i + high] = static_cast<std::uint8_t>(samples[i] >> 8);
        bytes_[2 * i + 1 - high] = static_cast<std::uint8_t>(samples[i]);
    }
    failed_ = !sink_.write(bytes_.data(), bytes_.size());
    return !failed_;
}

}  // namespace kelvarin
