// R16, the height map format of terrain tools and game engines: the bare 16-bit samples, rows
// top first, no header (the reader must know the size). Little-endian unless told otherwise.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "formats/byte_sink.h"

namespace kelvarin {

class R16Writer {
public:
    R16Writer(ByteSink& sink, bool bigEndian) : sink_(sink), bigEndian_(bigEndian) {}

    // One row (or any run of whole rows) of native samples. False once a write has failed.
    bool writeRow(std::span<const std::uint16_t> samples);

private:
    ByteSink& sink_;
    bool bigEndian_;
    bool failed_ = false;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace kelvarin
