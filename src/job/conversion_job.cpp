#include "job/conversion_job.h"

#include <array>

#include "base/aspect_change.h"
#include "base/image_size.h"
#include "base/number_text.h"
#include "formats/byte_source.h"
#include "formats/output_format.h"
#include "formats/grey_tiff_writer.h"
#include "job/block_scheduler.h"
#include "job/file_dialogs.h"
#include "job/job_context.h"
#include "job/stages.h"
#include "job/tile_steps.h"

namespace kelvarin {

namespace {

bool headerStep(JobContext& job) {
    switch (job.image.kind) {
        case SourceKind::Tif: return tiffHeaderStep(job);
        case SourceKind::Rgbe: return radianceHeaderStep(job);
        case SourceKind::Pgm: return pgmHeaderStep(job);
        case SourceKind::Raw: return rawHeaderStep(job);
        case SourceKind::Bin: return binHeaderStep(job);
        case SourceKind::Image: return imageHeaderStep(job);
        case SourceKind::None: break;
    }
    return false;
}

bool dataStage(JobContext& job) {
    switch (job.image.kind) {
        case SourceKind::Pgm: return pgmDataStep(job);
        case SourceKind::Raw: return rawDataStep(job);
        case SourceKind::Bin: return binDataStep(job);
        case SourceKind::Tif:
        case SourceKind::Rgbe:
        case SourceKind::Image: return runDataConversion(job);
        case SourceKind::None: break;
    }
    return false;
}

// Without TE>Raw: the Save As dialog, then the destination's format by the name chosen: the
// 302-byte TIFF header, or a PNG or R16 that needs none.
bool openDestination(JobContext& job) {
    if (!saveTiffDestination(job.session)) {
        job.session.port.showMessage(
            jobStopBox("File not created.", "KELVARIN - Save As", MessageIcon::Exclamation));
        job.log().logClosedSource();
        return false;
    }
    StatusLog& log = job.log();
    const ConversionOptions& options = job.options();
    log.appendLine("Save file opened:");
    log.appendLine(job.destinationPath());
    GreyEncoding& encoding = job.destinationEncoding;
    encoding.format = outputFormatFor(job.destinationPath());
    encoding.size = options.outputSize;
    encoding.threads = job.session.conversionThreads == 0 ? defaultConversionThreads() : job.session.conversionThreads;
    if (encoding.size) {
        log.appendLine("Resampled to " + imageSizeText(*encoding.size) + " pixels before writing.");
        job.aspectChanged = aspectChange({job.image.width, job.image.length}, *encoding.size);
        if (job.aspectChanged) log.appendLine(*job.aspectChanged);
    }
    if (options.tiles && !prepareTiles(job)) return false;
    switch (encoding.format) {
        case OutputFormat::Tiff:
            // Each tile carries its own header, written when the tile is made.
            if (job.tileGrid) break;
            if (encoding.size || job.image.kind == SourceKind::Image) {
                const ImageSize size = encoding.size.value_or(ImageSize{job.image.width, job.image.length});
                const auto fields = greyTiffFields(job.image.outputByteOrder, size.width, size.height);
                if (!fields) {
                    return job.refuse(Refusal{"A TIFF cannot hold an image of " + imageSizeText(size) +
                                                  " samples. Choose a smaller size, or PNG or R16.",
                                              "KELVARIN - Save As Error",
                                              {">>> Too large for a TIFF. STOP!"}});
                }
                job.image.destinationFields = *fields;
            }
            return writeGreyTiffHeader(job);
        case OutputFormat::Png:
            if (options.swapByteOrder) log.appendLine("Swap does not apply to PNG: its samples are always big-endian.");
            log.appendLine("Writing 16-bit greyscale PNG to file");
            break;
        case OutputFormat::R16:
            encoding.order = options.swapByteOrder ? ByteOrder::MM : ByteOrder::II;
            log.appendLine(options.swapByteOrder ? "Writing 16-bit R16 (big-endian) to file"
                                                 : "Writing 16-bit R16 (little-endian) to file");
            break;
    }
    log.appendLine(job.destinationPath());
    log.appendLine("DONE. Standby for data conversion.");
    return true;
}

// Whatever a failed job leaves open is closed, and its unfinished destination is dropped: an
// existing file of that name keeps its old contents.
void cleanUpAfterFailure(JobContext& job) {
    FileState& files = job.session.files;
    job.closeSource();
    files.header.reset();
    job.discardDestination();
}

void routeByContent(JobContext& job) {
    std::array<std::uint8_t, 2> first{};
    FileBytes bytes(job.source());
    const bool read = bytes.readAt(0, first.data(), first.size());
    // The header steps read from the start again.
    (void)job.source().seek(0);
    if (!read) return;
    const std::string letters(first.begin(), first.end());
    if (letters == "II" || letters == "MM") job.image.kind = SourceKind::Tif;
    if (letters == "#?") job.image.kind = SourceKind::Rgbe;
}

int runStages(JobContext& job) {
    Session& session = job.session;
    job.image.kind = session.request.kind;
    job.startSeconds = job.now();
    session.setBusy();
    // Kept as is on purpose: the open step has logged these two lines already, and stored logs
    // (and the scripts that read them) hold them twice.
    job.log().appendLine("Input file opened:");
    job.log().appendLine(job.sourcePath());

    // Opened by content: TIFF and Radiance files take the paths of their own commands.
    if (job.image.kind == SourceKind::Image) routeByContent(job);
    const SourceKind kind = job.image.kind;
    if (kind == SourceKind::Tif || kind == SourceKind::Rgbe || kind == SourceKind::Pgm) {
        if (!detectFormat(job)) return 0;
    }
    if (!headerStep(job)) return 0;

    if (session.options.teRawMode) return exportRaw(job) && !job.ioFailed() ? 1 : 0;

    if (!openDestination(job)) return 0;
    // The header step has checked that the data begin inside the file, and every data step
    // reports a short read: a seek there does not fail unnoticed.
    (void)job.source().seek(job.image.dataOffset);
    return dataStage(job) && !job.ioFailed() ? 1 : 0;
}

}  // namespace

bool writeGreyTiffHeader(JobContext& job) {
    const SourceImage& image = job.image;
    job.log().appendLine("Creating IFD for 16-bit file.");
    const GreyTiffHeader header =
        buildGreyTiffHeader(image.outputByteOrder, image.destinationFields, job.clock().tiffDateTime());
    job.log().appendLine("Writing IFD to file");
    job.log().appendLine(job.destinationPath());
    if (!job.writeOutput(header.data(), header.size())) return false;
    job.log().appendLine("DONE. Standby for data conversion.");
    return true;
}

bool detectFormat(JobContext& job) {
    Session& session = job.session;
    std::array<std::uint8_t, 2> first{};
    const bool complete = job.source().readExact(first.data(), first.size());
    const std::string letters(first.begin(), first.end());
    SourceImage& image = job.image;
    StatusLog& log = job.log();

    if (complete && (letters == "II" || letters == "MM")) {
        const bool intel = letters == "II";
        image.byteOrder = intel ? ByteOrder::II : ByteOrder::MM;
        image.outputByteOrder = image.byteOrder;
        // Kept as is on purpose: "big endian (Intel)" for II and "little endian (Motorola)" for MM
        // are the wrong way round, and stored logs and the scripts that read them match these
        // texts byte for byte.
        log.appendLine(intel ? "Source data type big endian (Intel)" + numberText(std::int32_t{1})
                             : "Data type little endian (Motorola)" + numberText(std::int32_t{0}));
        if (session.options.swapByteOrder) {
            image.outputByteOrder = intel ? ByteOrder::MM : ByteOrder::II;
            log.appendLine(intel ? "Dest data type little endian (Motorola) - converting."
                                 : "Dest data type big endian (Intel) - converting.");
        }
        return true;
    }
    if (complete && (letters == "P2" || letters == "P5")) {
        image.kind = SourceKind::Pgm;
        session.request.kind = SourceKind::Pgm;
        log.appendLine(letters == "P2" ? "P2 Text Portable Grey Map." : "P5 16-bit Portable Grey Map.");
        return true;
    }
    if (complete && letters == "#?") {
        image.kind = SourceKind::Rgbe;
        session.request.kind = SourceKind::Rgbe;
        log.appendLine("96-bit RGBE HDRI.");
        return true;
    }
    session.port.showMessage(jobStopBox("Not a TIF, PGM or RGBE file.", "KELVARIN - File|Open"));
    log.appendLine("STOP - No Job!");
    log.logClosedSource();
    return false;
}

int runConversionJob(Session& session) {
    JobContext job(session);
    job.image.reset(session.request.kind);
    if (!openSource(session)) return 0;
    const int result = runStages(job);
    if (result == 0) cleanUpAfterFailure(job);
    return result;
}

}  // namespace kelvarin
