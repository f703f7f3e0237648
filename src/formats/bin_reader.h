// 3DEM "Binary Signed Integer" terrain matrices: signed 16-bit samples (low byte first), bottom
// row first, with a separate 13-line text header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/byte_source.h"
#include "formats/reader_report.h"

namespace kelvarin {

struct BinHeader {
    // The header's lines; refused when it holds fewer than 13.
    ReaderReport text;
    // Refused when the values make no 16-bit TIFF of one strip; said after the text is closed.
    ReaderReport values;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::int16_t base = 0;
    std::int16_t voidMarker = 0;
    std::uint32_t dataBytes = 0;
};

// Reads the text header file; only its first 64 KiB are looked at.
BinHeader readBinHeader(ByteSource& headerFile);

// The data file is not exactly the size the header gives.
Refusal binSizeMismatch();

// 3DEM signed samples (native, read as unsigned) to unsigned heights, in place: the void marker
// becomes 0, every other sample moves up by |base| + 1 (modulo 65536).
void signedToUnsigned(std::uint16_t* samples, std::size_t count, std::int16_t voidMarker, std::int16_t base);

}  // namespace kelvarin
