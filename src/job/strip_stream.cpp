#include "job/strip_stream.h"

#include <algorithm>

#include "job/job_context.h"

namespace kelvarin {

StripStream::StripStream(JobContext& job, std::uint64_t totalBytes)
    : job_(job), strips_(job.image.strips), total_(totalBytes) {
    if (strips_.empty()) strips_.push_back({job.image.dataOffset, totalBytes});
}

bool StripStream::read(std::uint8_t* into, std::size_t count) {
    if (count > remaining()) {
        // Never read beyond the pixel data: reported as a truncated source. From the end of the
        // file the read comes up short whether or not the seek there succeeded.
        (void)job_.source().seek(job_.source().size());
        return job_.readSource(into, count);
    }
    while (count > 0) {
        while (strip_ < strips_.size() && inStrip_ == strips_[strip_].bytes) {
            ++strip_;
            inStrip_ = 0;
            positioned_ = false;
        }
        if (!positioned_) {
            // The header step has checked that every strip lies inside the file; a seek there
            // does not fail on a file that is read only.
            (void)job_.source().seek(strips_[strip_].offset + inStrip_);
            positioned_ = true;
        }
        const std::size_t part =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, strips_[strip_].bytes - inStrip_));
        if (!job_.readSource(into, part)) return false;
        into += part;
        count -= part;
        inStrip_ += part;
        done_ += part;
    }
    return true;
}

void StripStream::rewind() {
    done_ = 0;
    strip_ = 0;
    inStrip_ = 0;
    positioned_ = false;
}

}  // namespace kelvarin
