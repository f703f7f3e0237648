// The header of a single-part OpenEXR file, walked attribute by attribute before any pixel is
// decoded: what the file holds (channels, compression, tiles, data window) and whether its size
// can back the image it claims.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "formats/byte_source.h"
#include "formats/reader_report.h"

namespace kelvarin {

// The header has to end within this many bytes (a large preview image still fits).
inline constexpr std::uint64_t kExrHeaderLimit = 4u << 20;

enum class ExrPixelType : std::int32_t { Uint = 0, Half = 1, Float = 2 };

enum class ExrLevels : std::uint8_t { One = 0, Mipmap = 1, Ripmap = 2 };

struct ExrChannel {
    std::string name;
    ExrPixelType type = ExrPixelType::Half;
    std::int32_t xSampling = 1, ySampling = 1;
};

struct ExrHeader {
    ReaderReport report;
    std::vector<ExrChannel> channels;  // in the file's (alphabetical) order
    std::uint8_t compression = 0;
    bool tiled = false;
    std::uint32_t tileWidth = 0, tileHeight = 0;
    ExrLevels levels = ExrLevels::One;
    bool roundUp = false;  // level sizes rounded up rather than down
    std::int32_t xMin = 0, yMin = 0;
    std::uint32_t width = 0, length = 0;  // of the data window, which is the image
    std::uint64_t headerEnd = 0;          // where the offset table begins
    std::uint64_t chunks = 0;             // entries in the offset table
    std::uint64_t pixelBytes = 0;         // every channel of every level, as decoded
    // Tiled files: the tiles across and down of level (x, y) at [y * xLevels + x].
    std::uint32_t xLevels = 0, yLevels = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> levelTiles;
};

// Whether every tile chunk the offset table points to lies in the file and names a tile of one of
// the levels: tinyexr places a tile by the numbers in its chunk without checking them.
bool exrTileChunksValid(std::span<const std::uint8_t> file, const ExrHeader& header);

// Whether every scanline chunk the offset table points to lies in the file and begins a block of
// the image's rows, each block once: tinyexr places a block by the row in its chunk, and a row
// that no chunk names would be left unwritten.
bool exrScanlineChunksValid(std::span<const std::uint8_t> file, const ExrHeader& header);

// Reads and judges the header. A refused file has its reason in report.refusal.
ExrHeader readExrHeader(ByteSource& source);

// "none", "RLE", "ZIPS", "ZIP", "PIZ", "PXR24", "B44", "B44A", "DWAA", "DWAB"; "" beyond.
std::string exrCompressionName(std::uint8_t compression);

// How many times its stored size a chunk of this compression can at most decode to: deflate's
// limit for the zlib ones (PIZ's Huffman runs stay below it), 64 for runs of 128 bytes stored as 2.
std::uint64_t exrLargestRatio(std::uint8_t compression);

}  // namespace kelvarin
