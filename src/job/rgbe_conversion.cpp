// The Radiance part of a job's data stage: decode the scanlines, find the extremes of the grey
// values, tone-map them into the destination.
#include <memory>
#include <new>

#include "base/number_text.h"
#include "formats/radiance_reader.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "pixels/rgbe_tone_mapper.h"

namespace kelvarin {

bool convertRgbe(JobContext& job) {
    const ConversionOptions& options = job.options();
    FloatExtremes extremes = FloatExtremes::initial();

    // Pass 1: the scanlines into the four planes.
    std::unique_ptr<RgbeMap> map;
    if (!decodeRgbe(job, map)) return false;
    const std::uint32_t width = map->width(), length = map->length();
    const std::size_t pixels = map->pixels();
    ProgressBar& progress = job.progress();
    const auto toRow = [&progress](std::uint32_t r) { progress.setPosition(static_cast<std::int32_t>(r)); };

    // Pass 2: grey values and extremes.
    job.log().appendLine("Converting RGBE to float to find extreme values");
    progress.setRange(1, static_cast<std::int32_t>(length));
    std::int64_t start = job.now();
    std::unique_ptr<float[]> grey;
    try {
        grey = std::make_unique_for_overwrite<float[]>(pixels);
    } catch (const std::bad_alloc&) {
        map.reset();
        radianceAbort(job, "Not enough memory for the image.");
        return false;
    }
    rgbeToGrey(*map, options.colourWeighting, grey.get(), extremes, toRow);
    map.reset();
    job.log().appendLine("Established min and max values in image in" + numberText(job.secondsSince(start)) +
                         " seconds");
    const FloatToneMap toneMap = floatToneMap(extremes, options);
    job.analysis = SourceAnalysis{extremes.lowestValue, extremes.highestValue, true};
    job.log().appendLine("Lowest value: " + numberText(extremes.lowestValue));
    job.log().appendLine("Highest value: " + numberText(extremes.highestValue));
    job.log().appendLine("Dynamic range: " + numberText(toneMap.dynamicRange));
    job.log().appendLine("Boost factor: " + numberText(toneMap.boostFactor));

    // Pass 3: the samples, written as one block.
    job.log().appendLine("Decoding RGBE and converting to integer values");
    progress.setRange(1, static_cast<std::int32_t>(length));
    start = job.now();
    std::unique_ptr<std::uint16_t[]> samples;
    try {
        samples = std::make_unique_for_overwrite<std::uint16_t[]>(pixels);
    } catch (const std::bad_alloc&) {
        grey.reset();
        radianceAbort(job, "Not enough memory for the image.");
        return false;
    }
    greyToSamples(grey.get(), pixels, width, toneMap, samples.get(), toRow);
    grey.reset();
    // The last sample repeats the one before it.
    if (pixels >= 2) samples[pixels - 1] = samples[pixels - 2];
    job.beginSamples();
    const bool written = job.writeSamples(samples.get(), pixels);
    samples.reset();
    if (!written) return false;
    job.log().appendLine("Conversion done in" + numberText(job.secondsSince(start)) + " seconds");
    return true;
}

}  // namespace kelvarin
