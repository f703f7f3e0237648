// The fixed 302-byte header of every 16-bit greyscale TIFF we write.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/byte_order.h"

namespace kelvarin {

inline constexpr std::size_t kGreyTiffHeaderSize = 302;
using GreyTiffHeader = std::array<std::uint8_t, kGreyTiffHeaderSize>;

// Exactly 47 characters; a NUL follows in the header.
extern const char kSoftwareText[48];

struct GreyTiffFields {
    Field4 imageWidth{};
    Field4 imageLength{};
    Field4 rowsPerStrip{};
    Field4 stripByteCounts{};
};

// `dateTime` is the 19-character "YYYY:MM:DD HH:MM:SS" text.
GreyTiffHeader buildGreyTiffHeader(ByteOrder order, const GreyTiffFields& fields, const std::string& dateTime);

// The value fields of a non-TIFF source (and of terrain tiles): width, length, length again and
// the data size, each a 32-bit little-endian number.
GreyTiffFields littleEndianFields(std::uint32_t width, std::uint32_t length, std::uint32_t dataBytes);

// The value fields of an image of width x length samples in `order`: the SHORT width, length and
// RowsPerStrip left-justified in their fields, the LONG byte count of the one strip. Nothing
// when its samples do not fit in one strip of a 32-bit file.
std::optional<GreyTiffFields> greyTiffFields(ByteOrder order, std::uint32_t width, std::uint32_t length);

}  // namespace kelvarin
