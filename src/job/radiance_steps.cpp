// Radiance sources: the header step, and the decoding of the scanlines for the data stage.
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>
#include <new>

#include "base/number_text.h"
#include "formats/byte_source.h"
#include "formats/radiance_reader.h"
#include "job/block_scheduler.h"
#include "job/job_context.h"
#include "job/session.h"
#include "job/stages.h"

namespace kelvarin {

bool radianceHeaderStep(JobContext& job) {
    FileBytes source(job.source());
    const RadianceHeader header = readRadianceHeader(source);
    if (!job.relay(header.report)) return false;
    SourceImage& image = job.image;
    image.width = header.width;
    image.length = header.length;
    image.dataOffset = header.dataOffset;
    image.sampleFormat = 0;
    // outputDataBytes stays 0 for Radiance sources; the strip size is the image's own.
    setLittleEndianDestination(image, header.outputDataBytes);
    return true;
}

void radianceAbort(JobContext& job, std::string_view message) {
    abortDataStage(job, jobStopBox("Cannot handle data.", "KELVARIN - Radiance", MessageIcon::Exclamation), message);
}

void abortDataStage(JobContext& job, const MessageBoxRequest& box, std::string_view line) {
    job.session.port.showMessage(box);
    StatusLog& log = job.log();
    log.appendLine(line);
    job.closeSource();
    log.appendLine("Closed file:");
    log.appendLine(job.sourcePath());
    job.discardDestination();
    log.appendLine("Closed and deleted file:");
    log.appendLine(job.destinationPath());
    log.appendLine(kDashLine);
}

bool decodeRgbe(JobContext& job, std::unique_ptr<RgbeMap>& map) {
    const SourceImage& image = job.image;
    File& source = job.source();
    const std::uint64_t fileSize = source.size();
    const std::uint64_t available = fileSize > image.dataOffset ? fileSize - image.dataOffset : 0;
    // The header step has checked that the file can hold this image at all.
    if (available < minimumScanlineBytes(image.width, image.length)) {
        radianceAbort(job, rgbeDecodeMessage(RgbeDecodeStatus::Truncated));
        return false;
    }

    // The pixel data in the source's mapped view, or else read into memory.
    std::unique_ptr<std::uint8_t[]> data;
    const std::uint8_t* bytes = job.session.sourceAccess != SourceAccess::Read ? source.mapped() : nullptr;
    std::size_t got = static_cast<std::size_t>(available);
    try {
        if (bytes) {
            bytes += image.dataOffset;
        } else {
            data = std::make_unique_for_overwrite<std::uint8_t[]>(static_cast<std::size_t>(available));
            got = source.read(data.get(), static_cast<std::size_t>(available));
            bytes = data.get();
        }
        map = std::make_unique<RgbeMap>(image.width, image.length);
    } catch (const std::bad_alloc&) {
        map.reset();
        radianceAbort(job, "Not enough memory for the image.");
        return false;
    }

    job.progress().setRange(1, static_cast<std::int32_t>(image.length));
    job.log().appendLine("Decompressing RGBE data");
    const std::int64_t start = job.now();
    ProgressBar& progress = job.progress();
    // The rows in bands. This thread walks the packets of each band to find where its rows start,
    // then hands it to the decoding threads (which also fill its black pixels from the ones before
    // them in the band) and walks the next; the decoded bands come back in order to have the
    // black pixels at their start filled from the band before, and the progress bar moves to
    // each band's last row.
    RgbeScanlineWalk walk(bytes, got, image.width, image.length);
    const std::uint32_t bandRows = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(job.session.conversionChunkBytes / 8 / image.width, 1, image.length));
    const auto firstRow = [&](std::size_t band) { return static_cast<std::uint32_t>(band * bandRows); };
    const auto endRow = [&](std::size_t band) {
        return static_cast<std::uint32_t>(std::min<std::uint64_t>((band + 1) * std::uint64_t{bandRows}, image.length));
    };
    const std::size_t bands = (image.length + bandRows - 1) / bandRows;
    const auto firstPixel = [&](std::size_t band) { return std::size_t{firstRow(band)} * image.width; };
    const auto endPixel = [&](std::size_t band) { return std::size_t{endRow(band)} * image.width; };
    // A source shortened while mapped reads as zeros from the new end: it fails as the short
    // read of the same file would.
    const auto shortened = [&] { return source.shortened(); };
    // By slot: whether the walk failed in the band there or before it. The bands before the
    // failing one are decoded and finished; it stops the pass, and the rest are never decoded.
    const BlockScheduler scheduler(job.session.conversionThreads);
    std::vector<std::uint8_t> walkFailed(scheduler.slots());
    bool failedBefore = false;
    // Rows whose packets no longer fit their bytes changed after the walk, as the rest of a
    // shortened file does.
    std::atomic<bool> changed{false};
    const auto walkBand = [&](std::size_t band, std::size_t slot) {
        if (!failedBefore && (walk.walkTo(endRow(band)) != RgbeDecodeStatus::Ok || shortened())) failedBefore = true;
        walkFailed[slot] = failedBefore;
        return true;
    };
    const auto decodeBand = [&](std::size_t band, std::size_t slot) {
        // Nothing more to decode once the file is known to be short.
        if (walkFailed[slot] || changed.load() || shortened()) return;
        if (!decodeRgbeRows(bytes, got, walk.starts(), firstRow(band), endRow(band), *map)) {
            changed.store(true);
            return;
        }
        fillZeroExponentsWithin(*map, firstPixel(band), endPixel(band));
    };
    const auto bandDone = [&](std::size_t band, std::size_t slot) {
        if (job.stopped()) return false;
        if (walkFailed[slot]) {
            // The bar moves through the rows before the bad one, as a decode of them would move it.
            const std::uint32_t goodRows = shortened() ? 0 : walk.rowsFound();
            if (goodRows > firstRow(band)) progress.setPosition(static_cast<std::int32_t>(goodRows - 1));
            return false;
        }
        if (changed.load() || shortened()) return false;
        fillZeroExponentsAtStart(*map, firstPixel(band), endPixel(band));
        progress.setPosition(static_cast<std::int32_t>(endRow(band) - 1));
        return true;
    };
    if (!scheduler.run(bands, walkBand, decodeBand, bandDone)) {
        map.reset();
        if (job.stopped()) return false;
        const bool badRow = failedBefore && walk.status() != RgbeDecodeStatus::Ok && !shortened();
        radianceAbort(job, rgbeDecodeMessage(badRow ? walk.status() : RgbeDecodeStatus::Truncated));
        return false;
    }
    data.reset();
    job.log().appendLine("Decompressed RGBE data and RGBE image created in" + numberText(job.secondsSince(start)) +
                         " seconds");
    return true;
}

}  // namespace kelvarin
