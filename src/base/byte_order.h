// Byte order of TIFF files and of the samples we write, and the helpers that read and build
// numbers in either order.
#pragma once

#include <array>
#include <cstdint>

namespace kelvarin {

// "II" is little-endian, "MM" big-endian, as in the TIFF header.
enum class ByteOrder { II, MM };

// A TIFF entry's 4-byte value field, exactly as it stands in a file.
using Field4 = std::array<std::uint8_t, 4>;

std::uint16_t fromTwoBytes(ByteOrder order, const std::uint8_t* b);
std::uint32_t fromFourBytes(ByteOrder order, const std::uint8_t* b);

Field4 toFourBytes(std::uint32_t value, ByteOrder order);
// A SHORT value field in the other byte order: its two bytes exchanged, the padding kept 0.
Field4 swapShortField(const Field4& field);
Field4 reverseFourBytes(const Field4& field);

}  // namespace kelvarin
