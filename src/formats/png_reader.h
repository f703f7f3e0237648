// PNG sources: the chunks up to IEND are walked and checked when the file is opened (every CRC
// but the IDAT ones, which are checked as the image data streams through inflate); the rows are
// inflated and unfiltered one at a time.
#pragma once

#include <cstdint>
#include <span>

#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin {

// The eight signature bytes.
bool sniffPng(std::span<const std::uint8_t> head);
OpenedSource openPng(ByteSource& source);

}  // namespace kelvarin
