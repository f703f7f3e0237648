#include "pixels/preview_images.h"

#include <cmath>

namespace kelvarin {

namespace {

void setGrey(RgbImage& image, std::size_t index, double grey) {
    const auto value = static_cast<std::uint8_t>(std::lround(std::fmin(std::fmax(grey, 0.0), 1.0) * 255.0));
    image.pixels[3 * index] = image.pixels[3 * index + 1] = image.pixels[3 * index + 2] = value;
}

RgbImage blankImage(const PreviewLevels& preview) {
    return {preview.width, preview.height, std::vector<std::uint8_t>(preview.levels.size() * 3)};
}

// Heights from 0 (the lowest sample) to 1 (the highest); 0 everywhere on a flat map.
class Heights {
public:
    Heights(const PreviewLevels& preview, std::uint16_t lowest, std::uint16_t highest)
        : preview_(preview), lowest_(lowest), scale_(highest > lowest ? 1.0 / (highest - lowest) : 0.0) {}

    double at(std::size_t x, std::size_t y) const {
        return (preview_.levels[y * preview_.width + x] - lowest_) * scale_;
    }
    // The slope (dh/dx, dh/dy) in heights per preview pixel: central differences, one-sided at
    // the edges, 0 across a side of one pixel.
    void slope(std::size_t x, std::size_t y, double& dx, double& dy) const {
        const std::size_t left = x > 0 ? x - 1 : x, right = x + 1 < preview_.width ? x + 1 : x;
        const std::size_t up = y > 0 ? y - 1 : y, down = y + 1 < preview_.height ? y + 1 : y;
        dx = right > left ? (at(right, y) - at(left, y)) / static_cast<double>(right - left) : 0.0;
        dy = down > up ? (at(x, down) - at(x, up)) / static_cast<double>(down - up) : 0.0;
    }

private:
    const PreviewLevels& preview_;
    double lowest_;
    double scale_;
};

}  // namespace

RgbImage heightImage(const PreviewLevels& preview, std::uint16_t lowest, std::uint16_t highest) {
    RgbImage image = blankImage(preview);
    const Heights heights(preview, lowest, highest);
    for (std::size_t y = 0; y < preview.height; ++y)
        for (std::size_t x = 0; x < preview.width; ++x)
            setGrey(image, y * preview.width + x, highest > lowest ? heights.at(x, y) : 0.5);
    return image;
}

// The relief. With h the height from 0 to 1 as above and x, y in preview pixels (y down), the
// slope at a pixel is (dh/dx, dh/dy). Heights are stretched by the factor s = 0.5 / mean(|grad h|):
// whatever the map's range and size, the average slope comes out at 0.5 (about 27 degrees), steep
// enough for valleys and ridges to read and not so steep that most slopes fall into shadow. A flat
// map has no slope and is lit evenly. The surface normal is (-s dh/dx, -s dh/dy, 1) normalised;
// the light comes from the north-west at 45 degrees, L = (-1/2, -1/2, 1/sqrt 2); the grey is
// max(0, n . L): 0.71 on level ground, brighter on slopes that face the light, black where a
// slope turns more than 45 degrees away from it.
RgbImage reliefImage(const PreviewLevels& preview, std::uint16_t lowest, std::uint16_t highest) {
    RgbImage image = blankImage(preview);
    const Heights heights(preview, lowest, highest);
    double dx = 0, dy = 0, gradientSum = 0;
    for (std::size_t y = 0; y < preview.height; ++y) {
        for (std::size_t x = 0; x < preview.width; ++x) {
            heights.slope(x, y, dx, dy);
            gradientSum += std::hypot(dx, dy);
        }
    }
    const double meanGradient = preview.levels.empty() ? 0.0 : gradientSum / static_cast<double>(preview.levels.size());
    const double scale = meanGradient > 0 ? 0.5 / meanGradient : 0.0;
    const double lightX = -0.5, lightY = -0.5, lightZ = std::sqrt(0.5);
    for (std::size_t y = 0; y < preview.height; ++y) {
        for (std::size_t x = 0; x < preview.width; ++x) {
            heights.slope(x, y, dx, dy);
            const double nx = -scale * dx, ny = -scale * dy;
            setGrey(image, y * preview.width + x,
                    (nx * lightX + ny * lightY + lightZ) / std::sqrt(nx * nx + ny * ny + 1.0));
        }
    }
    return image;
}

}  // namespace kelvarin
