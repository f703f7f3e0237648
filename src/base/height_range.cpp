#include "base/height_range.h"

#include <charconv>
#include <cmath>

namespace kelvarin {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool finiteNumber(std::string_view text, double& value) {
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.front() == '+') return false;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size() && std::isfinite(value);
}

std::string shortest(double value) {
    char digits[32];
    const auto written = std::to_chars(digits, digits + sizeof digits, value == 0 ? 0.0 : value);
    return std::string(digits, written.ptr);
}

}  // namespace

HeightRangeParse parseHeightRange(std::string_view text) {
    HeightRangeParse result;
    const std::size_t colon = text.find(':');
    HeightRange range;
    if (colon == std::string_view::npos || !finiteNumber(text.substr(0, colon), range.low) ||
        !finiteNumber(text.substr(colon + 1), range.high)) {
        result.refusal = "A height range is two numbers, LO:HI, such as -120:4810.5.";
        return result;
    }
    if (!(range.low < range.high)) {
        result.refusal = "The lowest height must be below the highest.";
        return result;
    }
    result.range = range;
    return result;
}

std::string heightRangeText(HeightRange range) { return shortest(range.low) + ":" + shortest(range.high); }

}  // namespace kelvarin
