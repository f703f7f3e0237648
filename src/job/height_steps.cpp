#include "job/height_steps.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/large_memory.h"
#include "base/number_text.h"
#include "job/conversion_passes.h"
#include "job/decoded_pass.h"
#include "job/stages.h"
#include "pixels/height_mapping.h"

namespace kelvarin {

namespace {

std::string layoutText(const PixelLayout& layout) {
    return std::to_string(layout.bits) + "-bit " + (layout.type == SampleType::Float ? "floating-point" : "signed");
}

// Bands of about kReadChunkPixels pixels (fewer where the session's chunks are smaller), at least a row.
std::uint32_t bandRowsFor(JobContext& job) {
    const std::uint64_t bandPixels = std::min<std::uint64_t>(
        kReadChunkPixels, job.session.conversionChunkBytes / std::max<std::size_t>(job.opened.layout.bytesPerPixel(), 2));
    return static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(bandPixels / std::max<std::uint32_t>(job.image.width, 1), 1, job.image.length));
}

Refusal allVoids(const std::string& kind) {
    return {"This " + kind + " file holds no heights: every sample is a void.", "KELVARIN - " + kind + ".",
            {">>> No heights in this file. STOP!"}};
}

void logFound(StatusLog& log, const HeightTally& found) {
    if (found.valid > 0) {
        log.appendLine("Lowest height found:" + numberText(found.low));
        log.appendLine("Highest height found:" + numberText(found.high));
    }
    log.appendLine("Voids found:" + numberText(static_cast<std::int64_t>(found.voids)));
}

// The file's heights in a first pass: their extremes and voids, merged in band order.
bool analyseHeights(JobContext& job, HeightTally& found) {
    StatusLog& log = job.log();
    log.appendLine("Analysing heights");
    const std::int64_t start = job.now();
    const BlockScheduler scheduler(job.session.conversionThreads);
    DecodedPass pass(job, scheduler, bandRowsFor(job), std::nullopt);
    const HeightSampler sampler(job.opened.layout, job.opened.heights.noData);
    std::vector<HeightTally> bands(scheduler.slots());
    job.progress().setRange(1, static_cast<std::int32_t>(pass.bandCount()));
    const bool done = pass.run(
        [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot, std::size_t) {
            bands[slot] = HeightTally{};
            sampler.tally(data, pixels, bands[slot]);
        },
        [&](std::size_t, std::size_t slot) {
            found.merge(bands[slot]);
            return true;
        });
    if (!done) {
        const std::string why = pass.failure.empty() ? "The heights could not be read." : pass.failure;
        return job.refuse({why, "KELVARIN - " + job.opened.kind + ".", {">>> " + why + " STOP!"}});
    }
    log.appendLine("DONE. Height analysis completed in" + numberText(job.secondsSince(start)) + " seconds");
    logFound(log, found);
    return true;
}

}  // namespace

bool holdsHeights(const PixelLayout& layout) {
    return layout.colourChannels() == 1 && layout.type != SampleType::Unsigned;
}

bool acceptHeights(JobContext& job) {
    const OpenedSource& opened = job.opened;
    const PixelLayout& layout = opened.layout;
    if (!mapsHeights(layout)) {
        return job.refuse({"This " + opened.kind + " file holds heights as one channel of " + layoutText(layout) +
                               " samples, which the height mapping cannot take.",
                           "KELVARIN - " + opened.kind + ".", {">>> Height data not converted. STOP!"}});
    }
    SourceImage& image = job.image;
    image.kind = SourceKind::Image;
    image.width = opened.width;
    image.length = opened.length;
    image.bitsPerSample = 16;
    // Heights are written as levels, "II" whatever Swap says.
    image.byteOrder = ByteOrder::II;
    image.outputByteOrder = ByteOrder::II;
    if (const auto fields = greyTiffFields(image.outputByteOrder, image.width, image.length))
        image.destinationFields = *fields;

    StatusLog& log = job.log();
    log.appendLine("Heights: one channel of " + layoutText(layout) + " samples.");
    if (layout.alpha) log.appendLine("Alpha channel not used: the heights are converted as stored.");
    if (opened.heights.noData) log.appendLine("Void value:" + numberText(*opened.heights.noData));
    log.appendLine("Levels options do not apply to heights: voids become 0, the lowest height 1, the highest 65535.");

    HeightSummary& heights = job.heights.emplace();
    heights.samples = std::uint64_t{image.width} * image.length;
    heights.unit = opened.heights.heightUnit;
    heights.placement = opened.heights.placement;
    if (const std::optional<HeightRange>& given = job.options().heightRange) {
        heights.used = *given;
        return true;
    }
    HeightTally found;
    if (!analyseHeights(job, found)) return false;
    if (!found.range()) return job.refuse(allVoids(opened.kind));
    heights.found = found.range();
    heights.used = *heights.found;
    heights.voids = found.voids;
    return true;
}

bool convertHeights(JobContext& job, std::int64_t& conversionStart) {
    StatusLog& log = job.log();
    HeightSummary& heights = *job.heights;
    const bool given = job.options().heightRange.has_value();
    log.appendLine("Height range used:" + numberText(heights.used.low) + " to" + numberText(heights.used.high) +
                   (given ? " (given)" : " (found)"));
    log.appendLine("One level step:" + numberText(heights.step()));

    const BlockScheduler scheduler(job.session.conversionThreads);
    DecodedPass pass(job, scheduler, bandRowsFor(job), std::nullopt);
    const HeightSampler sampler(job.opened.layout, job.opened.heights.noData);
    const HeightMapping mapping(heights.used);
    const std::size_t chunkPixels = std::size_t{pass.bandRows} * job.image.width;
    LargeArray<std::uint16_t> samples = makeLargeArray<std::uint16_t>(scheduler.slots() * chunkPixels);
    std::vector<HeightTally> bands(scheduler.slots());
    HeightTally found;
    job.progress().setRange(1, static_cast<std::int32_t>(pass.bandCount()));
    log.appendLine("Starting data conversion.");
    conversionStart = job.now();
    job.beginSamples(true);
    BlockCounts* const counts = job.reportCounts();
    const bool done = pass.run(
        [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot, std::size_t) {
            std::uint16_t* out = samples.get() + slot * chunkPixels;
            bands[slot] = HeightTally{};
            sampler.map(mapping, data, pixels, out, bands[slot]);
            if (counts) counts->add({out, pixels});
        },
        [&](std::size_t pixels, std::size_t slot) {
            found.merge(bands[slot]);
            return job.writeSamples(samples.get() + slot * chunkPixels, pixels);
        });
    if (!done) {
        if (!pass.failure.empty())
            abortDataStage(job, jobStopBox(pass.failure, "KELVARIN - " + job.opened.kind + ".", MessageIcon::Exclamation),
                           ">>> " + pass.failure + " STOP!");
        return false;
    }
    if (given) {
        // No first pass ran: what the file held is known only now.
        if (!found.range()) {
            const Refusal refusal = allVoids(job.opened.kind);
            abortDataStage(job, jobStopBox(refusal.text, refusal.caption), refusal.lines.back());
            return false;
        }
        logFound(log, found);
        heights.found = found.range();
        heights.voids = found.voids;
    }
    heights.clipped = found.clipped;
    if (found.clipped > 0)
        log.appendLine("Heights outside the range, clamped:" + numberText(static_cast<std::int64_t>(found.clipped)));
    log.appendLine(verticalScaleText(heights));
    return true;
}

}  // namespace kelvarin
