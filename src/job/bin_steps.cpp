// BIN sources: the header step with the text header file, and the data step that turns the
// signed samples into unsigned heights, top row first.
#include <memory>

#include "formats/bin_reader.h"
#include "formats/byte_source.h"
#include "formats/height_rows.h"
#include "job/height_data_steps.h"
#include "job/job_context.h"
#include "job/stages.h"

namespace kelvarin {

bool binHeaderStep(JobContext& job) {
    FileState& files = job.session.files;
    StatusLog& log = job.log();
    log.appendLine("Reading header data for BIN file");
    log.appendLine(files.headerPath);
    // Every stop here comes before any destination exists: the header file is let go too.
    if (!files.header) {
        return job.refuse({"The BIN header file is not open.", "KELVARIN - BIN.", {">>> No header. STOP!"}});
    }
    BinHeader header;
    {
        FileBytes text(*files.header);
        header = readBinHeader(text);
    }
    files.header.reset();
    if (!job.relay(header.text)) return false;
    log.appendLine("DONE reading and interpreting Header.");
    log.appendLine("Closed " + files.headerPath);
    log.appendLine("");
    if (!job.relay(header.values)) return false;

    SourceImage& image = job.image;
    image.width = header.width;
    image.length = header.length;
    image.binBase = header.base;
    image.binVoidMarker = header.voidMarker;
    image.dataOffset = 0;
    image.outputDataBytes = header.dataBytes;
    setLittleEndianDestination(image, image.outputDataBytes);
    return true;
}

bool binDataStep(JobContext& job) {
    const SourceImage& image = job.image;
    if (job.source().size() != image.outputDataBytes) return job.refuse(binSizeMismatch());
    const std::int64_t start = job.now();
    ScaledProgress progress(job.progress(), image.outputDataBytes);

    FileBytes bytes(job.source());
    const std::unique_ptr<RowDecoder> rows =
        binRows(bytes, image.width, image.length, image.binBase, image.binVoidMarker);
    if (!copyHeightRows(job, *rows, [&](std::uint64_t samples) { progress.at(2 * samples); })) return false;
    StatusLog& log = job.log();
    log.appendLine("Finished reading data.");
    log.appendLine("Closed source file:");
    log.appendLine(job.sourcePath());
    log.appendLine("Signed integer converted to unsigned ones.");
    log.appendLine("Image flipped vertical.");
    progress.atEnd();
    if (!job.closeDestination()) return false;
    log.appendLine("Conversion from BIN concluded.");
    log.appendLine("Closed converted file:");
    log.appendLine(job.destinationPath());
    logConversionTime(job, start);
    return true;
}

}  // namespace kelvarin
