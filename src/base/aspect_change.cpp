#include "base/aspect_change.h"

#include <cmath>
#include <cstdint>

namespace kelvarin {

namespace {

// Hundredths, with the decimal point written by hand: no locale decides it.
std::string twoDecimals(double value) {
    const auto hundredths = static_cast<std::int64_t>(std::llround(value * 100.0));
    const std::int64_t fraction = hundredths % 100;
    return std::to_string(hundredths / 100) + "." + (fraction < 10 ? "0" : "") + std::to_string(fraction);
}

}  // namespace

std::string aspectText(ImageSize size) {
    if (size.width == size.height) return "1:1";
    if (size.width > size.height) return twoDecimals(static_cast<double>(size.width) / size.height) + ":1";
    return "1:" + twoDecimals(static_cast<double>(size.height) / size.width);
}

std::optional<std::string> aspectChange(ImageSize from, ImageSize to) {
    if (from.width == 0 || from.height == 0 || to.width == 0 || to.height == 0) return std::nullopt;
    const double before = static_cast<double>(from.width) / from.height;
    const double after = static_cast<double>(to.width) / to.height;
    if (std::abs(after - before) <= 0.01 * before) return std::nullopt;
    return "Aspect changed from " + aspectText(from) + " to " + aspectText(to) + ".";
}

}  // namespace kelvarin
