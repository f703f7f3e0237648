#include "fuzz_readers.h"

#include <cstdio>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/rgbe_map.h"
#include "formats/bin_reader.h"
#include "formats/byte_source.h"
#include "formats/height_rows.h"
#include "formats/pgm_reader.h"
#include "formats/png_reader.h"
#include "formats/radiance_reader.h"
#include "formats/raw_reader.h"
#include "formats/tiff_reader.h"

namespace kelvarin::fuzz {

namespace {

[[noreturn]] void fail(const std::string& what, const ReaderReport& report) {
    std::fprintf(stderr, "\n==== broken reader promise: %s\n==== lines:\n", what.c_str());
    for (const std::string& line : report.lines) std::fprintf(stderr, "  %s\n", line.c_str());
    if (report.refusal) std::fprintf(stderr, "==== refused: %s\n", report.refusal->text.c_str());
    __builtin_trap();
}

// A refusal names itself in a box and ends its lines with a stop line.
void checkRefusal(const ReaderReport& report) {
    if (!report.refusal) return;
    const Refusal& why = *report.refusal;
    if (why.text.empty() || why.caption.empty()) fail("a refusal without a box text or caption", report);
    if (why.lines.empty()) fail("a refusal without stop lines", report);
    const std::string& last = why.lines.back();
    const bool stop = last.rfind(">>>", 0) == 0 && last.size() >= 5 && last.compare(last.size() - 5, 5, "STOP!") == 0;
    if (!stop) fail("a refusal whose last line is not \">>> ... STOP!\": " + last, report);
}

// Every accepted image has pixels, and its data lie inside the file.
void checkInside(const ReaderReport& report, std::uint64_t offset, std::uint64_t bytes, std::uint64_t size) {
    if (offset > size || bytes > size - offset) {
        fail("data of " + std::to_string(bytes) + " bytes at " + std::to_string(offset) + " in a file of " +
                 std::to_string(size),
             report);
    }
}

// Decodes every row, in runs of up to three; a decoder that stops gives its format's refusal.
bool readAllRows(RowDecoder& rows, std::uint32_t width, std::uint32_t length) {
    std::vector<std::uint8_t> buffer(std::size_t{6} * width);
    for (std::uint32_t first = 0; first < length; first += 3) {
        if (rows.readRows(first, std::min<std::uint32_t>(3, length - first), buffer.data())) continue;
        ReaderReport report;
        if (rows.refusal() == nullptr) fail("a height decoder that stops without a box: " + rows.failure(), report);
        report.refuse(*rows.refusal());
        checkRefusal(report);
        return false;
    }
    return true;
}

}  // namespace

void checkTiffReader(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return;
    ByteOrder order;
    if (data[0] == 'I' && data[1] == 'I') {
        order = ByteOrder::II;
    } else if (data[0] == 'M' && data[1] == 'M') {
        order = ByteOrder::MM;
    } else {
        return;  // not a TIFF: the job tells it apart before any reader runs
    }
    for (const bool teRaw : {false, true}) {
        MemoryBytes source(data, size);
        const TiffHeader header = readTiffHeader(source, {.order = order, .outputOrder = ByteOrder::II, .teRaw = teRaw});
        checkRefusal(header.report);
        if (header.report.refused()) continue;
        if (header.width == 0 || header.length == 0) fail("an accepted TIFF without pixels", header.report);
        if (header.strips.empty()) fail("an accepted TIFF without strips", header.report);
        // The strips in order hold the image; of each, the part the image uses lies in the file.
        const std::uint64_t pixelBytes = std::uint64_t{header.width} * header.length * header.samplesPerPixel *
                                         (header.bitsPerSample / 8);
        std::uint64_t needed = pixelBytes;
        for (const Strip& strip : header.strips) {
            const std::uint64_t used = strip.bytes < needed ? strip.bytes : needed;
            checkInside(header.report, strip.offset, used, size);
            needed -= used;
        }
        if (needed > 0) {
            fail("strips " + std::to_string(needed) + " bytes short of an image of " + std::to_string(pixelBytes),
                 header.report);
        }
        if (header.outputDataBytes != 2ull * header.width * header.length) {
            fail("a destination of " + std::to_string(header.outputDataBytes) + " data bytes for " +
                     std::to_string(header.width) + " x " + std::to_string(header.length),
                 header.report);
        }
    }
}

void checkRadianceReader(const std::uint8_t* data, std::size_t size) {
    MemoryBytes source(data, size);
    const RadianceHeader header = readRadianceHeader(source);
    checkRefusal(header.report);
    if (header.report.refused()) return;
    if (header.width == 0 || header.length == 0) fail("an accepted Radiance file without pixels", header.report);
    checkInside(header.report, header.dataOffset, minimumScanlineBytes(header.width, header.length), size);
    // The planes take 4 bytes a pixel: only a file that can hold the image may ask for them.
    RgbeMap map(header.width, header.length);
    std::uint32_t rows = 0;
    const RgbeDecodeStatus status = decodeRgbeScanlines(data + header.dataOffset, size - header.dataOffset, map,
                                                        [&rows](std::uint32_t row) { rows = row + 1; });
    if (status == RgbeDecodeStatus::Ok && rows != header.length) {
        fail("a complete decode of " + std::to_string(rows) + " rows of " + std::to_string(header.length),
             header.report);
    }
    if (status == RgbeDecodeStatus::Ok) fillZeroExponents(map);
}

void checkPgmReader(const std::uint8_t* data, std::size_t size) {
    MemoryBytes source(data, size);
    const PgmHeader header = readPgmHeader(source);
    checkRefusal(header.report);
    if (header.report.refused()) return;
    if (header.width == 0 || header.length == 0) fail("an accepted PGM without pixels", header.report);
    if (header.outputDataBytes != 2ull * header.width * header.length)
        fail("a destination size that is not 2 x width x length", header.report);
    if (header.binary()) {
        checkInside(header.report, header.dataOffset, header.outputDataBytes, size);
        return;
    }
    // Every plain sample takes at least one byte of text.
    checkInside(header.report, header.dataOffset, std::uint64_t{header.width} * header.length, size);
    // The rows in runs of up to three, as a job's blocks ask for them.
    const std::unique_ptr<RowDecoder> rows = pgmTextRows(source, header.dataOffset, header.width);
    readAllRows(*rows, header.width, header.length);
}

void checkBinReader(const std::uint8_t* headerText, std::size_t headerSize, const std::uint8_t* data,
                    std::size_t size) {
    MemoryBytes text(headerText, headerSize);
    const BinHeader header = readBinHeader(text);
    checkRefusal(header.text);
    if (header.text.refused()) return;
    checkRefusal(header.values);
    if (header.values.refused()) return;
    if (header.width == 0 || header.length == 0) fail("an accepted BIN header without pixels", header.values);
    if (header.dataBytes != 2ull * header.width * header.length)
        fail("a data size that is not 2 x rows x columns", header.values);
    if (size != header.dataBytes) return;  // the job refuses it (binSizeMismatch)
    MemoryBytes bytes(data, size);
    const std::unique_ptr<RowDecoder> rows = binRows(bytes, header.width, header.length, header.base, header.voidMarker);
    if (!readAllRows(*rows, header.width, header.length)) fail("rows refused from a file of the image's size", header.values);
}

void checkRawReader(std::size_t size) {
    const RawHeader header = readRawHeader(size);
    checkRefusal(header.report);
    if (header.report.refused()) return;
    if (header.dataBytes != size || 2ull * header.side * header.side != size)
        fail("a RAW side of " + std::to_string(header.side) + " for " + std::to_string(size) + " bytes", header.report);
}

void checkPngReader(const std::uint8_t* data, std::size_t size) {
    MemoryBytes source(data, size);
    OpenedSource opened = openPng(source);
    checkRefusal(opened.report);
    if (opened.report.refused()) {
        if (opened.rows) fail("a refused PNG with a row decoder", opened.report);
        return;
    }
    if (opened.width == 0 || opened.length == 0 || !opened.rows) fail("an accepted PNG without pixels", opened.report);
    constexpr std::uint32_t kBand = 8;
    const std::size_t rowBytes = std::size_t{opened.width} * opened.layout.bytesPerPixel();
    std::vector<std::uint8_t> band(rowBytes * kBand);
    std::vector<std::uint8_t> firstPass;  // a digest of the first pass: a few bytes of each band
    std::string firstFailure;
    for (int pass = 0; pass < 2; ++pass) {
        std::string failure;
        std::vector<std::uint8_t> digest;
        for (std::uint32_t row = 0; row < opened.length; row += kBand) {
            const std::uint32_t count = std::min(kBand, opened.length - row);
            if (!opened.rows->readRows(row, count, band.data())) {
                failure = opened.rows->failure();
                if (failure.empty()) fail("a PNG row failure without a reason", opened.report);
                break;
            }
            digest.insert(digest.end(), band.begin(), band.begin() + std::min<std::size_t>(band.size(), 16));
        }
        if (pass == 0) {
            firstPass = digest;
            firstFailure = failure;
        } else if (failure != firstFailure || digest != firstPass) {
            fail("a second PNG pass unlike the first: \"" + firstFailure + "\" then \"" + failure + "\"",
                 opened.report);
        }
    }
}

}  // namespace kelvarin::fuzz
