#include "job/grey_output.h"

#include <algorithm>
#include <chrono>
#include <new>
#include <span>

#include "formats/byte_sink.h"
#include "formats/png_writer.h"
#include "pixels/byte_access.h"
#include "job/resample_aside.h"
#include "pixels/resample.h"

namespace kelvarin {

namespace {

// A resampled image leaves for the sink in parts of this many samples (1 MiB).
constexpr std::size_t kPartSamples = std::size_t{1} << 19;

}  // namespace

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
    whole_.clear();
    png_.reset();
    report_.reset();
    blockCounts_.reset();
    previewFeed_.reset();
    if (!encoding_.size) {
        // The report counts the image as written: here the one handed in, a resampled one later.
        if (!startReport(width, length, countedInBlocks) || !startEncoding(width, length)) fail();
        return;
    }
    try {
        whole_.resize(static_cast<std::size_t>(expected_));
    } catch (const std::bad_alloc&) {
        outOfMemory_ = true;
        fail();
    }
}

bool GreyOutput::write(std::uint16_t* samples, std::size_t count) {
    if (failed_ || count > expected_ - written_) return fail();
    if (encoding_.size) {
        std::copy(samples, samples + count, whole_.begin() + static_cast<std::ptrdiff_t>(written_));
    } else if (!encode(samples, count)) {
        return false;
    }
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
        const ImageSize to = *encoding_.size;
        LargeVector<std::uint16_t> resampled;
        try {
            resampled.resize(std::size_t{to.width} * to.height);
        } catch (const std::bad_alloc&) {
            outOfMemory_ = true;
            return fail();
        }
        if (keepGoing_) {
            // stb tells nothing of its progress: the bar moves by the time a resampling of this
            // many samples takes on the machine we measure on, and waits short of the end.
            const double expectedSeconds = 6e-9 * static_cast<double>(expected_ + resampled.size());
            const auto begun = std::chrono::steady_clock::now();
            const auto resampling = [&] {
                const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - begun;
                return keepGoing_(FinishStage::Resampling, std::min(0.95, taken.count() / expectedSeconds));
            };
            ResampleAsideResult aside =
                resampleAside(std::move(whole_), {width_, length_}, std::move(resampled), to, resampling);
            whole_.clear();
            if (aside.stopped) return fail();
            if (!aside.samples) {
                outOfMemory_ = true;
                return fail();
            }
            resampled = std::move(*aside.samples);
        } else {
            if (!resampleGrey(whole_, {width_, length_}, resampled, to)) {
                outOfMemory_ = true;
                return fail();
            }
            decltype(whole_)().swap(whole_);
        }
        if (!startReport(to.width, to.height) || !startEncoding(to.width, to.height)) return fail();
        for (std::size_t at = 0; at < resampled.size(); at += kPartSamples) {
            if (keepGoing_ && !keepGoing_(FinishStage::Writing, static_cast<double>(at) / static_cast<double>(resampled.size())))
                return fail();
            if (!encode(resampled.data() + at, std::min(kPartSamples, resampled.size() - at))) return false;
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
                                          encoding_.threads);
        row_.assign(width, 0);
    } catch (const std::bad_alloc&) {
        outOfMemory_ = true;
        return false;
    }
    rowFill_ = 0;
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
    const std::size_t width = row_.size();
    while (count > 0) {
        if (rowFill_ == 0 && count >= width) {
            if (!png_->writeRow(std::span(samples, width))) return false;
            samples += width;
            count -= width;
            continue;
        }
        const std::size_t part = std::min(count, width - rowFill_);
        std::copy(samples, samples + part, row_.begin() + static_cast<std::ptrdiff_t>(rowFill_));
        rowFill_ += part;
        samples += part;
        count -= part;
        if (rowFill_ == width) {
            rowFill_ = 0;
            if (!png_->writeRow(std::span<const std::uint16_t>(row_))) return false;
        }
    }
    return true;
}

bool GreyOutput::endEncoding() {
    if (encoding_.format != OutputFormat::Png) return true;
    return (png_ && png_->finish()) || fail();
}

}  // namespace kelvarin
