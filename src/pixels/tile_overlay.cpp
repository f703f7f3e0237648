#include "pixels/tile_overlay.h"

#include <algorithm>

namespace kelvarin {

namespace {

// A dash of this many pixels in each colour.
constexpr std::uint32_t kDash = 3;

std::uint8_t dashColour(std::uint32_t along) { return (along / kDash) % 2 == 0 ? 255 : 0; }

// The picture's pixel that shows sample `at` of a side of `samples`, in a picture `pixels` wide.
std::uint32_t pixelOf(std::uint64_t at, std::uint64_t samples, std::uint32_t pixels) {
    if (samples == 0 || pixels == 0) return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(at * pixels / samples, pixels - 1));
}

}  // namespace

void drawTileEdges(GreyImage& picture, const TileEdges& edges) {
    if (picture.pixels.size() != std::size_t{picture.width} * picture.height) return;
    for (std::uint64_t column : edges.columns) {
        const std::uint32_t x = pixelOf(column, edges.mapWidth, picture.width);
        for (std::uint32_t y = 0; y < picture.height; ++y) picture.pixels[std::size_t{y} * picture.width + x] = dashColour(y);
    }
    for (std::uint64_t row : edges.rows) {
        const std::uint32_t y = pixelOf(row, edges.mapLength, picture.height);
        for (std::uint32_t x = 0; x < picture.width; ++x) picture.pixels[std::size_t{y} * picture.width + x] = dashColour(x);
    }
}

}  // namespace kelvarin
