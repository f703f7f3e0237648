#include "base/rgbe_map.h"

namespace kelvarin {

RgbeMap::RgbeMap(std::uint32_t width, std::uint32_t length)
    : width_(width), length_(length), pixels_(static_cast<std::size_t>(width) * length),
      // Every pixel of every plane is written by a successful decode; a failed one discards the
      // map, so the planes need no clearing first. The decoding threads make its pages as they
      // fill their bands.
      bytes_(makeLargeArray<std::uint8_t>(pixels_ * 4, FirstTouch::ByUse)) {}

}  // namespace kelvarin
