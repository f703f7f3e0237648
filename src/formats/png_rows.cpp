// The row decoder of PNG sources: the IDAT chunks' data streams through one inflate, a row at a
// time, into the filtered row and the unfiltered row above it; nothing more of the image is held
// unless it is interlaced.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "formats/png_decode.h"

namespace kelvarin {

namespace {

constexpr std::size_t kInputBlock = 65536;
// Inflated bytes after the last row that are taken as trailing padding of a writer; a stream
// that goes on beyond them is not the image it claims to be.
constexpr std::uint64_t kTrailingBytesAllowed = 65536;

std::uint32_t bigEndian32(const std::uint8_t* b) {
    return std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
}

class PngRowDecoder final : public RowDecoder {
public:
    PngRowDecoder(ByteSource& source, PngImage image)
        : source_(source), image_(std::move(image)), layout_(image_.layout()), passes_(pngPasses(image_)) {}
    ~PngRowDecoder() override {
        if (zReady_) inflateEnd(&z_);
    }
    PngRowDecoder(const PngRowDecoder&) = delete;
    PngRowDecoder& operator=(const PngRowDecoder&) = delete;

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override;

private:
    bool restart();
    bool enterChunk(std::uint64_t at);
    bool feed();
    bool inflateInto(std::uint8_t* to, std::size_t bytes);
    bool decodeRow(const PngPass& pass, std::size_t passIndex, std::uint32_t passRow, std::uint8_t* out);
    bool finish();
    bool decodeInterlaced();
    bool broken(std::string why) {
        broken_ = true;
        return fail(std::move(why));
    }

    ByteSource& source_;
    const PngImage image_;
    const PixelLayout layout_;
    const std::vector<PngPass> passes_;
    std::size_t outRowBytes() const { return static_cast<std::size_t>(image_.width) * layout_.bytesPerPixel(); }

    z_stream z_{};
    bool zReady_ = false;
    bool streamEnded_ = false;
    std::vector<std::uint8_t> input_;
    std::uint64_t chunkNext_ = 0;  // the next data byte of the current IDAT chunk
    std::uint64_t chunkLeft_ = 0;  // its data bytes still to read
    uLong crc_ = 0;
    bool inputDone_ = false;

    std::vector<std::uint8_t> row_, above_;  // a filter-type byte, then the row's bytes
    std::vector<std::uint8_t> skipped_;      // rows decoded only to reach the ones asked for
    std::uint32_t nextRow_ = 0;
    bool broken_ = true;  // nothing decoded yet: the first call starts a pass
    // An interlaced image, whole: each of its rows takes pixels from all seven passes.
    std::vector<std::uint8_t> whole_;
    std::vector<std::uint8_t> passRow_;
};

bool PngRowDecoder::enterChunk(std::uint64_t at) {
    std::uint8_t head[8];
    if (!source_.readAt(at, head, sizeof head) || std::memcmp(head + 4, "IDAT", 4) != 0) {
        inputDone_ = true;
        return true;
    }
    chunkNext_ = at + 8;
    chunkLeft_ = bigEndian32(head);
    crc_ = crc32(crc32(0L, Z_NULL, 0), head + 4, 4);
    return true;
}

// Refills inflate's input from the IDAT chunks; at the end of each, its CRC is compared.
bool PngRowDecoder::feed() {
    while (!inputDone_ && chunkLeft_ == 0) {
        std::uint8_t stored[4];
        if (!source_.readAt(chunkNext_, stored, 4)) return broken("The file ends inside chunk IDAT.");
        if (bigEndian32(stored) != crc_) return broken("Bad CRC in chunk IDAT.");
        if (!enterChunk(chunkNext_ + 4)) return false;
    }
    if (inputDone_) return true;
    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(chunkLeft_, input_.size()));
    if (!source_.readAt(chunkNext_, input_.data(), step)) return broken("The file ends inside chunk IDAT.");
    crc_ = crc32(crc_, input_.data(), static_cast<uInt>(step));
    chunkNext_ += step;
    chunkLeft_ -= step;
    z_.next_in = input_.data();
    z_.avail_in = static_cast<uInt>(step);
    return true;
}

bool PngRowDecoder::restart() {
    nextRow_ = 0;
    streamEnded_ = false;
    inputDone_ = false;
    chunkLeft_ = 0;
    if (!zReady_) {
        if (inflateInit(&z_) != Z_OK) return broken("Not enough memory to inflate the image data.");
        zReady_ = true;
    } else if (inflateReset(&z_) != Z_OK) {
        return broken("The image data could not be inflated again.");
    }
    z_.avail_in = 0;
    try {
        input_.resize(kInputBlock);
        const std::size_t rowBytes = 1 + static_cast<std::size_t>(image_.rowBytes(image_.width));
        row_.assign(rowBytes, 0);
        above_.assign(rowBytes, 0);
    } catch (const std::bad_alloc&) {
        return broken("Not enough memory for a row of this image.");
    }
    broken_ = false;
    return enterChunk(image_.firstIdat);
}

bool PngRowDecoder::inflateInto(std::uint8_t* to, std::size_t bytes) {
    z_.next_out = to;
    while (bytes > 0) {
        if (streamEnded_) return broken("The image data inflates to fewer bytes than the image needs.");
        if (z_.avail_in == 0) {
            if (!feed()) return false;
            if (z_.avail_in == 0) return broken("The image data ends before the image does.");
        }
        const uInt step = static_cast<uInt>(std::min<std::size_t>(bytes, uInt{1} << 30));
        z_.avail_out = step;
        const int status = inflate(&z_, Z_NO_FLUSH);
        bytes -= step - z_.avail_out;
        if (status == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            return broken(std::string("The image data is damaged (") + (z_.msg ? z_.msg : "inflate failed") + ").");
        }
    }
    return true;
}

// One row of a pass: inflated, unfiltered against the row above, and expanded into `out`.
bool PngRowDecoder::decodeRow(const PngPass& pass, std::size_t passIndex, std::uint32_t passRow, std::uint8_t* out) {
    const std::size_t bytes = static_cast<std::size_t>(image_.rowBytes(pass.width));
    if (passRow == 0) std::fill(above_.begin(), above_.begin() + 1 + bytes, std::uint8_t{0});
    if (!inflateInto(row_.data(), 1 + bytes)) return false;
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
bool PngRowDecoder::finish() {
    std::uint8_t scratch[4096];
    std::uint64_t trailing = 0;
    while (!streamEnded_) {
        if (z_.avail_in == 0) {
            if (!feed()) return false;
            if (z_.avail_in == 0) return broken("The image data ends before its compressed stream does.");
        }
        z_.next_out = scratch;
        z_.avail_out = sizeof scratch;
        const int status = inflate(&z_, Z_NO_FLUSH);
        trailing += sizeof scratch - z_.avail_out;
        if (status == Z_STREAM_END) {
            streamEnded_ = true;
        } else if (status != Z_OK && status != Z_BUF_ERROR) {
            return broken(std::string("The image data is damaged (") + (z_.msg ? z_.msg : "inflate failed") + ").");
        }
        if (trailing > kTrailingBytesAllowed)
            return broken("The image data inflates to more bytes than the image needs.");
    }
    // What is left of the chunks after the stream's end is read for their CRCs only.
    while (!inputDone_) {
        z_.avail_in = 0;
        if (!feed()) return false;
    }
    return true;
}

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
