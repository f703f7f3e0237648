// Writing Radiance scanlines for the tests: the four-byte scanline header, the two packet kinds
// of the new run-length encoding, and an encoder that picks them the way common writers do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace kelvarin::test {

struct RgbePixel {
    std::uint8_t r, g, b, e;
};

// 2 2 and the width, high byte first.
void appendScanlineHeader(Bytes& out, std::uint32_t width);
// A run packet: 128 + count (1 to 127), then the repeated byte.
void appendRun(Bytes& out, std::uint32_t count, std::uint8_t value);
// A literal packet: the count (1 to 128), then the bytes themselves.
void appendLiteral(Bytes& out, const std::uint8_t* values, std::size_t count);

// One component of one row: runs of 3 or more equal bytes, literals otherwise.
void encodeComponent(const std::vector<std::uint8_t>& values, Bytes& out);
// The header text, then every row of `pixels` (width x length, row by row) encoded.
Bytes encodeRgbe(const std::string& header, std::uint32_t width, std::uint32_t length,
                 const std::vector<RgbePixel>& pixels);
// One row pixel by pixel, R G B E each, without runs (a flat row).
void appendFlatRow(Bytes& out, const std::vector<RgbePixel>& row);
// One row in the older run-length form: each pixel, and a repeat of the pixel before as 1 1 1 n
// pixels, the count's low byte first (each further one counts 256 times the one before).
void appendOldRleRow(Bytes& out, const std::vector<RgbePixel>& row);

// One scanline of a single colour: each component as runs of 127 and a last, shorter run.
Bytes uniformScanline(std::uint32_t width, RgbePixel colour);

}  // namespace kelvarin::test
