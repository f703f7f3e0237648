// A PNG encoder (W3C PNG, second edition): the signature, IHDR, the image as IDAT chunks and
// IEND. Rows come in one at a time, top first, and leave compressed as they come: memory holds
// a few rows and zlib's state, never the image. zlib deflates and computes the CRCs; the chunks
// are framed here. Grey or RGB, 8 or 16 bits per sample, not interlaced.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/byte_sink.h"

namespace kelvarin {

enum class PngColour : std::uint8_t { Grey = 0, Rgb = 2 };  // the IHDR colour types

struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitDepth = 16;  // 8 or 16
    PngColour colour = PngColour::Grey;
};

class PngWriter {
public:
    // Nothing is written until the first row (or finish()).
    PngWriter(ByteSink& sink, const PngHeader& header);
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // Whether the header can be written at all: width and height 1 to 2^31 - 1, bit depth 8 or
    // 16. A writer with another header fails every call.
    static bool valid(const PngHeader& header);

    // One row of a 16-bit image: width x channels native samples (written big-endian, as PNG
    // stores them).
    bool writeRow(std::span<const std::uint16_t> samples);
    // One row of an 8-bit image: width x channels bytes.
    bool writeRow(std::span<const std::uint8_t> samples);
    // The rest of the compressed data and IEND. False unless every row was written and every
    // byte reached the sink. Once a call has failed, every later one fails too.
    bool finish();

private:
    struct Deflate;
    bool fail();
    bool start();
    bool compressRow();
    bool pump(int flush);
    bool writeChunk(const char type[4], const std::uint8_t* data, std::size_t size);

    ByteSink& sink_;
    PngHeader header_;
    std::size_t rowBytes_ = 0;  // without the filter byte
    std::uint32_t rowsWritten_ = 0;
    bool started_ = false;
    bool failed_ = false;
    std::unique_ptr<Deflate> deflate_;
    // The row's bytes and those of the row above it (zeros above the first row), and the row
    // filtered, behind its filter-type byte.
    std::vector<std::uint8_t> row_, previous_;
    std::vector<std::uint8_t> filtered_;
};

}  // namespace kelvarin
