// What a height map made from an elevation file says of its heights: the range its levels span,
// what the file held, where it lies, and the warnings and the vertical scale a user needs to
// build the terrain at its true height.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/height_range.h"

namespace kelvarin {

struct HeightSummary {
    HeightRange used;                  // the heights of levels 1 and 65535
    std::optional<HeightRange> found;  // the file's lowest and highest valid heights
    std::uint64_t samples = 0;
    std::uint64_t voids = 0;
    std::uint64_t clipped = 0;         // valid heights outside `used`, clamped
    std::string unit;                  // "m" when the file says its heights are metres
    std::optional<GroundPlacement> placement;

    // The height one level stands for: (high - low) / 65534.
    double step() const { return (used.high - used.low) / 65534.0; }
};

// A number as the report's sentences write it: up to 6 significant digits, locale-free.
std::string shortNumberText(double value);

// "One step is 0.0184 m; the map spans 1203.4 m from 412 m." (without units when the file has none).
std::string verticalScaleText(const HeightSummary& heights);

// The warnings a height source adds: "voids" when any sample was a void, "clipped" when heights
// lay outside the range given.
std::vector<std::pair<std::string, std::string>> heightWarningTexts(const HeightSummary& heights);

}  // namespace kelvarin
