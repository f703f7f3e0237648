// PGM sources: the header step, and the data step that wraps the samples into the greyscale TIFF.
#include <memory>

#include "formats/byte_source.h"
#include "formats/height_rows.h"
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
    const SourceImage& image = job.image;
    FileBytes bytes(job.source());
    const bool binary = image.pgmVariant == "P5";
    const std::unique_ptr<RowDecoder> rows =
        binary ? storedSampleRows(bytes, image.dataOffset, image.width, image.length, ByteOrder::MM)
               : pgmTextRows(bytes, image.dataOffset, image.width);
    // The bar counts the bytes of P5 samples, and P2 samples one by one.
    ScaledProgress progress(job.progress(), binary ? image.outputDataBytes : std::uint64_t{image.width} * image.length);
    if (!copyHeightRows(job, *rows, [&](std::uint64_t samples) { progress.at(binary ? 2 * samples : samples); }))
        return false;
    return finishPgm(job, progress, start);
}

}  // namespace kelvarin
