// The row geometry, the five filters and the sample expansion of PNG image data.
#include <bit>
#include <cstdlib>
#include <cstring>

#include "formats/png_decode.h"

namespace kelvarin {

std::uint32_t PngImage::samplesPerPixel() const {
    switch (colourType) {
        case 2: return 3;
        case 4: return 2;
        case 6: return 4;
        default: return 1;  // grey, palette index
    }
}

std::uint64_t PngImage::rowBytes(std::uint64_t pixels) const {
    return (pixels * samplesPerPixel() * depth + 7) / 8;
}

std::size_t PngImage::filterDistance() const {
    const std::size_t bits = static_cast<std::size_t>(samplesPerPixel()) * depth;
    return bits < 8 ? 1 : bits / 8;
}

PixelLayout PngImage::layout() const {
    PixelLayout layout;
    layout.type = SampleType::Unsigned;
    if (colourType == 3) {
        layout.channels = 3;
        layout.alpha = false;
        layout.bits = 8;
        layout.maxValue = 255;
        return layout;
    }
    layout.channels = samplesPerPixel();
    layout.alpha = colourType == 4 || colourType == 6;
    layout.bits = depth == 16 ? 16 : 8;
    layout.maxValue = (std::uint64_t{1} << depth) - 1;
    return layout;
}

std::vector<PngPass> pngPasses(const PngImage& image) {
    static constexpr std::uint32_t kAdam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                                   {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    if (!image.interlaced) return {PngPass{0, 0, 1, 1, image.width, image.height}};
    std::vector<PngPass> passes;
    for (const auto& p : kAdam7) {
        PngPass pass{p[0], p[1], p[2], p[3], 0, 0};
        if (image.width > pass.x0) pass.width = (image.width - pass.x0 + pass.dx - 1) / pass.dx;
        if (image.height > pass.y0) pass.height = (image.height - pass.y0 + pass.dy - 1) / pass.dy;
        passes.push_back(pass);
    }
    return passes;
}

std::uint64_t pngInflatedBytes(const PngImage& image) {
    std::uint64_t total = 0;
    for (const PngPass& pass : pngPasses(image))
        if (pass.width > 0 && pass.height > 0) total += pass.height * (1 + image.rowBytes(pass.width));
    return total;
}

namespace {

inline std::uint8_t paeth(int a, int b, int c) {
    const int pa = std::abs(b - c);
    const int pb = std::abs(a - c);
    const int pc = std::abs(a + b - 2 * c);
    if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
    return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

}  // namespace

namespace {

// The filters that reach back to the pixel on the left, for a pixel of D bytes. The pixel on the
// left (and the one above it) stay in locals: reading them back from the row just written would
// chain every byte to a store, several times slower. A row is always whole pixels of D bytes.
template <int Type, std::size_t D>
void unfilterLeft(std::uint8_t* row, const std::uint8_t* above, std::size_t bytes) {
    std::uint8_t left[D] = {}, upLeft[D] = {};
    for (std::size_t i = 0; i < bytes; i += D) {
        for (std::size_t k = 0; k < D; ++k) {
            const std::uint8_t up = above[i + k];
            std::uint8_t predicted;
            if constexpr (Type == 1) {
                predicted = left[k];
            } else if constexpr (Type == 3) {
                predicted = static_cast<std::uint8_t>((left[k] + up) >> 1);
            } else {
                predicted = paeth(left[k], up, upLeft[k]);
            }
            left[k] = row[i + k] = static_cast<std::uint8_t>(row[i + k] + predicted);
            upLeft[k] = up;
        }
    }
}

template <std::size_t D>
void unfilterLeft(std::uint8_t type, std::uint8_t* row, const std::uint8_t* above, std::size_t bytes) {
    if (type == 1) {
        unfilterLeft<1, D>(row, above, bytes);
    } else if (type == 3) {
        unfilterLeft<3, D>(row, above, bytes);
    } else {
        unfilterLeft<4, D>(row, above, bytes);
    }
}

}  // namespace

bool unfilterPngRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* above, std::size_t bytes,
                    std::size_t distance) {
    if (type > 4) return false;
    if (type == 0) return true;
    if (type == 2) {
        for (std::size_t i = 0; i < bytes; ++i) row[i] = static_cast<std::uint8_t>(row[i] + above[i]);
        return true;
    }
    switch (distance) {
        case 1: unfilterLeft<1>(type, row, above, bytes); break;
        case 2: unfilterLeft<2>(type, row, above, bytes); break;
        case 3: unfilterLeft<3>(type, row, above, bytes); break;
        case 4: unfilterLeft<4>(type, row, above, bytes); break;
        case 6: unfilterLeft<6>(type, row, above, bytes); break;
        default: unfilterLeft<8>(type, row, above, bytes); break;
    }
    return true;
}

namespace {

// Samples of fewer than 8 bits, packed from the high bits of each byte down, one a byte.
template <unsigned Depth>
void unpackSamples(const std::uint8_t* row, std::size_t count, std::uint8_t* out) {
    constexpr unsigned perByte = 8 / Depth;
    constexpr unsigned mask = (1u << Depth) - 1;
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned shift = 8 - Depth - static_cast<unsigned>(i % perByte) * Depth;
        out[i] = static_cast<std::uint8_t>((row[i / perByte] >> shift) & mask);
    }
}

void unpackAny(unsigned depth, const std::uint8_t* row, std::size_t count, std::uint8_t* out) {
    switch (depth) {
        case 1: unpackSamples<1>(row, count, out); break;
        case 2: unpackSamples<2>(row, count, out); break;
        case 4: unpackSamples<4>(row, count, out); break;
        default: std::memcpy(out, row, count); break;
    }
}

}  // namespace

long expandPngRow(const PngImage& image, const std::uint8_t* row, std::size_t pixels, std::uint8_t* out) {
    const std::size_t samples = pixels * image.samplesPerPixel();
    if (image.colourType == 3) {
        // The indices go to the end of the output first, then each becomes its three bytes from
        // the front, never overtaking the indices still to read.
        std::uint8_t* indices = out + 2 * pixels;
        unpackAny(image.depth, row, pixels, indices);
        const std::size_t entries = image.palette.size() / 3;
        const std::uint8_t* palette = image.palette.data();
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::uint8_t index = indices[i];
            if (index >= entries) return index;
            const std::uint8_t* rgb = palette + 3 * std::size_t{index};
            out[3 * i] = rgb[0];
            out[3 * i + 1] = rgb[1];
            out[3 * i + 2] = rgb[2];
        }
        return -1;
    }
    if (image.depth < 16) {
        unpackAny(image.depth, row, samples, out);
        return -1;
    }
    if constexpr (std::endian::native == std::endian::big) {
        std::memcpy(out, row, 2 * samples);
    } else {
        for (std::size_t i = 0; i < samples; ++i) {
            out[2 * i] = row[2 * i + 1];
            out[2 * i + 1] = row[2 * i];
        }
    }
    return -1;
}

}  // namespace kelvarin
