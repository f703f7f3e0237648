// Sources opened through the format table: the header step, and the data stage that decodes
// their rows band by band and converts them as the RGB TIFF samples they stand for.
#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "base/large_memory.h"
#include "job/block_scheduler.h"
#include "job/conversion_passes.h"
#include "job/decoded_pass.h"
#include "job/height_steps.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "pixels/pixel_layouts.h"

static_assert(std::endian::native == std::endian::little, "decoded rows are handed on as little-endian samples");

namespace kelvarin {

namespace {

std::string sampleTypeText(const PixelLayout& layout) {
    const char* type = layout.type == SampleType::Float    ? "floating-point"
                       : layout.type == SampleType::Signed ? "signed"
                                                           : "unsigned";
    return std::to_string(layout.bits) + "-bit " + type;
}

// A layout with no RGB path (a depth it cannot take).
Refusal unconvertible(const OpenedSource& opened) {
    const PixelLayout& layout = opened.layout;
    const std::string caption = "KELVARIN - " + opened.kind + ".";
    return {"This " + opened.kind + " file holds " + std::to_string(layout.colourChannels()) + " channel(s) of " +
                sampleTypeText(layout) + " samples, which cannot be converted.",
            caption, {">>> Cannot handle this file. STOP!"}};
}

// The opened source becomes the job's image: its size, the destination's byte order and fields.
bool acceptOpened(JobContext& job, bool keepByteOrder) {
    const OpenedSource& opened = job.opened;
    if (!job.relay(opened.report)) return false;
    if (opened.rows && holdsHeights(opened.layout)) return acceptHeights(job);
    if (!opened.rows || !rgbLayoutFor(opened.layout))
        return job.refuse(unconvertible(opened));
    SourceImage& image = job.image;
    image.kind = SourceKind::Image;
    image.width = opened.width;
    image.length = opened.length;
    image.bitsPerSample = opened.layout.bits;
    // A TIFF keeps its byte order, as the TIFF path does; every other kind is written "II", and
    // "MM" with Swap.
    if (!keepByteOrder) {
        image.byteOrder = ByteOrder::II;
        image.outputByteOrder = job.options().swapByteOrder ? ByteOrder::MM : ByteOrder::II;
    }
    // Whether a TIFF of this size can be written is the destination's question, asked when it
    // is chosen; here the fields are only made where they can be.
    if (const auto fields = greyTiffFields(image.outputByteOrder, image.width, image.length))
        image.destinationFields = *fields;
    if (opened.layout.alpha)
        job.log().appendLine("Alpha channel not used: the colour samples are converted as stored.");
    return true;
}

}  // namespace

bool imageHeaderStep(JobContext& job) {
    job.openedBytes = std::make_unique<SharedFileBytes>(job.source());
    const SourceFormat* format = findSourceFormat(*job.openedBytes, job.sourcePath());
    if (format == nullptr) {
        // Radiance files are recognised before the table is asked.
        std::string kinds;
        for (const SourceFormat& f : sourceFormats()) kinds += std::string(f.name) + ", ";
        return job.refuse({"Not an image file KELVARIN can read (" + kinds + "Radiance).", "KELVARIN - File|Open",
                           {"STOP - No Job!"}});
    }
    job.opened = openSourceFormat(*format, *job.openedBytes, job.sourcePath());
    return acceptOpened(job, false);
}

std::optional<bool> openWithFormatTable(JobContext& job) {
    auto bytes = std::make_unique<SharedFileBytes>(job.source());
    const SourceFormat* format = sniffSourceFormat(*bytes);
    if (format == nullptr) return std::nullopt;
    OpenedSource opened = format->open(*bytes);
    if (opened.report.refused() || !opened.rows) {
        // Opened by content, the file is past the shapes of its command's reader too: the
        // general reader's box names what stops it (a JPEG compression, say), which a box
        // about one tag would not. Open TIF keeps its own box.
        if (job.session.request.kind == SourceKind::Image && opened.report.refused()) return job.relay(opened.report);
        return std::nullopt;
    }
    job.openedBytes = std::move(bytes);
    job.opened = std::move(opened);
    return acceptOpened(job, true);
}

bool convertDecoded(JobContext& job, std::int64_t& conversionStart) {
    if (job.heights) return convertHeights(job, conversionStart);
    const SampleLayout to = *rgbLayoutFor(job.opened.layout);
    const std::uint32_t width = job.image.width;
    // Bands of about kReadChunkPixels pixels (fewer where the session's chunks are smaller, as
    // tests make them), at least a row.
    const std::uint64_t bandPixels =
        std::min<std::uint64_t>(kReadChunkPixels, job.session.conversionChunkBytes / bytesPerPixel(to));
    const auto bandRows = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(bandPixels / std::max<std::uint32_t>(width, 1), 1, job.image.length));
    const BlockScheduler scheduler(job.session.conversionThreads);
    // Pixels that already are the converters' samples go to them as decoded.
    DecodedPass pass(job, scheduler, bandRows,
                     rgbAsDecoded(job.opened.layout) ? std::nullopt : std::optional<SampleLayout>(to));
    const auto bands = static_cast<std::int32_t>(pass.bandCount());
    const std::size_t chunkPixels = std::size_t{pass.bandRows} * width;
    job.progress().setRange(1, bands);
    const bool done = convertPasses(job, pass,
                                    {.format = {to, ByteOrder::II, job.options().colourWeighting},
                                     .slots = scheduler.slots(),
                                     .chunkPixels = chunkPixels,
                                     .blockCount = bands,
                                     .imagePixels = std::uint64_t{width} * job.image.length,
                                     .rewind = [] {}},
                                    conversionStart);
    // Pixel data that cannot be decoded: the decoder's reason in a box and the log.
    if (!done && !pass.failure.empty()) {
        abortDataStage(job, jobStopBox(pass.failure, "KELVARIN - " + job.opened.kind + ".", MessageIcon::Exclamation),
                       ">>> " + pass.failure + " STOP!");
    }
    return done;
}

}  // namespace kelvarin
