// The pixels of a Radiance picture as its decoder leaves them and its tone mapper reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/large_memory.h"

namespace kelvarin {

// Four byte planes R, G, B, E of width x length each; pixel (row r, column x) at r * width + x.
class RgbeMap {
public:
    RgbeMap(std::uint32_t width, std::uint32_t length);
    std::uint32_t width() const { return width_; }
    std::uint32_t length() const { return length_; }
    std::size_t pixels() const { return pixels_; }
    // plane 0 R, 1 G, 2 B, 3 E
    std::uint8_t* plane(int component) { return bytes_.get() + static_cast<std::size_t>(component) * pixels_; }
    const std::uint8_t* plane(int component) const {
        return bytes_.get() + static_cast<std::size_t>(component) * pixels_;
    }

private:
    std::uint32_t width_, length_;
    std::size_t pixels_;
    LargeArray<std::uint8_t> bytes_;
};

}  // namespace kelvarin
