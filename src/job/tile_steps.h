// The job's side of writing a height map as tiles: the grid planned (or refused) when the
// destination is chosen, and the tiled output that then takes the samples.
#pragma once

#include <memory>

#include "job/tiled_output.h"

namespace kelvarin {

class JobContext;

// With the destination's name and encoding chosen and the options asking for tiles: plans the
// grid for the size the map is written at, checks every tile's name, drops the destination file
// itself (the tiles replace it) and logs the grid. A map that does not split, or a tile name that
// cannot be written, refuses the job before any file is made.
bool prepareTiles(JobContext& job);

// The output for job.tileGrid, writing the tiles in the destination's format.
std::unique_ptr<TiledOutput> makeTiledOutput(JobContext& job);

}  // namespace kelvarin
