// The scanlines of a Radiance picture. Each row decides by its own first bytes how it is stored:
// new run-length encoded (a 2, 2 marker, then each component in packets), or pixel by pixel, flat
// R, G, B, E bytes among which a pixel 1, 1, 1, n repeats the one before it (the older run-length
// form; a row without such pixels is simply flat). One file may mix the kinds.
#include <algorithm>
#include <cstring>

#include "formats/radiance_reader.h"

namespace kelvarin {

std::uint64_t minimumScanlineBytes(std::uint64_t width, std::uint64_t length) {
    // A row of one pixel is its 4 bytes. A wider one is at least a pixel and a run repeating it up
    // to 255 times; a second run counts in 256s and completes any width up to 65535. A new-RLE row
    // is never shorter: 4 header bytes and a 2-byte packet for each of the 4 components.
    const std::uint64_t row = width <= 1 ? 4 : width <= 256 ? 8 : 12;
    return length * row;
}

const char* rgbeDecodeMessage(RgbeDecodeStatus status) {
    switch (status) {
        case RgbeDecodeStatus::Ok: return "";
        case RgbeDecodeStatus::HeaderError: return "RLE type 2 header error.";
        case RgbeDecodeStatus::Truncated: return ">>> Pixel data ends before the last scanline. STOP!";
    }
    return "";
}

namespace {

enum class RowKind { NewRle, Pixels, BadHeader };

// A row starting 2, 2 is new RLE when the third byte, the high byte of its width, has its top bit
// clear: a flat pixel starting 2, 2 has a blue of 128 or more, as writers scale the largest
// component into [128, 256), and Radiance tells them apart so. Radiance also reads every row of an
// image narrower than 8 or wider than 32767 pixels pixel by pixel, but other writers (pfstools)
// use new RLE below 8 pixels and ImageMagick above 32767; no scaled pixel starts 2, 2 with a blue
// below 128, so such rows are new RLE here at any width, and so is a row above 32767 pixels whose
// header holds the image's width exactly.
RowKind kindOf(const std::uint8_t* in, std::uint32_t width) {
    if (in[0] != 2 || in[1] != 2) return RowKind::Pixels;
    const unsigned high = in[2];
    if (high >= 0x80) return (high << 8 | in[3]) == width ? RowKind::NewRle : RowKind::Pixels;
    // A zero high byte belongs to a row narrower than 256 pixels; in a wider image it is an error.
    return high != 0 || width < 256 ? RowKind::NewRle : RowKind::BadHeader;
}

// The packets of one component of one scanline; with Store false only the input is walked.
template <bool Store>
bool walkRlePackets(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t* out, std::size_t room,
                    std::uint32_t width) {
    std::uint32_t x = 0;
    while (x < width) {
        if (in >= end) return false;
        const unsigned n = *in++;
        if (n > 128) {
            if (in >= end) return false;
            const std::uint8_t value = *in++;
            const unsigned count = n - 128;
            if constexpr (Store) {
                const std::size_t kept = count < room ? count : room;
                std::memset(out, value, kept);
                out += kept;
                room -= kept;
            }
            x += count;
        } else {
            if (static_cast<std::size_t>(end - in) < n) return false;
            if constexpr (Store) {
                const std::size_t kept = n < room ? n : room;
                std::memcpy(out, in, kept);
                out += kept;
                room -= kept;
            }
            in += n;
            x += n;
        }
    }
    return true;
}

// A row pixel by pixel. A pixel 1, 1, 1, n repeats the pixel before it n times; right after such
// a run n counts 256 times more, after two runs 65536 times, and so on. The first pixel of a row
// has nothing before it to repeat and is taken as it stands, as Radiance takes it. A run past the
// row's end ends the row, as a new-RLE packet past it does.
template <bool Store>
bool walkPixels(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t* const* planes, std::uint32_t width) {
    std::uint32_t x = 0;
    unsigned shift = 0;
    while (x < width) {
        if (end - in < 4) return false;
        const std::uint8_t* const p = in;
        in += 4;
        if (p[0] == 1 && p[1] == 1 && p[2] == 1 && x > 0) {
            const auto count =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{p[3]} << shift, width - x));
            if constexpr (Store)
                for (int c = 0; c < 4; ++c) std::memset(planes[c] + x, planes[c][x - 1], count);
            x += count;
            // Past 32 no count fits in a row any more; the cap keeps the shift defined.
            shift = std::min(shift + 8, 32u);
        } else {
            if constexpr (Store)
                for (int c = 0; c < 4; ++c) planes[c][x] = p[c];
            ++x;
            shift = 0;
        }
    }
    return true;
}

// One row from `in` (never past `end`); stored at `planes` (a pointer into each plane at the row's
// first pixel) when Store is true. `in` ends after the row on Ok.
template <bool Store>
RgbeDecodeStatus walkRow(const std::uint8_t*& in, const std::uint8_t* end, std::uint32_t width,
                         std::uint8_t* const* planes) {
    if (end - in < 4) return RgbeDecodeStatus::Truncated;
    switch (kindOf(in, width)) {
        case RowKind::BadHeader: return RgbeDecodeStatus::HeaderError;
        case RowKind::Pixels:
            return walkPixels<Store>(in, end, planes, width) ? RgbeDecodeStatus::Ok : RgbeDecodeStatus::Truncated;
        case RowKind::NewRle: break;
    }
    // The row's own width (bytes 3 and 4) is not compared with the header's.
    in += 4;
    for (int component = 0; component < 4; ++component) {
        // Extra bytes of a packet that runs past the row would be overwritten by the next
        // scanline (or fall off the plane after the last), so only the row is kept.
        std::uint8_t* const out = Store ? planes[component] : nullptr;
        if (!walkRlePackets<Store>(in, end, out, Store ? width : 0, width)) return RgbeDecodeStatus::Truncated;
    }
    return RgbeDecodeStatus::Ok;
}

struct RowPlanes {
    std::uint8_t* at[4];
    RowPlanes(RgbeMap& map, std::uint32_t row) {
        const std::size_t first = static_cast<std::size_t>(row) * map.width();
        for (int c = 0; c < 4; ++c) at[c] = map.plane(c) + first;
    }
};

}  // namespace

bool decodeRlePackets(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t* out, std::size_t room,
                      std::uint32_t width) {
    return walkRlePackets<true>(in, end, out, room, width);
}

RgbeScanlineWalk::RgbeScanlineWalk(const std::uint8_t* data, std::size_t size, std::uint32_t width,
                                   std::uint32_t length)
    : data_(data), in_(data), end_(data + size), width_(width), length_(length),
      starts_(static_cast<std::size_t>(length) + 1, 0) {}

RgbeDecodeStatus RgbeScanlineWalk::walkTo(std::uint32_t endRow) {
    endRow = std::min(endRow, length_);
    while (status_ == RgbeDecodeStatus::Ok && walked_ < endRow) {
        const std::uint8_t* in = in_;
        status_ = walkRow<false>(in, end_, width_, nullptr);
        if (status_ != RgbeDecodeStatus::Ok) break;
        in_ = in;
        ++walked_;
        starts_[walked_] = static_cast<std::size_t>(in_ - data_);
    }
    return status_;
}

RgbeDecodeStatus findRgbeScanlines(const std::uint8_t* data, std::size_t size, std::uint32_t width,
                                   std::uint32_t length, std::vector<std::size_t>& rowStarts) {
    RgbeScanlineWalk walk(data, size, width, length);
    const RgbeDecodeStatus status = walk.walkTo(length);
    rowStarts.assign(walk.starts().begin(), walk.starts().begin() + walk.rowsFound());
    return status;
}

bool decodeRgbeRows(const std::uint8_t* data, std::size_t size, const std::vector<std::size_t>& rowStarts,
                    std::uint32_t firstRow, std::uint32_t endRow, RgbeMap& map) {
    for (std::uint32_t r = firstRow; r < endRow; ++r) {
        const std::uint8_t* in = data + rowStarts[r];
        const std::uint8_t* const end = data + (r + 1 < rowStarts.size() ? rowStarts[r + 1] : size);
        // The row is taken as its bytes are now: they decide its kind again.
        if (walkRow<true>(in, end, map.width(), RowPlanes(map, r).at) != RgbeDecodeStatus::Ok) return false;
    }
    return true;
}

RgbeDecodeStatus decodeRgbeScanlines(const std::uint8_t* data, std::size_t size, RgbeMap& map,
                                     const std::function<void(std::uint32_t)>& rowDone) {
    const std::uint8_t* in = data;
    const std::uint8_t* const end = data + size;
    for (std::uint32_t r = 0; r < map.length(); ++r) {
        const RgbeDecodeStatus status = walkRow<true>(in, end, map.width(), RowPlanes(map, r).at);
        if (status != RgbeDecodeStatus::Ok) return status;
        if (rowDone) rowDone(r);
    }
    return RgbeDecodeStatus::Ok;
}

void fillZeroExponents(RgbeMap& map) { fillZeroExponentsWithin(map, 0, map.pixels()); }

// Neither the first nor the last pixel of the image is filled.
void fillZeroExponentsWithin(RgbeMap& map, std::size_t begin, std::size_t end) {
    const std::size_t n = map.pixels();
    std::uint8_t* e = map.plane(3);
    // The part's first pixel keeps its exponent here: the one before belongs to another part.
    for (std::size_t i = std::max<std::size_t>(begin + 1, 1); i < end && i + 1 < n; ++i)
        if (e[i] == 0) e[i] = e[i - 1];
}

void fillZeroExponentsAtStart(RgbeMap& map, std::size_t begin, std::size_t end) {
    const std::size_t n = map.pixels();
    std::uint8_t* e = map.plane(3);
    // Filled within its part, a black pixel still black had none but black ones before it there.
    for (std::size_t i = std::max<std::size_t>(begin, 1); i < end && i + 1 < n && e[i] == 0; ++i) e[i] = e[i - 1];
}

}  // namespace kelvarin
