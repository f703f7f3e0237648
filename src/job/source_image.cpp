#include "job/source_image.h"

namespace kelvarin {

void SourceImage::reset(SourceKind requested) {
    *this = SourceImage{};
    kind = requested;
}

std::uint16_t SourceImage::fromTwoBytes(const std::uint8_t* b) const { return kelvarin::fromTwoBytes(byteOrder, b); }
std::uint32_t SourceImage::fromFourBytes(const std::uint8_t* b) const { return kelvarin::fromFourBytes(byteOrder, b); }

}  // namespace kelvarin
