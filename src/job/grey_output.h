// Where every 16-bit grey image a job makes goes: the TIFF and Radiance conversions, the PGM, RAW
// and BIN data steps and the terrain tiles hand their samples here, native and in row order, and
// this encodes them for the destination and writes them: the bare samples in a byte order (the
// TIFF's data, R16) or a PNG, optionally resampled to another size first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/byte_order.h"
#include "base/image_size.h"
#include "base/large_memory.h"
#include "formats/output_format.h"
#include "formats/png_writer.h"
#include "job/background_report.h"
#include "job/block_counts.h"
#include "job/streamed_resample.h"
#include "pixels/whole_rows.h"

namespace kelvarin {

class PngWriter;

// How the grey image is written. Tiff and R16 are the bare samples in `order` (the TIFF's
// header is written before them by the job); a PNG stores its samples big-endian whatever
// `order` says. With a `size`, the image is held whole and resampled to it before it is written.
struct GreyEncoding {
    OutputFormat format = OutputFormat::Tiff;
    ByteOrder order = ByteOrder::II;
    std::optional<ImageSize> size = std::nullopt;
    unsigned threads = 1;  // that deflate a PNG's bands, or resample, at once
    std::size_t pngBandBytes = PngWriter::kLargestBand;  // the size of those bands
};

class GreyOutput {
public:
    // Takes encoded bytes; false when not all of them were written.
    using Sink = std::function<bool(const void* bytes, std::size_t count)>;

    // The bare samples in `order`, at the image's own size. With `report`, the samples of each
    // image are counted for its report as they are written.
    GreyOutput(ByteOrder order, Sink sink, std::optional<PreviewGathering> report = std::nullopt)
        : GreyOutput(GreyEncoding{OutputFormat::Tiff, order}, std::move(sink), report) {}
    GreyOutput(const GreyEncoding& encoding, Sink sink, std::optional<PreviewGathering> report = std::nullopt);
    ~GreyOutput();
    GreyOutput(const GreyOutput&) = delete;
    GreyOutput& operator=(const GreyOutput&) = delete;

    // An image of width x length samples follows. An image to be resampled that does not fit in
    // memory fails every write (outOfMemory() says so). With `countedInBlocks`, the caller counts
    // the samples for the report where it converts them (blockCounts()), as long as the image is
    // written as it comes; otherwise they are counted here as they are written.
    void begin(std::uint32_t width, std::uint32_t length, bool countedInBlocks = false);
    // Where a caller that asked to count in blocks counts each sample exactly once, before it is
    // handed to write(); nothing when this image's report is counted here or not at all.
    BlockCounts* blockCounts() { return blockCounts_.get(); }
    // The next `count` samples in row order; a call need not hold whole rows. The samples are put
    // into the destination's byte order where they are: the caller does not use them afterwards.
    // False when the sink failed, or when the samples run past the end of the image (nothing is
    // written then).
    [[nodiscard]] bool write(std::uint16_t* samples, std::size_t count);
    // The image is complete: a resampled image is resampled and written, a PNG ended. True when
    // every sample of it has been written and nothing failed.
    [[nodiscard]] bool finish();

    bool outOfMemory() const { return outOfMemory_; }
    // Called between the groups of rows of a resampled image that come of one part of the image
    // handed in, and once more when it is complete: false stops it, and write() or finish() fails.
    void setKeepGoing(KeepGoing keepGoing) { keepGoing_ = std::move(keepGoing); }
    // The report of the image as written (at its new size when resampled) once it is complete;
    // nothing when no report was asked for or the image is not complete.
    std::optional<FinishedReport> finishReport(std::string output, SourceFacts source);

private:
    bool fail();
    bool finishImage();
    // The report and the encoding of the image as it is written, after any resampling.
    bool startReport(std::uint32_t width, std::uint32_t length, bool countedInBlocks = false);
    bool startEncoding(std::uint32_t width, std::uint32_t length);
    bool encode(std::uint16_t* samples, std::size_t count);
    bool encodePngRows(const std::uint16_t* samples, std::size_t count);
    bool endEncoding();

    GreyEncoding encoding_;
    Sink sink_;
    std::uint32_t width_ = 0, length_ = 0;  // of the image handed in
    std::uint64_t expected_ = 0;
    std::uint64_t written_ = 0;
    bool failed_ = false;
    bool outOfMemory_ = false;
    // The image handed in, resampled as it comes.
    StreamedResample resample_;
    // A PNG: its writer, and its rows as they come.
    struct ByteSinkAdapter;
    std::unique_ptr<ByteSinkAdapter> pngSink_;
    std::unique_ptr<PngWriter> png_;
    WholeRows pngRows_;
    KeepGoing keepGoing_;
    std::optional<bool> finished_;  // what finish() found, once it has run
    std::optional<PreviewGathering> reportMode_;
    std::unique_ptr<BackgroundReportFeed> report_;
    // Counted in blocks: the counts, and the feed that gathers the preview in row order.
    std::unique_ptr<BlockCounts> blockCounts_;
    std::unique_ptr<ReportFeed> previewFeed_;
};

}  // namespace kelvarin
