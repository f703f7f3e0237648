// The Radiance part of a job's data stage: decode the scanlines, find the extremes of the grey
// values, tone-map them into the destination.
#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "base/large_memory.h"
#include "base/number_text.h"
#include "formats/radiance_reader.h"
#include "job/block_scheduler.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "pixels/float_pipeline.h"
#include "pixels/rgbe_tone_mapper.h"

namespace kelvarin {

bool convertRgbe(JobContext& job) {
    const ConversionOptions& options = job.options();
    const ColourWeighting weighting = options.colourWeighting;
    FloatExtremes extremes = FloatExtremes::initial();

    // Pass 1: the scanlines into the four planes.
    std::unique_ptr<RgbeMap> map;
    if (!decodeRgbe(job, map)) return false;
    const std::uint32_t width = map->width(), length = map->length();
    const std::size_t pixels = map->pixels();
    ProgressBar& progress = job.progress();

    // Passes 2 and 3 go over bands of rows on several threads; this thread merges and writes the
    // bands in order and moves the progress bar to each band's last row.
    // Whole rows, about an eighth of the chunk bytes in pixels (a quarter million by default).
    const std::uint32_t bandRows = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(job.session.conversionChunkBytes / 8 / width, 1, length));
    const std::size_t bands = (length + bandRows - 1) / bandRows;
    const BlockScheduler scheduler(job.session.conversionThreads);
    const auto firstRow = [&](std::size_t band) { return static_cast<std::uint32_t>(band * bandRows); };
    const auto endRow = [&](std::size_t band) { return std::min<std::uint32_t>(firstRow(band) + bandRows, length); };
    const auto toRow = [&](std::size_t band) { progress.setPosition(static_cast<std::int32_t>(endRow(band) - 1)); };
    const auto nothingToFetch = [](std::size_t, std::size_t) { return true; };

    // Pass 2: grey values and extremes.
    job.log().appendLine("Converting RGBE to float to find extreme values");
    progress.setRange(1, static_cast<std::int32_t>(length));
    std::int64_t start = job.now();
    std::vector<FloatExtremes> found(scheduler.slots());
    scheduler.run(
        bands, nothingToFetch,
        [&](std::size_t band, std::size_t slot) {
            found[slot] = FloatExtremes::initial();
            rgbeToGrey(*map, weighting, firstRow(band), endRow(band), nullptr, found[slot]);
        },
        [&](std::size_t band, std::size_t slot) {
            // Strict comparisons in row order: the values a scan of the whole image keeps.
            if (found[slot].highestValue > extremes.highestValue) extremes.highestValue = found[slot].highestValue;
            if (found[slot].lowestValue < extremes.lowestValue) extremes.lowestValue = found[slot].lowestValue;
            toRow(band);
            return !job.stopped();
        });
    if (job.stopped()) return false;
    job.log().appendLine("Established min and max values in image in" + numberText(job.secondsSince(start)) +
                         " seconds");
    const FloatToneMap toneMap = floatToneMap(extremes, options);
    job.analysis = SourceAnalysis{extremes.lowestValue, extremes.highestValue, true};
    job.log().appendLine("Lowest value: " + numberText(extremes.lowestValue));
    job.log().appendLine("Highest value: " + numberText(extremes.highestValue));
    job.log().appendLine("Dynamic range: " + numberText(toneMap.dynamicRange));
    job.log().appendLine("Boost factor: " + numberText(toneMap.boostFactor));

    // Pass 3: the greys again, band by band, and their samples.
    job.log().appendLine("Decoding RGBE and converting to integer values");
    progress.setRange(1, static_cast<std::int32_t>(length));
    start = job.now();
    const std::size_t bandPixels = std::size_t{bandRows} * width;
    // Each slot's band of greys and of samples, the slots' bands one after the other.
    const std::size_t slotPixels = std::min(bandPixels, pixels);
    LargeArray<float> greyMemory;
    LargeArray<std::uint16_t> sampleMemory;
    const auto samplesOf = [&](std::size_t slot) { return sampleMemory.get() + slot * slotPixels; };
    try {
        greyMemory = makeLargeArray<float>(scheduler.slots() * slotPixels);
        sampleMemory = makeLargeArray<std::uint16_t>(scheduler.slots() * slotPixels);
    } catch (const std::bad_alloc&) {
        map.reset();
        radianceAbort(job, "Not enough memory for the image.");
        return false;
    }
    // Each band is counted for the report by the thread that tone-mapped it, but for the image's
    // last sample, which is only known once the band before it is in.
    job.beginSamples(true);
    BlockCounts* const counts = job.reportCounts();
    const auto repeatsLast = [&](std::size_t band) { return band + 1 == bands && pixels >= 2; };
    std::uint16_t previous = 0;  // the sample before the band, for the image's last one
    const bool written = scheduler.run(
        bands, nothingToFetch,
        [&](std::size_t band, std::size_t slot) {
            float* const greys = greyMemory.get() + slot * slotPixels;
            std::uint16_t* const samples = samplesOf(slot);
            FloatExtremes unused = FloatExtremes::initial();
            rgbeToGrey(*map, weighting, firstRow(band), endRow(band), greys, unused);
            const std::size_t n = std::size_t{endRow(band) - firstRow(band)} * width;
            toneMapGreys(greys, n, toneMap, samples);
            if (counts) counts->add({samples, repeatsLast(band) ? n - 1 : n});
        },
        [&](std::size_t band, std::size_t slot) {
            const std::size_t n = std::size_t{endRow(band) - firstRow(band)} * width;
            std::uint16_t* out = samplesOf(slot);
            // The last sample repeats the one before it.
            if (repeatsLast(band)) {
                out[n - 1] = n >= 2 ? out[n - 2] : previous;
                if (counts) counts->add({out + n - 1, 1});
            }
            previous = out[n - 1];
            if (!job.writeSamples(out, n)) return false;
            toRow(band);
            return true;
        });
    map.reset();
    if (!written) return false;
    job.log().appendLine("Conversion done in" + numberText(job.secondsSince(start)) + " seconds");
    return true;
}

}  // namespace kelvarin
