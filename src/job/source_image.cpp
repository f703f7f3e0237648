#include "job/source_image.h"

namespace kelvarin {

void SourceImage::reset(SourceKind requested) {
    *this = SourceImage{};
    kind = requested;
}

void setLittleEndianDestination(SourceImage& image, std::uint32_t dataBytes) {
    image.byteOrder = ByteOrder::II;
    image.outputByteOrder = ByteOrder::II;
    image.destinationFields = littleEndianFields(image.width, image.length, dataBytes);
}

}  // namespace kelvarin
