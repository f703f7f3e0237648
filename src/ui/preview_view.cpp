#include "ui/preview_view.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "ui/sample_height.h"

namespace kelvarin {

void PreviewView::setSizes(int viewWidth, int viewHeight, std::uint32_t pictureWidth, std::uint32_t pictureHeight) {
    const bool samePicture = pictureWidth == pictureWidth_ && pictureHeight == pictureHeight_;
    const ViewPoint centre{viewWidth_ / 2.0, viewHeight_ / 2.0};
    const double pictureX = (centre.x - left_) / scale_, pictureY = (centre.y - top_) / scale_;
    viewWidth_ = std::max(viewWidth, 0);
    viewHeight_ = std::max(viewHeight, 0);
    pictureWidth_ = pictureWidth;
    pictureHeight_ = pictureHeight;
    // Another picture (a tile, the relief of another map) starts fitted.
    if (fitting_ || !samePicture) return fit();
    left_ = viewWidth_ / 2.0 - pictureX * scale_;
    top_ = viewHeight_ / 2.0 - pictureY * scale_;
    keepInView();
}

double PreviewView::fitScale() const {
    if (pictureWidth_ == 0 || pictureHeight_ == 0 || viewWidth_ == 0 || viewHeight_ == 0) return 1.0;
    return std::min({static_cast<double>(viewWidth_) / pictureWidth_, static_cast<double>(viewHeight_) / pictureHeight_,
                     kLargestScale});
}

void PreviewView::fit() {
    fitting_ = true;
    scale_ = fitScale();
    left_ = (viewWidth_ - pictureWidth_ * scale_) / 2.0;
    top_ = (viewHeight_ - pictureHeight_ * scale_) / 2.0;
}

void PreviewView::oneToOne() { zoomAbout({viewWidth_ / 2.0, viewHeight_ / 2.0}, 1.0 / scale_); }

void PreviewView::zoomAbout(ViewPoint at, double factor) {
    const double smallest = std::min(fitScale(), 1.0);
    const double scale = std::clamp(scale_ * factor, smallest, kLargestScale);
    // The picture's point under `at` before is under it after.
    left_ = at.x - (at.x - left_) * scale / scale_;
    top_ = at.y - (at.y - top_) * scale / scale_;
    scale_ = scale;
    fitting_ = false;
    keepInView();
}

void PreviewView::panBy(double dx, double dy) {
    left_ += dx;
    top_ += dy;
    fitting_ = false;
    keepInView();
}

void PreviewView::keepInView() {
    // A picture smaller than the view stays whole inside it; a larger one always covers the
    // view's middle, so it can never be lost.
    const auto keep = [](double& start, double length, int view) {
        if (length <= view) {
            start = std::clamp(start, 0.0, view - length);
        } else {
            start = std::clamp(start, view / 2.0 - length, view / 2.0);
        }
    };
    keep(left_, pictureWidth_ * scale_, viewWidth_);
    keep(top_, pictureHeight_ * scale_, viewHeight_);
}

PicturePlacement PreviewView::placement() const {
    return {left_, top_, pictureWidth_ * scale_, pictureHeight_ * scale_};
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> PreviewView::pixelAt(ViewPoint at) const {
    const double x = std::floor((at.x - left_) / scale_), y = std::floor((at.y - top_) / scale_);
    if (x < 0 || y < 0 || x >= pictureWidth_ || y >= pictureHeight_) return std::nullopt;
    return std::pair{static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
}

std::string readoutText(const HeightReport& report, const PreviewLevels& levels, std::uint32_t cellX,
                        std::uint32_t cellY) {
    if (levels.width == 0 || levels.height == 0 || cellX >= levels.width || cellY >= levels.height) return {};
    // The middle of the samples the cell stands for, in whole samples.
    const auto middle = [](std::uint32_t cell, std::uint32_t cells, std::uint64_t samples) {
        return (2 * std::uint64_t{cell} + 1) * samples / (2 * std::uint64_t{cells});
    };
    const std::uint64_t x = middle(cellX, levels.width, report.width);
    const std::uint64_t y = middle(cellY, levels.height, report.length);
    const std::uint16_t sample = levels.levels[std::size_t{cellY} * levels.width + cellX];
    std::string text = "x " + std::to_string(x) + ", y " + std::to_string(y) + ": " + std::to_string(sample);
    if (const std::string height = sampleHeightText(report, sample); !height.empty()) text += ", " + height;
    return text;
}

std::optional<ScreenRect> besideMainWindow(ScreenRect main, int width, int height, ScreenRect screen) {
    const int gap = 8;
    const int screenRight = screen.x + screen.width, screenBottom = screen.y + screen.height;
    const int mainRight = main.x + main.width, mainBottom = main.y + main.height;
    // Level with the main window where the preview fits, moved back onto the screen where not.
    const auto along = [](int wanted, int size, int first, int extent) {
        return std::max(first, std::min(wanted, first + extent - size));
    };
    // The room on each side of the main window, in the order they are tried.
    struct Side {
        int x, y, roomWidth, roomHeight;
        bool across;  // right or left: the preview sits level with the main window's top
    };
    const Side sides[] = {
        {mainRight + gap, 0, screenRight - mainRight - gap, screen.height, true},
        {0, 0, main.x - gap - screen.x, screen.height, true},
        {0, mainBottom + gap, screen.width, screenBottom - mainBottom - gap, false},
        {0, 0, screen.width, main.y - gap - screen.y, false},
    };
    const auto place = [&](std::size_t index, int w, int h) {
        const Side& side = sides[index];
        ScreenRect at{0, 0, w, h};
        if (side.across) {
            at.x = index == 0 ? side.x : main.x - gap - w;
            at.y = along(main.y, h, screen.y, screen.height);
        } else {
            at.x = along(main.x, w, screen.x, screen.width);
            at.y = index == 2 ? side.y : main.y - gap - h;
        }
        return at;
    };
    for (std::size_t i = 0; i < std::size(sides); ++i)
        if (sides[i].roomWidth >= width && sides[i].roomHeight >= height) return place(i, width, height);
    // No side takes it whole: smaller, on the side with the most room, as long as it stays usable.
    std::size_t best = 0;
    long long bestArea = -1;
    for (std::size_t i = 0; i < std::size(sides); ++i) {
        const long long area = static_cast<long long>(std::min(width, sides[i].roomWidth)) *
                               std::min(height, sides[i].roomHeight);
        if (sides[i].roomWidth > 0 && sides[i].roomHeight > 0 && area > bestArea) {
            best = i;
            bestArea = area;
        }
    }
    const int w = std::min(width, sides[best].roomWidth), h = std::min(height, sides[best].roomHeight);
    if (bestArea < 0 || w < kSmallestPreviewWidth || h < kSmallestPreviewHeight) return std::nullopt;
    return place(best, w, h);
}

}  // namespace kelvarin
