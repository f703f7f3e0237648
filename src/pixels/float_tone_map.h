// The tone map of floating-point greys, one pixel at a time: the extremes it starts from, the
// linear stretch or the gamma curve with the user's options, and the 16-bit sample. Used by
// 96-bit floating-point TIFF and Radiance sources alike; float_pipeline.h runs it on blocks.
#pragma once

#include <cstdint>

#include "base/conversion_options.h"

namespace kelvarin {

struct FloatExtremes {
    float highestValue;
    float lowestValue;
    // 8.1 to the power -37 and 3.1 to the power 38, from the single-precision 8.1 and 3.1. They
    // take part in the comparisons like any pixel.
    static FloatExtremes initial();
};

struct FloatToneMap {
    bool gamma = false;  // Boost or Posterise: the 0.625 curve; otherwise the linear stretch
    float lowestValue = 0;
    float dynamicRange = 0;
    double boostFactor = 0;
    std::uint32_t fStopMultiplier = 1;
    std::uint32_t posteriseStep = 0;  // 0: no posterising
    bool invert = false;
};

// dynamicRange and the boost factor 65535 x (1 / dynamicRange) from the analysis.
FloatToneMap floatToneMap(const FloatExtremes& extremes);
// The same with the user's options: curve, f-stops, posterise and invert.
FloatToneMap floatToneMap(const FloatExtremes& extremes, const ConversionOptions& options);

// v raised to the power 0.625 (1 / 1.6 in single precision), stored single.
float gammaCurve(float v);
// The 16-bit sample of one grey.
std::uint16_t floatPipeline(float grey, const FloatToneMap& map);

}  // namespace kelvarin
