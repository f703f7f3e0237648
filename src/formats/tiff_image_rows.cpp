#include "formats/tiff_image_rows.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "formats/tiff_codecs.h"

namespace kelvarin {

std::uint32_t TiffStorage::decodedPlanes() const {
    if (!separatePlanes) return 1;
    return palette ? 1 : layout.channels;
}

std::uint64_t TiffStorage::maximumRatio() const {
    switch (compression) {
        case TiffCompression::None: return 1;
        case TiffCompression::PackBits: return 64;  // a 2-byte run makes at most 128 bytes
        // One code of at least 9 bits makes a string of at most 4096 bytes.
        case TiffCompression::Lzw: return 4096;
        default: return 1032;  // Deflate's longest matches
    }
}

namespace {

// Room after a strip's rows, so that bit-packed samples are read three bytes at a time.
constexpr std::size_t kSlack = 8;

class TiffRows final : public RowDecoder {
public:
    TiffRows(ByteSource& source, TiffStorage storage)
        : source_(source), s_(std::move(storage)), rowBytes_(static_cast<std::size_t>(s_.chunkRowBytes())),
          outPixelBytes_(s_.layout.bytesPerPixel()), outRowBytes_(std::size_t{s_.width} * outPixelBytes_) {
        // Uncompressed strips are read a row at a time straight from the file: no strip, however
        // tall, is held in memory. Everything else is decoded a strip or a row of tiles at a time.
        direct_ = !s_.tiled && s_.compression == TiffCompression::None;
        bandHeight_ = direct_ ? 1 : s_.chunkLength;
        // A decoded strip whose rows are already the rows asked for (whole, interleaved, in bytes,
        // nothing to turn round) becomes the band itself instead of being copied into it.
        asDecoded_ = !direct_ && !s_.tiled && !s_.palette && !s_.separatePlanes && !s_.whiteIsZero &&
                     s_.bits % 8 == 0 && s_.chunkSamples() == s_.layout.channels && rowBytes_ == outRowBytes_;
    }

    // A strip or row of tiles of up to 8 MiB of decoded rows is a piece a thread may hold.
    std::unique_ptr<RowDecoder> clone() const override {
        if (std::uint64_t{bandHeight_} * outRowBytes_ > (std::uint64_t{8} << 20)) return nullptr;
        return std::make_unique<TiffRows>(source_, s_);
    }
    std::uint32_t rowsPerPiece() const override { return bandHeight_; }

    bool readRows(std::uint32_t first, std::uint32_t count, std::uint8_t* out) override {
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint64_t row = std::uint64_t{first} + i;
            if (row >= s_.length) return fail("Rows beyond the image's length were asked for.");
            const std::uint64_t band = row / bandHeight_;
            // A whole strip asked for, whose decoded rows are the rows themselves: decoded where
            // it is wanted, without a copy.
            if (asDecoded_ && row % bandHeight_ == 0) {
                const auto rows = static_cast<std::uint32_t>(std::min<std::uint64_t>(bandHeight_, s_.length - row));
                if (count - i >= rows) {
                    if (!decodeChunk(static_cast<std::size_t>(band), rows, out + std::size_t{i} * outRowBytes_))
                        return false;
                    i += rows - 1;
                    continue;
                }
            }
            if (band != cachedBand_) {
                cachedBand_ = ~std::uint64_t{0};
                if (!loadBand(static_cast<std::uint32_t>(band))) return false;
                cachedBand_ = band;
            }
            std::memcpy(out + std::size_t{i} * outRowBytes_,
                        band_.data() + static_cast<std::size_t>(row - band * bandHeight_) * outRowBytes_, outRowBytes_);
        }
        return true;
    }

private:
    std::string chunkText(std::size_t index) const { return std::string(s_.chunkName()) + " " + std::to_string(index); }
    bool reserve(std::vector<std::uint8_t>& buffer, std::uint64_t bytes) {
        try {
            if (buffer.size() < bytes) buffer.resize(static_cast<std::size_t>(bytes));
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    bool loadBand(std::uint32_t band);
    bool readDirectRow(std::size_t index, std::uint32_t rowInStrip);
    // Into `into` when given (room for the rows only), else into chunk_.
    bool decodeChunk(std::size_t index, std::uint32_t rows, std::uint8_t* into = nullptr);
    void prepareRows(std::uint8_t* data, std::uint32_t rows);
    void convertRow(const std::uint8_t* src, std::uint32_t pixels, std::uint8_t* dst, std::uint32_t plane) const;

    ByteSource& source_;
    TiffStorage s_;
    std::size_t rowBytes_, outPixelBytes_, outRowBytes_;
    bool direct_ = false;
    bool asDecoded_ = false;
    std::uint32_t bandHeight_ = 1;
    std::uint64_t cachedBand_ = ~std::uint64_t{0};
    std::vector<std::uint8_t> band_, chunk_, input_, scratch_;
    Inflater inflater_;
};

bool TiffRows::loadBand(std::uint32_t band) {
    const std::uint32_t firstRow = band * bandHeight_;
    const std::uint32_t rows = std::min(bandHeight_, s_.length - firstRow);
    // The slack too: a band and a strip swap places when the strip is the band.
    if (!reserve(band_, std::uint64_t{bandHeight_} * outRowBytes_ + kSlack))
        return fail("Not enough memory for the rows of " + chunkText(band) + ".");
    if (asDecoded_) {
        if (!decodeChunk(band, rows)) return false;
        band_.swap(chunk_);
        return true;
    }
    for (std::uint32_t plane = 0; plane < s_.decodedPlanes(); ++plane) {
        for (std::uint32_t column = 0; column < s_.across; ++column) {
            const std::uint32_t chunkRow = firstRow / s_.chunkLength;
            const std::size_t index = (std::size_t{plane} * s_.down + chunkRow) * s_.across + column;
            if (direct_) {
                if (!readDirectRow(index, firstRow - chunkRow * s_.chunkLength)) return false;
            } else if (!decodeChunk(index, s_.tiled ? s_.chunkLength : rows)) {
                return false;
            }
            const std::uint32_t x = column * s_.chunkWidth;
            const std::uint32_t pixels = std::min(s_.chunkWidth, s_.width - x);
            for (std::uint32_t y = 0; y < rows; ++y)
                convertRow(chunk_.data() + std::size_t{y} * rowBytes_, pixels,
                           band_.data() + std::size_t{y} * outRowBytes_ + std::size_t{x} * outPixelBytes_, plane);
        }
    }
    return true;
}

bool TiffRows::readDirectRow(std::size_t index, std::uint32_t rowInStrip) {
    const std::uint64_t at = std::uint64_t{rowInStrip} * rowBytes_;
    if (at + rowBytes_ > s_.byteCounts[index])
        return fail(chunkText(index) + " holds fewer bytes than its rows need.");
    if (!reserve(chunk_, rowBytes_ + kSlack)) return fail("Not enough memory for " + chunkText(index) + ".");
    if (!source_.readAt(s_.offsets[index] + at, chunk_.data(), rowBytes_))
        return fail(chunkText(index) + " cannot be read.");
    prepareRows(chunk_.data(), 1);
    return true;
}

bool TiffRows::decodeChunk(std::size_t index, std::uint32_t rows, std::uint8_t* into) {
    const std::uint64_t need = std::uint64_t{rows} * rowBytes_;
    const std::uint64_t stored = s_.byteCounts[index];
    if (stored == 0) return fail(chunkText(index) + " is empty.");
    if (s_.compression == TiffCompression::None ? stored < need : need / s_.maximumRatio() > stored)
        return fail(chunkText(index) + " holds fewer bytes than its rows need.");
    if (into == nullptr) {
        if (!reserve(chunk_, need + kSlack)) return fail("Not enough memory for " + chunkText(index) + ".");
        into = chunk_.data();
    }
    if (s_.compression == TiffCompression::None) {
        if (!source_.readAt(s_.offsets[index], into, static_cast<std::size_t>(need)))
            return fail(chunkText(index) + " cannot be read.");
        prepareRows(into, rows);
        return true;
    }
    if (!reserve(input_, stored)) return fail("Not enough memory for " + chunkText(index) + ".");
    if (!source_.readAt(s_.offsets[index], input_.data(), static_cast<std::size_t>(stored)))
        return fail(chunkText(index) + " cannot be read.");
    std::size_t produced = 0;
    const auto size = static_cast<std::size_t>(stored), room = static_cast<std::size_t>(need);
    CodecStatus status = CodecStatus::Ok;
    const char* name = "Deflate";
    switch (s_.compression) {
        case TiffCompression::Lzw:
            if (isOldStyleLzw(input_.data(), size))
                return fail(chunkText(index) + " holds old-style LZW (TIFF 5 bit order), which is not supported.");
            status = decodeLzw(input_.data(), size, into, room, produced);
            name = "LZW";
            break;
        case TiffCompression::PackBits:
            status = decodePackBits(input_.data(), size, into, room, produced);
            name = "PackBits";
            break;
        default: status = inflater_.decode(input_.data(), size, into, room, produced); break;
    }
    if (status == CodecStatus::Bad) return fail(chunkText(index) + " holds damaged " + name + " data.");
    if (status == CodecStatus::NoMemory) return fail("Not enough memory to inflate " + chunkText(index) + ".");
    if (status == CodecStatus::Short) return fail(chunkText(index) + " inflates to fewer bytes than its rows need.");
    prepareRows(into, rows);
    return true;
}

// Samples of 16 bits and more into the machine's byte order, and the predictor undone.
void TiffRows::prepareRows(std::uint8_t* data, std::uint32_t rows) {
    if (s_.bits % 8 != 0) return;
    const std::size_t bytes = s_.bits / 8, values = std::size_t{s_.chunkWidth} * s_.chunkSamples();
    if (s_.predictor == 3) {
        if (!reserve(scratch_, rowBytes_)) return;  // cannot fail: rowBytes_ is below the chunk's size
        for (std::uint32_t y = 0; y < rows; ++y)
            undoFloatPredictor(data + std::size_t{y} * rowBytes_, s_.chunkWidth, s_.chunkSamples(), bytes,
                               scratch_.data());
        return;
    }
    if (bytes > 1 && s_.bigEndian != nativeIsBigEndian()) swapSampleBytes(data, values * rows, bytes);
    if (s_.predictor == 2)
        for (std::uint32_t y = 0; y < rows; ++y)
            undoHorizontalPredictor(data + std::size_t{y} * rowBytes_, s_.chunkWidth, s_.chunkSamples(), bytes);
}

// One row of a chunk (one plane of it when the planes are separate) into the decoded row.
void TiffRows::convertRow(const std::uint8_t* src, std::uint32_t pixels, std::uint8_t* dst,
                          std::uint32_t plane) const {
    const std::size_t samples = s_.chunkSamples(), channels = s_.layout.channels;
    const std::size_t outBytes = s_.layout.bytesPerSample();
    const bool aligned = s_.bits % 8 == 0;
    const unsigned bits = s_.bits;
    // The n-bit sample at `index` in the row, most significant bit first.
    auto packed = [&](std::size_t index) -> std::uint32_t {
        if (bits == 8) return src[index];
        if (bits == 16) {
            std::uint16_t v;
            std::memcpy(&v, src + index * 2, 2);
            return v;
        }
        const std::uint64_t bit = std::uint64_t{index} * bits;
        const std::uint8_t* p = src + bit / 8;
        const std::uint32_t window = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
        return (window >> (24 - bit % 8 - bits)) & ((1u << bits) - 1);
    };
    if (s_.palette) {
        const std::size_t entries = s_.colourMap.size() / 3;
        for (std::size_t i = 0; i < pixels; ++i) {
            const std::uint32_t index = packed(i);
            for (std::size_t c = 0; c < 3; ++c)
                std::memcpy(dst + i * outPixelBytes_ + c * 2, &s_.colourMap[c * entries + index], 2);
        }
        return;
    }
    if (aligned && !s_.separatePlanes) {
        const std::size_t inPixel = samples * outBytes;
        if (samples == channels) {
            std::memcpy(dst, src, pixels * inPixel);
        } else {
            for (std::size_t i = 0; i < pixels; ++i) std::memcpy(dst + i * outPixelBytes_, src + i * inPixel, outPixelBytes_);
        }
    } else if (aligned) {
        for (std::size_t i = 0; i < pixels; ++i) std::memcpy(dst + i * outPixelBytes_ + plane * outBytes, src + i * outBytes, outBytes);
    } else {
        for (std::size_t i = 0; i < pixels; ++i) {
            for (std::size_t s = 0; s < samples; ++s) {
                const std::size_t channel = s_.separatePlanes ? plane : s;
                if (channel >= channels) break;
                const std::uint32_t v = packed(i * samples + s);
                std::uint8_t* to = dst + i * outPixelBytes_ + channel * outBytes;
                if (outBytes == 1) {
                    *to = static_cast<std::uint8_t>(v);
                } else {
                    const auto v16 = static_cast<std::uint16_t>(v);
                    std::memcpy(to, &v16, 2);
                }
            }
        }
    }
    // WhiteIsZero: the grey channel turned round so that black is 0, as in every other source.
    if (s_.whiteIsZero && plane == 0) {
        const std::uint64_t top = s_.layout.maxValue;
        for (std::size_t i = 0; i < pixels; ++i) {
            std::uint8_t* at = dst + i * outPixelBytes_;
            if (outBytes == 1) {
                *at = static_cast<std::uint8_t>(top - *at);
            } else if (outBytes == 2) {
                std::uint16_t v;
                std::memcpy(&v, at, 2);
                v = static_cast<std::uint16_t>(top - v);
                std::memcpy(at, &v, 2);
            } else {
                std::uint32_t v;
                std::memcpy(&v, at, 4);
                v = static_cast<std::uint32_t>(top - v);
                std::memcpy(at, &v, 4);
            }
        }
    }
}

}  // namespace

std::unique_ptr<RowDecoder> makeTiffRowDecoder(ByteSource& source, TiffStorage storage) {
    return std::make_unique<TiffRows>(source, std::move(storage));
}

}  // namespace kelvarin
