// Elevation sources opened through the format table: one channel of signed integers or floating
// point, taken as heights and mapped onto the levels 1 to 65535 (voids 0), without the Levels
// options.
#pragma once

#include <cstdint>

#include "job/job_context.h"

namespace kelvarin {

// One colour channel of signed or floating-point samples: heights, not levels or light.
bool holdsHeights(const PixelLayout& layout);

// The header step's part for heights: refuses a layout the mapping cannot take, logs what the
// file gives, sets the destination's fields, and without a height range given finds the file's
// range in a first pass (refusing a file of voids only), all before the destination is asked for.
bool acceptHeights(JobContext& job);

// The data stage's part: the levels of every sample, written band by band; the report and log
// learn the range used, the voids and the heights clipped.
bool convertHeights(JobContext& job, std::int64_t& conversionStart);

}  // namespace kelvarin
