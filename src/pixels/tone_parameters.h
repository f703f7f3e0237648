// What the user's tone options mean to the pixel maths, for integer, floating-point and Radiance
// sources alike.
#pragma once

#include <cstdint>

#include "base/conversion_options.h"

namespace kelvarin {

// The exponent of the gamma curve: 1 / 1.6 computed and stored in single precision.
inline constexpr float kGammaExponent = static_cast<float>(1.0L / 1.6L);
static_assert(kGammaExponent == 0.625f, "gammaCurve takes v^0.625 as the eighth root of v^5");

// Boost or Posterise: an integer source is stretched to the full range, floating-point and
// Radiance greys take the gamma curve instead of the linear stretch.
inline bool boostsContrast(const ConversionOptions& options) {
    return options.boostContrast || options.posteriseSteps > 0;
}

// 1, doubled for x 2 and multiplied by 4 for x 4: 1, 2, 4 or 8.
inline std::uint32_t fStopMultiplierFor(const ConversionOptions& options) {
    std::uint32_t m = 1;
    if (options.fStopX2) m *= 2;
    if (options.fStopX4) m *= 4;
    return m;
}

// 65535 / posteriseSteps with the remainder dropped, 0 for none.
inline std::uint32_t posteriseStepFor(std::int32_t posteriseSteps) {
    return posteriseSteps > 0 ? 65535u / static_cast<std::uint32_t>(posteriseSteps) : 0u;
}

}  // namespace kelvarin
