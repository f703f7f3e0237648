// The tile grid drawn over a preview picture, so that a user sees where a map written as tiles
// is cut before loading it into an engine.
#pragma once

#include <cstdint>
#include <vector>

#include "pixels/preview_images.h"

namespace kelvarin {

// The shared edges of a grid: the map's columns and rows where one tile ends and the next begins
// (the sample both hold), for a map of mapWidth x mapLength samples.
struct TileEdges {
    std::uint64_t mapWidth = 0, mapLength = 0;
    std::vector<std::uint64_t> columns, rows;
};

// Dashed lines, black and white by turns so that they show on any height, at the picture's
// pixels that hold those columns and rows.
void drawTileEdges(GreyImage& picture, const TileEdges& edges);

}  // namespace kelvarin
