// Output > "Tiles...": the grid the height map is cut into, asked in the small text dialog, with
// the tile sizes the chosen output size gives shown in its prompt.
#pragma once

#include <optional>
#include <string>

#include "base/image_size.h"
#include "job/session.h"

namespace kelvarin {

// The dialog's prompt: what to type, and for a known output size the tiles a few grids give.
std::string tilesPrompt(const std::optional<ImageSize>& size);

// Asks for the grid and sets session.options.tiles (none for 1 x 1). A text that is no grid, or a
// grid the chosen output size does not split into, is refused with a box and changes nothing.
void askTiles(Session& session);

}  // namespace kelvarin
