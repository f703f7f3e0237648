// The two pictures of the preview, made from the cells' mean levels when a window shows them: the
// height map with its levels stretched from the lowest to the highest sample, and a shaded relief.
// 8-bit grey pixels that a window only has to draw (and a PNG writer to save).
#pragma once

#include <cstdint>
#include <vector>

#include "pixels/preview_grid.h"

namespace kelvarin {

struct GreyImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;  // one byte per pixel, 0 black to 255 white; rows top first
};

// lowest -> black, highest -> white, linear in between (mid grey where the two are equal).
GreyImage heightImage(const PreviewLevels& preview, std::uint16_t lowest, std::uint16_t highest);
// Lit from the north-west (the top left), 45 degrees above the horizon.
GreyImage reliefImage(const PreviewLevels& preview, std::uint16_t lowest, std::uint16_t highest);

}  // namespace kelvarin
