// PGM sources: the header step, and the data step that wraps the samples into the greyscale TIFF.
#include <algorithm>
#include <utility>
#include <vector>

#include "formats/byte_source.h"
#include "formats/pgm_reader.h"
#include "job/height_data_steps.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "pixels/byte_access.h"

namespace kelvarin {

namespace {

// The common end of both variants: the source is closed already, the destination is closed here.
bool finishPgm(JobContext& job, ScaledProgress& progress, std::int64_t start) {
    progress.atEnd();
    job.log().appendLine("Conversion from PGM concluded.");
    job.log().appendLine("Closed source file:");
    job.log().appendLine(job.sourcePath());
    if (!job.closeDestination()) return false;
    job.log().appendLine("Closed converted file:");
    job.log().appendLine(job.destinationPath());
    logConversionTime(job, start);
    return true;
}

// P5: the big-endian samples, block by block.
bool convertBinaryPgm(JobContext& job, ScaledProgress& progress, std::int64_t start) {
    std::uint64_t remaining = std::uint64_t{job.image.width} * job.image.length;
    LargeVector<std::uint16_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kHeightDataBlock / sizeof(std::uint16_t))));
    std::uint64_t done = 0;
    job.beginSamples();
    while (remaining > 0) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
        if (!job.readSource(block.data(), count * 2)) return stopAfterFailedRead(job);
        samplesFromByteOrder(block.data(), count, ByteOrder::MM);
        if (!job.writeSamples(block.data(), count)) return false;
        remaining -= count;
        done += count * 2;
        progress.at(done);
    }
    job.closeSource();
    return finishPgm(job, progress, start);
}

// P2: the decimal samples. Text behind the last sample the header announces is never looked at.
bool convertTextPgm(JobContext& job, std::int64_t start) {
    const std::uint64_t samples = std::uint64_t{job.image.width} * job.image.length;
    ScaledProgress progress(job.progress(), samples);
    const std::uint64_t textBytes = job.source().size() - std::min<std::uint64_t>(job.source().size(), job.image.dataOffset);

    LargeVector<std::uint8_t> text(static_cast<std::size_t>(std::min<std::uint64_t>(textBytes, kHeightDataBlock)));
    LargeVector<std::uint16_t> out(
        static_cast<std::size_t>(std::min<std::uint64_t>(samples, kHeightDataBlock / sizeof(std::uint16_t))));
    std::size_t outFill = 0;
    std::uint64_t stored = 0;
    std::uint64_t textLeft = textBytes;
    PgmTextSamples reader;
    job.beginSamples();

    // False once every sample is stored, or when a write failed.
    const auto store = [&](std::uint16_t value) -> bool {
        out[outFill++] = value;
        ++stored;
        if (outFill == out.size()) {
            if (!job.writeSamples(out.data(), outFill)) return false;
            outFill = 0;
            progress.at(stored);
        }
        return stored < samples;
    };
    // After the reader stopped: false when the job stops here.
    const auto goOn = [&]() {
        if (job.ioFailed()) return false;
        if (reader.invalid()) return job.refuse(pgmInvalidSample());
        return true;
    };

    while (stored < samples && textLeft > 0) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(textLeft, text.size()));
        if (!job.readSource(text.data(), count)) return stopAfterFailedRead(job);
        textLeft -= count;
        if (!reader.scan(text.data(), count, store) && !goOn()) return false;
    }
    // The last sample may run to the end of the file.
    if (stored < samples && !reader.end(store) && !goOn()) return false;
    if (stored < samples) return job.refuse(pgmShortText());
    if (outFill > 0 && !job.writeSamples(out.data(), outFill)) return false;
    job.closeSource();
    return finishPgm(job, progress, start);
}

}  // namespace

bool pgmHeaderStep(JobContext& job) {
    FileBytes source(job.source());
    const PgmHeader header = readPgmHeader(source);
    if (!job.relay(header.report)) return false;
    SourceImage& image = job.image;
    image.pgmVariant = header.variant;
    image.width = header.width;
    image.length = header.length;
    image.dataOffset = header.dataOffset;
    image.outputDataBytes = header.outputDataBytes;
    setLittleEndianDestination(image, image.outputDataBytes);
    return true;
}

bool pgmDataStep(JobContext& job) {
    const std::int64_t start = job.now();
    ScaledProgress byteProgress(job.progress(), job.image.outputDataBytes);
    return job.image.pgmVariant == "P5" ? convertBinaryPgm(job, byteProgress, start) : convertTextPgm(job, start);
}

}  // namespace kelvarin
