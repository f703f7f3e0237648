// Builds small TIFF files entry by entry, so a test can change, drop or add any IFD entry.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "support/test_files.h"

namespace kelvarin::test {

enum : std::uint16_t { kAsciiType = 2, kShortType = 3, kLongType = 4, kRationalType = 5 };

struct TiffEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    // Values of SHORT or LONG entries; for other types the raw value field as one LONG.
    std::vector<std::uint32_t> values;
};

// Stands for the offset of the pixel data in a StripOffsets value.
inline constexpr std::uint32_t kPixelDataOffset = 0xFFFFFFF0u;

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian) : big_(bigEndian) {}

    std::vector<TiffEntry> entries;
    Bytes pixels;
    // Bytes after the IFD's next-offset word, before the value arrays (room for odd layouts).
    Bytes afterIfd;
    // The count written at the IFD start; by default the number of entries.
    int countOverride = -1;
    std::uint32_t ifdOffset = 8;

    // An RGB file with one strip: the usual entries of a TIFF writer.
    static TiffBuilder rgb(bool bigEndian, std::uint32_t width, std::uint32_t length, std::uint16_t bits,
                           std::uint16_t sampleFormat, const Bytes& pixels) {
        TiffBuilder b(bigEndian);
        b.pixels = pixels;
        b.entries = {
            {254, kLongType, 1, {0}},
            {256, kShortType, 1, {width}},
            {257, kShortType, 1, {length}},
            {258, kShortType, 3, {bits, bits, bits}},
            {259, kShortType, 1, {1}},
            {262, kShortType, 1, {2}},
            {273, kLongType, 1, {kPixelDataOffset}},
            {277, kShortType, 1, {3}},
            {278, kShortType, 1, {length}},
            {279, kLongType, 1, {static_cast<std::uint32_t>(pixels.size())}},
            {284, kShortType, 1, {1}},
        };
        if (sampleFormat != 0) b.entries.push_back({339, kShortType, 3, {sampleFormat, sampleFormat, sampleFormat}});
        return b;
    }

    TiffEntry* find(std::uint16_t tag) {
        for (auto& e : entries)
            if (e.tag == tag) return &e;
        return nullptr;
    }
    void remove(std::uint16_t tag) {
        entries.erase(std::remove_if(entries.begin(), entries.end(), [&](const TiffEntry& e) { return e.tag == tag; }),
                      entries.end());
    }

    Bytes build() const {
        Bytes out(ifdOffset, 0);
        out[0] = out[1] = big_ ? 'M' : 'I';
        put16(out, 2, 42);
        put32(out, 4, ifdOffset);
        const std::size_t ifdSize = 2 + 12 * entries.size() + 4;
        const std::size_t arraysAt = ifdOffset + ifdSize + afterIfd.size();
        // Value arrays first, then the pixel data.
        Bytes arrays;
        std::vector<std::uint32_t> fieldOffsets;
        for (const auto& e : entries) {
            const std::size_t size = e.type == kShortType ? 2 : 4;
            if (e.values.size() * size > 4) {
                fieldOffsets.push_back(static_cast<std::uint32_t>(arraysAt + arrays.size()));
                for (std::uint32_t v : e.values) {
                    const std::size_t at = arrays.size();
                    arrays.resize(at + size);
                    if (size == 2) put16(arrays, at, static_cast<std::uint16_t>(v));
                    else put32(arrays, at, v);
                }
            } else {
                fieldOffsets.push_back(0);
            }
        }
        const std::uint32_t pixelsAt = static_cast<std::uint32_t>(arraysAt + arrays.size());
        out.resize(ifdOffset + ifdSize);
        put16(out, ifdOffset, static_cast<std::uint16_t>(countOverride >= 0 ? countOverride : entries.size()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const TiffEntry& e = entries[i];
            const std::size_t at = ifdOffset + 2 + 12 * i;
            put16(out, at, e.tag);
            put16(out, at + 2, e.type);
            put32(out, at + 4, e.count);
            if (fieldOffsets[i] != 0) {
                put32(out, at + 8, fieldOffsets[i]);
            } else if (e.type == kShortType) {
                for (std::size_t k = 0; k < e.values.size(); ++k)
                    put16(out, at + 8 + 2 * k, static_cast<std::uint16_t>(resolve(e.values[k], pixelsAt)));
            } else if (!e.values.empty()) {
                put32(out, at + 8, resolve(e.values[0], pixelsAt));
            }
        }
        put32(out, ifdOffset + 2 + 12 * entries.size(), 0);
        out.insert(out.end(), afterIfd.begin(), afterIfd.end());
        out.insert(out.end(), arrays.begin(), arrays.end());
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }

    // Where the values of an entry too large for its value field will stand; 0 when they fit.
    std::uint32_t arrayOffset(std::uint16_t tag) const {
        std::size_t at = ifdOffset + 2 + 12 * entries.size() + 4 + afterIfd.size();
        for (const auto& e : entries) {
            const std::size_t bytes = e.values.size() * (e.type == kShortType ? 2 : 4);
            if (bytes <= 4) continue;
            if (e.tag == tag) return static_cast<std::uint32_t>(at);
            at += bytes;
        }
        return 0;
    }

    // The offset the pixel data will get (for StripOffsets arrays a test writes itself).
    std::uint32_t pixelOffset() const {
        std::size_t arrays = 0;
        for (const auto& e : entries) {
            const std::size_t size = e.type == kShortType ? 2 : 4;
            if (e.values.size() * size > 4) arrays += e.values.size() * size;
        }
        return static_cast<std::uint32_t>(ifdOffset + 2 + 12 * entries.size() + 4 + afterIfd.size() + arrays);
    }

private:
    static std::uint32_t resolve(std::uint32_t v, std::uint32_t pixelsAt) { return v == kPixelDataOffset ? pixelsAt : v; }
    void put16(Bytes& b, std::size_t at, std::uint16_t v) const {
        b[at] = static_cast<std::uint8_t>(big_ ? v >> 8 : v);
        b[at + 1] = static_cast<std::uint8_t>(big_ ? v : v >> 8);
    }
    void put32(Bytes& b, std::size_t at, std::uint32_t v) const {
        if (big_) {
            put16(b, at, static_cast<std::uint16_t>(v >> 16));
            put16(b, at + 2, static_cast<std::uint16_t>(v));
        } else {
            put16(b, at, static_cast<std::uint16_t>(v));
            put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
        }
    }
    bool big_;
};

}  // namespace kelvarin::test
