// RAW sources: the header step, and the data step that copies the samples behind the TIFF header.
#include <algorithm>
#include <vector>

#include "formats/raw_reader.h"
#include "job/height_data_steps.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "pixels/byte_access.h"

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
    std::uint64_t remaining = job.image.outputDataBytes / sizeof(std::uint16_t);
    LargeVector<std::uint16_t> block(
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kHeightDataBlock / sizeof(std::uint16_t))));
    job.beginSamples();
    while (remaining > 0) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
        if (!job.readSource(block.data(), count * 2)) return stopAfterFailedRead(job);
        samplesFromByteOrder(block.data(), count, ByteOrder::II);
        if (!job.writeSamples(block.data(), count)) return false;
        remaining -= count;
    }
    job.closeSource();
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
