// The header step of a TIFF source.
#include "formats/byte_source.h"
#include "formats/tiff_reader.h"
#include "job/job_context.h"
#include "job/stages.h"

namespace kelvarin {

bool tiffHeaderStep(JobContext& job) {
    SourceImage& image = job.image;
    FileBytes source(job.source());
    TiffHeader header =
        readTiffHeader(source, {.order = image.byteOrder, .outputOrder = image.outputByteOrder,
                                .teRaw = job.options().teRawMode});
    if (!job.relay(header.report)) return false;
    image.width = header.width;
    image.length = header.length;
    image.bitsPerSample = header.bitsPerSample;
    image.sampleFormat = header.sampleFormat;
    image.samplesPerPixel = header.samplesPerPixel;
    image.rowsPerStrip = header.rowsPerStrip;
    image.dataOffset = header.dataOffset;
    image.outputDataBytes = header.outputDataBytes;
    image.strips = std::move(header.strips);
    image.destinationFields = header.destination;
    return true;
}

}  // namespace kelvarin
