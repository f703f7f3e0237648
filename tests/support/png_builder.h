// PNG files put together chunk by chunk for the reader's refusal tests: a valid file to damage
// in one place at a time.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvarin::test {

using PngBytes = std::vector<std::uint8_t>;

inline void putBigEndian32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// A chunk with its length and CRC. Written into a buffer of its final size: GCC 12 takes the
// appends of a growing vector here for writes past its end.
inline PngBytes pngChunk(const std::string& name, const PngBytes& data) {
    PngBytes bytes(12 + data.size());
    putBigEndian32(bytes.data(), static_cast<std::uint32_t>(data.size()));
    for (std::size_t i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(name.at(i));
    std::copy(data.begin(), data.end(), bytes.begin() + 8);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), bytes.data() + 4, static_cast<uInt>(4 + data.size()));
    putBigEndian32(bytes.data() + 8 + data.size(), static_cast<std::uint32_t>(crc));
    return bytes;
}

inline PngBytes pngHeaderData(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colourType,
                              std::uint8_t interlace = 0) {
    PngBytes data{0, 0, 0, 0, 0, 0, 0, 0, depth, colourType, 0, 0, interlace};
    putBigEndian32(data.data(), width);
    putBigEndian32(data.data() + 4, height);
    return data;
}

// `raw` deflated by zlib with `level` and `strategy`; empty if zlib cannot start.
inline PngBytes zlibStream(const PngBytes& raw, int level = 9, int strategy = Z_DEFAULT_STRATEGY) {
    z_stream z{};
    PngBytes packed;
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) return packed;
    packed.resize(deflateBound(&z, static_cast<uLong>(raw.size())));
    z.next_in = const_cast<std::uint8_t*>(raw.data());
    z.avail_in = static_cast<uInt>(raw.size());
    z.next_out = packed.data();
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    return packed;
}

inline const PngBytes kPngSignature{137, 80, 78, 71, 13, 10, 26, 10};

// Signature, IHDR, the chunks given (each already made with pngChunk), IEND.
inline PngBytes pngFile(const PngBytes& header, const std::vector<PngBytes>& chunks, bool withEnd = true) {
    PngBytes file = kPngSignature;
    const PngBytes ihdr = pngChunk("IHDR", header);
    file.insert(file.end(), ihdr.begin(), ihdr.end());
    for (const PngBytes& c : chunks) file.insert(file.end(), c.begin(), c.end());
    if (withEnd) {
        const PngBytes iend = pngChunk("IEND", {});
        file.insert(file.end(), iend.begin(), iend.end());
    }
    return file;
}

}  // namespace kelvarin::test
