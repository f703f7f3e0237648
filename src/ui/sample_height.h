// What a level of a written map stands for in the source's own units, where the report knows it:
// the heights of an elevation source (levels 1..65535 spread over the heights used, 0 a void),
// or the metres of one step the user gave for any other source (counted up from level 0, whose
// height the map does not say). Both preview windows show it in their readout.
#pragma once

#include <optional>
#include <string>

#include "pixels/height_report.h"

namespace kelvarin {

struct SampleHeight {
    enum class Kind { Height, AboveLevelZero, Void };
    Kind kind = Kind::Height;
    double value = 0;
    std::string unit;  // "m", or empty when the source does not say
};

// Nothing when the report knows no heights. A level may be a mean of several samples (the
// preview's cells), so it need not be whole.
std::optional<SampleHeight> sampleHeight(const HeightReport& report, double level);

// "height 1203.4 m", "2006.15 m above level 0", "a void"; empty when nothing is known.
std::string sampleHeightText(const HeightReport& report, double level);

}  // namespace kelvarin
