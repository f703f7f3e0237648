// The header of a TIFF source: the file header and the first image file directory (TIFF 6.0,
// section 2), read entry by entry with a log line for each.
#pragma once

#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "formats/byte_source.h"
#include "formats/grey_tiff_writer.h"
#include "formats/reader_report.h"

namespace kelvarin {

// One strip of TIFF pixel data as the IFD places it.
struct Strip {
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
};

struct TiffReadSettings {
    ByteOrder order = ByteOrder::II;        // the source's, from its first two bytes
    ByteOrder outputOrder = ByteOrder::II;  // the destination's
    bool teRaw = false;                     // TE>Raw: a one-sample 16-bit file is accepted too
    bool swapsBytes() const { return order != outputOrder; }
};

struct TiffHeader {
    ReaderReport report;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t bitsPerSample = 16;
    std::uint32_t sampleFormat = 0;
    // As the BitsPerSample entry counts them: 3, or 1 in the TE>Raw mode (more when
    // SamplesPerPixel says so).
    std::uint32_t samplesPerPixel = 0;
    // RowsPerStrip as the file gives it, the length where it gives none or a useless one.
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t dataOffset = 0;  // the first strip's
    std::uint32_t outputDataBytes = 0;
    // The pixel data in file order; the header has checked that they lie inside the file and
    // hold the whole image.
    std::vector<Strip> strips;
    // The destination's value fields for the greyscale TIFF header, in its byte order.
    GreyTiffFields destination;
};

// Reads from offset 2 on (the byte-order letters have been read). A refused file has its
// reason in report.refusal; the other fields are then incomplete.
TiffHeader readTiffHeader(ByteSource& source, const TiffReadSettings& settings);

}  // namespace kelvarin
