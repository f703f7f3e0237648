// The row decoder of PNG sources: the image data stream, a row at a time, into the filtered row
// and the unfiltered row above it; nothing more of the image is held unless it is interlaced.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "formats/png_decode.h"
#include "formats/png_inflate.h"

namespace kelvarin {

namespace {

// Image data of this many bytes or more are inflated ahead on a thread of their own.
constexpr std::uint64_t kInflateAheadFrom = std::uint64_t{8} << 20;

class PngRowDecoder final : public RowDecoder {
public:
    PngRowDecoder(ByteSource& source, PngImage image)
        : image_(std::move(image)), layout_(image_.layout()), passes_(pngPasses(image_)),
          stream_(source, image_.firstIdat, pngInflatedBytes(image_), pngInflatedBytes(image_) >= kInflateAheadFrom) {}
    PngRowDecoder(const PngRowDecoder&) = delete;
    PngRowDecoder& operator=(const PngRowDecoder&) = delete;

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override;

private:
    bool restart();
    bool decodeRow(const PngPass& pass, std::size_t passIndex, std::uint32_t passRow, std::uint8_t* out);
    bool finish();
    bool decodeInterlaced();
    bool broken(std::string why) {
        broken_ = true;
        return fail(std::move(why));
    }

    const PngImage image_;
    const PixelLayout layout_;
    const std::vector<PngPass> passes_;
    std::size_t outRowBytes() const { return static_cast<std::size_t>(image_.width) * layout_.bytesPerPixel(); }

    PngInflate stream_;

    std::vector<std::uint8_t> row_, above_;  // a filter-type byte, then the row's bytes
    std::vector<std::uint8_t> skipped_;      // rows decoded only to reach the ones asked for
    std::uint32_t nextRow_ = 0;
    bool broken_ = true;  // nothing decoded yet: the first call starts a pass
    // An interlaced image, whole: each of its rows takes pixels from all seven passes.
    std::vector<std::uint8_t> whole_;
    std::vector<std::uint8_t> passRow_;
};

bool PngRowDecoder::restart() {
    nextRow_ = 0;
    if (!stream_.restart()) return broken(stream_.failure());
    try {
        const std::size_t rowBytes = 1 + static_cast<std::size_t>(image_.rowBytes(image_.width));
        row_.assign(rowBytes, 0);
        above_.assign(rowBytes, 0);
    } catch (const std::bad_alloc&) {
        return broken("Not enough memory for a row of this image.");
    }
    broken_ = false;
    return true;
}

// One row of a pass: inflated, unfiltered against the row above, and expanded into `out`.
bool PngRowDecoder::decodeRow(const PngPass& pass, std::size_t passIndex, std::uint32_t passRow, std::uint8_t* out) {
    const std::size_t bytes = static_cast<std::size_t>(image_.rowBytes(pass.width));
    if (passRow == 0) std::fill(above_.begin(), above_.begin() + 1 + bytes, std::uint8_t{0});
    if (!stream_.read(row_.data(), 1 + bytes)) return broken(stream_.failure());
    const auto where = [&] {
        const std::string row = "row " + std::to_string(passRow + 1);
        return image_.interlaced ? row + " of interlace pass " + std::to_string(passIndex + 1) : row;
    };
    if (!unfilterPngRow(row_[0], row_.data() + 1, above_.data() + 1, bytes, image_.filterDistance()))
        return broken("Bad filter type " + std::to_string(row_[0]) + " in " + where() + ".");
    const long index = expandPngRow(image_, row_.data() + 1, pass.width, out);
    if (index >= 0)
        return broken("Palette index " + std::to_string(index) + " in " + where() + " is beyond the palette's " +
                      std::to_string(image_.palette.size() / 3) + " colours.");
    std::swap(row_, above_);
    return true;
}

// After the last row: the stream has to end, within a little padding, and the CRCs of the rest
// of the IDAT chunks have to match.
bool PngRowDecoder::finish() { return stream_.finish() || broken(stream_.failure()); }

bool PngRowDecoder::decodeInterlaced() {
    try {
        whole_.resize(outRowBytes() * image_.height);
        passRow_.resize(outRowBytes());
    } catch (const std::bad_alloc&) {
        return broken("Not enough memory to hold this interlaced image.");
    }
    const std::size_t pixel = layout_.bytesPerPixel();
    for (std::size_t p = 0; p < passes_.size(); ++p) {
        const PngPass& pass = passes_[p];
        if (pass.width == 0 || pass.height == 0) continue;
        for (std::uint32_t r = 0; r < pass.height; ++r) {
            if (!decodeRow(pass, p, r, passRow_.data())) return false;
            std::uint8_t* line = whole_.data() + (std::size_t{pass.y0} + std::size_t{r} * pass.dy) * outRowBytes();
            for (std::uint32_t i = 0; i < pass.width; ++i)
                std::memcpy(line + (std::size_t{pass.x0} + std::size_t{i} * pass.dx) * pixel, passRow_.data() + i * pixel,
                            pixel);
        }
    }
    return finish();
}

bool PngRowDecoder::readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) {
    if (first > image_.height || count > image_.height - first) return fail("Rows beyond the image were asked for.");
    if (count == 0) return true;
    const std::size_t rowBytes = outRowBytes();
    if (image_.interlaced) {
        // The image was decoded whole once; a new pass takes its rows from memory.
        if (whole_.empty() || broken_) {
            if (!restart() || !decodeInterlaced()) {
                whole_.clear();
                return false;
            }
        }
        std::memcpy(out, whole_.data() + first * rowBytes, count * rowBytes);
        return true;
    }
    if (first == 0 || first < nextRow_ || broken_) {
        if (!restart()) return false;
    }
    const PngPass& pass = passes_.front();
    if (nextRow_ < first) {
        try {
            skipped_.resize(rowBytes);
        } catch (const std::bad_alloc&) {
            return broken("Not enough memory for a row of this image.");
        }
        while (nextRow_ < first)
            if (!decodeRow(pass, 0, nextRow_++, skipped_.data())) return false;
    }
    for (std::uint32_t i = 0; i < count; ++i)
        if (!decodeRow(pass, 0, nextRow_++, out + i * rowBytes)) return false;
    if (nextRow_ == image_.height) return finish();
    return true;
}

}  // namespace

std::unique_ptr<RowDecoder> makePngRowDecoder(ByteSource& source, PngImage image) {
    return std::make_unique<PngRowDecoder>(source, std::move(image));
}

}  // namespace kelvarin
