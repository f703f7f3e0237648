// The data stage the 16-bit height sources share: their decoded rows go to the destination as
// they are.
#include <algorithm>

#include "job/height_data_steps.h"

namespace kelvarin {

bool copyHeightRows(JobContext& job, RowDecoder& rows, const std::function<void(std::uint64_t)>& done) {
    const std::uint32_t width = std::max<std::uint32_t>(job.image.width, 1);
    const std::uint32_t length = job.image.length;
    const auto blockRows = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(kHeightDataBlock / sizeof(std::uint16_t) / width, 1, std::max<std::uint32_t>(length, 1)));
    LargeVector<std::uint16_t> block(std::size_t{blockRows} * width);
    job.beginSamples();
    for (std::uint32_t first = 0; first < length;) {
        const std::uint32_t count = std::min(blockRows, length - first);
        if (!rows.readRows(first, count, reinterpret_cast<std::uint8_t*>(block.data())))
            return job.refuse(rows.refusal() ? *rows.refusal() : truncatedSource());
        if (!job.writeSamples(block.data(), std::size_t{count} * width)) return false;
        first += count;
        done(std::uint64_t{first} * width);
    }
    job.closeSource();
    return true;
}

}  // namespace kelvarin
