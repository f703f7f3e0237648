// Integer TIFF samples to 16-bit grey: the contrast analysis, the stretch with the user's options,
// and the block converter. Nothing here does I/O or allocates per pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pixels/sample_layout.h"
#include "pixels/tone_parameters.h"
#include "pixels/weighting.h"

namespace kelvarin {

struct IntegerExtremes {
    std::uint32_t highestGrey = 0;
    std::uint32_t lowestGrey = 65535;
};

// Widens `extremes` to the greys of `pixels` pixels. With `greys` (only where greysFit16Bits),
// the greys are also written there, one a pixel, for IntegerConverter::convertGreys.
void analyseIntegerBlock(const BlockFormat& format, const std::uint8_t* data, std::size_t pixels,
                         IntegerExtremes& extremes, std::uint16_t* greys = nullptr);
// Whether the weighted greys of the format's samples fit 16 bits (all but 96-bit integer).
bool greysFit16Bits(const BlockFormat& format);

// What happens to an integer grey after weighting.
struct IntegerStretch {
    bool stretch = false;  // Boost or Posterise
    std::uint32_t lowestGrey = 0;
    double boostFactor = 1.0;
    std::uint32_t fStopMultiplier = 1;
    std::uint32_t posteriseStep = 0;  // 0: no posterising
    bool invert = false;
};

double integerBoostFactor(const IntegerExtremes& extremes);
// Stretch, posterise and invert one grey value; returns the 16-bit output sample.
std::uint16_t integerPipeline(std::uint32_t grey, const IntegerStretch& stretch);

// An integer converter for one job: the pipeline of every grey below 65536 is tabled once,
// so 24- and 48-bit pixels need only the weighting and a look-up. An image of fewer pixels than
// the table has entries gets no table: each pixel's grey goes through the pipeline itself.
class IntegerConverter {
public:
    IntegerConverter(const BlockFormat& format, const IntegerStretch& stretch, std::uint64_t imagePixels);
    // Writes one native 16-bit sample per pixel.
    void convertBlock(const std::uint8_t* data, std::size_t pixels, std::uint16_t* out) const;
    // The same samples from greys kept by analyseIntegerBlock.
    void convertGreys(const std::uint16_t* greys, std::size_t pixels, std::uint16_t* out) const;

private:
    BlockFormat format_;
    IntegerStretch stretch_;
    std::vector<std::uint16_t> table_;  // empty for a small image
};

}  // namespace kelvarin
