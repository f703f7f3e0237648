#include "base/byte_order.h"

namespace kelvarin {

std::uint16_t fromTwoBytes(ByteOrder order, const std::uint8_t* b) {
    return order == ByteOrder::II ? static_cast<std::uint16_t>(b[0] | (b[1] << 8))
                                  : static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

std::uint32_t fromFourBytes(ByteOrder order, const std::uint8_t* b) {
    const std::uint32_t first = fromTwoBytes(order, b);
    const std::uint32_t second = fromTwoBytes(order, b + 2);
    return order == ByteOrder::II ? first + 65536u * second : 65536u * first + second;
}

Field4 toFourBytes(std::uint32_t value, ByteOrder order) {
    const Field4 little{static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                        static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    return order == ByteOrder::II ? little : reverseFourBytes(little);
}

Field4 swapShortField(const Field4& field) { return {field[1], field[0], 0, 0}; }

Field4 reverseFourBytes(const Field4& field) { return {field[3], field[2], field[1], field[0]}; }

}  // namespace kelvarin
