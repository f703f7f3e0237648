// Radiance pixels to 16-bit grey: RGBE to one single-precision grey value per pixel with its
// extremes, then the linear stretch or the gamma curve with the user's options.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/conversion_options.h"
#include "base/rgbe_map.h"

namespace kelvarin {

class JobContext;

// The extremes start at these (8.1^-37 and 3.1^38 from the single-precision 8.1 and 3.1) and take
// part in the comparisons like any pixel.
float startingHighestValue();
float startingLowestValue();

struct GreyExtremes {
    float lowest = startingLowestValue();
    float highest = startingHighestValue();
};

// Grey value of every pixel (index order) into `grey`, widening `extremes` to cover them.
// `rowDone(r)` after each row.
void rgbeToGrey(const RgbeMap& map, ColourWeighting weighting, float* grey, GreyExtremes& extremes,
                const std::function<void(std::uint32_t)>& rowDone);

// The grey value of one pixel's bytes (the per-pixel formula the loop above follows).
float rgbeGrey(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t e, ColourWeighting weighting);

struct ToneParameters {
    float lowestValue = 0;
    float dynamicRange = 0;
    double boostFactor = 0;
    float gammaExponent = 0.625f;
    bool curve = false;  // Boost or Posterise: the gamma curve instead of the linear stretch
    std::int32_t fStopMultiplier = 1;
    std::int32_t posteriseStep = 0;  // 0: no posterise
    bool invert = false;
};

// The parameters of a job from the extremes and the options.
ToneParameters toneParameters(const GreyExtremes& extremes, const ConversionOptions& options);

// t raised to `exponent` (t from 0 to 1), as the extended-precision power rounded to single.
float gammaCurve(float t, float exponent);

std::uint16_t toneMapSample(float v, const ToneParameters& p);

// Samples of `pixels` grey values, little-endian, into out[0, 2 * pixels). `rowDone(r)` after each
// row of `width` pixels.
void greyToSamples(const float* grey, std::size_t pixels, std::uint32_t width, const ToneParameters& p,
                   std::uint8_t* out, const std::function<void(std::uint32_t)>& rowDone);

}  // namespace kelvarin
