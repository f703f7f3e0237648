// PGM sources: the header step, and the data step that wraps the samples into the greyscale TIFF.
#include <algorithm>
#include <utility>
#include <vector>

#include "formats/byte_source.h"
#include "formats/pgm_reader.h"
#include "job/height_data_steps.h"
#include "job/job_context.h"
#include "job/stages.h"

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

// P5: big-endian samples become little-endian ones, block by block.
bool convertBinaryPgm(JobContext& job, ScaledProgress& progress, std::int64_t start) {
    std::uint64_t remaining = job.image.outputDataBytes;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kHeightDataBlock)));
    std::uint64_t done = 0;
    while (remaining > 0) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
        if (!job.readSource(block.data(), count)) return stopAfterFailedRead(job);
        for (std::size_t i = 0; i + 1 < count; i += 2) std::swap(block[i], block[i + 1]);
        if (!job.writeOutput(block.data(), count)) return false;
        remaining -= count;
        done += count;
        progress.at(done);
    }
    job.closeSource();
    return finishPgm(job, progress, start);
}

// P2: the decimal samples become little-endian ones. Text behind the last sample the header
// announces is never looked at.
bool convertTextPgm(JobContext& job, std::int64_t start) {
    const std::uint64_t samples = std::uint64_t{job.image.width} * job.image.length;
    ScaledProgress progress(job.progress(), samples);
    const std::uint64_t textBytes = job.source().size() - std::min<std::uint64_t>(job.source().size(), job.image.dataOffset);

    std::vector<std::uint8_t> text(static_cast<std::size_t>(std::min<std::uint64_t>(textBytes, kHeightDataBlock)));
    std::vector<std::uint8_t> out(static_cast<std::size_t>(std::min<std::uint64_t>(samples * 2, kHeightDataBlock)));
    std::size_t outFill = 0;
    std::uint64_t stored = 0;
    std::uint64_t textLeft = textBytes;
    PgmTextSamples reader;

    // False once every sample is stored, or when a write failed.
    const auto store = [&](std::uint16_t value) -> bool {
        out[outFill++] = static_cast<std::uint8_t>(value & 0xFF);
        out[outFill++] = static_cast<std::uint8_t>(value >> 8);
        ++stored;
        if (outFill == out.size()) {
            if (!job.writeOutput(out.data(), outFill)) return false;
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
    if (outFill > 0 && !job.writeOutput(out.data(), outFill)) return false;
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
