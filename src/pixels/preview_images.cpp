#include "pixels/preview_images.h"

#include <cmath>

namespace kelvarin {

namespace {

// 0 to 1 as 0 to 255, rounded; outside that range held at its ends.
std::uint8_t greyLevel(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 1.0) return 255;
    return static_cast<std::uint8_t>(value * 255.0 + 0.5);
}

GreyImage blankImage(const PreviewLevels& preview) {
    return {preview.width, preview.height, std::vector<std::uint8_t>(preview.levels.size())};
}

// Heights from 0 (the lowest sample) to 1 (the highest); 0 everywhere on a flat map.
class Heights {
public:
    Heights(const PreviewLevels& preview, std::uint16_t lowest, std::uint16_t highest)
        : preview_(preview), scale_(highest > lowest ? 1.0 / (highest - lowest) : 0.0) {}

    // The slope (dh/dx, dh/dy) in heights per preview pixel: central differences, one-sided at
    // the edges, 0 across a side of one pixel.
    void slope(std::size_t x, std::size_t y, double& dx, double& dy) const {
        const std::size_t left = x > 0 ? x - 1 : x, right = x + 1 < preview_.width ? x + 1 : x;
        const std::size_t up = y > 0 ? y - 1 : y, down = y + 1 < preview_.height ? y + 1 : y;
        dx = (level(right, y) - level(left, y)) * scale_ * kInverse[right - left];
        dy = (level(x, down) - level(x, up)) * scale_ * kInverse[down - up];
    }

private:
    // 1 / steps between the two levels a difference is taken of (0: none, a side of one pixel).
    static constexpr double kInverse[3] = {0.0, 1.0, 0.5};

    double level(std::size_t x, std::size_t y) const { return preview_.levels[y * preview_.width + x]; }

    const PreviewLevels& preview_;
    double scale_;
};

}  // namespace

GreyImage heightImage(const PreviewLevels& preview, std::uint16_t lowest, std::uint16_t highest) {
    GreyImage image = blankImage(preview);
    const double scale = highest > lowest ? 1.0 / (highest - lowest) : 0.0;
    for (std::size_t i = 0; i < preview.levels.size(); ++i)
        image.pixels[i] = scale == 0 ? 128 : greyLevel((preview.levels[i] - static_cast<double>(lowest)) * scale);
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
GreyImage reliefImage(const PreviewLevels& preview, std::uint16_t lowest, std::uint16_t highest) {
    GreyImage image = blankImage(preview);
    const Heights heights(preview, lowest, highest);
    double dx = 0, dy = 0, gradientSum = 0;
    for (std::size_t y = 0; y < preview.height; ++y) {
        for (std::size_t x = 0; x < preview.width; ++x) {
            heights.slope(x, y, dx, dy);
            gradientSum += std::sqrt(dx * dx + dy * dy);
        }
    }
    const double meanGradient = preview.levels.empty() ? 0.0 : gradientSum / static_cast<double>(preview.levels.size());
    const double scale = meanGradient > 0 ? 0.5 / meanGradient : 0.0;
    const double lightX = -0.5, lightY = -0.5, lightZ = std::sqrt(0.5);
    for (std::size_t y = 0; y < preview.height; ++y) {
        for (std::size_t x = 0; x < preview.width; ++x) {
            heights.slope(x, y, dx, dy);
            const double nx = -scale * dx, ny = -scale * dy;
            image.pixels[y * preview.width + x] =
                greyLevel((nx * lightX + ny * lightY + lightZ) / std::sqrt(nx * nx + ny * ny + 1.0));
        }
    }
    return image;
}

}  // namespace kelvarin
