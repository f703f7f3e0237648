// The terrain set job: three TIFF tiles (4096, 2048, 1024) from four or three square RAW exports,
// with its dialogs, files, log lines and progress. The tile maths is in terrain/tile_math.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvarin {

class Session;

// Returns 1 on success, 0 on failure (its messages have been shown).
int buildTerrainSet(Session& session, bool fourSources, bool maximum);

// Every file of the set that `chosen` (any file of it, as the command's dialog takes it) names:
// the RAW exports the build reads, then the three tiles it writes.
std::vector<std::string> terrainSetFiles(const std::string& chosen, bool fourSources);

namespace terrain_detail {

// The build with the side of the smallest tile as a parameter: the command uses 1024 (inputs
// of 8192, 4096, 2048 and 1024). Names, log lines and progress steps do not change with it, so
// small sides exercise exactly the command's path.
int buildTerrainSetWithSides(Session& session, bool fourSources, bool maximum, std::uint32_t smallestSide);

}  // namespace terrain_detail

}  // namespace kelvarin
