// Netpbm images: PBM (P1 plain, P4 raw), PGM (P2, P5) and PPM (P3, P6), any maxval from 1 to
// 65535. Raw samples are one byte below maxval 256 and two (big-endian) from there on.
#pragma once

#include <cstdint>
#include <span>

#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin {

// The header (comments included) has to end within this many bytes.
inline constexpr std::uint64_t kPnmHeaderLimit = 64 * 1024;

bool sniffPnm(std::span<const std::uint8_t> head);
OpenedSource openPnm(ByteSource& source);

}  // namespace kelvarin
