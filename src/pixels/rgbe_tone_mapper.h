// Radiance pixels to 16-bit grey: RGBE to one single-precision grey value per pixel with its
// extremes, then the tone map of floating-point greys (float_tone_map.h) with the user's options.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/conversion_options.h"
#include "base/rgbe_map.h"
#include "pixels/float_tone_map.h"

namespace kelvarin {

// Grey values of rows [firstRow, endRow) into `grey` (from the first row's first pixel), widening
// `extremes` to cover them (FloatExtremes::initial() for a whole image); `grey` may be null when
// only the extremes are wanted. Any division of the rows gives the same greys, and the same
// extremes when the parts' extremes are merged in row order with strict comparisons.
void rgbeToGrey(const RgbeMap& map, ColourWeighting weighting, std::uint32_t firstRow, std::uint32_t endRow,
                float* grey, FloatExtremes& extremes);

// The grey value of one pixel's bytes (the per-pixel formula the loop above follows).
float rgbeGrey(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t e, ColourWeighting weighting);

// Native 16-bit samples of `pixels` grey values into out[0, pixels). `rowDone(r)` after each row
// of `width` pixels.
void greyToSamples(const float* grey, std::size_t pixels, std::uint32_t width, const FloatToneMap& map,
                   std::uint16_t* out, const std::function<void(std::uint32_t)>& rowDone);

}  // namespace kelvarin
