// Small valid sources of every kind the job reads, built byte by byte, for the truncation sweeps,
// the hostile-input tables and the allocation bounds. Each builder also tells where the parts
// of its file lie, so a test can damage one field on purpose.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "support/test_files.h"

namespace kelvarin::test {

struct TiffLayout {
    bool intel = true;
    std::uint32_t bits = 16;  // per colour sample: 8, 16 or 32; 16 with samples 1 is a greyscale TIFF
    bool floating = false;    // 32-bit IEEE samples (SampleFormat 3)
    std::uint32_t samples = 3;
    std::uint32_t width = 4;
    std::uint32_t length = 3;
    std::uint32_t rowsPerStrip = 0;  // 0: one strip
};

// Where the fields of a built TIFF sit, for tests that overwrite them.
struct TiffPlaces {
    std::size_t ifd = 0;                           // offset of the entry count
    std::map<std::uint16_t, std::size_t> entries;  // offset of each entry by tag
    std::size_t dataOffset = 0;                    // first pixel byte
    std::size_t stripOffsetsArray = 0;             // multi-strip files: the two arrays
    std::size_t stripByteCountsArray = 0;
};

// An uncompressed chunky RGB (or one-sample) TIFF in the layout Bryce writes: header, IFD at 8,
// the value arrays behind the IFD, the pixel data last.
Bytes buildTiff(const TiffLayout& layout, TiffPlaces* places = nullptr);

// Writes a 2- or 4-byte number into a built file in the file's byte order.
void putTiff16(Bytes& file, std::size_t at, std::uint32_t value);
void putTiff32(Bytes& file, std::size_t at, std::uint32_t value);

// A Radiance file with the new run-length encoding: runs and literal packets in every scanline.
// `width` must be at least 256 for the encoding to be valid.
Bytes buildRadiance(std::uint32_t width, std::uint32_t length);
// The number of header bytes before the first scanline of buildRadiance's file.
std::size_t radianceHeaderBytes(std::uint32_t width, std::uint32_t length);

// 16-bit PGM. P2 text ends with a single-digit sample, so a cut inside the data never yields
// another valid file with all its samples.
Bytes buildPgm(bool plain, std::uint32_t width, std::uint32_t length);

// A square RAW terrain export of side x side 16-bit samples.
Bytes buildRaw(std::uint32_t side);

// A 3DEM BIN pair: the text header of 13 lines and the signed samples.
struct BinPair {
    std::string header;
    Bytes data;
};
BinPair buildBin(std::uint32_t rows, std::uint32_t columns);
std::string binHeader(const std::string& rows, const std::string& columns, const std::string& base = "-120",
                      const std::string& voidMarker = "-32768");

}  // namespace kelvarin::test
