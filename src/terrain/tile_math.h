// The sample arithmetic of a terrain set: halving a square height map and merging two maps of
// the same side. Pure functions over whole buffers, so they can be checked on small data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// Halves `rows` rows (an even number) of a map `side` samples wide (even) into rows/2 rows of
// side/2 samples in `out`: each output sample is the largest of its 2 x 2 block. A whole
// square map is rows == side; a band of rows gives the matching band of the result.
void reduceByMaximum(const std::uint16_t* in, std::size_t side, std::size_t rows, std::uint16_t* out);
// The same, with the sum of the block shifted right by 2 (the fraction is dropped).
void reduceByAverage(const std::uint16_t* in, std::size_t side, std::size_t rows, std::uint16_t* out);

// out[i] = (a[i] + b[i]) >> 1 without overflow. `out` may be `a` or `b`.
void mergeHalves(const std::uint16_t* a, const std::uint16_t* b, std::size_t count, std::uint16_t* out);

// In place: samples as they came from a file, low byte first, become host values.
void littleEndianToHost(std::uint16_t* samples, std::size_t count);

}  // namespace kelvarin
