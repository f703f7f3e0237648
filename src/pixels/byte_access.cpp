#include "pixels/byte_access.h"

#include "pixels/simd_clones.h"

namespace kelvarin {

namespace {

KELVARIN_SIMD_CLONES void swapEach(std::uint16_t* samples, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) samples[i] = kernels::byteSwap16(samples[i]);
}

}  // namespace

void samplesToByteOrder(std::uint16_t* samples, std::size_t n, ByteOrder order) {
    if ((order == ByteOrder::MM) != kernels::kHostIsBig) swapEach(samples, n);
}

}  // namespace kelvarin
