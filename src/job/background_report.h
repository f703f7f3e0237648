// The report of a height map counted on a thread of its own while the job converts and writes:
// counting every sample costs about a sixth of a fast conversion's time on one core, and beside
// it, on another, next to nothing. The job hands each block over (copied, so it may byte-swap
// and reuse its buffer at once) and goes on; the copies waiting to be counted are bounded, so the
// memory stays fixed whatever the image size.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "base/large_memory.h"
#include "pixels/height_report.h"

namespace kelvarin {

class BackgroundReportFeed {
public:
    // At most `waitingSamples` samples wait to be counted; a job that hands over more waits for
    // the counting to catch up (tests choose small values).
    BackgroundReportFeed(std::uint64_t width, std::uint64_t length, PreviewGathering preview,
                         std::size_t waitingSamples = std::size_t{1} << 20);
    ~BackgroundReportFeed();
    BackgroundReportFeed(const BackgroundReportFeed&) = delete;
    BackgroundReportFeed& operator=(const BackgroundReportFeed&) = delete;

    // The next output samples, in row order, as written.
    void add(std::span<const std::uint16_t> samples);
    // Waits for the counting to end. Rethrows what the counting threw (running out of memory).
    FinishedReport finish(std::string output, SourceFacts source);

    // Images of fewer samples are counted on the job's thread.
    static constexpr std::uint64_t kCountInPlaceBelow = std::uint64_t{1} << 16;

private:
    void count();
    void stop();

    ReportFeed feed_;
    std::size_t waitingLimit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    LargeVector<std::uint16_t> waiting_;  // handed over, not yet taken by the counting thread
    bool ending_ = false;
    std::exception_ptr failure_;
    std::thread counter_;  // not joinable where no thread could be started: the job counts itself
};

}  // namespace kelvarin
