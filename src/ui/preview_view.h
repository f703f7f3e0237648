// How the preview's picture sits in its view: the zoom and the pan the user chose, and what lies
// under the cursor. Both windows keep one of these per picture view and draw where it says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pixels/height_report.h"
#include "pixels/preview_grid.h"

namespace kelvarin {

struct ViewPoint {
    double x = 0, y = 0;
};

// The picture's place in the view, in view pixels: its top left corner and its drawn size.
struct PicturePlacement {
    double x = 0, y = 0, width = 0, height = 0;
};

class PreviewView {
public:
    // The most a picture pixel is enlarged to.
    static constexpr double kLargestScale = 32.0;

    // The view's size, or the picture's, changed. A view that fits the picture keeps fitting it;
    // otherwise the picture's point at the view's centre stays there.
    void setSizes(int viewWidth, int viewHeight, std::uint32_t pictureWidth, std::uint32_t pictureHeight);
    // The whole picture, as large as the view allows (never past kLargestScale), centred.
    void fit();
    // One picture pixel to one view pixel, about the view's centre.
    void oneToOne();
    // Zooms by `factor` about a point of the view: the picture's point under it stays under it.
    // Never smaller than the fitting size (or 1:1 where that is smaller), never past kLargestScale.
    void zoomAbout(ViewPoint at, double factor);
    // Moves the picture with the mouse; it never leaves the view entirely.
    void panBy(double dx, double dy);

    bool fitting() const { return fitting_; }
    double scale() const { return scale_; }
    PicturePlacement placement() const;
    // The picture pixel under a point of the view; nothing outside the picture.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> pixelAt(ViewPoint at) const;

private:
    double fitScale() const;
    void keepInView();

    int viewWidth_ = 0, viewHeight_ = 0;
    std::uint32_t pictureWidth_ = 0, pictureHeight_ = 0;
    double scale_ = 1.0;
    double left_ = 0, top_ = 0;  // the picture's top left corner in the view
    bool fitting_ = true;
};

struct ScreenRect {
    int x, y, width, height;
};

// Where the preview opens: right of the main window's frame when the screen's work area has room
// there, else left of it, level with its top (moved up where the preview would run off the
// bottom); nothing when neither side has room, and it is left where the system puts it.
std::optional<std::pair<int, int>> besideMainWindow(ScreenRect main, int width, int height, ScreenRect screen);

// The readout under the cursor: the map's x and y (the middle of the map's samples the preview's
// cell stands for) and the cell's sample: "x 1024, y 511: 40123", followed by its height where
// the report knows one (see sampleHeightText): "x 1024, y 511: 40123, height 1203.4 m". A picture
// made from levels alone has no units to give: the conversion may have inverted or tone-mapped them.
std::string readoutText(const HeightReport& report, const PreviewLevels& levels, std::uint32_t cellX,
                        std::uint32_t cellY);

}  // namespace kelvarin
