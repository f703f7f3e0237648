// Resampling a grey image of 16-bit samples to another size, for height maps that an engine
// wants at a size of its own. Along an axis that shrinks each new sample is the average of the
// area it covers; along one that grows, a Catmull-Rom cubic interpolates (it passes through the
// old samples). Results are rounded and clamped to 0..65535.
#pragma once

#include <cstdint>
#include <span>

#include "base/image_size.h"

namespace kelvarin {

// `source` holds from.width x from.height samples and `target` to.width x to.height, rows top
// first. False when a size is 0 or does not match its buffer, or memory ran out.
bool resampleGrey(std::span<const std::uint16_t> source, ImageSize from, std::span<std::uint16_t> target,
                  ImageSize to);

}  // namespace kelvarin
