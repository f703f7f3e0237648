// The heights of elevation files without converting them: what `kelvarin-cli range` prints and
// what a batch with one shared range finds in its first pass over every source.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/height_range.h"
#include "formats/file.h"

namespace kelvarin {

struct HeightScan {
    std::optional<HeightRange> range;  // nothing when every sample was a void
    std::uint64_t voids = 0;
    std::string refusal;               // not empty: the file is no readable height source, and why
};

// Reads every sample of the height source at `path` once, holding a band of rows at a time.
HeightScan scanHeights(FileSystem& files, const std::string& path);

// The lowest low and highest high of the scans; nothing when none found a height.
std::optional<HeightRange> commonRange(const std::vector<HeightScan>& scans);

}  // namespace kelvarin
