// The user's option settings and what a menu command hands the conversion job.
#pragma once

#include <cstdint>
#include <optional>

#include "base/image_size.h"

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
};

enum class SourceKind : std::int32_t { None = 0, Tif = 1, Rgbe = 2, Pgm = 3, Raw = 4, Bin = 5 };

struct JobRequest {
    SourceKind kind = SourceKind::None;
    bool radiancePath = false;
};

}  // namespace kelvarin
