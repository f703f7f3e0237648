// What the job and the readers know about the opened source.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "formats/grey_tiff_writer.h"
#include "formats/tiff_reader.h"
#include "job/job_request.h"

namespace kelvarin {

struct SourceImage {
    SourceKind kind = SourceKind::None;
    ByteOrder byteOrder = ByteOrder::MM;
    ByteOrder outputByteOrder = ByteOrder::MM;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t bitsPerSample = 16;
    std::uint32_t sampleFormat = 0;
    // Samples per pixel of a `Tif` source as its BitsPerSample entry counts them (3 or 1).
    std::uint32_t samplesPerPixel = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t outputDataBytes = 0;
    std::string pgmVariant;
    // BIN sources: the base value and the void marker of the text header, for the data step.
    std::int16_t binBase = 0;
    std::int16_t binVoidMarker = 0;
    // The value fields of the destination's greyscale TIFF header.
    GreyTiffFields destinationFields;
    // The pixel data of a TIFF source in file order; one entry for a single-strip file.
    std::vector<Strip> strips;

    // The first thing every job does: back to the state a job starts from, for `requested`.
    void reset(SourceKind requested);
};

// A non-TIFF source: read as little-endian and written "II" whatever the Swap option says, with
// the value fields of littleEndianFields (StripByteCounts = `dataBytes`).
void setLittleEndianDestination(SourceImage& image, std::uint32_t dataBytes);

}  // namespace kelvarin
