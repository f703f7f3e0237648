// Adler-32, the check value of a zlib stream, sixteen bytes at a time where SSE2 is there.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin {

// The Adler-32 of `size` more bytes, as zlib's adler32() gives it.
std::uint32_t adler32Update(std::uint32_t adler, const std::uint8_t* data, std::size_t size);

}  // namespace kelvarin
