// The user's option settings.
#pragma once

#include <cstdint>
#include <optional>

#include "base/height_range.h"
#include "base/image_size.h"
#include "base/tile_count.h"

namespace kelvarin {

enum class ColourWeighting : std::int32_t { Average = 0, TV = 1, HDTV = 2, Red = 3, Green = 4, Blue = 5 };

// posteriseSteps holds 0 (none) or one of these.
inline constexpr std::int32_t kPosteriseChoices[] = {0, 4, 5, 6, 8, 12, 16};

// One instance for the whole run, written by the command handler the moment the user clicks,
// read by the job where it needs a value. Nothing is copied at job start.
struct ConversionOptions {
    ColourWeighting colourWeighting = ColourWeighting::Average;
    bool boostContrast = false;
    bool invert = false;
    bool swapByteOrder = false;
    bool fStopX2 = false;
    bool fStopX4 = false;
    std::int32_t posteriseSteps = 0;
    bool teRawMode = false;
    // The size the height map is resampled to before it is written; nothing keeps the source's.
    // Terrain sets and TE>Raw exports ignore it.
    std::optional<ImageSize> outputSize = std::nullopt;
    // The heights an elevation source's levels span; nothing takes each file's own lowest and
    // highest valid heights. Only height sources read it.
    std::optional<HeightRange> heightRange = std::nullopt;
    // The grid of tiles the height map is cut into after any resampling; nothing writes one file.
    // Terrain sets and TE>Raw exports ignore it.
    std::optional<TileCount> tiles = std::nullopt;
    // The height in metres of one step of the 16-bit samples, when the user knows it: the report
    // then gives the vertical scale to type into an engine.
    std::optional<double> metresPerStep = std::nullopt;
};

}  // namespace kelvarin
