#include "terrain/tile_math.h"

#include <bit>
#include <cstring>

namespace kelvarin {

// Both reductions walk the source two rows at a time; the inner loops have no branch but the
// comparisons of the maximum, so the compiler can keep them in registers (or vectors).

void reduceByMaximum(const std::uint16_t* in, std::size_t side, std::size_t rows, std::uint16_t* out) {
    const std::size_t half = side / 2;
    for (std::size_t r = 0; r < rows / 2; ++r) {
        const std::uint16_t* top = in + 2 * r * side;
        const std::uint16_t* bottom = top + side;
        std::uint16_t* row = out + r * half;
        for (std::size_t c = 0; c < half; ++c) {
            const std::uint16_t upper = top[2 * c] > top[2 * c + 1] ? top[2 * c] : top[2 * c + 1];
            const std::uint16_t lower = bottom[2 * c] > bottom[2 * c + 1] ? bottom[2 * c] : bottom[2 * c + 1];
            row[c] = upper > lower ? upper : lower;
        }
    }
}

void reduceByAverage(const std::uint16_t* in, std::size_t side, std::size_t rows, std::uint16_t* out) {
    const std::size_t half = side / 2;
    for (std::size_t r = 0; r < rows / 2; ++r) {
        const std::uint16_t* top = in + 2 * r * side;
        const std::uint16_t* bottom = top + side;
        std::uint16_t* row = out + r * half;
        for (std::size_t c = 0; c < half; ++c) {
            const std::uint32_t sum = std::uint32_t{top[2 * c]} + top[2 * c + 1] + bottom[2 * c] + bottom[2 * c + 1];
            row[c] = static_cast<std::uint16_t>(sum >> 2);
        }
    }
}

void mergeHalves(const std::uint16_t* a, const std::uint16_t* b, std::size_t count, std::uint16_t* out) {
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint16_t>((std::uint32_t{a[i]} + b[i]) >> 1);
}

// Byte access through memcpy: no assumption about alignment. On a little-endian host the bytes
// already are the values, and the pass over the buffer is skipped.
void littleEndianToHost(std::uint16_t* samples, std::size_t count) {
    if constexpr (std::endian::native == std::endian::little) return;
    for (std::size_t i = 0; i < count; ++i) {
        unsigned char bytes[2];
        std::memcpy(bytes, samples + i, 2);
        samples[i] = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
    }
}

}  // namespace kelvarin
