// Reference formulas the tests compare the converters with, written straight from the rules:
// extended precision, the single-precision coefficients, the terms summed green, red, blue.
// Each is written once here and shared by every test that needs it.
#pragma once

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/conversion_options.h"

namespace kelvarin::test {

inline long double referenceWeightedSum(ColourWeighting w, long double r, long double g, long double b) {
    switch (w) {
        case ColourWeighting::Average: return (g + r + b) / 3;
        case ColourWeighting::TV:
            return static_cast<long double>(0.587f) * g + static_cast<long double>(0.299f) * r +
                   static_cast<long double>(0.114f) * b;
        case ColourWeighting::HDTV:
            return static_cast<long double>(0.7152f) * g + static_cast<long double>(0.2126f) * r +
                   static_cast<long double>(0.0722f) * b;
        case ColourWeighting::Red: return r;
        case ColourWeighting::Green: return g;
        case ColourWeighting::Blue: return b;
    }
    return 0;
}

// An integer grey: the weighted sum rounded to nearest (ties to even), at most 2^32 - 1.
inline std::uint32_t referenceIntegerGrey(ColourWeighting w, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    const long double sum = referenceWeightedSum(w, r, g, b);
    return static_cast<std::uint32_t>(std::min(std::nearbyint(sum), 4294967295.0L));
}

// The grey of one RGBE pixel: each colour in single precision first, then the weighting.
inline float referenceRgbeGrey(ColourWeighting w, int r, int g, int b, int e) {
    const long double f = std::pow(2.0L, static_cast<long double>(e - 128));
    const float red = static_cast<float>(f * (r + 0.5L) / 256.0L);
    const float green = static_cast<float>(f * (g + 0.5L) / 256.0L);
    const float blue = static_cast<float>(f * (b + 0.5L) / 256.0L);
    return static_cast<float>(referenceWeightedSum(w, red, green, blue));
}

// What the float pipeline applies to a grey value after the extremes are known.
struct ReferenceTone {
    bool gamma = false;      // the 1/1.6 curve (contrast boost or posterise)
    std::uint32_t fStop = 1;  // 1, 2, 4 or 8
    std::uint32_t step = 0;   // posterise step, 0 for none
    bool invert = false;
};

// One float grey to a 16-bit sample, step by step: extended-precision arithmetic, each
// intermediate result kept in single precision as the converters keep it.
inline std::uint16_t referenceToneSample(float grey, float highest, float lowest, const ReferenceTone& o) {
    using L = long double;
    const float range = static_cast<float>(static_cast<L>(highest) - lowest);
    const double boost = static_cast<double>(65535.0L * (1.0L / range));
    const float shifted = static_cast<float>(static_cast<L>(grey) - lowest);
    float out;
    if (o.gamma) {
        const float t = static_cast<float>(static_cast<L>(shifted) / range);
        const float curve = static_cast<float>(std::pow(static_cast<L>(t), static_cast<L>(0.625f)));
        out = static_cast<float>(65535.0L * curve * o.fStop);
    } else {
        out = static_cast<float>(static_cast<L>(boost) * shifted * o.fStop);
    }
    if (!(out <= 65535.0f)) out = 65535.0f;
    if (!(out >= 0.0f)) out = 0.0f;  // only an image without ordinary values gets here
    if (o.step != 0) {
        const auto n = static_cast<std::uint32_t>(std::nearbyint(out));
        out = static_cast<float>(std::min<std::uint32_t>(n / o.step * o.step, 65535u));
    }
    if (o.invert) out = static_cast<float>(65535.0L - out);
    return static_cast<std::uint16_t>(std::nearbyint(out));
}

// Terrain tiles. Output (r, c) of a halving comes from the block (2r, 2c), (2r+1, 2c),
// (2r+1, 2c+1), (2r, 2c+1) of the n x n input: its largest value or its truncated average.
inline std::vector<std::uint16_t> referenceReduce(const std::vector<std::uint16_t>& in, std::size_t n, bool maximum) {
    std::vector<std::uint16_t> out((n / 2) * (n / 2));
    for (std::size_t r = 0; r < n / 2; ++r)
        for (std::size_t c = 0; c < n / 2; ++c) {
            const unsigned block[4] = {in[2 * r * n + 2 * c], in[(2 * r + 1) * n + 2 * c],
                                       in[(2 * r + 1) * n + 2 * c + 1], in[2 * r * n + 2 * c + 1]};
            unsigned value = 0;
            if (maximum) {
                for (unsigned v : block) value = std::max(value, v);
            } else {
                value = (block[0] + block[1] + block[2] + block[3]) / 4;
            }
            out[r * (n / 2) + c] = static_cast<std::uint16_t>(value);
        }
    return out;
}

// A tile of a four-file set: the truncated mean of its file and the halved larger file.
inline std::vector<std::uint16_t> referenceMerge(const std::vector<std::uint16_t>& file,
                                                 const std::vector<std::uint16_t>& reduced) {
    std::vector<std::uint16_t> out(file.size());
    for (std::size_t i = 0; i < file.size(); ++i)
        out[i] = static_cast<std::uint16_t>((unsigned{file[i]} + reduced[i]) / 2);
    return out;
}

// A case name as GoogleTest accepts it in a parameterised test's name.
inline std::string testNameFrom(std::string name) {
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

}  // namespace kelvarin::test
