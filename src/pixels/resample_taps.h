// The weights of one axis of a resampling, worked out once for a whole image: for every new
// sample, the old samples it is made from (their indices clamped to the image, so an edge sample
// may come more than once) and what each weighs, in the order they are summed.
//
// Along an axis that shrinks, the filter is a trapezoid with one-pixel ramps, so each old sample
// weighs as much as it overlaps the new one (the area average); the weights of every new sample
// are then scaled to sum to 1. Along one that grows or keeps its size, a Catmull-Rom cubic. The
// arithmetic, every rounding of it, and the order of the sums are those of stb_image_resize 1.x
// with clamped edges, so the samples are the same as that library gives for a whole image.
#pragma once

#include <cstdint>
#include <vector>

namespace kelvarin {

struct ResampleTaps {
    // Taps [first[k], first[k + 1]) make new sample k; `first` has one entry more than new samples.
    std::vector<std::uint32_t> first;
    std::vector<std::uint32_t> index;  // the old sample, non-decreasing within a new sample's taps
    std::vector<float> weight;         // never 0: a weight of 0 adds nothing to a sum
};

// The taps that make `to` samples from `from` (both at least 1).
ResampleTaps resampleTaps(std::uint32_t from, std::uint32_t to);

}  // namespace kelvarin
