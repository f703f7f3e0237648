// The data stage of TIFF and Radiance jobs: the block division of the pixel data, the analysis
// passes, the conversion and the closing report.
#include <algorithm>
#include <vector>

#include "base/number_text.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "job/strip_stream.h"
#include "pixels/float_pipeline.h"
#include "pixels/integer_pipeline.h"

namespace kelvarin {

namespace {

// Source bytes per read: whole blocks up to about 2 MiB, so memory stays small for any image.
constexpr std::uint64_t kChunkTarget = std::uint64_t{2} << 20;

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
};

Blocks blockDivision(const SourceImage& image, std::size_t pixelSize) {
    Blocks b;
    b.pixelBytes = std::uint64_t{image.width} * image.length * pixelSize;
    // A multi-strip source is divided like the single strip with the same pixels: its own
    // RowsPerStrip (down to 1) would make a block of a pixel or two and a progress step each.
    std::uint64_t rows = image.strips.size() > 1 ? image.length : image.rowsPerStrip;
    if (rows == 0 || rows > image.length) rows = image.length;
    b.blockBytes = pixelSize * std::max<std::uint64_t>(rows, 1);
    b.blockCount = static_cast<std::int32_t>((b.pixelBytes + b.blockBytes - 1) / b.blockBytes);
    b.blocksPerChunk = std::max<std::uint64_t>(1, kChunkTarget / b.blockBytes);
    return b;
}

// Runs `work(bytes, pixels)` over the pixel data chunk by chunk and moves the progress bar
// once per block. False when a read (or the work) failed.
template <typename Work>
bool forEachChunk(JobContext& job, StripStream& stream, const Blocks& blocks, std::size_t pixelSize,
                  std::vector<std::uint8_t>& buffer, Work&& work) {
    for (std::int64_t block = 0; block < blocks.blockCount;) {
        const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(blocks.blocksPerChunk),
                                                      blocks.blockCount - block);
        const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(
            static_cast<std::uint64_t>(n) * blocks.blockBytes, stream.remaining()));
        if (!stream.read(buffer.data(), bytes)) return false;
        if (!work(buffer.data(), bytes / pixelSize)) return false;
        for (std::int64_t k = 1; k <= n; ++k) job.progress().setPosition(static_cast<std::int32_t>(block + k));
        block += n;
    }
    return true;
}

bool convertTiff(JobContext& job, std::int64_t& conversionStart) {
    SourceImage& image = job.image;
    const ConversionOptions& options = job.options();
    StatusLog& log = job.log();
    const SampleLayout layout = layoutOf(image);
    const std::size_t pixelSize = bytesPerPixel(layout);
    const Blocks blocks = blockDivision(image, pixelSize);
    const BlockFormat format{layout, image.byteOrder, options.colourWeighting};
    const bool floating = layout == SampleLayout::RgbFloat;

    job.progress().setRange(1, blocks.blockCount);
    StripStream stream(job, blocks.pixelBytes);
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(
        std::min<std::uint64_t>(blocks.blocksPerChunk * blocks.blockBytes, blocks.pixelBytes)));
    std::vector<std::uint16_t> samples(buffer.size() / pixelSize);

    // A floating-point source always gets the tone-mapping analysis and treats Boost as off for
    // the analysis decision; an integer source is analysed for Boost or Posterise.
    FloatToneMap toneMap;
    IntegerStretch stretch;
    if (floating) {
        FloatExtremes extremes = FloatExtremes::initial();
        log.appendLine("Analysing image for tone-mapping");
        const std::int64_t start = job.now();
        if (!forEachChunk(job, stream, blocks, pixelSize, buffer, [&](const std::uint8_t* data, std::size_t pixels) {
                analyseFloatBlock(format, data, pixels, extremes);
                return true;
            }))
            return false;
        toneMap = floatToneMap(extremes, options);
        job.analysis = SourceAnalysis{extremes.lowestValue, extremes.highestValue, true};
        log.appendLine("DONE. Data analysis completed in" + numberText(job.secondsSince(start)) + " seconds");
        log.appendLine("Highest value in image:" + numberText(extremes.highestValue));
        log.appendLine("Lowest value in image:" + numberText(extremes.lowestValue));
        log.appendLine("Boost factor:" + numberText(toneMap.boostFactor));
        stream.rewind();
        job.progress().setPosition(blocks.blockCount + 1);
    } else if (boostsContrast(options)) {
        IntegerExtremes extremes;
        log.appendLine("Analysing image for contrast optimisation");
        const std::int64_t start = job.now();
        if (!forEachChunk(job, stream, blocks, pixelSize, buffer, [&](const std::uint8_t* data, std::size_t pixels) {
                analyseIntegerBlock(format, data, pixels, extremes);
                return true;
            }))
            return false;
        stretch.stretch = true;
        job.analysis = SourceAnalysis{static_cast<double>(extremes.lowestGrey), static_cast<double>(extremes.highestGrey),
                                      false};
        stretch.lowestGrey = extremes.lowestGrey;
        stretch.boostFactor = integerBoostFactor(extremes);
        log.appendLine("DONE. Data analysis completed in" + numberText(job.secondsSince(start)) + " seconds");
        log.appendLine("Highest value in image:" + numberText(extremes.highestGrey));
        log.appendLine("Lowest value in image:" + numberText(extremes.lowestGrey));
        log.appendLine("Boost factor:" + numberText(stretch.boostFactor));
        stream.rewind();
        job.progress().setPosition(blocks.blockCount + 1);
    }

    // The conversion sees the user's Boost setting again: the float tone map took the options
    // with its extremes, the integer stretch takes them here.
    stretch.fStopMultiplier = fStopMultiplierFor(options);
    stretch.posteriseStep = posteriseStepFor(options.posteriseSteps);
    stretch.invert = options.invert;

    log.appendLine("Starting data conversion.");
    conversionStart = job.now();
    job.beginSamples();
    if (floating) {
        return forEachChunk(job, stream, blocks, pixelSize, buffer, [&](const std::uint8_t* data, std::size_t pixels) {
            convertFloatBlock(format, toneMap, data, pixels, samples.data());
            return job.writeSamples(samples.data(), pixels);
        });
    }
    const IntegerConverter converter(format, stretch);
    return forEachChunk(job, stream, blocks, pixelSize, buffer, [&](const std::uint8_t* data, std::size_t pixels) {
        converter.convertBlock(data, pixels, samples.data());
        return job.writeSamples(samples.data(), pixels);
    });
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
    } else if (!convertTiff(job, conversionStart)) {
        return false;
    }
    if (job.ioFailed()) return false;

    if (options.posteriseSteps != 0) log.appendLine("Posterised to" + numberText(options.posteriseSteps) + " steps");
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
