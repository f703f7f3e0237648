// Three TIFF tiles (4096, 2048, 1024) from four or three square RAW exports.
#pragma once

namespace kelvarin {

class Session;

// Returns 1 on success, 0 on failure (its messages have been shown).
int buildTerrainSet(Session& session, bool fourSources, bool maximum);

}  // namespace kelvarin
