#include "ui/preview_view.h"

#include <algorithm>
#include <cmath>

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

std::optional<std::pair<int, int>> besideMainWindow(ScreenRect main, int width, int height, ScreenRect screen) {
    const int gap = 8;
    const int top = std::max(screen.y, std::min(main.y, screen.y + screen.height - height));
    if (main.x + main.width + gap + width <= screen.x + screen.width) return std::pair{main.x + main.width + gap, top};
    if (main.x - gap - width >= screen.x) return std::pair{main.x - gap - width, top};
    return std::nullopt;
}

}  // namespace kelvarin
