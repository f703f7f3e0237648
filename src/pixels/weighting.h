// Colour weighting: the coefficients every source kind weighs with, and the grey of one pixel.
#pragma once

#include <cstdint>
#include <type_traits>

#include "base/conversion_options.h"

namespace kelvarin {

// The weighting coefficients are the single-precision numbers nearest to the decimals, for the
// integer and floating-point TIFF paths and the Radiance grey tables alike.
inline constexpr float kTvGreen = 0.587f, kTvRed = 0.299f, kTvBlue = 0.114f;
inline constexpr float kHdGreen = 0.7152f, kHdRed = 0.2126f, kHdBlue = 0.0722f;

// The rounded grey of one integer pixel (samples as read: 8-bit ones already times 256).
// Round to nearest, ties to even; a 32-bit weighted sum above 4294967295 is held there.
std::uint32_t integerGrey(ColourWeighting weighting, std::uint32_t red, std::uint32_t green, std::uint32_t blue);
// The grey of one floating-point pixel, evaluated in extended precision and stored single.
float floatGrey(ColourWeighting weighting, float red, float green, float blue);

// Calls f with the weighting as a compile-time constant, so each weighting gets its own loop.
template <typename F>
void withWeighting(ColourWeighting weighting, F&& f) {
    switch (weighting) {
        case ColourWeighting::Average: f(std::integral_constant<ColourWeighting, ColourWeighting::Average>{}); break;
        case ColourWeighting::TV: f(std::integral_constant<ColourWeighting, ColourWeighting::TV>{}); break;
        case ColourWeighting::HDTV: f(std::integral_constant<ColourWeighting, ColourWeighting::HDTV>{}); break;
        case ColourWeighting::Red: f(std::integral_constant<ColourWeighting, ColourWeighting::Red>{}); break;
        case ColourWeighting::Green: f(std::integral_constant<ColourWeighting, ColourWeighting::Green>{}); break;
        case ColourWeighting::Blue: f(std::integral_constant<ColourWeighting, ColourWeighting::Blue>{}); break;
    }
}

}  // namespace kelvarin
