// The report as JSON: one UTF-8 object per output, {"tiles": [...]} around the three of a terrain
// set. Numbers are written without the C library (locale-free); a path's bytes that are not UTF-8
// come out as the Windows-1252 characters the windows show for them.
#pragma once

#include <span>
#include <string>

#include "pixels/height_report.h"

namespace kelvarin {

std::string reportJson(const HeightReport& report);
std::string terrainReportJson(std::span<const HeightReport> tiles);

}  // namespace kelvarin
