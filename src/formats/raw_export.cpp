#include "formats/raw_export.h"

namespace kelvarin {

bool tiffHoldsGreyscale16(std::uint32_t samplesPerPixel, std::uint32_t bitsPerSample) {
    return samplesPerPixel == 1 && bitsPerSample == 16;
}

Refusal notGreyscale16() {
    return {"TE>Raw exports 16-bit greyscale data only:\r\n"
            "a 16-bit one-sample TIF, a binary (P5) PGM or a RAW file.",
            "KELVARIN - File issue.",
            {">>> Not a 16-bit greyscale source for TE>Raw. STOP!"}};
}

}  // namespace kelvarin
