// The directory of a TIFF image as a general reader needs it: the header (classic or BigTIFF, in
// either byte order) and the entries of one image file directory, whose values are read on demand
// and never beyond the end of the file.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "formats/byte_source.h"

namespace kelvarin {

struct TiffEntryValue {
    std::uint16_t type = 0;
    std::uint64_t count = 0;
    std::uint8_t field[8] = {};  // the value field as stored (4 bytes classic, 8 BigTIFF)
};

class TiffDirectory {
public:
    bool bigEndian = false;
    bool bigTiff = false;
    std::uint64_t nextOffset = 0;  // the next directory's, 0 when this is the last
    std::map<std::uint16_t, TiffEntryValue> entries;

    bool has(std::uint16_t tag) const { return entries.count(tag) != 0; }
    // The tag's integer values (BYTE, SHORT, LONG, LONG8 and their signed and IFD kinds), at
    // most `maxCount` of them; false when the tag is missing, of another type, has more values,
    // or they lie outside the file.
    bool values(ByteSource& source, std::uint16_t tag, std::uint64_t maxCount, std::vector<std::uint64_t>& out) const;
    // The first value, or `fallback` when the tag is missing or unreadable.
    std::uint64_t value(ByteSource& source, std::uint16_t tag, std::uint64_t fallback) const;

    std::uint64_t number(const std::uint8_t* bytes, unsigned size) const;
};

// Reads the header at offset 0 and the directory at `offset` (0: the first one). An empty
// string on success, otherwise what is wrong, for a refusal box.
std::string readTiffDirectory(ByteSource& source, std::uint64_t offset, TiffDirectory& directory);

// The size in bytes of one value of a TIFF field type; 0 for unknown types.
unsigned tiffTypeSize(std::uint16_t type);

}  // namespace kelvarin
