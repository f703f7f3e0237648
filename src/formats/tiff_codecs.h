// The compressions and predictors of TIFF strips and tiles: LZW, PackBits and Deflate, and the
// horizontal and floating-point predictors undone row by row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/inflate.h"

namespace kelvarin {

enum class CodecStatus {
    Ok,     // the output is full (input left over is ignored) or the data ended where it should
    Short,  // the data ended before the output was full; `produced` says how far it got
    Bad,    // the data is not valid for the compression
    NoMemory,  // the decoder had no memory for its own tables
};

// Each decodes `in[0, size)` into `out`, stopping when `room` bytes are there: a strip never
// inflates past what its rows hold.
CodecStatus decodePackBits(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room,
                           std::size_t& produced);
// TIFF's LZW, codes read most significant bit first (the only order written since TIFF 6.0).
CodecStatus decodeLzw(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room,
                      std::size_t& produced);
// The old LZW of early writers begins with a clear code stored least significant bit first.
bool isOldStyleLzw(const std::uint8_t* in, std::size_t size);

// zlib streams (Compression 8 and 32946); one inflater reused for every strip of an image.
class Inflater {
public:
    CodecStatus decode(const std::uint8_t* in, std::size_t size, std::uint8_t* out, std::size_t room,
                       std::size_t& produced);

private:
    Inflate inflate_;
};

// Predictor 2 on one row of native-order samples, `samples` a pixel, each 1, 2, 4 or 8 bytes.
void undoHorizontalPredictor(std::uint8_t* row, std::size_t pixels, std::size_t samples, std::size_t bytes);
// Predictor 3 on one row: the bytes of the row's samples stand in planes, most significant first,
// differenced byte by byte. Leaves native-order samples; `scratch` holds the row's bytes.
void undoFloatPredictor(std::uint8_t* row, std::size_t pixels, std::size_t samples, std::size_t bytes,
                        std::uint8_t* scratch);

// Exchanges the bytes of each `bytes`-wide value in place (file order to native order).
void swapSampleBytes(std::uint8_t* data, std::size_t count, std::size_t bytes);
bool nativeIsBigEndian();

}  // namespace kelvarin
