#include "terrain/terrain_set_builder.h"

#include "job/session.h"

namespace kelvarin {

int buildTerrainSet(Session& session, bool, bool) {
    session.message("Terrain sets cannot be built yet.", "KELVARIN - Error.", MessageIcon::Error);
    return 0;
}

}  // namespace kelvarin
