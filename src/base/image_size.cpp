#include "base/image_size.h"

#include <algorithm>

namespace kelvarin {

namespace {

constexpr char kNotASize[] = "The size must be a number, or a width and a height such as 1025 x 1025.";
constexpr char kZero[] = "A width or height of 0 is not possible.";
constexpr char kTooLarge[] = "The largest possible width or height is 65535.";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// In the order the refusals are named: a text that is no size at all before a side's value.
enum class Side { Ok, TooLarge, Zero, NotANumber };

// One side: digits only. The value saturates above the limit, so any number of digits is safe.
Side parseSide(std::string_view text, std::uint32_t& value) {
    text = trimmed(text);
    if (text.empty()) return Side::NotANumber;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return Side::NotANumber;
        if (value <= kLargestImageSide) value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value == 0) return Side::Zero;
    return value > kLargestImageSide ? Side::TooLarge : Side::Ok;
}

}  // namespace

ImageSizeParse parseImageSize(std::string_view text) {
    const std::size_t cross = text.find_first_of("xX");
    const std::string_view first = text.substr(0, cross);
    const std::string_view second = cross == std::string_view::npos ? first : text.substr(cross + 1);
    ImageSize size;
    const Side side = std::max(parseSide(first, size.width), parseSide(second, size.height));
    switch (side) {
        case Side::NotANumber: return {std::nullopt, kNotASize};
        case Side::Zero: return {std::nullopt, kZero};
        case Side::TooLarge: return {std::nullopt, kTooLarge};
        case Side::Ok: break;
    }
    return {size, {}};
}

std::string imageSizeText(ImageSize size) {
    return std::to_string(size.width) + " x " + std::to_string(size.height);
}

}  // namespace kelvarin
