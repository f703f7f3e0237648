#include "support/sample_sources.h"

#include <cstring>
#include <vector>

namespace kelvarin::test {

namespace {

bool intelFile(const Bytes& file) { return file.size() >= 2 && file[0] == 'I'; }

struct Entry {
    std::uint16_t tag, type;
    std::uint32_t count, value;  // value: the number itself (count 1) or an offset patched later
    int array = -1;              // index into the arrays placed behind the IFD
};

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
    const bool sampleFormat = layout.bits == 32;

    // Arrays behind the IFD, each a list of SHORT or LONG values.
    std::vector<std::vector<std::uint32_t>> arrays;
    std::vector<bool> arrayIsLong;
    auto addArray = [&](std::vector<std::uint32_t> values, bool isLong) {
        arrays.push_back(std::move(values));
        arrayIsLong.push_back(isLong);
        return static_cast<int>(arrays.size() - 1);
    };
    std::vector<Entry> entries;
    entries.push_back({256, 3, 1, layout.width});
    entries.push_back({257, 3, 1, layout.length});
    if (colour) {
        entries.push_back({258, 3, 3, 0, addArray({layout.bits, layout.bits, layout.bits}, false)});
    } else {
        entries.push_back({258, 3, 1, layout.bits});
    }
    entries.push_back({259, 3, 1, 1});
    entries.push_back({262, 3, 1, colour ? 2u : 1u});
    std::vector<std::uint32_t> offsets, counts;
    for (std::uint32_t s = 0; s < strips; ++s) {
        const std::uint32_t rows = s + 1 < strips ? rowsPerStrip : layout.length - s * rowsPerStrip;
        offsets.push_back(s * rowsPerStrip * rowBytes);  // relative to the data, patched below
        counts.push_back(rows * rowBytes);
    }
    const int offsetsArray = strips > 1 ? addArray(offsets, true) : -1;
    entries.push_back({273, 4, strips, 0, offsetsArray});
    entries.push_back({277, 3, 1, layout.samples});
    entries.push_back({278, 3, 1, rowsPerStrip});
    const int countsArray = strips > 1 ? addArray(counts, true) : -1;
    entries.push_back({279, 4, strips, strips > 1 ? 0 : dataBytes, countsArray});
    entries.push_back({284, 3, 1, 1});
    if (sampleFormat) {
        const std::uint32_t format = layout.floating ? 3 : 1;
        entries.push_back({339, 3, 3, 0, addArray({format, format, format}, false)});
    }

    const std::size_t ifd = 8;
    // Behind the next-IFD offset, 20 zero bytes: readers that look at two slots beyond the
    // counted entries (as Bryce files need) find tag 0 there.
    const std::size_t ifdEnd = ifd + 2 + 12 * entries.size() + 4 + 20;
    std::vector<std::size_t> arrayAt;
    std::size_t at = ifdEnd;
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        arrayAt.push_back(at);
        at += arrays[a].size() * (arrayIsLong[a] ? 4 : 2);
    }
    const std::size_t dataAt = at;
    Bytes file(dataAt + dataBytes, 0);
    file[0] = file[1] = layout.intel ? 'I' : 'M';
    putTiff16(file, 2, 42);
    putTiff32(file, 4, ifd);
    putTiff16(file, ifd, static_cast<std::uint32_t>(entries.size()));
    if (places) {
        *places = {};
        places->ifd = ifd;
        places->dataOffset = dataAt;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const std::size_t p = ifd + 2 + 12 * i;
        putTiff16(file, p, e.tag);
        putTiff16(file, p + 2, e.type);
        putTiff32(file, p + 4, e.count);
        std::uint32_t value = e.value;
        if (e.array >= 0) value = static_cast<std::uint32_t>(arrayAt[e.array]);
        if (e.tag == 273 && e.array < 0) value = static_cast<std::uint32_t>(dataAt);
        if (e.type == 3 && e.count == 1) {
            putTiff16(file, p + 8, value);
        } else {
            putTiff32(file, p + 8, value);
        }
        if (places) places->entries[e.tag] = p;
    }
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        for (std::size_t k = 0; k < arrays[a].size(); ++k) {
            std::uint32_t v = arrays[a][k];
            if (static_cast<int>(a) == offsetsArray) v += static_cast<std::uint32_t>(dataAt);
            if (arrayIsLong[a]) {
                putTiff32(file, arrayAt[a] + 4 * k, v);
            } else {
                putTiff16(file, arrayAt[a] + 2 * k, v);
            }
        }
    }
    if (places && offsetsArray >= 0) {
        places->stripOffsetsArray = arrayAt[offsetsArray];
        places->stripByteCountsArray = arrayAt[countsArray];
    }
    // Pixels: integers from a fixed pattern; floats (always stored low byte first) in 0.1 to 1.6.
    if (layout.floating) {
        for (std::uint32_t i = 0; i < dataBytes / 4; ++i) {
            const float value = 0.1f + static_cast<float>(i % 7) * 0.25f;
            std::uint32_t bitsOf;
            std::memcpy(&bitsOf, &value, 4);
            for (int k = 0; k < 4; ++k) file[dataAt + 4 * i + k] = static_cast<std::uint8_t>(bitsOf >> (8 * k));
        }
    } else {
        for (std::uint32_t i = 0; i < dataBytes; ++i) file[dataAt + i] = static_cast<std::uint8_t>(i * 37 + 11);
    }
    return file;
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
        file.insert(file.end(), {2, 2, static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width)});
        for (std::uint32_t plane = 0; plane < 4; ++plane) {
            // A literal packet of 5 bytes, then runs of up to 127, the last one filling the row.
            const std::uint32_t literal = width < 5 ? width : 5;
            file.push_back(static_cast<std::uint8_t>(literal));
            for (std::uint32_t k = 0; k < literal; ++k) {
                file.push_back(static_cast<std::uint8_t>(plane == 3 ? 128 + k : 40 * plane + 7 * row + k + 1));
            }
            for (std::uint32_t x = literal; x < width;) {
                const std::uint32_t run = width - x < 127 ? width - x : 127;
                file.push_back(static_cast<std::uint8_t>(128 + run));
                file.push_back(static_cast<std::uint8_t>(plane == 3 ? 129 : 30 + 50 * plane + row + x % 11));
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
