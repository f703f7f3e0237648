// Headerless square 16-bit RAW terrain exports (low byte first) wrapped into a greyscale TIFF.
#include <algorithm>
#include <cmath>
#include <vector>

#include "formats/grey_tiff_writer.h"
#include "formats/height_data.h"
#include "formats/raw_reader.h"
#include "job/job_context.h"
#include "job/stages.h"

namespace kelvarin {

std::uint64_t squareSideForRawSize(std::uint64_t size) {
    if (size == 0 || size % 2 != 0) return 0;
    const std::uint64_t samples = size / 2;
    auto side = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(samples)));
    while (side > 0 && side * side > samples) --side;
    while ((side + 1) * (side + 1) <= samples) ++side;
    return side * side == samples ? side : 0;
}

bool rawHeaderStep(JobContext& job) {
    // The RAW conversion is timed from here, so choosing the destination counts; the job noted its
    // start just before this step, which is the same moment.
    job.progress().setRange(1, 100);
    StatusLog& log = job.log();
    const std::uint64_t size = job.source().size();
    log.appendLine("Deriving size from RAW file");

    // A size that is not 2 x n x n would give a TIFF whose header and data disagree.
    const std::uint64_t side = squareSideForRawSize(size);
    if (side == 0) {
        return job.refuse(errorBox(size == 0 ? "The RAW file is empty."
                                             : "The RAW file size is not that of a square 16-bit image.",
                                   "KELVARIN - RAW."),
                          {"ImgSize: " + numberText(static_cast<std::int64_t>(size)),
                           ">>> Cannot handle this file. STOP!"});
    }
    if (side > static_cast<std::uint64_t>(kMaxSide) || size > kMaxOutputDataBytes) {
        return job.refuse(errorBox("The RAW image is too large for a 16-bit TIFF of one strip.", "KELVARIN - RAW."),
                          {"ImgSize: " + numberText(static_cast<std::int64_t>(size)),
                           ">>> Cannot handle this file. STOP!"});
    }

    SourceImage& image = job.image;
    image.width = static_cast<std::uint32_t>(side);
    image.length = image.width;
    log.appendLine("Width: " + numberText(image.width));
    log.appendLine("Length: " + numberText(image.length));
    log.appendLine("ImgSize: " + numberText(static_cast<std::int64_t>(size)));

    image.dataOffset = 0;
    image.outputDataBytes = static_cast<std::uint32_t>(size);
    setLittleEndianDestination(image, image.outputDataBytes);
    job.progress().setPosition(50);
    return true;
}

bool rawDataStep(JobContext& job) {
    std::uint64_t remaining = job.image.outputDataBytes;
    std::vector<std::uint8_t> block(static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kHeightDataBlock)));
    while (remaining > 0) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
        if (!job.readSource(block.data(), count)) return stopAfterFailedRead(job);
        if (!job.writeOutput(block.data(), count)) return false;
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
