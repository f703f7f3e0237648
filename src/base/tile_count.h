// How many tiles a height map is cut into, across and down.
#pragma once

#include <cstdint>

namespace kelvarin {

// Columns and rows of tiles: each from 1 to this many.
inline constexpr std::uint32_t kMostTilesPerSide = 64;

struct TileCount {
    std::uint32_t columns = 1;
    std::uint32_t rows = 1;
    friend bool operator==(const TileCount&, const TileCount&) = default;
};

}  // namespace kelvarin
