// Builders and checks shared by the PGM, RAW and BIN tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/scripted_port.h"
#include "support/test_files.h"

namespace kelvarin::test {

struct TiffValues {
    std::uint32_t width, length, rowsPerStrip, stripByteCounts;
};


inline Bytes littleEndianSamples(const std::vector<std::uint16_t>& samples) {
    Bytes bytes;
    bytes.reserve(samples.size() * 2);
    for (std::uint16_t s : samples) {
        bytes.push_back(static_cast<std::uint8_t>(s & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(s >> 8));
    }
    return bytes;
}

namespace detail {
inline std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
}  // namespace detail

inline TiffValues readTiffValues(const Bytes& tiff) {
    // Value fields of IFD entries 2, 3, 10 and 11 (entries start at 10, 12 bytes each).
    if (tiff.size() < 302) return {0, 0, 0, 0};
    return {detail::le32(tiff, 10 + 1 * 12 + 8), detail::le32(tiff, 10 + 2 * 12 + 8), detail::le32(tiff, 10 + 9 * 12 + 8),
            detail::le32(tiff, 10 + 10 * 12 + 8)};
}

inline Bytes tiffData(const Bytes& tiff) {
    if (tiff.size() < 302) return {};
    return Bytes(tiff.begin() + 302, tiff.end());
}

inline bool containsInOrder(const std::vector<std::string>& log, const std::vector<std::string>& expected) {
    if (expected.empty()) return true;
    return std::search(log.begin(), log.end(), expected.begin(), expected.end()) != log.end();
}

inline bool haveTool(const std::string& name) { return runCommand("command -v " + name + " >/dev/null 2>&1") == 0; }


}  // namespace kelvarin::test
