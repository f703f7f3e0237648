// A report on a made-up height map for the preview window's checks: hills stored in 8-bit levels
// (terraces) with a lake cut off at 0 (clipped), 640 x 400, so both kinds of warning show.
#pragma once

#include "pixels/height_report.h"

namespace kelvarin::test {

inline constexpr std::uint32_t kSyntheticWidth = 640, kSyntheticLength = 400;

// The map's sample at (x, y).
std::uint16_t syntheticHeight(std::uint32_t x, std::uint32_t y);
// Its report, as a job writing it to `output` would finish it.
FinishedReport syntheticReport(const std::string& output = "C:\\maps\\h\xF6hen-8bit.tif");

}  // namespace kelvarin::test
