// TE>Raw: the 16-bit samples of a greyscale source copied unchanged into a headerless file.
#include <algorithm>
#include <vector>

#include "formats/tiff_strips.h"
#include "job/file_dialogs.h"
#include "job/job_context.h"
#include "job/stages.h"

namespace kelvarin {

namespace {

constexpr std::size_t kCopyChunk = std::size_t{2} << 20;

// Only one 16-bit sample per pixel makes a terrain RAW file; anything else would be exported
// as a file no terrain editor can read.
bool holdsGreyscale16(const SourceImage& image) {
    switch (image.kind) {
        case SourceKind::Tif: return image.samplesPerPixel == 1 && image.bitsPerSample == 16;
        case SourceKind::Pgm: return image.pgmVariant == "P5";
        case SourceKind::Raw: return true;
        default: return false;
    }
}

}  // namespace

bool exportRaw(JobContext& job) {
    const SourceImage& image = job.image;
    if (!holdsGreyscale16(image)) {
        return job.refuse(errorBox("TE>Raw exports 16-bit greyscale data only:\r\n"
                                   "a 16-bit one-sample TIF, a binary (P5) PGM or a RAW file.",
                                   "KELVARIN - File issue."),
                          {">>> Not a 16-bit greyscale source for TE>Raw. STOP!"});
    }
    // A TIFF's strips were checked by its header step; the other kinds hold one block of data.
    if (image.kind != SourceKind::Tif &&
        std::uint64_t{image.dataOffset} + image.outputDataBytes > job.source().size()) {
        return job.refuse(errorBox("The source file ends before its image data is complete.", "KELVARIN - Read Error"),
                          {">>> Source file is truncated. STOP!"});
    }

    if (!saveRawDestination(job.session)) {
        job.session.port.showMessage(
            {"File not created.", "KELVARIN - Save Raw As", MessageIcon::Exclamation, MessageButtons::Ok, true, true});
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
