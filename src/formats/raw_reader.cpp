#include "formats/raw_reader.h"

#include <cmath>

#include "base/number_text.h"
#include "formats/height_data.h"

namespace kelvarin {

std::uint64_t squareSideForRawSize(std::uint64_t size) {
    if (size == 0 || size % 2 != 0) return 0;
    const std::uint64_t samples = size / 2;
    auto side = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(samples)));
    while (side > 0 && side * side > samples) --side;
    while ((side + 1) * (side + 1) <= samples) ++side;
    return side * side == samples ? side : 0;
}

RawHeader readRawHeader(std::uint64_t size) {
    RawHeader header;
    ReaderReport& report = header.report;
    report.say("Deriving size from RAW file");
    const std::string sizeLine = "ImgSize: " + numberText(static_cast<std::int64_t>(size));
    const std::uint64_t side = squareSideForRawSize(size);
    if (side == 0) {
        report.refuse({size == 0 ? "The RAW file is empty." : "The RAW file size is not that of a square 16-bit image.",
                       "KELVARIN - RAW.", {sizeLine, ">>> Cannot handle this file. STOP!"}});
        return header;
    }
    if (side > static_cast<std::uint64_t>(kMaxSide) || size > kMaxOutputDataBytes) {
        report.refuse({"The RAW image is too large for a 16-bit TIFF of one strip.", "KELVARIN - RAW.",
                       {sizeLine, ">>> Cannot handle this file. STOP!"}});
        return header;
    }
    header.side = static_cast<std::uint32_t>(side);
    header.dataBytes = static_cast<std::uint32_t>(size);
    report.say("Width: " + numberText(header.side));
    report.say("Length: " + numberText(header.side));
    report.say(sizeLine);
    return header;
}

}  // namespace kelvarin
