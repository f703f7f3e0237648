// TE>Raw: the 16-bit samples of a greyscale source copied unchanged into a headerless file, in
// the source's byte order. Only one 16-bit sample per pixel makes a terrain RAW file; anything
// else would be exported as a file no terrain editor can read.
#pragma once

#include <cstdint>

#include "formats/reader_report.h"

namespace kelvarin {

// A TIFF source as its header step found it (a binary PGM and a RAW file always qualify).
bool tiffHoldsGreyscale16(std::uint32_t samplesPerPixel, std::uint32_t bitsPerSample);

// Any other source.
Refusal notGreyscale16();

}  // namespace kelvarin
