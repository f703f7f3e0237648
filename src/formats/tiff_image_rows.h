// How the general TIFF reader's rows are stored in the file, as its header reader has checked
// them, and the row decoder that reads them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/pixel_layout.h"
#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin {

enum class TiffCompression : std::uint16_t { None = 1, Lzw = 5, Deflate = 8, AdobeDeflate = 32946, PackBits = 32773 };

struct TiffStorage {
    bool bigEndian = false;
    std::uint32_t width = 0, length = 0;
    std::uint32_t samples = 1;  // SamplesPerPixel
    std::uint32_t bits = 8;     // BitsPerSample of every sample
    SampleType type = SampleType::Unsigned;
    bool whiteIsZero = false;
    bool palette = false;
    std::vector<std::uint16_t> colourMap;  // palette: all reds, then greens, then blues
    TiffCompression compression = TiffCompression::None;
    std::uint16_t predictor = 1;  // 1 none, 2 horizontal, 3 floating point
    bool separatePlanes = false;
    bool tiled = false;
    // A chunk is a tile, or a strip as wide as the image and RowsPerStrip tall.
    std::uint32_t chunkWidth = 0, chunkLength = 0;
    std::uint32_t across = 1, down = 1;
    // Per chunk, planes after one another when separate; every one inside the file.
    std::vector<std::uint64_t> offsets, byteCounts;
    PixelLayout layout;  // what the rows decode to

    std::uint32_t chunkSamples() const { return separatePlanes ? 1 : samples; }
    std::uint64_t chunkRowBytes() const { return (std::uint64_t{chunkWidth} * chunkSamples() * bits + 7) / 8; }
    // The planes that are decoded: with separate planes, those of the kept channels only.
    std::uint32_t decodedPlanes() const;
    // How many bytes one byte of compressed data can become at most.
    std::uint64_t maximumRatio() const;
    const char* chunkName() const { return tiled ? "Tile" : "Strip"; }
};

std::unique_ptr<RowDecoder> makeTiffRowDecoder(ByteSource& source, TiffStorage storage);

}  // namespace kelvarin
