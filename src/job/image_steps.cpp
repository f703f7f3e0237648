// Sources opened through the format table: the header step, and the data stage that decodes
// their rows band by band and converts them as the RGB TIFF samples they stand for.
#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "base/large_memory.h"
#include "job/block_scheduler.h"
#include "job/conversion_passes.h"
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

// One channel of floats or signed integers holds heights, not levels or light.
bool holdsHeights(const PixelLayout& layout) {
    return layout.colourChannels() == 1 && layout.type != SampleType::Unsigned;
}

// Heights, which this program does not convert from such files yet, or a layout with no RGB path
// (a depth it cannot take).
Refusal unconvertible(const OpenedSource& opened) {
    const PixelLayout& layout = opened.layout;
    const std::string caption = "KELVARIN - " + opened.kind + ".";
    if (holdsHeights(layout))
        return {"This " + opened.kind + " file holds heights: one channel of " + sampleTypeText(layout) +
                    " samples. Height data of this kind cannot be converted yet.",
                caption, {">>> Height data not converted. STOP!"}};
    return {"This " + opened.kind + " file holds " + std::to_string(layout.colourChannels()) + " channel(s) of " +
                sampleTypeText(layout) + " samples, which cannot be converted.",
            caption, {">>> Cannot handle this file. STOP!"}};
}

// The opened source becomes the job's image: its size, the destination's byte order and fields.
bool acceptOpened(JobContext& job, bool keepByteOrder) {
    const OpenedSource& opened = job.opened;
    if (!job.relay(opened.report)) return false;
    if (!opened.rows || holdsHeights(opened.layout) || !rgbLayoutFor(opened.layout))
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
    const SourceFormat* format = sniffSourceFormat(*job.openedBytes);
    if (format == nullptr) {
        // Radiance files are recognised before the table is asked.
        std::string kinds;
        for (const SourceFormat& f : sourceFormats()) kinds += std::string(f.name) + ", ";
        return job.refuse({"Not an image file KELVARIN can read (" + kinds + "Radiance).", "KELVARIN - File|Open",
                           {"STOP - No Job!"}});
    }
    job.opened = format->open(*job.openedBytes);
    return acceptOpened(job, false);
}

std::optional<bool> openWithFormatTable(JobContext& job) {
    auto bytes = std::make_unique<SharedFileBytes>(job.source());
    const SourceFormat* format = sniffSourceFormat(*bytes);
    if (format == nullptr) return std::nullopt;
    OpenedSource opened = format->open(*bytes);
    if (opened.report.refused() || !opened.rows) return std::nullopt;
    job.openedBytes = std::move(bytes);
    job.opened = std::move(opened);
    return acceptOpened(job, true);
}

namespace {

// Decoded rows in bands. A decoder whose pieces decode on their own gives each slot a decoder of
// its own, and the bands (whole pieces) are decoded on the pass's threads; any other decodes its
// bands on the job's thread, in order, while the threads convert the bands before them.
struct DecodedPass {
    JobContext& job;
    const BlockScheduler& scheduler;
    std::uint32_t bandRows;
    SampleLayout to;
    std::vector<std::unique_ptr<RowDecoder>> decoders;  // by slot, when the bands decode on the threads
    std::vector<LargeArray<std::uint8_t>> raw, rgb;
    std::vector<std::size_t> pixels;
    std::vector<std::uint32_t> firstRows;
    std::vector<std::uint8_t> decoded;
    std::string failure;  // why a band could not be decoded

    DecodedPass(JobContext& job, const BlockScheduler& scheduler, std::uint32_t bandRows, SampleLayout to)
        : job(job), scheduler(scheduler), bandRows(bandRows), to(to), raw(scheduler.slots()), rgb(scheduler.slots()),
          pixels(scheduler.slots()), firstRows(scheduler.slots()), decoded(scheduler.slots()) {
        RowDecoder& rows = *job.opened.rows;
        if (scheduler.threads() < 2) return;
        for (std::size_t slot = 0; slot < scheduler.slots(); ++slot) {
            std::unique_ptr<RowDecoder> own = rows.clone();
            if (!own) {
                decoders.clear();
                return;
            }
            decoders.push_back(std::move(own));
        }
        // Whole pieces a band, so that no piece is decoded twice.
        const std::uint32_t piece = std::max<std::uint32_t>(rows.rowsPerPiece(), 1);
        this->bandRows = std::min(job.image.length, (bandRows + piece - 1) / piece * piece);
    }

    bool onThreads() const { return !decoders.empty(); }
    std::size_t bandCount() const { return (std::size_t{job.image.length} + bandRows - 1) / bandRows; }

    template <typename Work, typename Finish>
    bool run(Work&& work, Finish&& finish) {
        const PixelLayout& from = job.opened.layout;
        const RgbPixels toRgb(from);
        const std::uint32_t width = job.image.width;
        const std::size_t bandPixels = std::size_t{bandRows} * width;
        const auto decode = [&](RowDecoder& rows, std::size_t slot) {
            decoded[slot] = rows.readRows(firstRows[slot], static_cast<std::uint32_t>(pixels[slot] / width),
                                          raw[slot].get());
            return decoded[slot] != 0;
        };
        const auto prepare = [&](std::size_t band, std::size_t slot) {
            firstRows[slot] = static_cast<std::uint32_t>(band * bandRows);
            pixels[slot] = std::size_t{std::min(bandRows, job.image.length - firstRows[slot])} * width;
            if (!raw[slot]) {
                raw[slot] = makeLargeArray<std::uint8_t>(bandPixels * from.bytesPerPixel());
                rgb[slot] = makeLargeArray<std::uint8_t>(bandPixels * bytesPerPixel(to));
            }
            if (onThreads() || decode(*job.opened.rows, slot)) return true;
            failure = job.opened.rows->failure();
            return false;
        };
        const auto onThread = [&](std::size_t, std::size_t slot) {
            if (onThreads() && !decode(*decoders[slot], slot)) return;
            toRgb.convert(raw[slot].get(), pixels[slot], rgb[slot].get());
            work(rgb[slot].get(), pixels[slot], slot);
        };
        const auto inOrder = [&](std::size_t band, std::size_t slot) {
            if (job.stopped()) return false;
            if (!decoded[slot]) {
                failure = decoders[slot]->failure();
                return false;
            }
            if (!finish(pixels[slot], slot)) return false;
            job.progress().setPosition(static_cast<std::int32_t>(band + 1));
            return true;
        };
        return scheduler.run(bandCount(), prepare, onThread, inOrder);
    }
};

}  // namespace

bool convertDecoded(JobContext& job, std::int64_t& conversionStart) {
    const SampleLayout to = *rgbLayoutFor(job.opened.layout);
    const std::uint32_t width = job.image.width;
    // Bands of about kReadChunkPixels pixels (fewer where the session's chunks are smaller, as
    // tests make them), at least a row.
    const std::uint64_t bandPixels =
        std::min<std::uint64_t>(kReadChunkPixels, job.session.conversionChunkBytes / bytesPerPixel(to));
    const auto bandRows = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(bandPixels / std::max<std::uint32_t>(width, 1), 1, job.image.length));
    const BlockScheduler scheduler(job.session.conversionThreads);
    DecodedPass pass(job, scheduler, bandRows, to);
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
