#include "pixels/height_summary.h"

#include <charconv>
#include <cmath>

#include "pixels/height_report.h"

namespace kelvarin {

std::string shortNumberText(double value) {
    if (!std::isfinite(value)) return "?";
    if (value == 0) return "0";  // no "-0"
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6);
    return std::string(digits, written.ptr);
}

std::string verticalScaleText(const HeightSummary& heights) {
    const std::string unit = heights.unit.empty() ? "" : " " + heights.unit;
    return "One step is " + shortNumberText(heights.step()) + unit + "; the map spans " +
           shortNumberText(heights.used.high - heights.used.low) + unit + " from " + shortNumberText(heights.used.low) +
           unit + ".";
}

std::vector<std::pair<std::string, std::string>> heightWarningTexts(const HeightSummary& heights) {
    std::vector<std::pair<std::string, std::string>> warnings;
    if (heights.voids > 0) {
        warnings.emplace_back("voids", std::to_string(heights.voids) + " samples (" +
                                           percentText(heights.voids, heights.samples) +
                                           " %) are voids, written as 0 below the lowest height: fill them before "
                                           "building the terrain, or they show as holes.");
    }
    if (heights.clipped > 0) {
        warnings.emplace_back("clipped", std::to_string(heights.clipped) + " heights (" +
                                             percentText(heights.clipped, heights.samples) + " %) lay outside " +
                                             shortNumberText(heights.used.low) + " to " +
                                             shortNumberText(heights.used.high) +
                                             " and were clamped to 1 or 65535. Widen the height range.");
    }
    return warnings;
}

}  // namespace kelvarin
