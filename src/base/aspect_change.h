// Whether resampling to another size changes a map's proportions: a 2:1 render squashed into a
// square makes a terrain whose hills are twice as steep one way as the other.
#pragma once

#include <optional>
#include <string>

#include "base/image_size.h"

namespace kelvarin {

// A ratio as the log shows it: the longer side to the shorter, two decimals ("2.00:1", "1:1.33");
// a square is "1:1".
std::string aspectText(ImageSize size);

// "Aspect changed from 2.00:1 to 1:1." when the width-to-height ratios of the two sizes differ by
// more than 1 % (of the source's ratio); nothing otherwise or for an empty size.
std::optional<std::string> aspectChange(ImageSize from, ImageSize to);

}  // namespace kelvarin
