// The passes of a conversion of RGB samples, whatever brings the samples: the analysis a source
// needs (tone mapping for floating-point samples, the contrast stretch for integer ones with
// Boost or Posterise), then the conversion into the destination's samples, counted for the report.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <new>
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
    // When the memory for the greys an analysis pass keeps is made: at once where the source's
    // pixel data is known to be all there (an uncompressed TIFF's, checked against the file's
    // size), else as the greys come, so that a compressed source that claims more pixels than
    // it holds takes no more memory than the pixels it has.
    FirstTouch heldTouch = FirstTouch::ByUse;
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

// The greys an analysis pass weighed, kept for the conversion so that it need not read (or
// decode) their pixels again: those of the last chunks, as many as the session's budget holds,
// so that a source read in order is read again only up to them. All of them for an image whose
// greys fit the budget; none when its memory cannot be had.
template <typename Grey>
struct HeldGreys {
    std::size_t first = SIZE_MAX;  // the first chunk held
    std::size_t chunkPixels = 0;
    LargeArray<Grey> greys;

    HeldGreys() = default;
    HeldGreys(const PassPlan& plan, std::size_t chunks, std::uint64_t budgetBytes) : chunkPixels(plan.chunkPixels) {
        if (chunks == 0 || plan.chunkPixels == 0) return;
        const std::uint64_t budget = budgetBytes / sizeof(Grey);
        const std::uint64_t skipped = plan.imagePixels > budget ? plan.imagePixels - budget : 0;
        const std::uint64_t from = (skipped + plan.chunkPixels - 1) / plan.chunkPixels;
        if (from >= chunks) return;
        try {
            greys = makeLargeArray<Grey>(static_cast<std::size_t>(plan.imagePixels - from * plan.chunkPixels),
                                         plan.heldTouch);
        } catch (const std::bad_alloc&) {
            return;  // read again instead
        }
        first = static_cast<std::size_t>(from);
    }
    // The chunk's greys, or null when it is not held.
    Grey* of(std::size_t chunk) const { return chunk < first ? nullptr : greys.get() + (chunk - first) * chunkPixels; }
};

// `pass.run(work, finish, heldFrom)` runs work(data, pixels, slot, chunk) on the pass's threads
// over the chunks of the source in `plan.format` (data null from chunk `heldFrom` on: those are
// neither read nor decoded), then finish(pixels, slot) in chunk order on this thread, moving the
// progress bar; false when a read or a finish failed (already reported). `pass.chunkCount()` is
// the number of chunks.
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
    HeldGreys<float> floatGreys;
    HeldGreys<std::uint16_t> integerGreys;
    if (floating) {
        floatGreys = HeldGreys<float>(plan, pass.chunkCount(), job.session.heldGreyBytes);
        FloatExtremes extremes = FloatExtremes::initial();
        std::vector<FloatExtremes> found(plan.slots);
        log.appendLine("Analysing image for tone-mapping");
        const std::int64_t start = job.now();
        if (!pass.run(
                [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot, std::size_t chunk) {
                    found[slot] = FloatExtremes::initial();
                    analyseFloatBlock(plan.format, data, pixels, found[slot], floatGreys.of(chunk));
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
        if (greysFit16Bits(plan.format))
            integerGreys = HeldGreys<std::uint16_t>(plan, pass.chunkCount(), job.session.heldGreyBytes);
        IntegerExtremes extremes;
        std::vector<IntegerExtremes> found(plan.slots);
        log.appendLine("Analysing image for contrast optimisation");
        const std::int64_t start = job.now();
        if (!pass.run(
                [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot, std::size_t chunk) {
                    found[slot] = IntegerExtremes{};
                    analyseIntegerBlock(plan.format, data, pixels, found[slot], integerGreys.of(chunk));
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
            [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot, std::size_t chunk) {
                if (const float* greys = floatGreys.of(chunk))
                    toneMapGreys(greys, pixels, toneMap, samples(slot));
                else
                    convertFloatBlock(plan.format, toneMap, data, pixels, samples(slot));
                count(samples(slot), pixels);
            },
            writeSamples, floatGreys.first);
    }
    const IntegerConverter converter(plan.format, stretch, plan.imagePixels);
    return pass.run(
        [&](const std::uint8_t* data, std::size_t pixels, std::size_t slot, std::size_t chunk) {
            if (const std::uint16_t* greys = integerGreys.of(chunk))
                converter.convertGreys(greys, pixels, samples(slot));
            else
                converter.convertBlock(data, pixels, samples(slot));
            count(samples(slot), pixels);
        },
        writeSamples, integerGreys.first);
}

}  // namespace kelvarin
