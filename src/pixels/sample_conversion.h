// Colour samples to 16-bit grey: the analysis passes and the block converters of a TIFF source.
// Each function works on a whole block of pixels; nothing here does I/O or allocates per pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/byte_order.h"
#include "base/conversion_options.h"

namespace kelvarin {

// The three sample layouts of an RGB source.
enum class SampleLayout { Rgb8, Rgb16, Rgb32, RgbFloat };

std::size_t bytesPerPixel(SampleLayout layout);

struct BlockFormat {
    SampleLayout layout = SampleLayout::Rgb16;
    ByteOrder sourceOrder = ByteOrder::II;
    ByteOrder outputOrder = ByteOrder::II;
    ColourWeighting weighting = ColourWeighting::Average;
};

// The weighting coefficients are the single-precision numbers nearest to the decimals.
inline constexpr float kTvGreen = 0.587f, kTvRed = 0.299f, kTvBlue = 0.114f;
inline constexpr float kHdGreen = 0.7152f, kHdRed = 0.2126f, kHdBlue = 0.0722f;

// The rounded grey of one integer pixel (samples as read: 8-bit ones already times 256).
// Round to nearest, ties to even; a 32-bit weighted sum above 4294967295 is held there.
std::uint32_t integerGrey(ColourWeighting weighting, std::uint32_t red, std::uint32_t green, std::uint32_t blue);
// The grey of one floating-point pixel, evaluated in extended precision and stored single.
float floatGrey(ColourWeighting weighting, float red, float green, float blue);

struct IntegerExtremes {
    std::uint32_t highestGrey = 0;
    std::uint32_t lowestGrey = 65535;
};

struct FloatExtremes {
    float highestValue;
    float lowestValue;
    // 8.1 to the power -37 and 3.1 to the power 38, from the single-precision 8.1 and 3.1.
    static FloatExtremes initial();
};

void analyseIntegerBlock(const BlockFormat& format, const std::uint8_t* data, std::size_t pixels,
                         IntegerExtremes& extremes);
void analyseFloatBlock(const BlockFormat& format, const std::uint8_t* data, std::size_t pixels,
                       FloatExtremes& extremes);

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
// so 24- and 48-bit pixels need only the weighting and a look-up.
class IntegerConverter {
public:
    IntegerConverter(const BlockFormat& format, const IntegerStretch& stretch);
    // Writes 2 bytes per pixel in the output byte order.
    void convertBlock(const std::uint8_t* data, std::size_t pixels, std::uint8_t* out) const;

private:
    BlockFormat format_;
    IntegerStretch stretch_;
    std::vector<std::uint16_t> table_;
};

inline void convertIntegerBlock(const IntegerConverter& converter, const std::uint8_t* data, std::size_t pixels,
                                std::uint8_t* out) {
    converter.convertBlock(data, pixels, out);
}

struct FloatToneMap {
    bool gamma = false;  // Boost or Posterise: the 0.625 curve; otherwise the linear stretch
    float lowestValue = 0;
    float dynamicRange = 0;
    double boostFactor = 0;
    std::uint32_t fStopMultiplier = 1;
    std::uint32_t posteriseStep = 0;
    bool invert = false;
};

// dynamicRange and the boost factor 65535 x (1 / dynamicRange) from the analysis.
FloatToneMap floatToneMap(const FloatExtremes& extremes);
// v raised to the power 0.625 (1 / 1.6 in single precision), stored single.
float gammaCurve(float v);
std::uint16_t floatPipeline(float grey, const FloatToneMap& map);

void convertFloatBlock(const BlockFormat& format, const FloatToneMap& map, const std::uint8_t* data,
                       std::size_t pixels, std::uint8_t* out);

// 65535 / posteriseSteps with the remainder dropped, 0 for none.
std::uint32_t posteriseStepFor(std::int32_t posteriseSteps);
std::uint32_t fStopMultiplierFor(const ConversionOptions& options);

}  // namespace kelvarin
