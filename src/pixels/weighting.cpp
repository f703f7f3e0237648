#include "pixels/weighting.h"

#include "pixels/weighting_kernels.h"

namespace kelvarin {

std::uint32_t integerGrey(ColourWeighting weighting, std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    std::uint32_t grey = 0;
    withWeighting(weighting, [&](auto w) { grey = kernels::weighIntegers<decltype(w)::value>(red, green, blue); });
    return grey;
}

float floatGrey(ColourWeighting weighting, float red, float green, float blue) {
    float grey = 0;
    withWeighting(weighting, [&](auto w) { grey = kernels::weighFloats<decltype(w)::value>(red, green, blue); });
    return grey;
}

}  // namespace kelvarin
