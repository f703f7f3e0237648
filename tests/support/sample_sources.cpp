#include "support/sample_sources.h"

#include <cstring>
#include <vector>

#include "support/rgbe_encoding.h"
#include "support/tiff_builder.h"

namespace kelvarin::test {

namespace {

bool intelFile(const Bytes& file) { return file.size() >= 2 && file[0] == 'I'; }

}  // namespace

void putTiff16(Bytes& file, std::size_t at, std::uint32_t value) {
    if (intelFile(file)) {
        file[at] = static_cast<std::uint8_t>(value);
        file[at + 1] = static_cast<std::uint8_t>(value >> 8);
    } else {
        file[at] = static_cast<std::uint8_t>(value >> 8);
        file[at + 1] = static_cast<std::uint8_t>(value);
    }
}

void putTiff32(Bytes& file, std::size_t at, std::uint32_t value) {
    if (intelFile(file)) {
        putTiff16(file, at, value & 0xFFFF);
        putTiff16(file, at + 2, value >> 16);
    } else {
        putTiff16(file, at, value >> 16);
        putTiff16(file, at + 2, value & 0xFFFF);
    }
}

Bytes buildTiff(const TiffLayout& layout, TiffPlaces* places) {
    const std::uint32_t rowsPerStrip = layout.rowsPerStrip == 0 ? layout.length : layout.rowsPerStrip;
    const std::uint32_t strips = (layout.length + rowsPerStrip - 1) / rowsPerStrip;
    const std::uint32_t rowBytes = layout.width * layout.samples * layout.bits / 8;
    const std::uint32_t dataBytes = rowBytes * layout.length;
    const bool colour = layout.samples == 3;
    const std::uint32_t bits = layout.bits;

    TiffBuilder tiff(!layout.intel);
    // Behind the next-IFD offset, 20 zero bytes: readers that look at two slots beyond the
    // counted entries (as Bryce files need) find tag 0 there.
    tiff.afterIfd.assign(20, 0);
    std::vector<std::uint32_t> offsets, counts;
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::uint32_t rows = s + 1 < strips ? rowsPerStrip : layout.length - s * rowsPerStrip;
        offsets.push_back(s * rowsPerStrip * rowBytes);  // relative to the data, moved below
        counts.push_back(rows * rowBytes);
    }
    tiff.entries = {
        {256, kShortType, 1, {layout.width}},
        {257, kShortType, 1, {layout.length}},
        colour ? TiffEntry{258, kShortType, 3, {bits, bits, bits}} : TiffEntry{258, kShortType, 1, {bits}},
        {259, kShortType, 1, {1}},
        {262, kShortType, 1, {colour ? 2u : 1u}},
        {273, kLongType, strips, strips > 1 ? offsets : std::vector<std::uint32_t>{kPixelDataOffset}},
        {277, kShortType, 1, {layout.samples}},
        {278, kShortType, 1, {rowsPerStrip}},
        {279, kLongType, strips, counts},
        {284, kShortType, 1, {1}},
    };
    if (layout.bits == 32) {
        const std::uint32_t format = layout.floating ? 3 : 1;
        tiff.entries.push_back({339, kShortType, 3, {format, format, format}});
    }
    const std::uint32_t dataAt = tiff.pixelOffset();
    if (strips > 1)
        for (std::uint32_t& offset : tiff.find(273)->values) offset += dataAt;

    // Pixels: integers from a fixed pattern; floats (always stored low byte first) in 0.1 to 1.6.
    tiff.pixels.assign(dataBytes, 0);
    if (layout.floating) {
        for (std::uint32_t i = 0; i < dataBytes / 4; ++i) {
            const float value = 0.1f + static_cast<float>(i % 7) * 0.25f;
            std::uint32_t bitsOf;
            std::memcpy(&bitsOf, &value, 4);
            for (int k = 0; k < 4; ++k) tiff.pixels[4 * i + k] = static_cast<std::uint8_t>(bitsOf >> (8 * k));
        }
    } else {
        for (std::uint32_t i = 0; i < dataBytes; ++i) tiff.pixels[i] = static_cast<std::uint8_t>(i * 37 + 11);
    }

    if (places) {
        *places = {};
        places->ifd = tiff.ifdOffset;
        places->dataOffset = dataAt;
        for (std::size_t i = 0; i < tiff.entries.size(); ++i)
            places->entries[tiff.entries[i].tag] = tiff.ifdOffset + 2 + 12 * i;
        if (strips > 1) {
            places->stripOffsetsArray = tiff.arrayOffset(273);
            places->stripByteCountsArray = tiff.arrayOffset(279);
        }
    }
    return tiff.build();
}

std::size_t radianceHeaderBytes(std::uint32_t width, std::uint32_t length) {
    return std::string("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.0\n\n-Y " + std::to_string(length) +
                       " +X " + std::to_string(width) + "\n")
        .size();
}

Bytes buildRadiance(std::uint32_t width, std::uint32_t length) {
    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.0\n\n-Y " + std::to_string(length) +
                               " +X " + std::to_string(width) + "\n";
    Bytes file(header.begin(), header.end());
    for (std::uint32_t row = 0; row < length; ++row) {
        appendScanlineHeader(file, width);
        for (std::uint32_t plane = 0; plane < 4; ++plane) {
            // A literal packet of 5 bytes, then runs of up to 127, the last one filling the row.
            const std::uint32_t literal = width < 5 ? width : 5;
            std::uint8_t values[5];
            for (std::uint32_t k = 0; k < literal; ++k)
                values[k] = static_cast<std::uint8_t>(plane == 3 ? 128 + k : 40 * plane + 7 * row + k + 1);
            appendLiteral(file, values, literal);
            for (std::uint32_t x = literal; x < width;) {
                const std::uint32_t run = width - x < 127 ? width - x : 127;
                appendRun(file, run, static_cast<std::uint8_t>(plane == 3 ? 129 : 30 + 50 * plane + row + x % 11));
                x += run;
            }
        }
    }
    return file;
}

Bytes buildPgm(bool plain, std::uint32_t width, std::uint32_t length) {
    const std::string header = std::string(plain ? "P2" : "P5") + "\n# sample\n" + std::to_string(width) + " " +
                               std::to_string(length) + "\n65535\n";
    Bytes file(header.begin(), header.end());
    const std::uint32_t samples = width * length;
    for (std::uint32_t i = 0; i < samples; ++i) {
        const std::uint32_t value = i + 1 == samples ? 7 : (i * 7919 + 300) % 65536;
        if (plain) {
            const std::string text = std::to_string(value) + (i + 1 == samples ? "" : (i + 1) % width ? " " : "\n");
            file.insert(file.end(), text.begin(), text.end());
        } else {
            file.push_back(static_cast<std::uint8_t>(value >> 8));
            file.push_back(static_cast<std::uint8_t>(value));
        }
    }
    return file;
}

Bytes buildRaw(std::uint32_t side) {
    Bytes file;
    for (std::uint32_t i = 0; i < side * side; ++i) {
        const std::uint32_t value = i * 4099 + 17;
        file.push_back(static_cast<std::uint8_t>(value));
        file.push_back(static_cast<std::uint8_t>(value >> 8));
    }
    return file;
}

std::string binHeader(const std::string& rows, const std::string& columns, const std::string& base,
                      const std::string& voidMarker) {
    return "3DEM Terrain\nBinary Signed Integer\nleft = 10.5\nright = 10.75\nbottom = 47.1\ntop = 47.3\n"
           "units = degrees\nrows = " +
           rows + "\ncolumns = " + columns + "\nspacing = 30\nmin elevation = " + base +
           "\nmax elevation = 900\nvoid = " + voidMarker + "\n";
}

BinPair buildBin(std::uint32_t rows, std::uint32_t columns) {
    BinPair pair{binHeader(std::to_string(rows), std::to_string(columns)), {}};
    for (std::uint32_t i = 0; i < rows * columns; ++i) {
        const std::int16_t value = i == 1 ? -32768 : static_cast<std::int16_t>(static_cast<int>(i * 97) - 120);
        const auto bits = static_cast<std::uint16_t>(value);
        pair.data.push_back(static_cast<std::uint8_t>(bits));
        pair.data.push_back(static_cast<std::uint8_t>(bits >> 8));
    }
    return pair;
}

}  // namespace kelvarin::test
