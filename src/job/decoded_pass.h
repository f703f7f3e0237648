// Decoded rows of a source opened through the format table, in bands over the job's threads.
#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/large_memory.h"
#include "job/block_scheduler.h"
#include "job/job_context.h"
#include "pixels/pixel_layouts.h"

namespace kelvarin {

// Decoded rows in bands. A decoder whose pieces decode on their own gives each slot a decoder of
// its own, and the bands (whole pieces) are decoded on the pass's threads; any other decodes its
// bands on the job's thread, in order, while the threads convert the bands before them.
struct DecodedPass {
    JobContext& job;
    const BlockScheduler& scheduler;
    std::uint32_t bandRows;
    std::optional<SampleLayout> to;  // none: the work takes the decoded rows as they are
    std::vector<std::unique_ptr<RowDecoder>> decoders;  // by slot, when the bands decode on the threads
    std::vector<LargeArray<std::uint8_t>> raw, rgb;
    std::vector<std::size_t> pixels;
    std::vector<std::uint32_t> firstRows;
    std::vector<std::uint8_t> decoded;
    std::string failure;  // why a band could not be decoded

    DecodedPass(JobContext& job, const BlockScheduler& scheduler, std::uint32_t bandRows, std::optional<SampleLayout> to)
        : job(job), scheduler(scheduler), bandRows(bandRows), to(to), raw(scheduler.slots()), rgb(scheduler.slots()),
          pixels(scheduler.slots()), firstRows(scheduler.slots()), decoded(scheduler.slots()) {
        RowDecoder& rows = *job.opened.rows;
        // Pieces larger than this decode in order on the job's thread: a slot's band on a thread
        // is a whole piece held three ways (decoded, as samples, as the work's), so a file of one
        // huge strip, or a small LZW strip that decodes to millions of pixels, would hold that
        // many times over. In order, the decoder holds the piece once and the bands stay small.
        constexpr std::uint64_t kLargestThreadedPiecePixels = std::uint64_t{1} << 20;
        const std::uint32_t piece = std::max<std::uint32_t>(rows.rowsPerPiece(), 1);
        if (scheduler.threads() < 2 || std::uint64_t{piece} * job.image.width > kLargestThreadedPiecePixels) return;
        for (std::size_t slot = 0; slot < scheduler.slots(); ++slot) {
            std::unique_ptr<RowDecoder> own = rows.clone();
            if (!own) {
                decoders.clear();
                return;
            }
            decoders.push_back(std::move(own));
        }
        // Whole pieces a band, so that no piece is decoded twice.
        this->bandRows = std::min(job.image.length, (bandRows + piece - 1) / piece * piece);
    }

    bool onThreads() const { return !decoders.empty(); }
    std::size_t bandCount() const { return (std::size_t{job.image.length} + bandRows - 1) / bandRows; }
    std::size_t chunkCount() const { return bandCount(); }

    // Runs work(data, pixels, slot, band) on the threads over the decoded bands (data null from
    // band `heldFrom` on: those are not decoded), then finish(pixels, slot) in band order here.
    template <typename Work, typename Finish>
    bool run(Work&& work, Finish&& finish, std::size_t heldFrom = SIZE_MAX) {
        const PixelLayout& from = job.opened.layout;
        const RgbPixels toRgb(from);
        const std::uint32_t width = job.image.width;
        const std::size_t bandPixels = std::size_t{bandRows} * width;
        const auto decode = [&](RowDecoder& rows, std::size_t slot) {
            decoded[slot] = rows.readRows(firstRows[slot], static_cast<std::uint32_t>(pixels[slot] / width),
                                          raw[slot].get());
            return decoded[slot] != 0;
        };
        const auto prepare = [&](std::size_t band, std::size_t slot) {
            firstRows[slot] = static_cast<std::uint32_t>(band * bandRows);
            pixels[slot] = std::size_t{std::min(bandRows, job.image.length - firstRows[slot])} * width;
            if (band >= heldFrom) {
                decoded[slot] = 1;
                return true;
            }
            if (!raw[slot]) {
                raw[slot] = makeLargeArray<std::uint8_t>(bandPixels * from.bytesPerPixel());
                if (to) rgb[slot] = makeLargeArray<std::uint8_t>(bandPixels * bytesPerPixel(*to));
            }
            if (onThreads() || decode(*job.opened.rows, slot)) return true;
            failure = job.opened.rows->failure();
            return false;
        };
        const auto onThread = [&](std::size_t band, std::size_t slot) {
            if (band >= heldFrom) {
                work(nullptr, pixels[slot], slot, band);
                return;
            }
            if (onThreads() && !decode(*decoders[slot], slot)) return;
            if (!to) {
                work(raw[slot].get(), pixels[slot], slot, band);
                return;
            }
            toRgb.convert(raw[slot].get(), pixels[slot], rgb[slot].get());
            work(rgb[slot].get(), pixels[slot], slot, band);
        };
        const auto inOrder = [&](std::size_t band, std::size_t slot) {
            if (job.stopped()) return false;
            if (!decoded[slot]) {
                failure = decoders[slot]->failure();
                return false;
            }
            if (!finish(pixels[slot], slot)) return false;
            job.progress().setPosition(static_cast<std::int32_t>(band + 1));
            return true;
        };
        return scheduler.run(bandCount(), prepare, onThread, inOrder);
    }
};

}  // namespace kelvarin
