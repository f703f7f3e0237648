// RAW sources: the header step, and the data step that copies the samples behind the TIFF header.
#include <memory>

#include "formats/byte_source.h"
#include "formats/height_rows.h"
#include "formats/raw_reader.h"
#include "job/height_data_steps.h"
#include "job/job_context.h"
#include "job/stages.h"

namespace kelvarin {

bool rawHeaderStep(JobContext& job) {
    // The RAW conversion is timed from here, so choosing the destination counts; the job noted its
    // start just before this step, which is the same moment.
    job.progress().setRange(1, 100);
    const RawHeader header = readRawHeader(job.source().size());
    if (!job.relay(header.report)) return false;
    SourceImage& image = job.image;
    image.width = header.side;
    image.length = header.side;
    image.dataOffset = 0;
    image.outputDataBytes = header.dataBytes;
    setLittleEndianDestination(image, image.outputDataBytes);
    job.progress().setPosition(50);
    return true;
}

bool rawDataStep(JobContext& job) {
    // The whole file is the side x side little-endian samples.
    FileBytes bytes(job.source());
    const std::unique_ptr<RowDecoder> rows =
        storedSampleRows(bytes, 0, job.image.width, job.image.length, ByteOrder::II);
    if (!copyHeightRows(job, *rows, [](std::uint64_t) {})) return false;
    if (!job.closeDestination()) return false;
    job.progress().setPosition(100);
    StatusLog& log = job.log();
    log.appendLine("Conversion from RAW concluded.");
    log.appendLine("Closed source file:");
    log.appendLine(job.sourcePath());
    log.appendLine("Closed converted file:");
    log.appendLine(job.destinationPath());
    logConversionTime(job, job.startSeconds);
    return true;
}

}  // namespace kelvarin
