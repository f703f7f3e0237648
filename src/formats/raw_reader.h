// Helpers of the RAW and BIN readers, open to the tests.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// n when `size` is 2 x n x n bytes for some n >= 1, else 0.
std::uint64_t squareSideForRawSize(std::uint64_t size);

// 3DEM signed samples to unsigned heights, in place on little-endian 16-bit words: the void
// marker becomes 0, every other sample moves up by |base| + 1 (modulo 65536).
void signedToUnsigned(std::uint8_t* data, std::size_t bytes, std::int16_t voidMarker, std::int16_t base);

// Reverses the order of `rows` rows of `rowBytes` bytes each, in place.
void flipRows(std::uint8_t* data, std::size_t rowBytes, std::size_t rows);

}  // namespace kelvarin
