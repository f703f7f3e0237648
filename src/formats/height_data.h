// Limits the PGM, RAW and BIN readers share: what a 16-bit greyscale TIFF of one strip can hold.
#pragma once

#include <cstdint>
#include <limits>

namespace kelvarin {

// The largest sample data a destination can describe: StripByteCounts is a 32-bit LONG.
inline constexpr std::uint64_t kMaxOutputDataBytes = std::numeric_limits<std::uint32_t>::max();
// ImageWidth, ImageLength and RowsPerStrip are SHORT tags.
inline constexpr std::int64_t kMaxSide = 65535;

}  // namespace kelvarin
