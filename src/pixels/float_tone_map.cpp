#include "pixels/float_tone_map.h"

#include <algorithm>
#include <cmath>

#include "pixels/rounding.h"
#include "pixels/tone_parameters.h"

namespace kelvarin {

using kernels::nearestSmall;
using kernels::settlesSingleRounding;

FloatExtremes FloatExtremes::initial() {
    return {static_cast<float>(std::pow(static_cast<long double>(8.1f), -37.0L)),
            static_cast<float>(std::pow(static_cast<long double>(3.1f), 38.0L))};
}

FloatToneMap floatToneMap(const FloatExtremes& extremes) {
    FloatToneMap map;
    map.lowestValue = extremes.lowestValue;
    map.dynamicRange = static_cast<float>(static_cast<long double>(extremes.highestValue) - extremes.lowestValue);
    map.boostFactor = static_cast<double>(65535.0L * (1.0L / static_cast<long double>(map.dynamicRange)));
    return map;
}

FloatToneMap floatToneMap(const FloatExtremes& extremes, const ConversionOptions& options) {
    FloatToneMap map = floatToneMap(extremes);
    map.gamma = boostsContrast(options);
    map.fStopMultiplier = fStopMultiplierFor(options);
    map.posteriseStep = posteriseStepFor(options.posteriseSteps);
    map.invert = options.invert;
    return map;
}

namespace {

[[gnu::noinline]] float gammaExtended(float v) {
    return static_cast<float>(std::pow(static_cast<long double>(v), static_cast<long double>(kGammaExponent)));
}

// a x b x m stored single (b single, m a small power of two): one rounding of the double product
// against the extended one.
inline float productSingle(double a, float b, std::uint32_t m) {
    const double d = a * static_cast<double>(b) * m;
    float f;
    if (settlesSingleRounding(d, f)) return f;
    return static_cast<float>(static_cast<long double>(a) * b * m);
}

}  // namespace

// v^0.625 stored single. v^0.625 is the eighth root of v^5: v^2 is exact in double, v^4 and v^5
// cost two roundings, the three square roots one each, so the double result is within 2^-52 of
// the exact power (4 units of its last place at most); settlesFloat decides the float.
float gammaCurve(float v) {
    if (v >= 0.0f && v <= 1.0e30f) {
        const double x = v;
        const double x2 = x * x;
        const double r = std::sqrt(std::sqrt(std::sqrt(x2 * x2 * x)));
        float f;
        if (settlesSingleRounding(r, f)) return f;
    }
    return gammaExtended(v);
}

std::uint16_t floatPipeline(float grey, const FloatToneMap& map) {
    float out;
    // A difference and a quotient of singles: one operation each, so single arithmetic gives
    // the extended result's single (rounding.h).
    const float shifted = grey - map.lowestValue;
    if (map.gamma) {
        const float v = gammaCurve(shifted / map.dynamicRange);
        // 65535 x v x (1, 2, 4 or 8) is exact in double: one rounding, as in extended precision.
        out = static_cast<float>(65535.0 * static_cast<double>(v) * map.fStopMultiplier);
    } else {
        out = productSingle(map.boostFactor, shifted, map.fStopMultiplier);
    }
    if (!(out <= 65535.0f)) out = 65535.0f;  // also a NaN: a zero range, or a NaN grey
    // Below 0 only when the analysis saw no ordinary value (an image of NaNs): held at black
    // so no conversion leaves the sample range.
    if (!(out >= 0.0f)) out = 0.0f;
    if (map.posteriseStep != 0) {
        const auto n = static_cast<std::uint32_t>(nearestSmall(out));
        out = static_cast<float>(std::min<std::uint32_t>(n / map.posteriseStep * map.posteriseStep, 65535u));
    }
    // 65535 - out: exact in double for out >= 2^-14; below that both roundings give 65535.
    if (map.invert) out = static_cast<float>(65535.0 - static_cast<double>(out));
    return static_cast<std::uint16_t>(nearestSmall(out));
}

}  // namespace kelvarin
