#include "formats/tiff_directory.h"

#include <algorithm>
#include <cstring>

namespace kelvarin {

namespace {

// Far more entries than any writer puts in one directory; the bound keeps a BigTIFF's 64-bit
// count from asking for a huge read.
constexpr std::uint64_t kMaxEntries = 65535;

// Bryce writes one entry more than its directory's count says, where the next directory's offset
// belongs; the first reader of these files reads two slots beyond the count. Such a slot is taken
// as an entry when it is one of the image tags the directory lacks and follows the last tag in
// order, as a writer would have put it; the file then has no next directory.
void readUncountedEntries(ByteSource& source, std::uint64_t at, TiffDirectory& directory) {
    static constexpr std::uint16_t kImageTags[] = {256, 257, 258, 259, 262, 273, 277, 278, 279, 284, 339};
    std::uint8_t slots[24] = {};
    source.readUpTo(at, slots, sizeof slots);
    for (int i = 0; i < 2; ++i) {
        const std::uint8_t* p = slots + 12 * i;
        const auto tag = static_cast<std::uint16_t>(directory.number(p, 2));
        const auto type = static_cast<std::uint16_t>(directory.number(p + 2, 2));
        bool image = false;
        for (std::uint16_t t : kImageTags) image = image || t == tag;
        if (!image || directory.has(tag) || tag < directory.entries.rbegin()->first || (type != 3 && type != 4)) return;
        TiffEntryValue e;
        e.type = type;
        e.count = directory.number(p + 4, 4);
        std::memcpy(e.field, p + 8, 4);
        directory.entries.emplace(tag, e);
        directory.nextOffset = 0;
    }
}

}  // namespace

unsigned tiffTypeSize(std::uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;     // BYTE, ASCII, SBYTE, UNDEFINED
        case 3: case 8: return 2;                     // SHORT, SSHORT
        case 4: case 9: case 11: case 13: return 4;   // LONG, SLONG, FLOAT, IFD
        case 5: case 10: case 12: return 8;           // RATIONAL, SRATIONAL, DOUBLE
        case 16: case 17: case 18: return 8;          // LONG8, SLONG8, IFD8
        default: return 0;
    }
}

std::uint64_t TiffDirectory::number(const std::uint8_t* bytes, unsigned size) const {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i) v |= std::uint64_t{bytes[bigEndian ? i : size - 1 - i]} << (8 * (size - 1 - i));
    return v;
}

bool TiffDirectory::values(ByteSource& source, std::uint16_t tag, std::uint64_t maxCount,
                           std::vector<std::uint64_t>& out) const {
    const auto found = entries.find(tag);
    if (found == entries.end()) return false;
    const TiffEntryValue& e = found->second;
    const bool integer = e.type == 1 || e.type == 3 || e.type == 4 || e.type == 6 || e.type == 8 ||
                         e.type == 9 || e.type == 13 || e.type == 16 || e.type == 17 || e.type == 18;
    if (!integer || e.count == 0 || e.count > maxCount) return false;
    const unsigned size = tiffTypeSize(e.type);
    const unsigned fieldSize = bigTiff ? 8 : 4;
    // The count is bounded by the caller, so the product cannot overflow.
    const std::uint64_t bytes = e.count * size;
    if (bytes > source.size()) return false;
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(bytes));
    if (bytes <= fieldSize) {
        std::memcpy(raw.data(), e.field, raw.size());
    } else if (!source.readAt(number(e.field, fieldSize), raw.data(), raw.size())) {
        return false;
    }
    out.resize(static_cast<std::size_t>(e.count));
    for (std::size_t i = 0; i < out.size(); ++i) {
        std::uint64_t v = number(raw.data() + i * size, size);
        // Signed kinds: negative values make no sense for any tag read here; they become huge
        // and are refused by the checks on the values.
        if ((e.type == 6 || e.type == 8 || e.type == 9) && (v >> (8 * size - 1)) != 0) v = ~std::uint64_t{0};
        out[i] = v;
    }
    return true;
}

std::uint64_t TiffDirectory::value(ByteSource& source, std::uint16_t tag, std::uint64_t fallback) const {
    std::vector<std::uint64_t> v;
    // Tags like BitsPerSample and SampleFormat hold one value a sample; the first one stands
    // for them (callers that need all of them ask with values()).
    if (!values(source, tag, 65535, v)) return fallback;
    return v.front();
}

std::string readTiffDirectory(ByteSource& source, std::uint64_t offset, TiffDirectory& directory) {
    std::uint8_t head[16] = {};
    if (!source.readAt(0, head, 8)) return "The file ends inside its TIFF header.";
    if (head[0] != head[1] || (head[0] != 'I' && head[0] != 'M')) return "The file does not begin as a TIFF.";
    directory.bigEndian = head[0] == 'M';
    const std::uint64_t version = directory.number(head + 2, 2);
    if (version == 43) {
        if (!source.readAt(0, head, 16)) return "The file ends inside its BigTIFF header.";
        if (directory.number(head + 4, 2) != 8 || directory.number(head + 6, 2) != 0)
            return "The BigTIFF header gives an offset size other than 8.";
        directory.bigTiff = true;
    } else if (version != 42) {
        return "The TIFF header gives version " + std::to_string(version) + ", neither 42 nor 43 (BigTIFF).";
    }
    if (offset == 0) offset = directory.bigTiff ? directory.number(head + 8, 8) : directory.number(head + 4, 4);

    const unsigned countSize = directory.bigTiff ? 8 : 2, entrySize = directory.bigTiff ? 20 : 12;
    const unsigned fieldSize = directory.bigTiff ? 8 : 4;
    std::uint8_t countBytes[8] = {};
    if (!source.readAt(offset, countBytes, countSize)) return "The image file directory lies beyond the end of the file.";
    const std::uint64_t count = directory.number(countBytes, countSize);
    if (count == 0 || count > kMaxEntries) return "The image file directory has no entries or too many.";
    // Checked before the entries are read into memory: a count is no reason to allocate.
    if (count * entrySize + fieldSize > source.size() - std::min(source.size(), offset + countSize))
        return "The image file directory runs past the end of the file.";
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count * entrySize + fieldSize));
    if (!source.readAt(offset + countSize, bytes.data(), bytes.size()))
        return "The image file directory runs past the end of the file.";
    directory.entries.clear();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes.data() + i * entrySize;
        TiffEntryValue e;
        e.type = static_cast<std::uint16_t>(directory.number(p + 2, 2));
        e.count = directory.number(p + 4, directory.bigTiff ? 8 : 4);
        std::memcpy(e.field, p + (directory.bigTiff ? 12 : 8), fieldSize);
        // The first of repeated tags counts, as most readers take it.
        directory.entries.emplace(static_cast<std::uint16_t>(directory.number(p, 2)), e);
    }
    directory.nextOffset = directory.number(bytes.data() + count * entrySize, fieldSize);
    if (!directory.bigTiff) readUncountedEntries(source, offset + countSize + count * entrySize, directory);
    return "";
}

}  // namespace kelvarin
