// Headerless square 16-bit RAW terrain exports (low byte first): the size is all there is to read.
#pragma once

#include <cstdint>

#include "formats/reader_report.h"

namespace kelvarin {

// n when `size` is 2 x n x n bytes for some n >= 1, else 0.
std::uint64_t squareSideForRawSize(std::uint64_t size);

struct RawHeader {
    ReaderReport report;
    std::uint32_t side = 0;
    std::uint32_t dataBytes = 0;
};

// A size that is not 2 x n x n would give a TIFF whose header and data disagree.
RawHeader readRawHeader(std::uint64_t fileSize);

}  // namespace kelvarin
