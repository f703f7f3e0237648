// An image size in pixels, and the size a user types: "N" for N x N, or "W x H".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvarin {

// The largest width or height any of our outputs can carry (the TIFF header's SHORT fields).
inline constexpr std::uint32_t kLargestImageSide = 65535;

struct ImageSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

// Either a size, or the sentence that says why the text is none.
struct ImageSizeParse {
    std::optional<ImageSize> size;
    std::string refusal;
};

// Accepts "1025", "2017x2017", "4097 x 2049" (blanks around the parts, "x" or "X"); each side
// 1 to 65535. Decimal digits only: no sign, no fraction, no exponent.
ImageSizeParse parseImageSize(std::string_view text);

// "W x H", as the menus show sizes.
std::string imageSizeText(ImageSize size);

}  // namespace kelvarin
