// BIN sources: the header step with the text header file, and the data step that turns the
// signed samples into unsigned heights, top row first.
#include <algorithm>
#include <vector>

#include "formats/bin_reader.h"
#include "formats/byte_source.h"
#include "job/height_data_steps.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "pixels/byte_access.h"

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

    // The output's first row is the file's last: blocks of whole rows are read from the end of
    // the file backwards and each is flipped on its own.
    const std::size_t rowBytes = std::size_t{2} * image.width;
    const std::size_t rowsPerBlock = std::max<std::size_t>(1, kHeightDataBlock / rowBytes);
    LargeVector<std::uint16_t> block(std::min<std::size_t>(rowsPerBlock, image.length) * image.width);
    std::size_t rowsLeft = image.length;
    std::uint64_t done = 0;
    job.beginSamples();
    while (rowsLeft > 0) {
        const std::size_t rows = std::min(rowsPerBlock, rowsLeft);
        rowsLeft -= rows;
        const std::size_t bytes = rows * rowBytes;
        const std::size_t count = rows * image.width;
        if (!job.source().seek(static_cast<std::uint64_t>(rowsLeft) * rowBytes)) return job.refuse(binUnreadable());
        if (!job.readSource(block.data(), bytes)) return stopAfterFailedRead(job);
        samplesFromByteOrder(block.data(), count, ByteOrder::II);
        signedToUnsigned(block.data(), count, image.binVoidMarker, image.binBase);
        flipRows(block.data(), image.width, rows);
        if (!job.writeSamples(block.data(), count)) return false;
        done += bytes;
        progress.at(done);
    }
    job.closeSource();
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
