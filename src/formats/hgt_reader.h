// SRTM .hgt tiles: big-endian signed 16-bit heights in metres, 1201 x 1201 (3 arc-seconds) or
// 3601 x 3601 (1 arc-second), -32768 a void, and nothing else in the file: the name
// ("N45E006.hgt", the tile's south-west corner) and the size say what it is, never its bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "formats/source_format.h"

namespace kelvarin {

// Whether a file of this name is taken as a .hgt tile (any name ending ".hgt"; the size is
// checked when it is opened, so that a tile of another size is refused rather than taken for
// something else).
bool claimsHgtName(std::string_view fileName, std::uint64_t size);
// A tile; its corner and pixel size when the name gives them.
OpenedSource openHgtNamed(ByteSource& source, std::string_view fileName);
OpenedSource openHgt(ByteSource& source);
// Never by content: .hgt files have none of their own.
bool sniffHgt(std::span<const std::uint8_t> head);

}  // namespace kelvarin
