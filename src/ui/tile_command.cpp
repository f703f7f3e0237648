#include "ui/tile_command.h"

#include "terrain/tile_grid.h"

namespace kelvarin {

std::string tilesPrompt(const std::optional<ImageSize>& size) {
    std::string prompt = "Columns x rows of tiles, each from 1 to 64 (1 x 1 writes one file). Neighbours share "
                         "their edge samples: a tile is (width - 1) / columns + 1 samples wide.";
    if (!size) return prompt + " The size of each tile follows from the source's size.";
    std::string fits;
    for (std::uint32_t n : {2u, 4u, 8u, 16u}) {
        const TilePlan plan = planTiles(*size, {n, n});
        if (!plan.grid) continue;
        fits += (fits.empty() ? "" : ", ") + tileCountText({n, n}) + " tiles of " + imageSizeText(plan.grid->tile);
    }
    prompt += " At " + imageSizeText(*size) + ": ";
    return prompt + (fits.empty() ? "no square grid of 2 to 16 tiles fits." : fits + ".");
}

void askTiles(Session& session) {
    const std::optional<TileCount>& current = session.options.tiles;
    const std::optional<ImageSize>& size = session.options.outputSize;
    const auto answer = session.port.askText(
        {"KELVARIN Tiles", tilesPrompt(size), current ? tileCountText(*current) : std::string("1 x 1")});
    if (!answer) return;
    const TileCountParse parsed = parseTileCount(*answer);
    if (!parsed.count) {
        session.port.showMessage(noticeBox(parsed.refusal, "KELVARIN - Tiles", MessageIcon::Exclamation));
        return;
    }
    if (size) {
        const TilePlan plan = planTiles(*size, *parsed.count);
        if (!plan.grid) {
            session.port.showMessage(noticeBox(plan.refusal, "KELVARIN - Tiles", MessageIcon::Exclamation));
            return;
        }
    }
    if (*parsed.count == TileCount{1, 1}) {
        session.options.tiles.reset();
    } else {
        session.options.tiles = parsed.count;
    }
}

}  // namespace kelvarin
