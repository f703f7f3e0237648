// The preview's zoom, pan and readout on a small synthetic map.
#include <gtest/gtest.h>

#include <cmath>

#include "ui/preview_view.h"

namespace kelvarin {
namespace {

// A 40 x 20 picture in a 200 x 200 view: fitted, it is 5 times enlarged and centred.
PreviewView fitted() {
    PreviewView view;
    view.setSizes(200, 200, 40, 20);
    return view;
}

TEST(PreviewView, FitsCentredAndFindsThePixelUnderThePoint) {
    const PreviewView view = fitted();
    EXPECT_TRUE(view.fitting());
    EXPECT_DOUBLE_EQ(view.scale(), 5.0);
    const PicturePlacement placed = view.placement();
    EXPECT_DOUBLE_EQ(placed.x, 0.0);
    EXPECT_DOUBLE_EQ(placed.y, 50.0);
    EXPECT_EQ(view.pixelAt({0.0, 50.0}), (std::pair<std::uint32_t, std::uint32_t>{0, 0}));
    EXPECT_EQ(view.pixelAt({199.9, 149.9}), (std::pair<std::uint32_t, std::uint32_t>{39, 19}));
    EXPECT_FALSE(view.pixelAt({100.0, 49.0}));  // the band above the picture
    EXPECT_FALSE(view.pixelAt({100.0, 150.0}));
}

// Zooming about a point keeps the picture's point under it (once the picture is larger than the
// view: a smaller one stays whole inside it), in and out, within the limits.
TEST(PreviewView, ZoomKeepsThePointUnderTheCursor) {
    struct Row {
        ViewPoint at;
        double factor;
        double expectedScale;
    };
    for (const Row& row : {Row{{30, 60}, 4.0, 20.0}, Row{{170, 140}, 3.0, 15.0}, Row{{100, 100}, 100.0, 32.0},
                           Row{{100, 100}, 0.01, 1.0}}) {
        PreviewView view = fitted();
        const PicturePlacement before = view.placement();
        const double pictureX = (row.at.x - before.x) / view.scale(), pictureY = (row.at.y - before.y) / view.scale();
        view.zoomAbout(row.at, row.factor);
        EXPECT_DOUBLE_EQ(view.scale(), row.expectedScale) << row.factor;
        EXPECT_FALSE(view.fitting());
        if (row.factor > 1.0) {
            const PicturePlacement after = view.placement();
            EXPECT_NEAR(after.x + pictureX * view.scale(), row.at.x, 1e-9) << row.factor;
            EXPECT_NEAR(after.y + pictureY * view.scale(), row.at.y, 1e-9) << row.factor;
        }
    }
}

// A pan moves the picture, but an enlarged picture always covers the view's middle and a small
// one stays inside the view; Fit and 1:1 put it back.
TEST(PreviewView, PanStaysInViewAndFitAndOneToOneReset) {
    PreviewView view = fitted();
    view.zoomAbout({100, 100}, 4.0);  // 800 x 400
    view.panBy(-37, 12);
    const PicturePlacement moved = view.placement();
    view.panBy(-100000, -100000);
    const PicturePlacement far = view.placement();
    EXPECT_DOUBLE_EQ(far.x, 100.0 - far.width);
    EXPECT_DOUBLE_EQ(far.y, 100.0 - far.height);
    EXPECT_NE(moved.x, far.x);
    view.oneToOne();
    EXPECT_DOUBLE_EQ(view.scale(), 1.0);
    view.panBy(500, 500);  // 40 x 20 stays inside the 200 x 200 view
    EXPECT_DOUBLE_EQ(view.placement().x, 160.0);
    EXPECT_DOUBLE_EQ(view.placement().y, 180.0);
    view.fit();
    EXPECT_TRUE(view.fitting());
    EXPECT_DOUBLE_EQ(view.placement().y, 50.0);
    // A fitted view follows a resize; another picture starts fitted too.
    view.setSizes(80, 400, 40, 20);
    EXPECT_DOUBLE_EQ(view.scale(), 2.0);
}

// Beside the main window, right where there is room, else left, never over it.
TEST(PreviewView, OpensBesideTheMainWindow) {
    const ScreenRect screen{0, 0, 1920, 1080};
    EXPECT_EQ(besideMainWindow({100, 50, 600, 500}, 700, 450, screen), (std::pair{708, 50}));
    EXPECT_EQ(besideMainWindow({1100, 900, 600, 500}, 700, 450, screen), (std::pair{392, 630}));
    EXPECT_FALSE(besideMainWindow({500, 50, 900, 500}, 700, 450, screen));
}

// The readout names the map's sample the cell stands for and the cell's level.
TEST(PreviewView, ReadoutInMapCoordinates) {
    HeightReport report;
    report.width = 4000;
    report.length = 2000;
    PreviewLevels levels{4, 2, {10, 20, 30, 40, 50, 60, 70, 65535}};
    EXPECT_EQ(readoutText(report, levels, 0, 0), "x 500, y 500: 10");
    EXPECT_EQ(readoutText(report, levels, 3, 1), "x 3500, y 1500: 65535");
    EXPECT_EQ(readoutText(report, levels, 4, 0), "");
}

}  // namespace
}  // namespace kelvarin
