#include "formats/grey_tiff_writer.h"

#include <cstring>

namespace kelvarin {

const char kSoftwareText[48] = "KELVARIN v3.02 2026-12 https://kelvarin.org    ";
static_assert(sizeof(kSoftwareText) == 48, "the Software text is 47 characters and a NUL");

namespace {

class HeaderBuilder {
public:
    explicit HeaderBuilder(ByteOrder order) : order_(order) {}

    void put16(std::uint16_t value) {
        if (order_ == ByteOrder::II) {
            bytes_[at_++] = static_cast<std::uint8_t>(value);
            bytes_[at_++] = static_cast<std::uint8_t>(value >> 8);
        } else {
            bytes_[at_++] = static_cast<std::uint8_t>(value >> 8);
            bytes_[at_++] = static_cast<std::uint8_t>(value);
        }
    }
    void put32(std::uint32_t value) { putField(toFourBytes(value, order_)); }
    void putField(const Field4& field) {
        std::memcpy(&bytes_[at_], field.data(), 4);
        at_ += 4;
    }
    void putText(const char* text, std::size_t size) {
        std::memcpy(&bytes_[at_], text, size);
        at_ += size;
    }
    // A SHORT value sits left-justified in the value field in both byte orders.
    void shortEntry(std::uint16_t tag, std::uint16_t value) {
        entryHead(tag, 3, 1);
        put16(value);
        put16(0);
    }
    void entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
        entryHead(tag, type, count);
        put32(value);
    }
    void fieldEntry(std::uint16_t tag, std::uint16_t type, const Field4& field) {
        entryHead(tag, type, 1);
        putField(field);
    }
    std::size_t size() const { return at_; }
    const GreyTiffHeader& bytes() const { return bytes_; }

private:
    void entryHead(std::uint16_t tag, std::uint16_t type, std::uint32_t count) {
        put16(tag);
        put16(type);
        put32(count);
    }
    ByteOrder order_;
    GreyTiffHeader bytes_{};
    std::size_t at_ = 0;
};

enum : std::uint16_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

}  // namespace

GreyTiffHeader buildGreyTiffHeader(ByteOrder order, const GreyTiffFields& fields, const std::string& dateTime) {
    HeaderBuilder h(order);
    h.putText(order == ByteOrder::II ? "II" : "MM", 2);
    h.put16(42);
    h.put32(8);
    h.put16(17);
    h.entry(254, kLong, 1, 0);
    h.fieldEntry(256, kShort, fields.imageWidth);
    h.fieldEntry(257, kShort, fields.imageLength);
    h.shortEntry(258, 16);
    h.shortEntry(259, 1);
    h.shortEntry(262, 1);
    h.entry(273, kLong, 1, kGreyTiffHeaderSize);
    h.shortEntry(274, 1);
    h.shortEntry(277, 1);
    h.fieldEntry(278, kShort, fields.rowsPerStrip);
    h.fieldEntry(279, kLong, fields.stripByteCounts);
    h.entry(282, kRational, 1, 218);
    h.entry(283, kRational, 1, 218);
    h.shortEntry(296, 2);
    h.entry(305, kAscii, 48, 254);
    h.entry(306, kAscii, 20, 234);
    // Tag 309 carries three 1s at offset 226, followed by a fourth that no entry counts: kept as
    // is on purpose, the 302 bytes stay exactly what stored files and their readers expect.
    h.entry(309, kShort, 3, 226);
    h.put32(0);
    h.put32(720000);
    h.put32(10000);
    for (int i = 0; i < 4; ++i) h.put16(1);
    char dateText[20] = {};
    std::memcpy(dateText, dateTime.data(), dateTime.size() < 19 ? dateTime.size() : 19);
    h.putText(dateText, sizeof dateText);
    h.putText(kSoftwareText, sizeof kSoftwareText);
    return h.bytes();
}

GreyTiffFields littleEndianFields(std::uint32_t width, std::uint32_t length, std::uint32_t dataBytes) {
    return {toFourBytes(width, ByteOrder::II), toFourBytes(length, ByteOrder::II),
            toFourBytes(length, ByteOrder::II), toFourBytes(dataBytes, ByteOrder::II)};
}

std::optional<GreyTiffFields> greyTiffFields(ByteOrder order, std::uint32_t width, std::uint32_t length) {
    const std::uint64_t dataBytes = std::uint64_t{width} * length * 2;
    if (width > 0xFFFF || length > 0xFFFF || dataBytes > 0xFFFFFFFFu - kGreyTiffHeaderSize) return std::nullopt;
    const auto shortField = [order](std::uint32_t value) {
        return order == ByteOrder::II ? toFourBytes(value, order) : toFourBytes(value << 16, order);
    };
    return GreyTiffFields{shortField(width), shortField(length), shortField(length),
                          toFourBytes(static_cast<std::uint32_t>(dataBytes), order)};
}

}  // namespace kelvarin
