// 3DEM "Binary Signed Integer" terrain matrices: signed 16-bit samples (low byte first) with a
// separate text header, wrapped into a greyscale TIFF as unsigned heights, top row first.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/header_numbers.h"
#include "formats/grey_tiff_writer.h"
#include "formats/height_data.h"
#include "formats/raw_reader.h"
#include "job/job_context.h"
#include "job/stages.h"

namespace kelvarin {

namespace {

constexpr char kBinCaption[] = "KELVARIN - BIN.";
constexpr std::size_t kHeaderLines = 13;
// Thirteen lines of "key = value" need far less; a longer file is not read beyond this.
constexpr std::size_t kHeaderReadLimit = 64 * 1024;

// The number a header line holds: the text after its first "=", or the whole line.
std::int64_t lineValue(std::string_view line) {
    const std::size_t equals = line.find('=');
    return leadingInteger(equals == std::string_view::npos ? line : line.substr(equals + 1));
}

// Splits the first `wanted` lines off the text; LF or CR LF end a line.
std::vector<std::string_view> firstLines(std::string_view text, std::size_t wanted) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (lines.size() < wanted && start < text.size()) {
        std::size_t feed = text.find('\n', start);
        const bool last = feed == std::string_view::npos;
        std::size_t end = last ? text.size() : feed;
        if (end > start && text[end - 1] == '\r') --end;
        lines.push_back(text.substr(start, end - start));
        start = last ? text.size() : feed + 1;
    }
    return lines;
}

// Stops the job before any destination exists: the header file is let go too.
bool refuseBinHeader(JobContext& job, std::string text, std::string_view line) {
    job.session.files.header.reset();
    return job.refuse(errorBox(std::move(text), kBinCaption), {line});
}

}  // namespace

void signedToUnsigned(std::uint8_t* data, std::size_t bytes, std::int16_t voidMarker, std::int16_t base) {
    const auto voidPattern = static_cast<std::uint16_t>(voidMarker);
    const auto offset = static_cast<std::uint16_t>(std::abs(static_cast<std::int32_t>(base)) + 1);
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const auto sample = static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8));
        const auto height = sample == voidPattern ? std::uint16_t{0} : static_cast<std::uint16_t>(sample + offset);
        data[i] = static_cast<std::uint8_t>(height & 0xFF);
        data[i + 1] = static_cast<std::uint8_t>(height >> 8);
    }
}

void flipRows(std::uint8_t* data, std::size_t rowBytes, std::size_t rows) {
    if (rows < 2) return;
    for (std::size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(data + top * rowBytes, data + (top + 1) * rowBytes, data + bottom * rowBytes);
}

bool binHeaderStep(JobContext& job) {
    FileState& files = job.session.files;
    StatusLog& log = job.log();
    log.appendLine("Reading header data for BIN file");
    log.appendLine(files.headerPath);
    if (!files.header) return refuseBinHeader(job, "The BIN header file is not open.", ">>> No header. STOP!");

    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(files.header->size(), kHeaderReadLimit)), '\0');
    files.header->seek(0);
    text.resize(files.header->read(text.data(), text.size()));
    const std::vector<std::string_view> lines = firstLines(text, kHeaderLines);
    for (std::string_view line : lines) log.appendLine(line);
    if (lines.size() < kHeaderLines) {
        return refuseBinHeader(job, "The BIN header file holds fewer than 13 lines.",
                               ">>> Cannot interpret this header. STOP!");
    }
    const std::int64_t length = lineValue(lines[7]);
    const std::int64_t width = lineValue(lines[8]);
    const std::int64_t base = lineValue(lines[10]);
    const std::int64_t voidMarker = lineValue(lines[12]);

    files.header.reset();
    log.appendLine("DONE reading and interpreting Header.");
    log.appendLine("Closed " + files.headerPath);
    log.appendLine("");

    if (width < 1 || length < 1 || width > kMaxSide || length > kMaxSide) {
        return refuseBinHeader(job, "The BIN header gives a width or length outside 1 to 65535.",
                               ">>> Cannot handle this file. STOP!");
    }
    const std::uint64_t dataBytes = 2 * static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(length);
    if (dataBytes > kMaxOutputDataBytes) {
        return refuseBinHeader(job, "The BIN image is too large for a 16-bit TIFF of one strip.",
                               ">>> Cannot handle this file. STOP!");
    }
    if (base < -32768 || base > 32767 || voidMarker < -32768 || voidMarker > 32767) {
        return refuseBinHeader(job, "The BIN header's base value or void marker is not a 16-bit number.",
                               ">>> Cannot handle this file. STOP!");
    }

    SourceImage& image = job.image;
    image.width = static_cast<std::uint32_t>(width);
    image.length = static_cast<std::uint32_t>(length);
    image.binBase = static_cast<std::int16_t>(base);
    image.binVoidMarker = static_cast<std::int16_t>(voidMarker);
    image.dataOffset = 0;
    image.outputDataBytes = static_cast<std::uint32_t>(dataBytes);
    setLittleEndianDestination(image, image.outputDataBytes);
    return true;
}

bool binDataStep(JobContext& job) {
    const SourceImage& image = job.image;
    if (job.source().size() != image.outputDataBytes) {
        return job.refuse(errorBox("File size does not match image size", kBinCaption),
                          {">>> Cannot handle this file. STOP!"});
    }
    const std::int64_t start = job.now();
    ScaledProgress progress(job.progress(), image.outputDataBytes);

    // The output's first row is the file's last: blocks of whole rows are read from the end of
    // the file backwards and each is flipped on its own.
    const std::size_t rowBytes = std::size_t{2} * image.width;
    const std::size_t rowsPerBlock = std::max<std::size_t>(1, kHeightDataBlock / rowBytes);
    std::vector<std::uint8_t> block(std::min<std::size_t>(rowsPerBlock, image.length) * rowBytes);
    std::size_t rowsLeft = image.length;
    std::uint64_t done = 0;
    while (rowsLeft > 0) {
        const std::size_t rows = std::min(rowsPerBlock, rowsLeft);
        rowsLeft -= rows;
        const std::size_t bytes = rows * rowBytes;
        if (!job.source().seek(static_cast<std::uint64_t>(rowsLeft) * rowBytes)) {
            return job.refuse(errorBox("Cannot read the BIN data file.", kBinCaption),
                              {">>> Cannot handle this file. STOP!"});
        }
        if (!job.readSource(block.data(), bytes)) return stopAfterFailedRead(job);
        signedToUnsigned(block.data(), bytes, image.binVoidMarker, image.binBase);
        flipRows(block.data(), rowBytes, rows);
        if (!job.writeOutput(block.data(), bytes)) return false;
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
