// OpenEXR sources (single part, scanline or tiled, no deep data), decoded with tinyexr.
#pragma once

#include <cstdint>
#include <span>

#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin {

bool sniffExr(std::span<const std::uint8_t> head);
OpenedSource openExr(ByteSource& source);

}  // namespace kelvarin
