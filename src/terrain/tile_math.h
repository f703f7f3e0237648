// The sample arithmetic of a terrain set: halving a square height map and merging two maps of
// the same side. Pure functions over whole buffers, so they can be checked on small data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// Halves a square map of side `side` (even) into `out` (side/2 x side/2): each output sample
// is the largest of its 2 x 2 block.
void reduceByMaximum(const std::uint16_t* in, std::size_t side, std::uint16_t* out);
// The same, with the sum of the block shifted right by 2 (the fraction is dropped).
void reduceByAverage(const std::uint16_t* in, std::size_t side, std::uint16_t* out);

// out[i] = (a[i] + b[i]) >> 1 without overflow. `out` may be `a` or `b`.
void mergeHalves(const std::uint16_t* a, const std::uint16_t* b, std::size_t count, std::uint16_t* out);

// In place: samples as they came from a file, low byte first, become host values, and back.
void littleEndianToHost(std::uint16_t* samples, std::size_t count);
void hostToLittleEndian(std::uint16_t* samples, std::size_t count);

}  // namespace kelvarin
