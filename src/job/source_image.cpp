#include "job/source_image.h"

namespace kelvarin {

void SourceImage::reset(SourceKind requested) {
    *this = SourceImage{};
    kind = requested;
}

std::uint16_t fromTwoBytes(ByteOrder order, const std::uint8_t* b) {
    return order == ByteOrder::II ? static_cast<std::uint16_t>(b[0] | (b[1] << 8))
                                  : static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

std::uint32_t fromFourBytes(ByteOrder order, const std::uint8_t* b) {
    const std::uint32_t first = fromTwoBytes(order, b);
    const std::uint32_t second = fromTwoBytes(order, b + 2);
    return order == ByteOrder::II ? first + 65536u * second : 65536u * first + second;
}

std::uint16_t SourceImage::fromTwoBytes(const std::uint8_t* b) const { return kelvarin::fromTwoBytes(byteOrder, b); }
std::uint32_t SourceImage::fromFourBytes(const std::uint8_t* b) const { return kelvarin::fromFourBytes(byteOrder, b); }

}  // namespace kelvarin
