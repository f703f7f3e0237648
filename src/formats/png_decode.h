// The parts of the PNG reader below the chunk walk: what the header says of the image, the row
// geometry of the interlace passes, the filters, and the samples of an unfiltered row in the
// decoded layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/byte_source.h"
#include "formats/source_format.h"

namespace kelvarin {

// What the chunks before the image data say, checked for consistency.
struct PngImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 8;       // bits a sample (a palette index for colour type 3)
    std::uint32_t colourType = 0;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    bool interlaced = false;
    std::vector<std::uint8_t> palette;  // RGB triples, colour type 3 only
    std::uint64_t firstIdat = 0;        // where the first IDAT chunk (its length field) begins

    std::uint32_t samplesPerPixel() const;  // as stored: 1 for a palette index
    // The bytes of one filtered row of `pixels` pixels, without its filter-type byte.
    std::uint64_t rowBytes(std::uint64_t pixels) const;
    // The bytes a filter reaches back: one pixel, at least one byte.
    std::size_t filterDistance() const;
    PixelLayout layout() const;
};

// One pass of the image: all of it without interlacing, one of Adam7's seven otherwise.
struct PngPass {
    std::uint32_t x0 = 0, y0 = 0, dx = 1, dy = 1;
    std::uint32_t width = 0, height = 0;  // its pixels; a pass with either 0 has no bytes at all
};

// The passes the image data holds, in order.
std::vector<PngPass> pngPasses(const PngImage& image);
// The bytes the whole image data inflates to: a filter-type byte and the filtered bytes of
// every row of every pass.
std::uint64_t pngInflatedBytes(const PngImage& image);

// Undoes filter `type` (0 to 4) on `row`, `bytes` long, given the unfiltered row above (all
// zeros for a pass's first row). False for a type beyond 4.
bool unfilterPngRow(std::uint8_t type, std::uint8_t* row, const std::uint8_t* above, std::size_t bytes,
                    std::size_t distance);

// The `pixels` pixels of an unfiltered row as the layout holds them: bit depths below 8 one
// sample a byte, 16-bit samples in the machine's order, palette indices as their RGB. Returns
// the first palette index beyond the palette, or -1 when there is none.
long expandPngRow(const PngImage& image, const std::uint8_t* row, std::size_t pixels, std::uint8_t* out);

// Decodes the rows from the image data that starts at image.firstIdat; the source outlives it.
std::unique_ptr<RowDecoder> makePngRowDecoder(ByteSource& source, PngImage image);

}  // namespace kelvarin
