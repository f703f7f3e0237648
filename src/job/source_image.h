// What the job and the readers know about the opened source.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "job/job_request.h"

namespace kelvarin {

// One strip of TIFF pixel data as the IFD places it.
struct Strip {
    std::uint64_t offset = 0;
    std::uint64_t bytes = 0;
};

struct SourceImage {
    SourceKind kind = SourceKind::None;
    ByteOrder byteOrder = ByteOrder::MM;
    ByteOrder outputByteOrder = ByteOrder::MM;
    bool swapBytes = false;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t bitsPerSample = 16;
    std::uint32_t sampleFormat = 0;
    // Samples per pixel of a `Tif` source as its BitsPerSample entry counts them (3 or 1).
    std::uint32_t samplesPerPixel = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t rowsPerStrip = 0;
    std::uint32_t stripByteCounts = 0;
    std::uint32_t outputDataBytes = 0;
    std::string pgmVariant;
    std::int32_t pgmMaxValue = 0;
    // BIN sources: the base value and the void marker of the text header, for the data step.
    std::int16_t binBase = 0;
    std::int16_t binVoidMarker = 0;
    Field4 imageWidthField{};
    Field4 imageLengthField{};
    Field4 rowsPerStripField{};
    Field4 stripByteCountsField{};
    // The pixel data of a TIFF source in file order; one entry for a single-strip file.
    std::vector<Strip> strips;

    // Stage 1 of a job: back to the state every job starts from.
    void reset(SourceKind requested);

    std::uint16_t fromTwoBytes(const std::uint8_t* b) const;
    std::uint32_t fromFourBytes(const std::uint8_t* b) const;
};

}  // namespace kelvarin
