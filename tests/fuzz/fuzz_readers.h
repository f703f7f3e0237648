// The readers on their own, straight on the input's bytes in memory: what each promises about a
// file it accepts (sizes, offsets and strips inside the file, room for every sample) and about
// one it refuses (a box text and a last ">>> ... STOP!" line). A broken promise prints what
// broke and traps, so libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvarin::fuzz {

// Reads the first two bytes as the byte order and the header from there on, in the normal and
// the TE>Raw mode.
void checkTiffReader(const std::uint8_t* data, std::size_t size);
// The header, then the scanlines decoded into planes when the header is accepted.
void checkRadianceReader(const std::uint8_t* data, std::size_t size);
// The header, then for a plain file the sample text up to the samples announced.
void checkPgmReader(const std::uint8_t* data, std::size_t size);
// The text header, then the sample steps on the data when its size is the one announced.
void checkBinReader(const std::uint8_t* header, std::size_t headerSize, const std::uint8_t* data, std::size_t size);
void checkRawReader(std::size_t size);
// The PNG header, then every row in bands of a few, twice (the second pass starts again at row
// 0): both passes decode the same pixels or fail with the same reason.
void checkPngReader(const std::uint8_t* data, std::size_t size);

}  // namespace kelvarin::fuzz
