// The passes of a conversion of RGB samples, whatever brings the samples: the analysis a source
// needs (tone mapping for floating-point samples, the contrast stretch for integer ones with
// Boost or Posterise), then the conversion into the destination's samples, counted for the report.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "base/large_memory.h"
#include "base/number_text.h"
#include "job/job_context.h"
#include "pixels/float_pipeline.h"
#include "pixels/integer_pipeline.h"

namespace kelvarin {

// Chunks that are read hold about this many pixels: fewer make the threads hand over chunks more
// often than they gain in cache, more only take memory.
inline constexpr std::uint64_t kReadChunkPixels = std::uint64_t{1} << 17;

struct PassPlan {
    BlockFormat format;
    std::size_t slots = 1;        // the scheduler's
    std::size_t chunkPixels = 0;  // the most pixels one chunk holds
    std::int32_t blockCount = 0;  // the progress bar's steps over one pass
    std::uint64_t imagePixels = 0;
    std::function<void()> rewind;  // back to the first pixel for the next pass
};

// The analysis pass's closing lines (its extremes as the source holds them), and back to the
// first pixel for the conversion.
template <typename Value>
void endAnalysis(JobContext& job, const PassPlan& plan, std::int64_t start, Value highest, Value lowest, double boost) {
    StatusLog& log = job.log();
    log.appendLine("DONE. Data analysis completed in" + numberText(job.secondsSince(start)) + " seconds");
    log.appendLine("Highest value in image:" + numberText(highest));
    log.appendLine("Lowest value in image:" + numberText(lowest));
    log.appendLine("Boost factor:" + numberText(boost));
    plan.rewind();
    job.progress().setPosition(plan.blockCount + 1);
}

// `pass.run(work, finish)` runs work(data, pixels, slot) on the pass's threads over the chunks of
// the source in `plan.format`, then finish(pixels, slot) in chunk order on this thread, moving the
// progress bar; false when a read or a finish failed (already reported).
template <typename Pass>
bool convertPasses(JobContext& job, Pass& pass, const PassPlan& plan, std::int64_t& conversionStart) {
    const ConversionOptions& options = job.options();
    StatusLog& log = job.log();
    const bool floating = plan.format.layout == SampleLayout::RgbFloat;
    // One buffer of plan.chunkPixels samples for each slot, in one piece of memory, filled by the
    // converters before it is read.
    LargeArray<std::uint16_t> sampleMemory;
    const auto samples = [&](std::size_t slot) { return sampleMemory.get() + slot * plan.chunkPixels; };
    // The converters write native samples; the grey output takes them in order.
    const auto writeSamples = [&](std::size_t pixels, std::size_t slot) {
        return job.writeSamples(samples(slot), pixels);
    };

    // A floating-point source always gets the tone-mapping analysis and treats Boost as off for
    // the analysis decision; an integer source is analysed for Boost or Posterise. Each chunk
    // finds its own extremes, merged in chunk order: the same values a scan of the whole image
    // finds (a strict comparison keeps the first of equal values, as the scan does).
    FloatToneMap toneMap;
    IntegerStretch stretch;
    if (floating) {
        FloatExtremes extremes = FloatExtremes::initial();
        std::vector<FloatExtremes> found(plan.slots);
        log.appendLine("Analysing image for tone-mapping");
        const std::int64_t start = job.now();
        if (!pass.run(
                [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot) {
                    found[slot] = FloatExtremes::initial();
                    analyseFloatBlock(plan.format, data, pixels, found[slot]);
                },
                [&](std::size_t, std::size_t slot) {
                    if (found[slot].highestValue > extremes.highestValue) extremes.highestValue = found[slot].highestValue;
                    if (found[slot].lowestValue < extremes.lowestValue) extremes.lowestValue = found[slot].lowestValue;
                    return true;
                }))
            return false;
        toneMap = floatToneMap(extremes, options);
        job.analysis = SourceAnalysis{extremes.lowestValue, extremes.highestValue, true};
        endAnalysis(job, plan, start, extremes.highestValue, extremes.lowestValue, toneMap.boostFactor);
    } else if (boostsContrast(options)) {
        IntegerExtremes extremes;
        std::vector<IntegerExtremes> found(plan.slots);
        log.appendLine("Analysing image for contrast optimisation");
        const std::int64_t start = job.now();
        if (!pass.run(
                [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot) {
                    found[slot] = IntegerExtremes{};
                    analyseIntegerBlock(plan.format, data, pixels, found[slot]);
                },
                [&](std::size_t, std::size_t slot) {
                    extremes.highestGrey = std::max(extremes.highestGrey, found[slot].highestGrey);
                    extremes.lowestGrey = std::min(extremes.lowestGrey, found[slot].lowestGrey);
                    return true;
                }))
            return false;
        stretch.stretch = true;
        job.analysis = SourceAnalysis{static_cast<double>(extremes.lowestGrey), static_cast<double>(extremes.highestGrey),
                                      false};
        stretch.lowestGrey = extremes.lowestGrey;
        stretch.boostFactor = integerBoostFactor(extremes);
        endAnalysis(job, plan, start, extremes.highestGrey, extremes.lowestGrey, stretch.boostFactor);
    }

    // The conversion sees the user's Boost setting again: the float tone map took the options
    // with its extremes, the integer stretch takes them here.
    stretch.fStopMultiplier = fStopMultiplierFor(options);
    stretch.posteriseStep = posteriseStepFor(options.posteriseSteps);
    stretch.invert = options.invert;

    log.appendLine("Starting data conversion.");
    conversionStart = job.now();
    sampleMemory = makeLargeArray<std::uint16_t>(plan.slots * plan.chunkPixels);
    // Each chunk is counted for the report by the thread that converted it, while it is in cache.
    job.beginSamples(true);
    BlockCounts* const counts = job.reportCounts();
    const auto count = [counts](const std::uint16_t* converted, std::size_t pixels) {
        if (counts) counts->add({converted, pixels});
    };
    if (floating) {
        return pass.run(
            [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot) {
                convertFloatBlock(plan.format, toneMap, data, pixels, samples(slot));
                count(samples(slot), pixels);
            },
            writeSamples);
    }
    const IntegerConverter converter(plan.format, stretch, plan.imagePixels);
    return pass.run(
        [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot) {
            converter.convertBlock(data, pixels, samples(slot));
            count(samples(slot), pixels);
        },
        writeSamples);
}


}  // namespace kelvarin
