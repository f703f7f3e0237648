// The data stage of TIFF and Radiance jobs: the block division of the pixel data, the analysis
// passes, the conversion and the closing report.
#include <algorithm>
#include <mutex>
#include <vector>

#include "base/large_memory.h"
#include "base/number_text.h"
#include "job/block_scheduler.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "job/strip_stream.h"
#include "pixels/float_pipeline.h"
#include "pixels/integer_pipeline.h"
#include "job/conversion_passes.h"

namespace kelvarin {

namespace {

SampleLayout layoutOf(const SourceImage& image) {
    if (image.bitsPerSample == 8) return SampleLayout::Rgb8;
    if (image.bitsPerSample == 16) return SampleLayout::Rgb16;
    return image.sampleFormat == 3 ? SampleLayout::RgbFloat : SampleLayout::Rgb32;
}

// The block division: blockBytes = bytesPerPixel x RowsPerStrip; the pixel data holds
// blockCount blocks, the last one possibly short, so every pixel is read once and no block
// reaches beyond the pixel data. For a single strip of the whole image this is `width` blocks
// of `length` pixels.
struct Blocks {
    std::uint64_t pixelBytes = 0;
    std::uint64_t blockBytes = 0;
    std::int32_t blockCount = 0;
    std::uint64_t blocksPerChunk = 1;
    // The bytes of the largest chunk (the first).
    std::size_t chunkBytes() const {
        return static_cast<std::size_t>(std::min(blocksPerChunk * blockBytes, pixelBytes));
    }
};


// Chunks of whole blocks up to about `chunkTarget` source bytes, so memory stays small for any image.
Blocks blockDivision(const SourceImage& image, std::size_t pixelSize, std::uint64_t chunkTarget) {
    Blocks b;
    b.pixelBytes = std::uint64_t{image.width} * image.length * pixelSize;
    // A multi-strip source is divided like the single strip with the same pixels: its own
    // RowsPerStrip (down to 1) would make a block of a pixel or two and a progress step each.
    std::uint64_t rows = image.strips.size() > 1 ? image.length : image.rowsPerStrip;
    if (rows == 0 || rows > image.length) rows = image.length;
    b.blockBytes = pixelSize * std::max<std::uint64_t>(rows, 1);
    b.blockCount = static_cast<std::int32_t>((b.pixelBytes + b.blockBytes - 1) / b.blockBytes);
    b.blocksPerChunk = std::max<std::uint64_t>(1, chunkTarget / b.blockBytes);
    return b;
}

// The chunks of one pass: chunk c holds blocks [c x blocksPerChunk, ...) of the division, so
// its bytes and pixels do not depend on the number of threads.
struct ChunkPass {
    JobContext& job;
    StripStream& stream;
    const Blocks& blocks;
    std::size_t pixelSize;
    const BlockScheduler& scheduler;
    // By slot: the chunk's bytes (in the mapped source or in `copies`), its pixel count, and
    // where a chunk read on a converting thread begins and whether its read came up short.
    std::vector<const std::uint8_t*> bytes;
    std::vector<std::size_t> pixels;
    std::vector<LargeArray<std::uint8_t>> copies;  // each of the chunk bytes, made when first needed
    std::vector<std::uint64_t> positions;
    std::vector<std::uint8_t> readShort;
    // Chunks read on the converting threads are read into these, each of the chunk bytes: a
    // thread takes one for the read and the work on it and gives it back, so there are only as
    // many as threads working at once, not one a slot (the slots waiting to be finished hold
    // samples, not source bytes).
    std::mutex readBuffersLock;
    std::vector<LargeArray<std::uint8_t>> readBuffers;

    ChunkPass(JobContext& job, StripStream& stream, const Blocks& blocks, std::size_t pixelSize,
              const BlockScheduler& scheduler)
        : job(job), stream(stream), blocks(blocks), pixelSize(pixelSize), scheduler(scheduler),
          bytes(scheduler.slots()), pixels(scheduler.slots()), copies(scheduler.slots()),
          positions(scheduler.slots()), readShort(scheduler.slots()) {}

    std::size_t chunkCount() const {
        return static_cast<std::size_t>((static_cast<std::uint64_t>(blocks.blockCount) + blocks.blocksPerChunk - 1) /
                                        blocks.blocksPerChunk);
    }
    std::int64_t firstBlock(std::size_t chunk) const {
        return static_cast<std::int64_t>(chunk * blocks.blocksPerChunk);
    }
    LargeArray<std::uint8_t> takeReadBuffer() {
        {
            std::lock_guard<std::mutex> hold(readBuffersLock);
            if (!readBuffers.empty()) {
                LargeArray<std::uint8_t> buffer = std::move(readBuffers.back());
                readBuffers.pop_back();
                return buffer;
            }
        }
        return makeLargeArray<std::uint8_t>(blocks.chunkBytes());
    }
    std::int64_t endBlock(std::size_t chunk) const {
        return std::min<std::int64_t>(firstBlock(chunk + 1), blocks.blockCount);
    }

    // Runs `work(data, pixels, slot, chunk)` on the scheduler's threads over the pixel data, then
    // `finish(pixels, slot)` on this thread chunk by chunk in order, moving the progress bar once
    // per block. The chunks from `heldFrom` on are not read: their work gets no data. False when
    // a read (or a finish) failed; a chunk of a mapped source that turned out to be shortened
    // while it was worked on fails as a short read, before it is finished.
    // A source that is not mapped is read by the converting threads, each its own chunk, so that
    // the reads run side by side as the conversions do; a short one is reported when its chunk's
    // turn comes, after the chunks before it are finished.
    template <typename Work, typename Finish>
    bool run(Work&& work, Finish&& finish, std::size_t heldFrom = SIZE_MAX) {
        const bool readOnThreads = !stream.mapped();
        const auto prepare = [&](std::size_t chunk, std::size_t slot) {
            const std::uint64_t position = static_cast<std::uint64_t>(firstBlock(chunk)) * blocks.blockBytes;
            const std::size_t count = static_cast<std::size_t>(
                std::min(static_cast<std::uint64_t>(endBlock(chunk) - firstBlock(chunk)) * blocks.blockBytes,
                         blocks.pixelBytes - position));
            pixels[slot] = count / pixelSize;
            readShort[slot] = false;
            if (readOnThreads || chunk >= heldFrom) {
                positions[slot] = position;
                return true;
            }
            // A buffer only where the bytes cannot be used in place: strips to join.
            LargeArray<std::uint8_t>& copy = copies[slot];
            if (!copy && job.image.strips.size() > 1) copy = makeLargeArray<std::uint8_t>(blocks.chunkBytes());
            const std::uint8_t* data = stream.next(count, copy.get());
            if (!data) return false;
            bytes[slot] = data;
            return true;
        };
        const auto onThread = [&](std::size_t chunk, std::size_t slot) {
            if (chunk >= heldFrom) {
                work(nullptr, pixels[slot], slot, chunk);
                return;
            }
            if (!readOnThreads) {
                work(bytes[slot], pixels[slot], slot, chunk);
                return;
            }
            LargeArray<std::uint8_t> buffer = takeReadBuffer();
            readShort[slot] = !stream.readAt(positions[slot], pixels[slot] * pixelSize, buffer.get());
            if (!readShort[slot]) work(buffer.get(), pixels[slot], slot, chunk);
            std::lock_guard<std::mutex> hold(readBuffersLock);
            readBuffers.push_back(std::move(buffer));
        };
        const auto inOrder = [&](std::size_t chunk, std::size_t slot) {
            if (job.stopped()) return false;
            if (readShort[slot]) return job.sourceReadShort();
            if (!job.sourceViewWhole() || !finish(pixels[slot], slot)) return false;
            for (std::int64_t k = firstBlock(chunk) + 1; k <= endBlock(chunk); ++k)
                job.progress().setPosition(static_cast<std::int32_t>(k));
            return true;
        };
        return scheduler.run(chunkCount(), prepare, onThread, inOrder);
    }
};

bool convertTiff(JobContext& job, std::int64_t& conversionStart) {
    SourceImage& image = job.image;
    const ConversionOptions& options = job.options();
    const SampleLayout layout = layoutOf(image);
    const std::size_t pixelSize = bytesPerPixel(layout);
    StripStream stream(job, std::uint64_t{image.width} * image.length * pixelSize);
    // Chunks that are read pass through buffers of the job's own, one a converting thread:
    // smaller chunks keep them at a few MiB in all, and convert as fast.
    const std::uint64_t chunkTarget =
        stream.mapped() ? job.session.conversionChunkBytes
                        : std::min<std::uint64_t>(job.session.conversionChunkBytes, kReadChunkPixels * pixelSize);
    const Blocks blocks = blockDivision(image, pixelSize, chunkTarget);
    const BlockFormat format{layout, image.byteOrder, options.colourWeighting};

    job.progress().setRange(1, blocks.blockCount);
    const BlockScheduler scheduler(job.session.conversionThreads);
    ChunkPass pass(job, stream, blocks, pixelSize, scheduler);
    const std::size_t chunkPixels = blocks.chunkBytes() / pixelSize;
    return convertPasses(job, pass, {.format = format,
                                     .slots = scheduler.slots(),
                                     .chunkPixels = chunkPixels,
                                     .blockCount = blocks.blockCount,
                                     .imagePixels = std::uint64_t{image.width} * image.length,
                                     .rewind = [&] { stream.rewind(); },
                                     .heldTouch = FirstTouch::AtOnce},
                         conversionStart);
}

}  // namespace

bool runDataConversion(JobContext& job) {
    StatusLog& log = job.log();
    const ConversionOptions& options = job.options();
    std::int64_t conversionStart = job.now();
    if (job.image.kind == SourceKind::Rgbe) {
        // A Radiance source is neither floating point nor integer for the analysis decision:
        // no analysis pass here; the tone mapper reads the user's Boost setting itself.
        log.appendLine("Starting data conversion.");
        conversionStart = job.now();
        if (!convertRgbe(job)) return false;
    } else if (job.image.kind == SourceKind::Image) {
        if (!convertDecoded(job, conversionStart)) return false;
    } else if (!convertTiff(job, conversionStart)) {
        return false;
    }
    if (job.ioFailed()) return false;

    if (options.posteriseSteps != 0 && !job.heights) log.appendLine("Posterised to" + numberText(options.posteriseSteps) + " steps");
    log.appendLine("DONE. Data conversion completed in" + numberText(job.secondsSince(conversionStart)) + " seconds");
    job.closeSource();
    log.appendLine("Closed source file:");
    log.appendLine(job.sourcePath());
    if (!job.closeDestination()) return false;
    log.appendLine("");
    log.appendLine("Closed converted file:");
    log.appendLine(job.destinationPath());
    log.appendLine("Time used for job:" + numberText(job.secondsSince(job.startSeconds)) + " seconds");
    log.appendLine(kDashLine);
    log.appendLine("Looking forward to another job.");
    log.endOfJob();
    return true;
}

}  // namespace kelvarin
