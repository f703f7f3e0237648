// The general TIFF source reader: classic TIFF and BigTIFF in either byte order, grey, RGB and
// palette images of 1 to 16, 32-bit integer or 16, 32, 64-bit floating-point samples, with or
// without an extra (alpha) sample, uncompressed, LZW, Deflate or PackBits, with their
// predictors, in strips or tiles, interleaved or in separate planes. Only the first
// full-resolution image of the file is read.
#pragma once

#include <cstdint>
#include <span>

#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin {

bool sniffTiffImage(std::span<const std::uint8_t> head);
OpenedSource openTiffImage(ByteSource& source);

}  // namespace kelvarin
