// How one height map is cut into a grid of tiles whose neighbours share their edge row and
// column, so that an engine that loads the tiles side by side shows no seams. Pure arithmetic
// and names: the job decides what to do with a refusal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/image_size.h"
#include "base/tile_count.h"

namespace kelvarin {

// Either a count, or the sentence that says why the text is none.
struct TileCountParse {
    std::optional<TileCount> count;
    std::string refusal;
};

// Accepts "4x4", "8 X 2" and "4" (for 4 x 4): decimal digits only, each 1 to 64.
TileCountParse parseTileCount(std::string_view text);
// "C x R", as the log and the dialog show it.
std::string tileCountText(TileCount count);

// One tile: its place in the grid (x the column, y the row, from the top left) and the window of
// the map it holds.
struct TileWindow {
    std::uint32_t x = 0, y = 0;
    std::uint32_t left = 0, top = 0;
    std::uint32_t width = 0, length = 0;
};

// A map that splits: every tile is tile.width x tile.height samples, and tile (x, y) starts at
// column x * (tile.width - 1) and row y * (tile.height - 1), so the last column of one tile is
// the first of the next.
struct TileGrid {
    ImageSize map;
    TileCount count;
    ImageSize tile;

    TileWindow window(std::uint32_t x, std::uint32_t y) const {
        return {x, y, x * (tile.width - 1), y * (tile.height - 1), tile.width, tile.height};
    }
    std::uint32_t tileCount() const { return count.columns * count.rows; }
};

// Either the grid, or the sentences that say why the map does not split: the nearest sizes that
// do, and the engine sizes that fit the count, e.g. "4033 splits into 4 tiles of 1009".
struct TilePlan {
    std::optional<TileGrid> grid;
    std::string refusal;
};

// The map splits when width - 1 divides by the columns and height - 1 by the rows, and each tile
// has at least 2 samples along a side that is cut (one sample would be all edge).
TilePlan planTiles(ImageSize map, TileCount count);

// The name of tile (x, y) of a destination: "_x<x>_y<y>" before the extension of the last part of
// the path ("alps.png" gives "alps_x0_y1.png"), or at the end of a name without one.
std::string tileName(std::string_view destination, std::uint32_t x, std::uint32_t y);

}  // namespace kelvarin
