// The tile grid: which map sizes split into which tiles, what a refusal offers instead, the
// count a user types and the names of the tiles.
#include <gtest/gtest.h>

#include "terrain/tile_grid.h"

namespace kelvarin {
namespace {

// Splits that work: the tile size, and windows that cover the map with neighbours on one shared
// column and row.
TEST(TileGrid, SplitsWithSharedEdges) {
    struct Case {
        ImageSize map;
        TileCount count;
        ImageSize tile;
    };
    const Case cases[] = {
        {{4033, 4033}, {4, 4}, {1009, 1009}}, {{8193, 8193}, {8, 8}, {1025, 1025}}, {{4097, 2049}, {4, 2}, {1025, 1025}},
        {{8129, 8129}, {4, 4}, {2033, 2033}}, {{7, 5}, {3, 2}, {3, 3}},              {{7, 5}, {1, 1}, {7, 5}},
        {{2, 9}, {1, 4}, {2, 3}},             {{65535, 3}, {2, 1}, {32768, 3}},     {{129, 129}, {64, 64}, {3, 3}},
    };
    for (const Case& c : cases) {
        const TilePlan plan = planTiles(c.map, c.count);
        const std::string what = imageSizeText(c.map) + " in " + tileCountText(c.count);
        ASSERT_TRUE(plan.grid.has_value()) << what << ": " << plan.refusal;
        EXPECT_EQ(plan.grid->tile, c.tile) << what;
        for (std::uint32_t y = 0; y < c.count.rows; ++y) {
            for (std::uint32_t x = 0; x < c.count.columns; ++x) {
                const TileWindow w = plan.grid->window(x, y);
                // Neighbours meet on one shared column and row; the grid starts at 0 and ends
                // with the map.
                const std::uint32_t nextLeft = x + 1 < c.count.columns ? plan.grid->window(x + 1, y).left : c.map.width;
                const std::uint32_t nextTop = y + 1 < c.count.rows ? plan.grid->window(x, y + 1).top : c.map.height;
                EXPECT_EQ(w.left + w.width - (x + 1 < c.count.columns ? 1 : 0), nextLeft) << what;
                EXPECT_EQ(w.top + w.length - (y + 1 < c.count.rows ? 1 : 0), nextTop) << what;
                EXPECT_EQ(x == 0, w.left == 0) << what;
            }
        }
    }
}

// A map that does not split is refused with the nearest sizes that do and the engine sizes of
// that count; every sentence a case expects must be in the refusal.
TEST(TileGrid, RefusalsNameTheSizesThatFit) {
    struct Case {
        ImageSize map;
        TileCount count;
        std::vector<std::string> sentences;
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {{4000, 4000},
         {4, 4},
         {"The width and height 4000 do not split into 4 tiles that share their edges",
          "The nearest that do: 3997 (4 tiles of 1000) or 4001 (4 tiles of 1001).",
          "Engine sizes that fit: 4033 splits into 4 tiles of 1009; 4097 splits into 4 tiles of 1025."},
         {"The height"}},
        {{8192, 8193},
         {8, 8},
         {"The width 8192 does not split into 8 tiles", "8185 (8 tiles of 1024) or 8193 (8 tiles of 1025)",
          "8065 splits into 8 tiles of 1009; 8193 splits into 8 tiles of 1025."},
         {"The height"}},
        {{1025, 1023},
         {4, 3},
         {"The height 1023 does not split into 3 tiles", "1021 (3 tiles of 341) or 1024 (3 tiles of 342)",
          "757 splits into 3 tiles of 253; 769 splits into 3 tiles of 257."},
         {"The width"}},
        // Too small to cut: only a larger size is offered.
        {{2, 1}, {2, 1}, {"The width 2 does not split into 2 tiles", "The nearest that does: 3 (2 tiles of 2)."}, {}},
        // At the largest side the size above does not exist.
        {{65535, 65535},
         {64, 1},
         {"The width 65535 does not split into 64 tiles", "The nearest that does: 65473 (64 tiles of 1024)."},
         {"65537", "The height"}},
    };
    for (const Case& c : cases) {
        const TilePlan plan = planTiles(c.map, c.count);
        const std::string what = imageSizeText(c.map) + " in " + tileCountText(c.count);
        ASSERT_FALSE(plan.grid.has_value()) << what;
        for (const std::string& sentence : c.sentences)
            EXPECT_NE(plan.refusal.find(sentence), std::string::npos) << what << ": " << plan.refusal;
        for (const std::string& text : c.absent)
            EXPECT_EQ(plan.refusal.find(text), std::string::npos) << what << ": " << plan.refusal;
    }
}

TEST(TileGrid, CountsAsTyped) {
    const char* const notACount = "The tiles must be given as columns x rows, such as 4 x 4 (one number for both).";
    const char* const outOfRange = "Columns and rows of tiles must each be from 1 to 64.";
    struct Case {
        const char* text;
        TileCount count;  // 0 x 0: refused with `refusal`
        const char* refusal;
    };
    const Case cases[] = {
        {"4x4", {4, 4}, ""},      {" 8 X 2 ", {8, 2}, ""},        {"3", {3, 3}, ""},     {"64x1", {64, 1}, ""},
        {"004x01", {4, 1}, ""},   {"0x4", {0, 0}, outOfRange},        {"65", {0, 0}, outOfRange}, {"4x99999999999", {0, 0}, outOfRange},
        {"", {0, 0}, notACount},      {"x", {0, 0}, notACount},           {"4x", {0, 0}, notACount}, {"-4x4", {0, 0}, notACount},
        {"4.0", {0, 0}, notACount},   {"4x4x4", {0, 0}, notACount},       {"four", {0, 0}, notACount},
    };
    for (const Case& c : cases) {
        const TileCountParse parsed = parseTileCount(c.text);
        if (c.count.columns != 0) {
            ASSERT_TRUE(parsed.count.has_value()) << c.text << ": " << parsed.refusal;
            EXPECT_EQ(*parsed.count, c.count) << c.text;
        } else {
            EXPECT_FALSE(parsed.count.has_value()) << c.text;
            EXPECT_EQ(parsed.refusal, c.refusal) << c.text;
        }
    }
}

TEST(TileGrid, TileNamesKeepTheExtension) {
    const std::pair<const char*, const char*> cases[] = {
        {"/maps/alps.png", "/maps/alps_x3_y1.png"},   {"C:\\maps.v2\\alps", "C:\\maps.v2\\alps_x3_y1"},
        {"alps.tar.r16", "alps.tar_x3_y1.r16"},        {"/maps.d/alps", "/maps.d/alps_x3_y1"},
        {"/maps/.alps", "/maps/.alps_x3_y1"},          {"alps.TIF", "alps_x3_y1.TIF"},
    };
    for (const auto& [destination, name] : cases) EXPECT_EQ(tileName(destination, 3, 1), name) << destination;
}

}  // namespace
}  // namespace kelvarin
