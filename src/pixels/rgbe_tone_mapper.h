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

// Grey value of every pixel (index order) into `grey`, widening `extremes` to cover them; they
// start at FloatExtremes::initial(). `rowDone(r)` after each row.
void rgbeToGrey(const RgbeMap& map, ColourWeighting weighting, float* grey, FloatExtremes& extremes,
                const std::function<void(std::uint32_t)>& rowDone);

// The grey value of one pixel's bytes (the per-pixel formula the loop above follows).
float rgbeGrey(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t e, ColourWeighting weighting);

// Native 16-bit samples of `pixels` grey values into out[0, pixels). `rowDone(r)` after each row
// of `width` pixels.
void greyToSamples(const float* grey, std::size_t pixels, std::uint32_t width, const FloatToneMap& map,
                   std::uint16_t* out, const std::function<void(std::uint32_t)>& rowDone);

}  // namespace kelvarin
