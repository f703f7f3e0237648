// TE>Raw: the 16-bit samples of a greyscale source copied unchanged into a headerless file.
#include <algorithm>
#include <vector>

#include "formats/raw_export.h"
#include "job/file_dialogs.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "job/strip_stream.h"

namespace kelvarin {

namespace {

constexpr std::size_t kCopyChunk = std::size_t{2} << 20;

bool holdsGreyscale16(const SourceImage& image) {
    switch (image.kind) {
        case SourceKind::Tif: return tiffHoldsGreyscale16(image.samplesPerPixel, image.bitsPerSample);
        case SourceKind::Pgm: return image.pgmVariant == "P5";
        case SourceKind::Raw: return true;
        default: return false;
    }
}

}  // namespace

bool exportRaw(JobContext& job) {
    const SourceImage& image = job.image;
    if (!holdsGreyscale16(image)) return job.refuse(notGreyscale16());
    // A TIFF's strips were checked by its header step; the other kinds hold one block of data.
    if (image.kind != SourceKind::Tif &&
        std::uint64_t{image.dataOffset} + image.outputDataBytes > job.source().size()) {
        return job.refuse(truncatedSource());
    }

    if (!saveRawDestination(job.session)) {
        job.session.port.showMessage(
            jobStopBox("File not created.", "KELVARIN - Save Raw As", MessageIcon::Exclamation));
        job.log().logClosedSource();
        return false;
    }

    // The samples keep the source's byte order whatever the Swap option says.
    StripStream stream(job, image.outputDataBytes);
    std::vector<std::uint8_t> buffer(std::min<std::size_t>(kCopyChunk, image.outputDataBytes));
    while (stream.remaining() > 0) {
        const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), stream.remaining()));
        if (!stream.read(buffer.data(), part) || !job.writeOutput(buffer.data(), part)) return false;
    }

    job.closeSource();
    job.log().appendLine("Conversion to RAW concluded.");
    job.log().appendLine("Closed source file:");
    job.log().appendLine(job.sourcePath());
    if (!job.closeDestination()) return false;
    job.log().appendLine("Closed converted file:");
    job.log().appendLine(job.destinationPath());
    return true;
}

}  // namespace kelvarin
