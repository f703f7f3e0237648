// Floating-point greys in blocks: the tone-mapping analysis and the block converter of a 96-bit
// floating-point TIFF source, and the tone map of greys already weighed (a Radiance source).
// Each function gives exactly what the per-pixel functions of float_tone_map.h give.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pixels/float_tone_map.h"
#include "pixels/sample_layout.h"

namespace kelvarin {

// Widens `extremes` to the greys of `pixels` pixels ("g > highest", so a NaN never counts).
// With `greys`, the greys are also written there, one a pixel, for toneMapGreys.
void analyseFloatBlock(const BlockFormat& format, const std::uint8_t* data, std::size_t pixels,
                       FloatExtremes& extremes, float* greys = nullptr);

// Writes one native 16-bit sample per pixel.
void convertFloatBlock(const BlockFormat& format, const FloatToneMap& map, const std::uint8_t* data,
                       std::size_t pixels, std::uint16_t* out);

// The samples of `n` greys: floatPipeline of each.
void toneMapGreys(const float* grey, std::size_t n, const FloatToneMap& map, std::uint16_t* out);

}  // namespace kelvarin
