// A PNG encoder (W3C PNG, second edition): the signature, IHDR, the image as IDAT chunks and
// IEND. Rows come in one at a time, top first, and leave compressed as they come: memory holds
// a few bands of rows, never the image. The deflate is run_deflate's, the checksums zlib's; the
// chunks are framed here. Grey or RGB, 8 or 16 bits per sample, not interlaced.
//
// The image data are deflated in bands of rows, each band on a thread of its own, as pigz does:
// no match reaches back into the band before, and a band ends on a byte boundary (an empty
// stored block, as a sync flush ends), so the bands join into one zlib stream whose checksum is
// combined from theirs. The bands are cut by size alone, so the bytes are the same for any
// number of threads.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "formats/byte_sink.h"

namespace kelvarin {

enum class PngColour : std::uint8_t { Grey = 0, Rgb = 2 };  // the IHDR colour types

struct PngHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int bitDepth = 16;  // 8 or 16
    PngColour colour = PngColour::Grey;
};

class PngWriter {
public:
    // The bands the filtered rows are deflated in (rows may straddle two): their size is all
    // that decides where they are cut, so the same image and band size give the same bytes on
    // any number of threads. At most large enough that starting a thread and flushing cost
    // little, small enough that a few bands in flight hold little memory. Writers open side by
    // side (a row of tiles) deflate their bands faster smaller, while the band is still in the
    // cache it was filled in.
    static constexpr std::size_t kLargestBand = std::size_t{1} << 20;
    static constexpr std::size_t kSmallestBand = std::size_t{64} << 10;

    // Nothing is written until the first row (or finish()). `threads` deflate bands at once
    // (1: all on the caller's thread), of `bandBytes` (kSmallestBand to kLargestBand).
    PngWriter(ByteSink& sink, const PngHeader& header, unsigned threads = 1, std::size_t bandBytes = kLargestBand);
    ~PngWriter();
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;

    // Whether the header can be written at all: width and height 1 to 2^31 - 1, bit depth 8 or
    // 16. A writer with another header fails every call.
    static bool valid(const PngHeader& header);

    // One row of a 16-bit image: width x channels native samples (written big-endian, as PNG
    // stores them).
    bool writeRow(std::span<const std::uint16_t> samples);
    // One row of an 8-bit image: width x channels bytes.
    bool writeRow(std::span<const std::uint8_t> samples);
    // The rest of the compressed data and IEND. False unless every row was written and every
    // byte reached the sink. Once a call has failed, every later one fails too.
    bool finish();

    struct Band;  // a band of filtered rows, deflated on its own

    // The bands a writer leaves are kept for the next one while a writer or a hold lives: one
    // held across a set of writers made one after another (a set of tiles) spares each of them
    // fresh memory, and the bands are let go with the last writer or hold.
    class BandHold {
    public:
        BandHold();
        ~BandHold();
        BandHold(const BandHold&) = delete;
        BandHold& operator=(const BandHold&) = delete;
    };

private:
    static std::unique_ptr<Band> takeBand();
    static void giveBack(std::unique_ptr<Band> band);
    bool fail();
    bool start();
    bool compressRow();
    bool sendBand(bool last);
    bool writeOldest();
    bool writeData(const std::uint8_t* data, std::size_t size);
    bool writeChunk(const char type[4], const std::uint8_t* data, std::size_t size);
    // Deflates one band as a piece of a raw deflate stream: ended by a sync flush (a byte
    // boundary) or, for the last band, by the final block.
    static bool deflateBand(Band& band) noexcept;

    BandHold hold_;  // declared first, so let go last: after the destructor gave the bands back
    ByteSink& sink_;
    PngHeader header_;
    std::size_t rowBytes_ = 0;  // without the filter byte
    std::uint32_t rowsWritten_ = 0;
    bool started_ = false;
    bool failed_ = false;
    unsigned threads_ = 1;
    std::size_t bandBytes_ = kLargestBand;
    // The row's bytes and those of the row above it (zeros above the first row).
    std::vector<std::uint8_t> row_, previous_;
    // The band being filled with filtered rows (each behind its filter-type byte), and the bands
    // being deflated, oldest first.
    std::unique_ptr<Band> filling_;
    std::vector<std::unique_ptr<Band>> inFlight_;
    std::unique_ptr<Band> spare_;  // a band sent, whose buffers the next one takes
    std::uint32_t adler_ = 1;               // of all the filtered rows sent
    std::vector<std::uint8_t> idat_;        // compressed bytes waiting for a full IDAT chunk
};

}  // namespace kelvarin
