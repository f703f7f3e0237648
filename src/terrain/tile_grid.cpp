#include "terrain/tile_grid.h"

#include <array>
#include <cstdlib>
#include <vector>

namespace kelvarin {

namespace {

// The tile sides the two engine families of the Output menu import: 2^n + 1, and the landscape
// sizes (whole numbers of their 63-quad sections, plus the shared sample).
constexpr std::array<std::uint32_t, 9> kSquareSides = {33, 65, 129, 257, 513, 1025, 2049, 4097, 8193};
constexpr std::array<std::uint32_t, 7> kLandscapeSides = {127, 253, 505, 1009, 2017, 4033, 8129};

std::string number(std::uint64_t value) { return std::to_string(value); }

// Decimal digits only, at most 2 of them after leading zeros; nothing otherwise.
std::optional<std::uint32_t> smallNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
        if (value > 1000) value = 1000;  // far past the limit; no overflow on long numbers
    }
    return value;
}

bool splits(std::uint32_t side, std::uint32_t parts) {
    if (parts == 1) return true;
    return side > parts && (side - 1) % parts == 0;
}

std::string tilesOf(std::uint32_t side, std::uint32_t parts) {
    return number(parts) + (parts == 1 ? " tile of " : " tiles of ") + number((side - 1) / parts + 1);
}

// Why one side does not split, and the nearest sides that do.
std::string sideRefusal(const char* axis, std::uint32_t side, std::uint32_t parts) {
    const bool both = std::string_view(axis).find(' ') != std::string_view::npos;
    std::string text = "The " + std::string(axis) + " " + number(side) + (both ? " do" : " does") +
                       " not split into " + number(parts) + " tiles that share their edges (" + axis +
                       " less 1 must divide by " + number(parts) + ").";
    std::vector<std::uint32_t> near;
    const std::uint32_t below = side - (side - 1) % parts;
    if (below > parts) near.push_back(below);
    const std::uint64_t above = std::uint64_t{below} + parts;
    if (above <= kLargestImageSide) near.push_back(static_cast<std::uint32_t>(above));
    if (near.empty()) return text;
    text += near.size() == 1 ? " The nearest that does: " : " The nearest that do: ";
    for (std::size_t i = 0; i < near.size(); ++i) {
        if (i > 0) text += " or ";
        text += number(near[i]) + " (" + tilesOf(near[i], parts) + ")";
    }
    return text + ".";
}

// The map side of `parts` tiles of an engine family nearest to `side`.
template <std::size_t N>
std::optional<std::uint32_t> nearestEngineSide(const std::array<std::uint32_t, N>& sides, std::uint32_t side,
                                               std::uint32_t parts) {
    std::optional<std::uint32_t> best;
    for (std::uint32_t tile : sides) {
        const std::uint64_t map = std::uint64_t{parts} * (tile - 1) + 1;
        if (map > kLargestImageSide) continue;
        const auto distance = [side](std::uint64_t m) { return m > side ? m - side : side - m; };
        if (!best || distance(map) < distance(*best)) best = static_cast<std::uint32_t>(map);
    }
    return best;
}

std::string engineSides(std::uint32_t side, std::uint32_t parts) {
    std::string text;
    for (const auto found : {nearestEngineSide(kLandscapeSides, side, parts), nearestEngineSide(kSquareSides, side, parts)}) {
        if (!found) continue;
        text += text.empty() ? " Engine sizes that fit: " : "; ";
        text += number(*found) + " splits into " + tilesOf(*found, parts);
    }
    return text.empty() ? text : text + ".";
}

}  // namespace

TileCountParse parseTileCount(std::string_view text) {
    const char* const notACount = "The tiles must be given as columns x rows, such as 4 x 4 (one number for both).";
    const char* const outOfRange = "Columns and rows of tiles must each be from 1 to 64.";
    const std::size_t cross = text.find_first_of("xX");
    const std::optional<std::uint32_t> columns = smallNumber(text.substr(0, cross));
    const std::optional<std::uint32_t> rows =
        cross == std::string_view::npos ? columns : smallNumber(text.substr(cross + 1));
    if (!columns || !rows) return {std::nullopt, notACount};
    if (*columns < 1 || *columns > kMostTilesPerSide || *rows < 1 || *rows > kMostTilesPerSide)
        return {std::nullopt, outOfRange};
    return {TileCount{*columns, *rows}, {}};
}

std::string tileCountText(TileCount count) { return number(count.columns) + " x " + number(count.rows); }

TilePlan planTiles(ImageSize map, TileCount count) {
    if (count.columns < 1 || count.rows < 1 || count.columns > kMostTilesPerSide || count.rows > kMostTilesPerSide ||
        map.width < 1 || map.height < 1)
        return {std::nullopt, "Columns and rows of tiles must each be from 1 to 64."};
    const bool across = splits(map.width, count.columns), down = splits(map.height, count.rows);
    if (across && down) {
        const ImageSize tile{(map.width - 1) / count.columns + 1, (map.height - 1) / count.rows + 1};
        return {TileGrid{map, count, tile}, {}};
    }
    std::string text;
    if (map.width == map.height && count.columns == count.rows) {
        text = sideRefusal("width and height", map.width, count.columns) + engineSides(map.width, count.columns);
    } else {
        if (!across) text = sideRefusal("width", map.width, count.columns) + engineSides(map.width, count.columns);
        if (!down) {
            if (!text.empty()) text += " ";
            text += sideRefusal("height", map.height, count.rows) + engineSides(map.height, count.rows);
        }
    }
    return {std::nullopt, text};
}

std::string tileName(std::string_view destination, std::uint32_t x, std::uint32_t y) {
    const std::size_t slash = destination.find_last_of("/\\");
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    std::size_t dot = destination.rfind('.');
    // A dot in a folder's name, or one that begins the name (".alps"), starts no extension.
    if (dot == std::string_view::npos || dot <= nameStart) dot = destination.size();
    return std::string(destination.substr(0, dot)) + "_x" + number(x) + "_y" + number(y) +
           std::string(destination.substr(dot));
}

}  // namespace kelvarin
