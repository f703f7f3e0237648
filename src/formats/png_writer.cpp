#include "formats/png_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "formats/run_deflate.h"

namespace kelvarin {

namespace {

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// PNG forbids sizes from 2^31 on.
constexpr std::uint32_t kLargestSide = 0x7FFFFFFF;
// Compressed bytes are sent on as IDAT chunks of this size (the last one shorter).
constexpr std::size_t kIdatSize = std::size_t{1} << 16;
// The zlib header of a stream deflated by the fastest means with a 32 KiB window.
constexpr std::uint8_t kZlibHeader[2] = {0x78, 0x01};

// Every row is filtered with "Up" (each byte minus the byte above it), and deflated looking for
// runs only (matches at distance 1, then Huffman codes, as zlib's Z_RLE at level 1). Measured on
// 2048 x 2048 16-bit maps (a smooth render, the same with noise, a fractal DEM, white noise):
// - Up gave the smallest files of the five filters on all of them, smaller than the usual
//   per-row choice by the least sum of differences (which picks Paeth or Sub for smooth rows,
//   and those deflate worse: 31 % of the raw size against Up's 18.5 % on the render, 61 %
//   against 58 % on the DEM);
// - level 1 took 30 to 45 % less time than level 4, for files 0.5 to 5 % of the raw size larger;
// - runs only, against level 1's full search, took 1.2x (smooth) to 2.4x (noisy render) less
//   time, for files of 24.8 % against 18.5 % (smooth), 63.6 % against 58.2 % (DEM) and 73.2 %
//   against 75.6 % (noisy) of the raw size: the differences Up leaves seldom repeat further
//   back than the byte before. All of them are well under the unfiltered level-6 files of other
//   tools (88 to 100 % of the raw size).
// The runs-only deflate is our own (formats/run_deflate): the same matches in under a third of
// zlib's time (2.2 against 7.3 ns a byte on the noisy render's filtered rows, one core), in files
// of the same size to within 2 %.
constexpr std::uint8_t kFilterUp = 2;

void putBigEndian32(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

std::size_t channels(PngColour colour) { return colour == PngColour::Rgb ? 3 : 1; }

}  // namespace

struct PngWriter::Band {
    // Not cleared: every byte deflated is written first. Of the largest size, so that a pooled
    // band serves a writer of any band size.
    std::unique_ptr<std::uint8_t[]> input = std::make_unique_for_overwrite<std::uint8_t[]>(kLargestBand);
    // Room for what deflate can make of a band at worst (outputRoom bytes, kept from band to
    // band); the first `deflated` bytes are the band's.
    std::unique_ptr<std::uint8_t[]> output;
    std::size_t outputRoom = 0;
    std::size_t deflated = 0;
    std::size_t used = 0;  // bytes of input filled
    bool last = false;     // ends the stream
    bool ok = false;
    uLong adler = 0;
    std::thread worker;

    // Empty again, for the next band of this image or of another.
    void reset() {
        used = 0;
        last = false;
        ok = false;
        adler = 0;
    }
};

namespace {

// Bands are taken from those earlier writers left and given back: a fresh band is two MiB the
// system has to find and clear, and a set of 8 x 8 PNG tiles of an 8193 map went through some 200
// of them (a third of its time went to the kernel, clearing pages). They are kept while a writer
// or a BandHold lives, and let go with the last one.
constexpr std::size_t kPooledBands = 32;
std::size_t bandHolds = 0;  // under bandPoolLock()

std::vector<std::unique_ptr<PngWriter::Band>>& bandPool() {
    static auto* const bands = new std::vector<std::unique_ptr<PngWriter::Band>>();
    return *bands;
}

std::mutex& bandPoolLock() {
    static auto* const lock = new std::mutex();
    return *lock;
}

// As many bands deflate at once in the whole program as there are cores, however many writers
// are open: the 8 writers of a row of tiles would otherwise deflate 16 bands at once on 2 cores,
// each band's 2 MiB pushing the others' out of the caches (the set took 1.3x the CPU time of one
// file of the same map; with the cap, the same).
// A mutex and a condition rather than std::counting_semaphore, whose wait in GCC 12's library can
// miss a release and sleep for ever (a PNG job hung so, until a debugger woke it).
class DeflateSlots {
public:
    explicit DeflateSlots(unsigned count) : free_(count) {}
    void acquire() {
        std::unique_lock<std::mutex> hold(lock_);
        freed_.wait(hold, [this] { return free_ > 0; });
        --free_;
    }
    void release() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            ++free_;
        }
        freed_.notify_one();
    }

private:
    std::mutex lock_;
    std::condition_variable freed_;
    unsigned free_;
};

DeflateSlots& deflateSlots() {
    static auto* const slots = new DeflateSlots(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
    return *slots;
}

}  // namespace

std::unique_ptr<PngWriter::Band> PngWriter::takeBand() {
    {
        const std::lock_guard<std::mutex> hold(bandPoolLock());
        if (!bandPool().empty()) {
            std::unique_ptr<Band> band = std::move(bandPool().back());
            bandPool().pop_back();
            return band;
        }
    }
    return std::make_unique<Band>();
}

PngWriter::BandHold::BandHold() {
    const std::lock_guard<std::mutex> hold(bandPoolLock());
    ++bandHolds;
}

PngWriter::BandHold::~BandHold() {
    std::vector<std::unique_ptr<Band>> unused;
    {
        const std::lock_guard<std::mutex> hold(bandPoolLock());
        if (--bandHolds == 0) unused.swap(bandPool());
    }
}

void PngWriter::giveBack(std::unique_ptr<Band> band) {
    if (!band) return;
    if (band->worker.joinable()) band->worker.join();
    band->reset();
    const std::lock_guard<std::mutex> hold(bandPoolLock());
    if (bandPool().size() < kPooledBands) bandPool().push_back(std::move(band));
}

PngWriter::PngWriter(ByteSink& sink, const PngHeader& header, unsigned threads, std::size_t bandBytes)
    : sink_(sink), header_(header), threads_(std::max(1u, threads)),
      bandBytes_(std::clamp(bandBytes, kSmallestBand, kLargestBand)) {
    failed_ = !valid(header);
}

PngWriter::~PngWriter() {
    for (std::unique_ptr<Band>& band : inFlight_) giveBack(std::move(band));
    giveBack(std::move(filling_));
    giveBack(std::move(spare_));
}

bool PngWriter::fail() {
    failed_ = true;
    return false;
}

bool PngWriter::valid(const PngHeader& header) {
    return header.width >= 1 && header.width <= kLargestSide && header.height >= 1 &&
           header.height <= kLargestSide && (header.bitDepth == 8 || header.bitDepth == 16) &&
           (header.colour == PngColour::Grey || header.colour == PngColour::Rgb);
}

bool PngWriter::writeChunk(const char type[4], const std::uint8_t* data, std::size_t size) {
    std::uint8_t head[8];
    putBigEndian32(head, static_cast<std::uint32_t>(size));
    std::memcpy(head + 4, type, 4);
    uLong crc = crc32(0, head + 4, 4);
    if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
    std::uint8_t tail[4];
    putBigEndian32(tail, static_cast<std::uint32_t>(crc));
    if (!sink_.write(head, sizeof head) || (size > 0 && !sink_.write(data, size)) || !sink_.write(tail, sizeof tail))
        return fail();
    return true;
}

// Compressed bytes leave as IDAT chunks of kIdatSize; finish() sends the rest.
bool PngWriter::writeData(const std::uint8_t* data, std::size_t size) {
    idat_.insert(idat_.end(), data, data + size);
    std::size_t sent = 0;
    while (idat_.size() - sent >= kIdatSize) {
        if (!writeChunk("IDAT", idat_.data() + sent, kIdatSize)) return false;
        sent += kIdatSize;
    }
    idat_.erase(idat_.begin(), idat_.begin() + static_cast<std::ptrdiff_t>(sent));
    return true;
}

bool PngWriter::start() {
    started_ = true;
    const std::size_t bytesPerSample = static_cast<std::size_t>(header_.bitDepth) / 8;
    rowBytes_ = std::size_t{header_.width} * channels(header_.colour) * bytesPerSample;
    try {
        row_.assign(rowBytes_, 0);
        previous_.assign(rowBytes_, 0);
        filling_ = takeBand();
        idat_.reserve(2 * kIdatSize);
    } catch (const std::bad_alloc&) {
        // A row of an absurd width: refused like any other failure.
        return fail();
    }

    std::uint8_t ihdr[13];
    putBigEndian32(ihdr, header_.width);
    putBigEndian32(ihdr + 4, header_.height);
    ihdr[8] = static_cast<std::uint8_t>(header_.bitDepth);
    ihdr[9] = static_cast<std::uint8_t>(header_.colour);
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // filter method 0: a filter type in front of each row
    ihdr[12] = 0;  // not interlaced
    if (!sink_.write(kSignature, sizeof kSignature)) return fail();
    return writeChunk("IHDR", ihdr, sizeof ihdr) && writeData(kZlibHeader, sizeof kZlibHeader);
}

// Waits for the oldest band in flight and sends its bytes on.
bool PngWriter::writeOldest() {
    std::unique_ptr<Band> band = std::move(inFlight_.front());
    inFlight_.erase(inFlight_.begin());
    if (band->worker.joinable()) band->worker.join();
    if (!band->ok) return fail();
    adler_ = static_cast<std::uint32_t>(adler32_combine(adler_, band->adler, static_cast<z_off_t>(band->used)));
    if (!writeData(band->output.get(), band->deflated)) return false;
    if (!band->last && !spare_) {
        // Its buffers serve the next band.
        band->reset();
        spare_ = std::move(band);
    } else {
        giveBack(std::move(band));
    }
    return true;
}

bool PngWriter::sendBand(bool last) {
    Band& band = *filling_;
    band.last = last;
    try {
        inFlight_.push_back(std::move(filling_));
        if (threads_ > 1) {
            try {
                band.worker = std::thread([&band] {
                    deflateSlots().acquire();
                    band.ok = deflateBand(band);
                    deflateSlots().release();
                });
            } catch (const std::system_error&) {
                band.ok = deflateBand(band);  // no thread to be had: here, then
            }
        } else {
            band.ok = deflateBand(band);
        }
        // With threads, one band fills while `threads_` deflate; without, each is sent at once.
        const std::size_t deflating = threads_ > 1 ? threads_ : 0;
        while (!inFlight_.empty() && (last || inFlight_.size() > deflating))
            if (!writeOldest()) return false;
        if (!last) filling_ = spare_ ? std::move(spare_) : takeBand();
    } catch (const std::bad_alloc&) {
        return fail();
    }
    return true;
}

bool PngWriter::compressRow() {
    // Above the first row PNG counts zeros, which previous_ holds at the start. The row enters
    // the bands behind its filter-type byte, as much as the band being filled takes.
    const std::size_t total = rowBytes_ + 1;
    for (std::size_t at = 0; at < total;) {
        Band& band = *filling_;
        const std::size_t n = std::min(bandBytes_ - band.used, total - at);
        std::uint8_t* out = band.input.get() + band.used;
        std::size_t k = 0;
        if (at == 0) out[k++] = kFilterUp;
        for (; k < n; ++k) {
            const std::size_t i = at + k - 1;
            out[k] = static_cast<std::uint8_t>(row_[i] - previous_[i]);
        }
        band.used += n;
        at += n;
        if (band.used == bandBytes_ && !sendBand(false)) return false;
    }
    previous_.swap(row_);
    ++rowsWritten_;
    return true;
}

bool PngWriter::writeRow(std::span<const std::uint16_t> samples) {
    if (failed_ || header_.bitDepth != 16 || rowsWritten_ >= header_.height) return fail();
    if (!started_ && !start()) return false;
    if (samples.size() != rowBytes_ / 2) return fail();
    std::uint8_t* out = row_.data();
    for (std::uint16_t sample : samples) {
        *out++ = static_cast<std::uint8_t>(sample >> 8);
        *out++ = static_cast<std::uint8_t>(sample);
    }
    return compressRow();
}

bool PngWriter::writeRow(std::span<const std::uint8_t> samples) {
    if (failed_ || header_.bitDepth != 8 || rowsWritten_ >= header_.height) return fail();
    if (!started_ && !start()) return false;
    if (samples.size() != rowBytes_) return fail();
    std::copy(samples.begin(), samples.end(), row_.begin());
    return compressRow();
}

bool PngWriter::finish() {
    if (failed_ || rowsWritten_ != header_.height) return fail();
    if (!sendBand(true)) return false;
    std::uint8_t checksum[4];
    putBigEndian32(checksum, adler_);
    if (!writeData(checksum, sizeof checksum)) return false;
    if (!idat_.empty() && !writeChunk("IDAT", idat_.data(), idat_.size())) return false;
    return writeChunk("IEND", nullptr, 0);
}

bool PngWriter::deflateBand(Band& band) noexcept {
    band.adler = adler32(1, band.input.get(), static_cast<uInt>(band.used));
    const std::size_t bound = runDeflateBound(band.used);
    if (band.outputRoom < bound) {
        band.output.reset(new (std::nothrow) std::uint8_t[bound]);
        band.outputRoom = band.output ? bound : 0;
        if (!band.output) return false;
    }
    band.deflated =
        deflateRuns(std::span<const std::uint8_t>(band.input.get(), band.used), band.last, band.output.get());
    return true;
}

}  // namespace kelvarin
