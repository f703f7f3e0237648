// Row decoders of the 16-bit height files whose samples the greyscale output takes as they are:
// binary and plain PGM, RAW and 3DEM BIN. Their rows hold one unsigned 16-bit sample a pixel in
// the machine's byte order, top row first. A file that cannot give its rows is refused with the
// box its own format shows (refusal()); a file that ends early, with truncatedSource().
#pragma once

#include <cstdint>
#include <memory>

#include "base/byte_order.h"
#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin {

// `width` x `length` samples stored at `offset` in `order`, row after row: P5 PGM (big-endian)
// and RAW (little-endian, from offset 0). Rows are read where they lie, so any run can be asked.
std::unique_ptr<RowDecoder> storedSampleRows(ByteSource& source, std::uint64_t offset, std::uint32_t width,
                                             std::uint32_t length, ByteOrder order);

// The decimal samples of a P2 PGM from `offset` to the end of the file, asked for in order.
// Text behind the last sample is never looked at.
std::unique_ptr<RowDecoder> pgmTextRows(ByteSource& source, std::uint64_t offset, std::uint32_t width);

// A BIN data file: signed little-endian samples, bottom row first, as unsigned heights (the void
// marker 0, the rest moved up by |base| + 1). The file must be exactly the image's size.
std::unique_ptr<RowDecoder> binRows(ByteSource& source, std::uint32_t width, std::uint32_t length, std::int16_t base,
                                    std::int16_t voidMarker);

}  // namespace kelvarin
