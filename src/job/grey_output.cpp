#include "job/grey_output.h"

#include <algorithm>
#include <new>
#include <span>

#include "formats/byte_sink.h"
#include "formats/png_writer.h"
#include "pixels/byte_access.h"

namespace kelvarin {

struct GreyOutput::ByteSinkAdapter final : ByteSink {
    explicit ByteSinkAdapter(Sink& sink) : sink(sink) {}
    bool write(const void* data, std::size_t count) override { return sink(data, count); }
    Sink& sink;
};

GreyOutput::GreyOutput(const GreyEncoding& encoding, Sink sink, std::optional<PreviewGathering> report)
    : encoding_(encoding), sink_(std::move(sink)), reportMode_(report) {}

GreyOutput::~GreyOutput() = default;

bool GreyOutput::fail() {
    failed_ = true;
    return false;
}

void GreyOutput::begin(std::uint32_t width, std::uint32_t length, bool countedInBlocks) {
    width_ = width;
    length_ = length;
    expected_ = std::uint64_t{width} * length;
    written_ = 0;
    failed_ = false;
    outOfMemory_ = false;
    finished_.reset();
    png_.reset();
    report_.reset();
    blockCounts_.reset();
    previewFeed_.reset();
    if (!encoding_.size) {
        // The report counts the image as written: here the one handed in, a resampled one later.
        if (!startReport(width, length, countedInBlocks) || !startEncoding(width, length)) fail();
        return;
    }
    const ImageSize to = *encoding_.size;
    // The report and the encoding begin with the first resampled rows: they see the image as written.
    const auto start = [this, to] { return startReport(to.width, to.height) && startEncoding(to.width, to.height); };
    const auto handOn = [this](std::uint16_t* samples, std::size_t count) { return encode(samples, count); };
    if (!resample_.begin({width, length}, to, encoding_.threads, start, handOn)) {
        outOfMemory_ = true;
        fail();
    }
}

bool GreyOutput::write(std::uint16_t* samples, std::size_t count) {
    if (failed_ || count > expected_ - written_) return fail();
    if (encoding_.size ? !resample_.add(samples, count, keepGoing_) : !encode(samples, count)) return fail();
    written_ += count;
    return true;
}

bool GreyOutput::finish() {
    // A second call answers as the first: the image is encoded and ended once.
    if (!finished_) finished_ = finishImage();
    return *finished_;
}

bool GreyOutput::finishImage() {
    if (failed_ || written_ != expected_) return fail();
    if (encoding_.size) {
        switch (resample_.finish(keepGoing_)) {
            case StreamedResample::Outcome::Done: break;
            case StreamedResample::Outcome::OutOfMemory: outOfMemory_ = true; return fail();
            case StreamedResample::Outcome::Stopped:
            case StreamedResample::Outcome::HandOnFailed: return fail();
        }
    }
    return endEncoding();
}

std::optional<FinishedReport> GreyOutput::finishReport(std::string output, SourceFacts source) {
    if ((!report_ && !previewFeed_) || !finish()) return std::nullopt;
    if (previewFeed_) {
        blockCounts_->mergeInto(*previewFeed_);
        FinishedReport finished = previewFeed_->finish(std::move(output), std::move(source));
        previewFeed_.reset();
        blockCounts_.reset();
        return finished;
    }
    FinishedReport finished = report_->finish(std::move(output), std::move(source));
    report_.reset();
    return finished;
}

bool GreyOutput::startReport(std::uint32_t width, std::uint32_t length, bool countedInBlocks) {
    if (!reportMode_) return true;
    try {
        if (countedInBlocks) {
            blockCounts_ = std::make_unique<BlockCounts>();
            previewFeed_ = std::make_unique<ReportFeed>(width, length, *reportMode_);
            return true;
        }
        report_ = std::make_unique<BackgroundReportFeed>(width, length, *reportMode_);
    } catch (const std::bad_alloc&) {
        outOfMemory_ = true;
        return false;
    }
    return true;
}

bool GreyOutput::startEncoding(std::uint32_t width, std::uint32_t length) {
    if (encoding_.format != OutputFormat::Png) return true;
    try {
        pngSink_ = std::make_unique<ByteSinkAdapter>(sink_);
        png_ = std::make_unique<PngWriter>(*pngSink_, PngHeader{width, length, 16, PngColour::Grey},
                                          encoding_.threads, encoding_.pngBandBytes);
        pngRows_.begin(width);
    } catch (const std::bad_alloc&) {
        outOfMemory_ = true;
        return false;
    }
    return true;
}

bool GreyOutput::encode(std::uint16_t* samples, std::size_t count) {
    // The report takes its copy before the samples are put into the destination's order.
    if (report_) report_->add({samples, count});
    if (previewFeed_) previewFeed_->addToPreview({samples, count});
    if (encoding_.format == OutputFormat::Png) return encodePngRows(samples, count) || fail();
    // Nothing to do for bare samples in the host's order (II on x86).
    samplesToByteOrder(samples, count, encoding_.order);
    return sink_(samples, count * sizeof(std::uint16_t)) || fail();
}

// The rows of a PNG: whole rows straight from the samples, the pieces of a row gathered first.
bool GreyOutput::encodePngRows(const std::uint16_t* samples, std::size_t count) {
    const std::size_t width = pngRows_.width();
    return pngRows_.add(samples, count, [&](const std::uint16_t* rows, std::size_t n) {
        for (std::size_t r = 0; r < n; ++r)
            if (!png_->writeRow(std::span(rows + r * width, width))) return false;
        return true;
    });
}

bool GreyOutput::endEncoding() {
    if (encoding_.format != OutputFormat::Png) return true;
    return (png_ && png_->finish()) || fail();
}

}  // namespace kelvarin
