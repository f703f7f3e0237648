// The preview window's description and model, which both windows draw from.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "support/synthetic_report.h"
#include "ui/ids.h"
#include "ui/preview_description.h"
#include "ui/preview_model.h"

namespace kelvarin::test {
namespace {

bool overlap(const preview::PixelRect& a, const preview::PixelRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

TEST(PreviewDescription, ControlsStayApartAndInsideAtEverySize) {
    const preview::BaseUnits units{6, 13};
    const preview::FrameDescription& frame = preview::frame();
    std::set<int> ids;
    for (const auto& control : preview::controls()) EXPECT_TRUE(ids.insert(control.id).second) << control.id;
    for (const auto& [width, height] : {std::pair{frame.minimumWidth, frame.minimumHeight},
                                       std::pair{frame.clientWidth, frame.clientHeight}, std::pair{900, 700}}) {
        const int w = units.x(width), h = units.y(height);
        for (const auto& a : preview::controls()) {
            const preview::PixelRect ra = preview::place(a, w, h, units);
            EXPECT_GT(ra.width, 0) << a.id << " at " << width << " x " << height;
            EXPECT_GT(ra.height, 0) << a.id;
            EXPECT_TRUE(ra.x >= 0 && ra.y >= 0 && ra.x + ra.width <= w && ra.y + ra.height <= h) << a.id;
            for (const auto& b : preview::controls()) {
                if (a.id >= b.id) continue;
                EXPECT_FALSE(overlap(ra, preview::place(b, w, h, units))) << a.id << " and " << b.id;
            }
        }
    }
    // Sides anchored far follow the window's growth; sides anchored near stay.
    const auto* image = preview::findControl(ids::PreviewImage);
    const auto* figures = preview::findControl(ids::PreviewFigures);
    const int w = units.x(frame.clientWidth), h = units.y(frame.clientHeight);
    const preview::PixelRect imageAt = preview::place(*image, w, h, units), grown = preview::place(*image, w + 50, h + 30, units);
    EXPECT_EQ(imageAt.x, units.x(image->rect.x));
    EXPECT_EQ(grown.width - imageAt.width, 50);
    EXPECT_EQ(grown.height - imageAt.height, 30);
    EXPECT_EQ(preview::place(*figures, w + 50, h + 30, units).x - preview::place(*figures, w, h, units).x, 50);
}

TEST(PreviewModel, FiguresTilesAndHistogramBars) {
    PreviewModel model;
    FinishedReport floatSource = syntheticReport("/maps/render.tif");
    floatSource.report.source = {"TIFF", 32, SourceSampleFormat::Float, SourceAnalysis{0.1, 3.5, true}, std::nullopt};
    std::vector<FinishedReport> results;
    results.push_back(std::move(floatSource));
    model.setResults(std::move(results));
    const std::vector<std::string> lines = model.figureLines();
    EXPECT_EQ(lines.front(), "File: render.tif");
    EXPECT_EQ(lines.back(), "Before stretch: 0.1 to 3.5");

    // Heights are not stretched: the range their levels stand for, and the editor's vertical scale.
    FinishedReport tile = syntheticReport("/srtm/N45E006.tif");
    HeightSummary heights;
    heights.used = {412, 1615.4};
    heights.voids = 3;
    heights.unit = "m";
    tile.report.source = {"SRTM", 16, SourceSampleFormat::SignedInteger, std::nullopt, heights};
    PreviewModel tileModel;
    std::vector<FinishedReport> tiles;
    tiles.push_back(std::move(tile));
    tileModel.setResults(std::move(tiles));
    const std::vector<std::string> tileLines = tileModel.figureLines();
    ASSERT_GE(tileLines.size(), 2u);
    EXPECT_EQ(tileLines[tileLines.size() - 2], "Heights: 412 to 1615.4, voids 3");
    EXPECT_EQ(tileLines.back(), "One step is 0.018363 m; the map spans 1203.4 m from 412 m.");
    EXPECT_FALSE(model.isVisible(ids::PreviewTile1));
    EXPECT_FALSE(model.handle(ids::PreviewTile2));  // no second tile
    EXPECT_TRUE(model.handle(ids::PreviewRelief));
    EXPECT_TRUE(model.isChecked(ids::PreviewRelief));
    EXPECT_EQ(model.image().pixels.size(), std::size_t{kSyntheticWidth} * kSyntheticLength);

    // The tallest bin fills the height; every bin with a sample shows, an empty one does not.
    const auto& histogram = syntheticReport().report.figures.histogram;
    const std::array<int, 256> bars = model.histogramBars(70);
    EXPECT_EQ(*std::max_element(bars.begin(), bars.end()), 70);
    for (std::size_t i = 0; i < 256; ++i) EXPECT_EQ(bars[i] > 0, histogram[i] > 0) << "bin " << i;
}

// A map written as tiles shows where it is cut: dashed lines on the shared columns and rows, in
// both pictures, and nothing else of the picture changed; the figures name the grid.
TEST(PreviewModel, TileGridDrawnOverTheMap) {
    FinishedReport tiled = syntheticReport("/maps/alps.png");
    for (std::uint32_t y = 0; y < 3; ++y)
        for (std::uint32_t x = 0; x < 3; ++x) tiled.report.tiles.push_back({"t", x, y, 214, 134, 0, 0});
    for (const int picture : {ids::PreviewHeight, ids::PreviewRelief}) {
        PreviewModel plain, gridded;
        plain.setResults({syntheticReport("/maps/alps.png")});
        gridded.setResults({tiled});
        plain.handle(picture);
        gridded.handle(picture);
        const GreyImage& a = plain.image();
        const GreyImage& b = gridded.image();
        ASSERT_EQ(a.width, kSyntheticWidth);
        ASSERT_EQ(b.pixels.size(), a.pixels.size());
        const std::set<std::uint32_t> edgeColumns{213, 426}, edgeRows{133, 266};
        std::size_t changed = 0;
        for (std::uint32_t y = 0; y < b.height; ++y) {
            for (std::uint32_t x = 0; x < b.width; ++x) {
                const std::size_t at = std::size_t{y} * b.width + x;
                const bool onColumn = edgeColumns.count(x) != 0, onRow = edgeRows.count(y) != 0;
                if (onColumn || onRow) {
                    EXPECT_TRUE(b.pixels[at] == 0 || b.pixels[at] == 255) << x << ", " << y;
                } else {
                    changed += a.pixels[at] != b.pixels[at];
                }
            }
        }
        EXPECT_EQ(changed, 0u) << picture;
        // Dashed: both colours on one line.
        EXPECT_NE(b.pixels[213], b.pixels[std::size_t{4} * b.width + 213]) << picture;
        const std::vector<std::string> lines = gridded.figureLines();
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Tiles: 3 x 3 of 214 x 134"), lines.end());
    }
}

// The vertical scale is shown where the height of a step is known, and only there.
TEST(PreviewModel, VerticalScaleWhereKnown) {
    const std::string line = "Heights span: 3276.8 m (landscape Z scale 640.0 %, terrain height 3276.8 m)";
    for (const bool known : {false, true}) {
        FinishedReport result = syntheticReport("/maps/alps.png");
        if (known) result.report.vertical = verticalScale(0.05);
        PreviewModel model;
        model.setResults({result});
        const std::vector<std::string> lines = model.figureLines();
        EXPECT_EQ(std::find(lines.begin(), lines.end(), line) != lines.end(), known);
    }
}

}  // namespace
}  // namespace kelvarin::test
