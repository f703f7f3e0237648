#include "formats/height_rows.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "formats/bin_reader.h"
#include "formats/pgm_reader.h"

namespace kelvarin {

namespace {

constexpr ByteOrder kNativeOrder = std::endian::native == std::endian::little ? ByteOrder::II : ByteOrder::MM;

// Samples of `order` as they were read, put into the machine's order in place.
void toNativeOrder(std::uint8_t* bytes, std::size_t samples, ByteOrder order) {
    if (order == kNativeOrder) return;
    for (std::size_t i = 0; i < samples; ++i) std::swap(bytes[2 * i], bytes[2 * i + 1]);
}

class StoredSampleRows final : public RowDecoder {
public:
    StoredSampleRows(ByteSource& source, std::uint64_t offset, std::uint32_t width, std::uint32_t length,
                     ByteOrder order)
        : source_(source), offset_(offset), width_(width), length_(length), order_(order) {}

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override {
        const std::size_t rowBytes = std::size_t{2} * width_;
        if (first > length_ || count > length_ - first ||
            !source_.readAt(offset_ + std::uint64_t{first} * rowBytes, out, rowBytes * count))
            return refuse(truncatedSource());
        toNativeOrder(out, std::size_t{width_} * count, order_);
        return true;
    }
    std::unique_ptr<RowDecoder> clone() const override {
        return std::make_unique<StoredSampleRows>(source_, offset_, width_, length_, order_);
    }

private:
    ByteSource& source_;
    std::uint64_t offset_;
    std::uint32_t width_, length_;
    ByteOrder order_;
};

// The text is read in pieces of this size; a sample may straddle two.
constexpr std::size_t kTextPiece = std::size_t{4} << 20;

class PgmTextRows final : public RowDecoder {
public:
    PgmTextRows(ByteSource& source, std::uint64_t offset, std::uint32_t width)
        : source_(source), at_(std::min(offset, source.size())), width_(width),
          text_(static_cast<std::size_t>(std::min<std::uint64_t>(source.size() - at_, kTextPiece))) {}

    bool readRows(std::uint32_t, std::uint32_t count, std::uint8_t* out) override {
        const std::size_t wanted = std::size_t{width_} * count;
        std::size_t got = 0;
        // False once the rows asked for are full: the scan stops behind that sample.
        const auto take = [&](std::uint16_t value) {
            std::memcpy(out + 2 * got, &value, 2);
            return ++got < wanted;
        };
        while (got < wanted) {
            if (used_ == filled_ && !nextPiece()) {
                // The last sample may run to the end of the file.
                if (!reader_.end(take) && reader_.invalid()) return refuse(pgmInvalidSample());
                return got == wanted || refuse(pgmShortText());
            }
            const bool goOn = reader_.scan(text_.data() + used_, filled_ - used_, take);
            used_ += reader_.scanned();
            if (!goOn && reader_.invalid()) return refuse(pgmInvalidSample());
        }
        return true;
    }

private:
    // False at the end of the file (or where it can no longer be read).
    bool nextPiece() {
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(source_.size() - at_, text_.size()));
        if (count == 0 || !source_.readAt(at_, text_.data(), count)) return false;
        at_ += count;
        used_ = 0;
        filled_ = count;
        return true;
    }

    ByteSource& source_;
    std::uint64_t at_;
    std::uint32_t width_;
    std::vector<std::uint8_t> text_;
    std::size_t used_ = 0, filled_ = 0;
    PgmTextSamples reader_;
};

class BinRows final : public RowDecoder {
public:
    BinRows(ByteSource& source, std::uint32_t width, std::uint32_t length, std::int16_t base, std::int16_t voidMarker)
        : source_(source), width_(width), length_(length), base_(base), voidMarker_(voidMarker) {}

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override {
        // The image's rows [first, first + count) are the file's rows before its last `first`,
        // the other way round.
        const std::size_t rowBytes = std::size_t{2} * width_;
        if (first > length_ || count > length_ - first ||
            !source_.readAt(std::uint64_t{length_ - first - count} * rowBytes, out, rowBytes * count))
            return refuse(truncatedSource());
        toNativeOrder(out, std::size_t{width_} * count, ByteOrder::II);
        // Through an aligned buffer: `out` need not be.
        std::array<std::uint16_t, 2048> samples;
        for (std::size_t at = 0; at < rowBytes * count; at += sizeof samples) {
            const std::size_t bytes = std::min(sizeof samples, rowBytes * count - at);
            std::memcpy(samples.data(), out + at, bytes);
            signedToUnsigned(samples.data(), bytes / 2, voidMarker_, base_);
            std::memcpy(out + at, samples.data(), bytes);
        }
        for (std::uint32_t top = 0, bottom = count - 1; count > 1 && top < bottom; ++top, --bottom)
            std::swap_ranges(out + top * rowBytes, out + (top + 1) * rowBytes, out + bottom * rowBytes);
        return true;
    }
    std::unique_ptr<RowDecoder> clone() const override {
        return std::make_unique<BinRows>(source_, width_, length_, base_, voidMarker_);
    }

private:
    ByteSource& source_;
    std::uint32_t width_, length_;
    std::int16_t base_, voidMarker_;
};

}  // namespace

std::unique_ptr<RowDecoder> storedSampleRows(ByteSource& source, std::uint64_t offset, std::uint32_t width,
                                             std::uint32_t length, ByteOrder order) {
    return std::make_unique<StoredSampleRows>(source, offset, width, length, order);
}

std::unique_ptr<RowDecoder> pgmTextRows(ByteSource& source, std::uint64_t offset, std::uint32_t width) {
    return std::make_unique<PgmTextRows>(source, offset, width);
}

std::unique_ptr<RowDecoder> binRows(ByteSource& source, std::uint32_t width, std::uint32_t length, std::int16_t base,
                                    std::int16_t voidMarker) {
    return std::make_unique<BinRows>(source, width, length, base, voidMarker);
}

}  // namespace kelvarin
