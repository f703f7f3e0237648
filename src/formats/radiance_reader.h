// Radiance RGBE (.hdr/.pic) files: the text header and the scanlines, new run-length encoded,
// flat or in the older run-length form, each row as its first bytes say (rgbe_scanlines.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/rgbe_map.h"
#include "formats/byte_source.h"
#include "formats/reader_report.h"

namespace kelvarin {

// The header is looked for in the first 1024 bytes only.
inline constexpr std::size_t kRadianceHeaderBlock = 1024;
inline constexpr std::uint32_t kRadianceMaxSide = 65535;

// What the header scan found, before any judgement of the values.
struct RadianceHeaderScan {
    bool signatureOk = false;
    // Lines for the log, in order (the signature line first).
    std::vector<std::string> logLines;
    bool lengthFound = false, widthFound = false;
    // The rounded numbers as the header states them; checked by the caller.
    double length = 0, width = 0;
    bool dataOffsetFound = false;
    std::uint64_t dataOffset = 0;
    // True when the scan was cut short because it went round the block without progress.
    bool scanStalled = false;
};

RadianceHeaderScan scanRadianceHeader(std::string_view block);

struct RadianceHeader {
    ReaderReport report;
    std::uint32_t width = 0;
    std::uint32_t length = 0;
    std::uint32_t dataOffset = 0;       // where the scanlines begin
    std::uint32_t outputDataBytes = 0;  // 2 x width x length
};

// The header scan judged: the resolution line, the end of the header, and a size the file can
// hold (see minimumScanlineBytes) and a 16-bit TIFF of one strip can describe.
RadianceHeader readRadianceHeader(ByteSource& source);

// The smallest number of bytes width x length pixels can take in any of the scanline kinds: 4 a
// row for one pixel, 8 up to 256 pixels and 12 beyond (a pixel and runs repeating it). A file is
// refused below this size. The older runs compress a plain row of 65535 pixels into 12 bytes, so
// this bounds the planes (4 bytes a pixel, the whole image: the tone mapping needs the extremes of
// all of it first) only by the 4 GB output limit, 2^31 pixels; their memory is made only as rows
// are decoded into it, and an allocation that fails stops the job with a message.
std::uint64_t minimumScanlineBytes(std::uint64_t width, std::uint64_t length);

// HeaderError: a new-RLE row of an image 256 pixels wide or more whose width's high byte is 0.
enum class RgbeDecodeStatus { Ok, HeaderError, Truncated };

// The abort message of a failed decode ("" for Ok).
const char* rgbeDecodeMessage(RgbeDecodeStatus status);

// Decodes one component stream of one scanline: packets from `in` (never past `end`) until they
// cover `width` pixels; at most `room` bytes are stored at `out` (a packet that runs past the
// scanline still consumes its input, but the bytes beyond the row are not kept). Returns false
// when the input ends before the component is complete.
bool decodeRlePackets(const std::uint8_t*& in, const std::uint8_t* end, std::uint8_t* out,
                      std::size_t room, std::uint32_t width);

// Decodes `map.length()` scanlines of any kind from data[0, size) into the map. `rowDone(r)` is
// called after each row.
RgbeDecodeStatus decodeRgbeScanlines(const std::uint8_t* data, std::size_t size, RgbeMap& map,
                                     const std::function<void(std::uint32_t)>& rowDone);

// The scanlines of decodeRgbeScanlines in two steps, so that rows can be decoded in parallel:
// findRgbeScanlines walks the rows without storing them and returns the status the decode
// would return; rowStarts[r] is where row r begins, for every row on Ok and for the rows before
// the bad one otherwise. decodeRgbeRows then decodes rows [firstRow, endRow) of what it found
// into the map; rows may be decoded in any order. Each row is decoded from its own bytes only
// (up to the next row's start), so bytes that changed since the walk cost no more than the row;
// false when a row no longer fits there. A flat row is 4 x width bytes; an old run-length row's
// length is only known by walking its pixels, so the walk goes through every row.
RgbeDecodeStatus findRgbeScanlines(const std::uint8_t* data, std::size_t size, std::uint32_t width,
                                   std::uint32_t length, std::vector<std::size_t>& rowStarts);
bool decodeRgbeRows(const std::uint8_t* data, std::size_t size, const std::vector<std::size_t>& rowStarts,
                    std::uint32_t firstRow, std::uint32_t endRow, RgbeMap& map);

// The walk of findRgbeScanlines a few rows at a time, so that the rows found so far can be decoded
// while it goes on. starts() has a place for every row and one more: starts()[r] is where row r
// begins for every row walked and the row after it (the end of the last one walked); each place
// is written once, before walkTo() returns, so threads may decode the rows already walked.
class RgbeScanlineWalk {
public:
    RgbeScanlineWalk(const std::uint8_t* data, std::size_t size, std::uint32_t width, std::uint32_t length);
    // Walks on up to row `endRow` (or the image's end); the status of the whole walk so far. Once
    // a row has failed, the walk stays there.
    RgbeDecodeStatus walkTo(std::uint32_t endRow);
    RgbeDecodeStatus status() const { return status_; }
    // The rows walked and found good.
    std::uint32_t rowsFound() const { return walked_; }
    const std::vector<std::size_t>& starts() const { return starts_; }

private:
    const std::uint8_t* data_;
    const std::uint8_t* in_;
    const std::uint8_t* end_;
    std::uint32_t width_, length_;
    std::uint32_t walked_ = 0;
    RgbeDecodeStatus status_ = RgbeDecodeStatus::Ok;
    std::vector<std::size_t> starts_;
};

// Black pixels (E = 0) between the first and the last take the exponent of the pixel before
// them, so that they stay at the level of their neighbourhood instead of 2^-128.
void fillZeroExponents(RgbeMap& map);
// The same in parts of the image, pixels [begin, end) in row order, so that the parts can be
// filled on several threads: each part from the pixels within it (the parts in any order, at
// once), then, the parts in order, the black pixels at its start from the part before.
void fillZeroExponentsWithin(RgbeMap& map, std::size_t begin, std::size_t end);
void fillZeroExponentsAtStart(RgbeMap& map, std::size_t begin, std::size_t end);

}  // namespace kelvarin
