// Portable float maps: "PF" (RGB) or "Pf" (grey), the width and height, a scale whose sign gives
// the byte order (negative: little-endian), then 32-bit floats, the bottom row first.
#pragma once

#include <cstdint>
#include <span>

#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin {

// The header has to lie within this many bytes.
inline constexpr std::size_t kPfmHeaderBlock = 1024;

bool sniffPfm(std::span<const std::uint8_t> head);
OpenedSource openPfm(ByteSource& source);

}  // namespace kelvarin
