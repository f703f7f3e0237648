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
    // A TIFF beyond the shapes read here (compressed, tiled, grey, palette...) goes to the format
    // table's TIFF reader; when that refuses it too, the refusal is this reader's.
    if (header.report.refused() && !job.options().teRawMode)
        if (const std::optional<bool> opened = openWithFormatTable(job)) return *opened;
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
