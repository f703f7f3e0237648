// Resampling a whole grey image on a thread of its own, so that the job's thread goes on moving
// the progress bar (a window answers its events then) and can give the work up when the user
// stops the job: a 16385 x 16385 image takes seconds, far longer than a stop may wait.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "base/image_size.h"
#include "base/large_memory.h"

namespace kelvarin {

struct ResampleAsideResult {
    // The resampled samples; nothing when the resampling failed or was given up.
    std::optional<LargeArray<std::uint16_t>> samples;
    bool stopped = false;
};

// Takes `source` (from.width x from.height samples) and `target` (room for to.width x to.height). `keepGoing` is called on this thread every few tens of milliseconds while the
// other works; when it answers false, the resampling is left to finish on its own (it owns both
// buffers and drops them then) and this returns at once with `stopped`.
ResampleAsideResult resampleAside(LargeArray<std::uint16_t> source, ImageSize from,
                                  LargeArray<std::uint16_t> target, ImageSize to,
                                  const std::function<bool()>& keepGoing);

}  // namespace kelvarin
