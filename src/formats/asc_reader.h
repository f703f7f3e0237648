// ESRI ASCII grids (.asc): a header of "key value" lines (ncols, nrows, xllcorner or xllcenter,
// yllcorner or yllcenter, cellsize or dx and dy, optionally NODATA_value), then ncols x nrows
// numbers, the top row first. Numbers are read in double precision and never by the C locale.
// The rows are parsed as they are asked for, so a pass holds a buffer of text, not the grid: a
// job's two passes parse the text twice.
#pragma once

#include <cstdint>
#include <span>

#include "formats/source_format.h"

namespace kelvarin {

bool sniffAsc(std::span<const std::uint8_t> head);
OpenedSource openAsc(ByteSource& source);

}  // namespace kelvarin
