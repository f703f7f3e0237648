#include "pixels/resample_taps.h"

#include <algorithm>
#include <cmath>

namespace kelvarin {

namespace {

// Every expression below keeps the types and the order of operations of the reference it
// matches: float where it works in float, double where a literal or floor() widens it.

enum class Kernel { Trapezoid, CatmullRom };

float support(Kernel kernel, float scale) { return kernel == Kernel::Trapezoid ? 0.5f + scale / 2 : 2.0f; }

float weigh(Kernel kernel, float x, float scale) {
    x = std::fabs(x);
    if (kernel == Kernel::Trapezoid) {
        const float halfScale = scale / 2;
        const float outer = 0.5f + halfScale;
        if (x >= outer) return 0;
        const float inner = 0.5f - halfScale;
        if (x <= inner) return 1;
        return (outer - x) / scale;
    }
    if (x < 1.0f) return 1 - x * x * (2.5f - 1.5f * x);
    if (x < 2.0f) return 2 - x * (4 + x * (0.5f * x - 2.5f));
    return 0.0f;
}

int floorToInt(double value) { return static_cast<int>(std::floor(value)); }

// One group of weights: the new (or old) samples [n0, n1] and their weights from weights[0].
struct Group {
    int n0 = 0, n1 = -1;
    std::vector<float> weights;
};

// Growing: every new sample n gathers the old samples its filter reaches, weights scaled to sum
// to 1, leading and trailing zero weights left out.
Group growGroup(Kernel kernel, float scale, int n) {
    const float outRadius = support(kernel, 1 / scale) * scale;
    const float centre = static_cast<float>(n) + 0.5f;
    const float lower = centre - outRadius, upper = centre + outRadius;
    const float inLower = (lower + 0.0f) / scale, inUpper = (upper + 0.0f) / scale;
    const float inCentre = (centre + 0.0f) / scale;
    int firstPixel = floorToInt(inLower + 0.5);
    const int lastPixel = floorToInt(inUpper - 0.5);
    Group group;
    group.n0 = firstPixel;
    group.n1 = lastPixel;
    float total = 0;
    for (int i = 0; i <= lastPixel - firstPixel; ++i) {
        const float pixelCentre = static_cast<float>(i + firstPixel) + 0.5f;
        const float weight = weigh(kernel, inCentre - pixelCentre, 1 / scale);
        if (i == 0 && weight == 0) {
            group.n0 = ++firstPixel;
            --i;
            continue;
        }
        group.weights.push_back(weight);
        total += weight;
    }
    const float filterScale = 1 / total;
    for (float& weight : group.weights) weight *= filterScale;
    for (int i = static_cast<int>(group.weights.size()) - 1; i >= 0 && group.weights[static_cast<std::size_t>(i)] == 0; --i)
        group.n1 = group.n0 + i - 1;
    return group;
}

// Shrinking: every old sample n (counted from `margin` samples before the image) spreads over
// the new samples its filter reaches; trailing zero weights left out.
Group shrinkGroup(Kernel kernel, float scale, int margin, int n) {
    const float inRadius = support(kernel, scale) / scale;
    const float centre = static_cast<float>(n - margin) + 0.5f;
    const float lower = centre - inRadius, upper = centre + inRadius;
    const float outLower = lower * scale - 0.0f, outUpper = upper * scale - 0.0f;
    const float outCentre = centre * scale - 0.0f;
    Group group;
    group.n0 = floorToInt(outLower + 0.5);
    group.n1 = floorToInt(outUpper - 0.5);
    for (int i = 0; i <= group.n1 - group.n0; ++i) {
        const float pixelCentre = static_cast<float>(i + group.n0) + 0.5f;
        group.weights.push_back(weigh(kernel, pixelCentre - outCentre, scale) * scale);
    }
    for (int i = group.n1 - group.n0; i >= 0 && group.weights[static_cast<std::size_t>(i)] == 0; --i)
        group.n1 = group.n0 + i - 1;
    return group;
}

std::uint32_t clampIndex(int index, std::uint32_t size) {
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(index, 0, std::int64_t{size} - 1));
}

ResampleTaps growTaps(std::uint32_t from, std::uint32_t to, Kernel kernel, float scale) {
    ResampleTaps taps;
    taps.first.reserve(std::size_t{to} + 1);
    for (std::uint32_t n = 0; n < to; ++n) {
        taps.first.push_back(static_cast<std::uint32_t>(taps.index.size()));
        const Group group = growGroup(kernel, scale, static_cast<int>(n));
        for (int i = group.n0; i <= group.n1; ++i) {
            const float weight = group.weights[static_cast<std::size_t>(i - group.n0)];
            if (weight == 0) continue;
            taps.index.push_back(clampIndex(i, from));
            taps.weight.push_back(weight);
        }
    }
    taps.first.push_back(static_cast<std::uint32_t>(taps.index.size()));
    return taps;
}

ResampleTaps shrinkTaps(std::uint32_t from, std::uint32_t to, Kernel kernel, float scale) {
    const int margin = static_cast<int>(std::ceil(support(kernel, scale) * 2 / scale)) / 2;
    std::vector<Group> groups;
    groups.reserve(std::size_t{from} + 2 * static_cast<std::size_t>(margin));
    for (int n = 0; n < static_cast<int>(from) + 2 * margin; ++n) groups.push_back(shrinkGroup(kernel, scale, margin, n));
    // Every new sample's weights are scaled to sum to 1, summed in the order of the old samples.
    const auto inResult = [&](auto& group, auto&& each) {
        const int last = std::min(group.n1, static_cast<int>(to) - 1);
        for (int k = std::max(group.n0, 0); k <= last; ++k) each(k, group.weights[static_cast<std::size_t>(k - group.n0)]);
    };
    std::vector<float> totals(to, 0.0f);
    for (const Group& group : groups) inResult(group, [&](int k, float weight) { totals[static_cast<std::size_t>(k)] += weight; });
    std::vector<float> scales(to);
    for (std::uint32_t k = 0; k < to; ++k) scales[k] = 1 / totals[k];
    for (Group& group : groups)
        inResult(group, [&](int k, float& weight) { weight *= scales[static_cast<std::size_t>(k)]; });
    // Gathered by new sample: counted first, then filled in the order of the old samples.
    std::vector<std::uint32_t> counts(std::size_t{to} + 1, 0);
    for (const Group& group : groups)
        inResult(group, [&](int k, float weight) { counts[static_cast<std::size_t>(k) + 1] += weight != 0 ? 1 : 0; });
    for (std::uint32_t k = 0; k < to; ++k) counts[k + 1] += counts[k];
    ResampleTaps taps;
    taps.first = counts;
    taps.index.resize(counts[to]);
    taps.weight.resize(counts[to]);
    std::vector<std::uint32_t>& next = counts;
    for (std::size_t n = 0; n < groups.size(); ++n) {
        const std::uint32_t index = clampIndex(static_cast<int>(n) - margin, from);
        inResult(groups[n], [&](int k, float weight) {
            if (weight == 0) return;
            const std::uint32_t at = next[static_cast<std::size_t>(k)]++;
            taps.index[at] = index;
            taps.weight[at] = weight;
        });
    }
    return taps;
}

}  // namespace

ResampleTaps resampleTaps(std::uint32_t from, std::uint32_t to) {
    const float scale = static_cast<float>(to) / static_cast<float>(from);
    if (scale > 1) return growTaps(from, to, Kernel::CatmullRom, scale);
    return shrinkTaps(from, to, to < from ? Kernel::Trapezoid : Kernel::CatmullRom, scale);
}

}  // namespace kelvarin
