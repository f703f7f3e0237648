#include "support/synthetic_report.h"

#include <cmath>
#include <vector>

namespace kelvarin::test {

std::uint16_t syntheticHeight(std::uint32_t x, std::uint32_t y) {
    const double u = x / 640.0, v = y / 400.0;
    const auto hill = [](double du, double dv, double width) { return std::exp(-(du * du + dv * dv) / width); };
    const double height = 0.9 * hill(u - 0.3, v - 0.4, 0.03) + 0.7 * hill(u - 0.7, v - 0.6, 0.05) +
                          0.08 * std::sin(u * 25) * std::cos(v * 17) + 0.02;
    const double level = std::floor(std::fmin(std::fmax(height, 0.0), 1.0) * 255.0);  // 8-bit render
    return static_cast<std::uint16_t>(level * 257);
}

FinishedReport syntheticReport(const std::string& output) {
    ReportFeed feed(kSyntheticWidth, kSyntheticLength);
    std::vector<std::uint16_t> row(kSyntheticWidth);
    for (std::uint32_t y = 0; y < kSyntheticLength; ++y) {
        for (std::uint32_t x = 0; x < kSyntheticWidth; ++x) row[x] = syntheticHeight(x, y);
        feed.add(row);
    }
    return feed.finish(output, {"TIFF", 8, SourceSampleFormat::UnsignedInteger, std::nullopt, std::nullopt});
}

}  // namespace kelvarin::test
