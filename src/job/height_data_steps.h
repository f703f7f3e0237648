// What the PGM, RAW and BIN data steps share: the driver that streams their rows into the
// destination, a progress bar that takes 64-bit counts, and their closing report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>

#include "base/large_memory.h"
#include "base/number_text.h"
#include "job/job_context.h"

namespace kelvarin {

// Height data is streamed through a buffer of this size (whole rows, at least one); the output is
// the same as with one block.
inline constexpr std::size_t kHeightDataBlock = std::size_t{4} << 20;

// Decodes the image's rows block by block, in order, and writes them as the destination's
// samples, calling `done(samples)` with the samples written so far after each block; the source
// is closed at the end. False when the rows could not be decoded (the decoder's box is shown and
// the source closed) or a write failed (reported already).
bool copyHeightRows(JobContext& job, RowDecoder& rows, const std::function<void(std::uint64_t)>& done);

// The bar's range is 32-bit signed; a larger count is divided by a power of two.
class ScaledProgress {
public:
    ScaledProgress(ProgressBar& bar, std::uint64_t maximum) : bar_(bar) {
        while ((maximum >> shift_) > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) ++shift_;
        bar_.setRange(1, static_cast<std::int32_t>(maximum >> shift_));
    }
    void at(std::uint64_t position) { bar_.setPosition(static_cast<std::int32_t>(position >> shift_)); }
    void atEnd() { bar_.setPosition(bar_.maximum()); }

private:
    ProgressBar& bar_;
    unsigned shift_ = 0;
};

// "DONE. Data conversion completed in" with the seconds since `start` and " seconds".
inline void logConversionTime(JobContext& job, std::int64_t start) {
    job.log().appendLine("DONE. Data conversion completed in" + numberText(job.secondsSince(start)) + " seconds");
}

// A data step that found a short source: the read has already been reported; close the source
// with its lines so the log shows what happened to it.
inline bool stopAfterFailedRead(JobContext& job) {
    job.log().logClosedSource();
    return false;
}

}  // namespace kelvarin
