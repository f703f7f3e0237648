// Deflate (RFC 1951) that looks for runs only, as zlib's Z_RLE strategy does: a byte that repeats
// the one before it three times or more becomes a match at distance 1, every other byte a
// literal, and each block gets the Huffman code its own symbols want (or is stored, when that is
// smaller). Made for the PNG writer's bands of filtered rows: the same matches as zlib finds with
// Z_RLE, in a fraction of its time, since nothing here is general.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kelvarin {

// The most bytes deflateRuns() can make of `size` bytes.
std::size_t runDeflateBound(std::size_t size);

// Writes to `out` (room for runDeflateBound(data.size()) bytes) the deflate blocks of `data`, the
// last of them final when `last`. A piece that is not the last ends on a byte boundary (behind an
// empty stored block, like zlib's sync flush), so that the next piece's blocks can follow it in
// the same stream; no match reaches back before the piece's first byte. Returns the bytes written.
std::size_t deflateRuns(std::span<const std::uint8_t> data, bool last, std::uint8_t* out);

}  // namespace kelvarin
